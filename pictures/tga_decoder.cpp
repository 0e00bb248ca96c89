// TGA, true colour at 24 or 32 bits, uncompressed (type 2) or run-length encoded (type 10): the
// frames that the programs write, and what image editors write for them. A header of 18 bytes,
// an identification field, then the pixels blue-green-red(-alpha), bottom row first unless the
// descriptor says top first.
#include <algorithm>

#include "pictures/decoders.h"

namespace pictures {

namespace {

constexpr size_t kHeaderBytes = 18;

uint16_t readU16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | at[1] << 8);
}

}  // namespace

bool decodeTga(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
               std::string& whyNot) {
  if (size < kHeaderBytes) {
    whyNot = kEndsEarlyReason;
    return false;
  }
  const bool runLength = data[2] == 10;
  const int bytesPerPixel = data[16] / 8;
  const uint8_t descriptor = data[17];
  const bool hasAlpha = bytesPerPixel == 4 && (descriptor & 0x0F) == 8;
  const bool topFirst = (descriptor & 0x20) != 0;
  const bool rightFirst = (descriptor & 0x10) != 0;
  const int32_t width = readU16(data + 12), height = readU16(data + 14);
  if (!checkDeclaredSize(width, height, options.maxPixels, whyNot)) return false;
  photo.width = width;
  photo.height = height;
  photo.image.resize(width, height);

  const uint8_t* from = data + std::min(size, kHeaderBytes + data[0]);
  const uint8_t* const end = data + size;
  const int64_t pixelCount = int64_t{width} * height;
  uint8_t pixel[4] = {};
  int64_t runLeft = 0;      // copies of `pixel` still to write
  int64_t literalLeft = 0;  // pixels still to read one by one
  for (int64_t n = 0; n < pixelCount; ++n) {
    if (runLength && runLeft == 0 && literalLeft == 0) {
      if (from == end) break;
      const uint8_t header = *from++;
      (header & 0x80 ? runLeft : literalLeft) = (header & 0x7F) + 1;
      if (runLeft > 0) {
        if (end - from < bytesPerPixel) break;
        std::copy(from, from + bytesPerPixel, pixel);
        from += bytesPerPixel;
      }
    }
    if (runLeft > 0) {
      --runLeft;
    } else {
      if (end - from < bytesPerPixel) break;
      std::copy(from, from + bytesPerPixel, pixel);
      from += bytesPerPixel;
      if (literalLeft > 0) --literalLeft;
    }
    const int32_t row = static_cast<int32_t>(n / width), column = static_cast<int32_t>(n % width);
    uint8_t* to = photo.image.row(topFirst ? row : height - 1 - row) +
                  (rightFirst ? width - 1 - column : column) * 3;
    const int alpha = hasAlpha ? pixel[3] : 255;
    // Laid over black.
    for (int c = 0; c < 3; ++c) to[c] = static_cast<uint8_t>((pixel[2 - c] * alpha + 127) / 255);
    if (n + 1 == pixelCount) return true;
  }
  photo = Photo{};
  whyNot = kEndsEarlyReason;
  return false;
}

}  // namespace pictures
