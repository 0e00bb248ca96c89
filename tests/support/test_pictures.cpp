#include "support/test_pictures.h"

#include <algorithm>

namespace testing_support {

namespace {

uint16_t rgb565(int red, int green, int blue) {
  auto clamp = [](int v, int top) { return v < 0 ? 0 : (v > top ? top : v); };
  return static_cast<uint16_t>(clamp(red, 31) << 11 | clamp(green, 63) << 5 | clamp(blue, 31));
}

// A small deterministic generator (xorshift), the same on every machine.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  int next(int range) {  // -range .. range
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<int>(state_ % static_cast<uint32_t>(2 * range + 1)) - range;
  }

 private:
  uint32_t state_;
};

std::unique_ptr<PictureImage> smoothPicture(uint32_t seed, int noiseRange) {
  auto picture = std::make_unique<PictureImage>();
  Noise noise(seed);
  const int shift = static_cast<int>(seed % 97);
  for (int y = 0; y < kPictureSide; ++y) {
    for (int x = 0; x < kPictureSide; ++x) {
      const int red = ((x + shift) % 256) / 8;
      const int green = ((x + y) / 2 + shift) % 256 / 4;
      const int blue = (255 - y) / 8;
      picture->pixels[y * kPictureSide + x] =
          noiseRange == 0 ? rgb565(red, green, blue)
                          : rgb565(red + noise.next(noiseRange), green + noise.next(noiseRange),
                                   blue + noise.next(noiseRange));
    }
  }
  return picture;
}

void putU16(std::vector<uint8_t>& to, size_t at, uint32_t value) {
  to[at] = static_cast<uint8_t>(value);
  to[at + 1] = static_cast<uint8_t>(value >> 8);
}
void putU32(std::vector<uint8_t>& to, size_t at, uint32_t value) {
  putU16(to, at, value);
  putU16(to, at + 2, value >> 16);
}

}  // namespace

std::unique_ptr<PictureImage> solidPicture(uint16_t colour) {
  auto picture = std::make_unique<PictureImage>();
  for (uint16_t& pixel : picture->pixels) pixel = colour;
  return picture;
}

std::unique_ptr<PictureImage> gradientPicture(uint32_t seed) {
  return smoothPicture(seed, 0);
}

std::unique_ptr<PictureImage> photoLikePicture(uint32_t seed) {
  return smoothPicture(seed, 2);
}

std::unique_ptr<PictureImage> noRepeatPicture() {
  auto picture = std::make_unique<PictureImage>();
  for (int i = 0; i < kPicturePixels; ++i) picture->pixels[i] = static_cast<uint16_t>(i * 3 + 1);
  return picture;
}

std::vector<uint8_t> bmpFile(int32_t width, int32_t height, uint16_t bitsPerPixel,
                             const std::vector<uint8_t>& pixelData) {
  std::vector<uint8_t> file(54 + pixelData.size());
  file[0] = 'B';
  file[1] = 'M';
  putU32(file, 2, static_cast<uint32_t>(54 + pixelData.size()));
  putU32(file, 10, 54);
  putU32(file, 14, 40);
  putU32(file, 18, static_cast<uint32_t>(width));
  putU32(file, 22, static_cast<uint32_t>(height));
  putU16(file, 26, 1);
  putU16(file, 28, bitsPerPixel);
  putU32(file, 34, static_cast<uint32_t>(pixelData.size()));
  std::copy(pixelData.begin(), pixelData.end(), file.begin() + 54);
  return file;
}

std::vector<uint8_t> bmpFileOf(const PictureImage& picture) {
  std::vector<uint8_t> pixels;
  pixels.reserve(kPicturePixels * 3);
  for (int row = kPictureSide - 1; row >= 0; --row) {
    for (int x = 0; x < kPictureSide; ++x) {
      const uint16_t p = picture.pixels[row * kPictureSide + x];
      pixels.push_back(static_cast<uint8_t>((p & 0x1F) << 3));
      pixels.push_back(static_cast<uint8_t>(((p >> 5) & 0x3F) << 2));
      pixels.push_back(static_cast<uint8_t>(((p >> 11) & 0x1F) << 3));
    }
  }
  return bmpFile(kPictureSide, kPictureSide, 24, pixels);
}

}  // namespace testing_support
