#include "tools/bmp_file.h"

namespace {

constexpr uint32_t kHeaderBytes = 54;  // file header 14, information header 40, no palette
constexpr uint32_t kPixelBytes = kPicturePixels * 3;

void putLittleEndian(std::vector<uint8_t>& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> encodeBmp(const Rgb* pixelsTopDown) {
  std::vector<uint8_t> out(kHeaderBytes + kPixelBytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  putLittleEndian(out, 2, kHeaderBytes + kPixelBytes, 4);
  putLittleEndian(out, 10, kHeaderBytes, 4);
  putLittleEndian(out, 14, 40, 4);
  putLittleEndian(out, 18, kPictureSide, 4);
  putLittleEndian(out, 22, kPictureSide, 4);  // positive: the bottom row comes first
  putLittleEndian(out, 26, 1, 2);             // planes
  putLittleEndian(out, 28, 24, 2);            // bits per pixel
  putLittleEndian(out, 34, kPixelBytes, 4);
  putLittleEndian(out, 38, 2835, 4);  // 72 dots per inch, in dots per metre
  putLittleEndian(out, 42, 2835, 4);
  // Rows of 768 bytes need no fill to a multiple of 4.
  size_t at = kHeaderBytes;
  for (int row = kPictureSide - 1; row >= 0; --row) {
    for (int column = 0; column < kPictureSide; ++column) {
      const Rgb& pixel = pixelsTopDown[row * kPictureSide + column];
      out[at++] = pixel.b;
      out[at++] = pixel.g;
      out[at++] = pixel.r;
    }
  }
  return out;
}

Rgb widenPixel(uint16_t pixel) {
  return Rgb{static_cast<uint8_t>(((pixel >> 11) & 0x1F) << 3),
             static_cast<uint8_t>(((pixel >> 5) & 0x3F) << 2),
             static_cast<uint8_t>((pixel & 0x1F) << 3)};
}

std::vector<uint8_t> encodeBmp(const PictureImage& picture) {
  std::vector<Rgb> pixels(kPicturePixels);
  for (int i = 0; i < kPicturePixels; ++i) pixels[i] = widenPixel(picture.pixels[i]);
  return encodeBmp(pixels.data());
}
