// Exported files read back as players read them: videos and GIFs by FFmpeg's decoders,
// animated WebP by libwebp's demuxer (Debian's FFmpeg cannot decode it), PNG by libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace export_test {

struct DecodedFrame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;   // 8 bits a channel, rows from the top (not for videos)
  std::vector<uint8_t> luma;  // the Y plane as stored (videos only)
  int64_t duration = 0;       // GIF: hundredths of a second; WebP: milliseconds
};

struct DecodedFile {
  std::vector<DecodedFrame> frames;
  double fps = 0;       // videos: as the stream says
  int loopCount = -1;   // WebP: 0 is for ever
  std::string error;    // what went wrong reading it, if anything
};

// .mp4 and .webm give luma, .gif RGB and delays.
DecodedFile decodeWithFfmpeg(const std::string& path);
DecodedFile decodeWebp(const std::string& path);
// A PNG as 8-bit RGB; an empty frame when it cannot be read.
DecodedFrame readPng(const std::string& path);

}  // namespace export_test
