// EXIF orientation: read from the first directory of an EXIF block, applied by turning the
// pixels, so that a photograph taken with the camera on its side comes in upright.
#include <cstring>

#include "pictures/decoders.h"

namespace pictures {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

class TiffReader {
 public:
  TiffReader(const uint8_t* data, size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}

  bool has(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  uint16_t u16(size_t offset) const {
    const uint8_t* at = data_ + offset;
    return static_cast<uint16_t>(bigEndian_ ? at[0] << 8 | at[1] : at[1] << 8 | at[0]);
  }
  uint32_t u32(size_t offset) const {
    return bigEndian_ ? uint32_t{u16(offset)} << 16 | u16(offset + 2)
                      : uint32_t{u16(offset + 2)} << 16 | u16(offset);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  bool bigEndian_;
};

}  // namespace

int32_t exifOrientation(const uint8_t* data, size_t size) {
  constexpr size_t kPrefix = 6;  // "Exif\0\0"
  if (size < kPrefix + 8 || std::memcmp(data, "Exif\0\0", kPrefix) != 0) return 1;
  const uint8_t* tiff = data + kPrefix;
  const size_t tiffSize = size - kPrefix;
  const bool bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
  if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
  const TiffReader reader(tiff, tiffSize, bigEndian);
  if (reader.u16(2) != 42) return 1;
  const size_t directory = reader.u32(4);
  if (!reader.has(directory, 2)) return 1;
  const size_t entries = reader.u16(directory);
  for (size_t i = 0; i < entries; ++i) {
    const size_t entry = directory + 2 + 12 * i;
    if (!reader.has(entry, 12)) return 1;
    if (reader.u16(entry) != kOrientationTag) continue;
    if (reader.u16(entry + 2) != kShortType || reader.u32(entry + 4) < 1) return 1;
    const uint16_t value = reader.u16(entry + 8);
    return value >= 1 && value <= 8 ? value : 1;
  }
  return 1;
}

void applyOrientation(int32_t orientation, RgbImage& image) {
  if (orientation < 2 || orientation > 8) return;
  // For each orientation, how the stored pixel under upright (x, y) is found: the axes
  // exchanged (5 to 8: the camera was on its side), then either stored axis counted backwards.
  struct Turn {
    bool swap, backX, backY;
  };
  constexpr Turn kTurns[9] = {{},
                              {false, false, false},
                              {false, true, false},  // mirrored
                              {false, true, true},   // upside down
                              {false, false, true},  // mirrored upside down
                              {true, false, false},  // mirrored along the diagonal
                              {true, false, true},   // to be turned a quarter clockwise
                              {true, true, true},    // mirrored along the other diagonal
                              {true, true, false}};  // to be turned a quarter anticlockwise
  const Turn turn = kTurns[orientation];
  const int32_t w = image.width, h = image.height;
  RgbImage upright;
  upright.resize(turn.swap ? h : w, turn.swap ? w : h);
  for (int32_t y = 0; y < upright.height; ++y) {
    uint8_t* to = upright.row(y);
    for (int32_t x = 0; x < upright.width; ++x, to += 3) {
      const int32_t u = turn.swap ? y : x, v = turn.swap ? x : y;
      const int32_t sx = turn.backX ? w - 1 - u : u, sy = turn.backY ? h - 1 - v : v;
      std::memcpy(to, image.row(sy) + static_cast<size_t>(sx) * 3, 3);
    }
  }
  image = std::move(upright);
}

}  // namespace pictures
