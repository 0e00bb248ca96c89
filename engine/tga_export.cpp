#include "engine/tga_export.h"

#include "engine/file_io.h"
#include "engine/morph_engine.h"
#include "glide/glide.h"

namespace {

constexpr int32_t kTgaDepth = 24;
constexpr int32_t kMaxTgaSide = 65535;
constexpr int kFrameNameDigits = 8;

}  // namespace

std::string frameFileName(uint64_t counter) {
  const std::string digits = std::to_string(counter);
  if (digits.size() > kFrameNameDigits) return digits + ".TGA";
  std::string name = "OUT00000";
  name.replace(kFrameNameDigits - digits.size(), digits.size(), digits);
  return name + ".TGA";
}

std::vector<uint8_t> tgaFileBytes(const uint16_t* pixels, int32_t width, int32_t height) {
  const size_t columns = static_cast<size_t>(width);
  const size_t rows = static_cast<size_t>(height);
  std::vector<uint8_t> bytes(kTgaHeaderBytes + 3 * columns * rows);
  uint8_t* to = bytes.data();
  to[2] = 2;  // uncompressed true colour; identification, colour map and origins stay 0
  to[12] = static_cast<uint8_t>(width);
  to[13] = static_cast<uint8_t>(width >> 8);
  to[14] = static_cast<uint8_t>(height);
  to[15] = static_cast<uint8_t>(height >> 8);
  to[16] = kTgaDepth;
  to[17] = 0;  // no alpha bits, first row at the bottom
  to += kTgaHeaderBytes;
  for (size_t k = 0; k < rows; ++k) {
    const uint16_t* row = pixels + (rows - 1 - k) * columns;
    for (size_t x = 0; x < columns; ++x) {
      const uint16_t p = row[x];
      *to++ = static_cast<uint8_t>((p & 0x1F) << 3);
      *to++ = static_cast<uint8_t>(((p >> 5) & 0x3F) << 2);
      *to++ = static_cast<uint8_t>(((p >> 11) & 0x1F) << 3);
    }
  }
  return bytes;
}

int32_t writeTga(const std::string& path, const uint16_t* pixels, int32_t width, int32_t height,
                 std::string* whyNot) {
  if (width < 1 || height < 1 || width > kMaxTgaSide || height > kMaxTgaSide) {
    if (whyNot) *whyNot = "frame size out of range";
    return 1;
  }
  const std::vector<uint8_t> bytes = tgaFileBytes(pixels, width, height);
  return replaceFrameFile(path, bytes.data(), bytes.size(), whyNot);
}

void MorphEngine::saveFrameTga(const std::string& path) {
  writeTgaFile(path, kTgaDepth);
}

int32_t MorphEngine::writeTgaFile(const std::string& path, int32_t depth, std::string* whyNot) {
  if (depth != kTgaDepth) {
    if (whyNot) *whyNot = "only 24-bit frames are written";
    return 1;
  }
  if (viewSize < 1) {
    if (whyNot) *whyNot = "no frame on display";
    return 1;
  }
  const uint32_t side = static_cast<uint32_t>(viewSize);
  std::vector<uint16_t> frame(static_cast<size_t>(side) * side);
  if (!grLfbReadRegion(GR_BUFFER_FRONTBUFFER, static_cast<uint32_t>(originX),
                       static_cast<uint32_t>(originY), side, side, side * 2, frame.data())) {
    // A frame that could not be read back is not written as if it had been.
    if (whyNot) *whyNot = "cannot read the frame back from the display";
    return 1;
  }
  return writeTga(path, frame.data(), viewSize, viewSize, whyNot);
}
