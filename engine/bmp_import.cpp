#include "engine/bmp_import.h"

#include <new>
#include <vector>

#include "engine/file_io.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "glide/platform.h"

namespace {

constexpr size_t kWidthOffset = 18;
constexpr size_t kHeightOffset = 22;
constexpr size_t kBitCountOffset = 28;

uint16_t readU16(const uint8_t* from) {
  return static_cast<uint16_t>(from[0] | from[1] << 8);
}

}  // namespace

int32_t decodePictureFile(const uint8_t* data, size_t size, PictureImage& picture) {
  // A file too short for its pixels is refused like one of the wrong size: its missing pixels
  // would have to be made up.
  if (size < kBmpFileBytes) return kPictureWrongFormat;
  if (readU16(data + kWidthOffset) != kPictureSide ||
      readU16(data + kHeightOffset) != kPictureSide || data[kBitCountOffset] != 24) {
    return kPictureWrongFormat;
  }
  const uint8_t* from = data + kBmpPixelOffset;
  for (int row = kPictureSide - 1; row >= 0; --row) {
    uint16_t* to = picture.pixels + row * kPictureSide;
    for (int column = 0; column < kPictureSide; ++column, from += 3) {
      to[column] = rgb565FromRgb(from[2], from[1], from[0]);
    }
  }
  return kPictureRead;
}

int32_t readPictureFile(const std::string& path, std::unique_ptr<PictureImage>& picture) {
  std::unique_ptr<PictureImage> read(new (std::nothrow) PictureImage);
  if (!read) return kPictureNoMemory;
  std::vector<uint8_t> bytes;
  if (readFileStart(path, kBmpFileBytes, bytes, nullptr) != 0) return kPictureCannotOpen;
  const int32_t result = decodePictureFile(bytes.data(), bytes.size(), *read);
  if (result == kPictureRead) picture = std::move(read);
  return result;
}

std::unique_ptr<PictureImage> MorphEngine::importBmp(const std::string& path) {
  std::unique_ptr<PictureImage> picture;
  if (readPictureFile(path, picture) != kPictureRead) {
    platform::showMessage(kBadPictureMessage, kEngineErrorCaption);
    return nullptr;
  }
  return picture;
}
