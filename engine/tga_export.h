// Frame files: uncompressed 24-bit TGA, and the running names they are saved under.
//
// The file is an 18-byte header (image type 2, the width and height, depth 24, descriptor 0:
// first row at the bottom) and then the pixels, bottom row first, each blue, green, red. An
// RGB565 pixel is widened by shifting each channel up, so the low bits are 0 and white becomes
// (248, 252, 248); nothing follows the pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kTgaHeaderBytes = 18;

// The name of the frame saved as number `counter` (0 for the first) of a run: the counter's
// digits written over "OUT00000" from the right, then ".TGA". So 0 gives "OUT00000.TGA", 11
// gives "OUT00011.TGA" and 100000 "OU100000.TGA". A counter of more than eight digits is the
// name by itself ("123456789.TGA"): still a plain file name, longer than every earlier one, so it
// never replaces an earlier frame of the run.
std::string frameFileName(uint64_t counter);

// The TGA file of `width` x `height` RGB565 pixels given top row first, no gaps.
std::vector<uint8_t> tgaFileBytes(const uint16_t* pixels, int32_t width, int32_t height);

// Writes those bytes to `path` as a frame file: whatever stands at the name (a symbolic link
// included, which is never followed) is replaced only once the new file is complete. Returns 0, or
// nonzero with *whyNot set (also for a size outside 1 to 65535).
int32_t writeTga(const std::string& path, const uint16_t* pixels, int32_t width, int32_t height,
                 std::string* whyNot = nullptr);
