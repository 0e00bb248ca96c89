// Photographs for tests, made here: RGB(A) pictures of any size, written in every format the
// programs read (through Qt's writers, giflib for GIF, and by hand for TGA).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// 8-bit pixels, rows from the top; 3 bytes (RGB) or 4 (RGBA, not premultiplied) per pixel.
struct TestPhoto {
  int width = 0;
  int height = 0;
  int channels = 3;
  std::vector<uint8_t> pixels;

  TestPhoto(int w, int h, int c = 3);
  uint8_t* at(int x, int y) {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * channels;
  }
  const uint8_t* at(int x, int y) const {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * channels;
  }
};

// Four solid quadrants: red top left, green top right, blue bottom left, white bottom right.
TestPhoto quadrantPhoto(int width, int height);
// Smooth gradients with a little noise, as a photograph has.
TestPhoto noisyPhoto(int width, int height, uint32_t seed);

// The photograph as a file: "png", "png16" (16 bits a channel), "png-grey", "png-palette",
// "png-interlaced", "jpg", "jpg-progressive", "jpg-grey", "webp" (lossless), "tiff", "bmp",
// "bmp8" (palette), "gif" (colours kept when there are at most 256), "tga", "tga-rle".
std::vector<uint8_t> encodePhoto(const TestPhoto& photo, const std::string& format,
                                 int quality = 95);

// The JPEG file with an EXIF block giving this orientation (1 to 8) put right after its start.
std::vector<uint8_t> withExifOrientation(const std::vector<uint8_t>& jpeg, int orientation);

}  // namespace testing_support
