#include "engine/project_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/file_io.h"
#include "engine/morph_engine.h"
#include "engine/run_length.h"

namespace {

constexpr char kMagic[7] = {'V', 'O', 'V', 'i', 'r', 'u', 'd'};

uint32_t readU32(const uint8_t* from) {
  return static_cast<uint32_t>(from[0]) | static_cast<uint32_t>(from[1]) << 8 |
         static_cast<uint32_t>(from[2]) << 16 | static_cast<uint32_t>(from[3]) << 24;
}
int32_t readI32(const uint8_t* from) {
  return static_cast<int32_t>(readU32(from));
}

uint8_t* putU32(uint8_t* to, uint32_t value) {
  to[0] = static_cast<uint8_t>(value);
  to[1] = static_cast<uint8_t>(value >> 8);
  to[2] = static_cast<uint8_t>(value >> 16);
  to[3] = static_cast<uint8_t>(value >> 24);
  return to + 4;
}
uint8_t* putI32(uint8_t* to, int32_t value) {
  return putU32(to, static_cast<uint32_t>(value));
}

int32_t refuse(std::string* whyNot, const std::string& reason) {
  if (whyNot) *whyNot = reason;
  return 1;
}

std::string pictureReason(size_t picture, const std::string& reason) {
  return "picture " + std::to_string(picture + 1) + ": " + reason;
}

// Walks through the file's bytes; every take checks that the bytes are there.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t left() const { return size_ - pos_; }
  const uint8_t* take(size_t bytes) {
    const uint8_t* at = data_ + pos_;
    pos_ += bytes;
    return at;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// One image block: unit size, packed length, packets that make exactly one picture.
int32_t readPackedBlock(ByteReader& in, size_t picture, PictureImage& image, std::string* whyNot) {
  if (in.left() < kBlockHeaderBytes)
    return refuse(whyNot, pictureReason(picture, "file ends early"));
  const uint8_t* header = in.take(kBlockHeaderBytes);
  const uint32_t unitSize = readU32(header);
  const uint32_t packedLength = readU32(header + 4);
  if (unitSize != kPixelUnitSize) {
    return refuse(whyNot, pictureReason(picture, "unit size " + std::to_string(unitSize) +
                                                     " is not " + std::to_string(kPixelUnitSize)));
  }
  if (packedLength > kPackedWorkArea) {
    return refuse(whyNot,
                  pictureReason(picture, "packed length " + std::to_string(packedLength) +
                                             " is over " + std::to_string(kPackedWorkArea)));
  }
  if (in.left() < packedLength) return refuse(whyNot, pictureReason(picture, "file ends early"));
  const uint8_t* packets = in.take(packedLength);
  switch (unpackBlock(kPicturePixels, kPixelUnitSize, packets, packedLength,
                      reinterpret_cast<uint8_t*>(image.pixels))) {
    case UnpackResult::complete:
      break;
    case UnpackResult::pastUnits:
      return refuse(whyNot, pictureReason(picture, "packets run past the picture"));
    case UnpackResult::pastPackets:
      return refuse(whyNot, pictureReason(picture, "packets end before the picture is complete"));
  }
  // The units are the pixels' bytes, low byte first; on a big-endian machine they would need
  // swapping here.
  static_assert(std::endian::native == std::endian::little);
  return 0;
}

ControlPoint readPointRecord(const uint8_t* record) {
  ControlPoint point{};
  point.x = std::bit_cast<float>(readU32(record));
  point.y = std::bit_cast<float>(readU32(record + 4));
  point.inherited = record[8];
  std::memcpy(point.undefinedBytes, record + 9, 3);
  return point;
}

uint8_t* putPointRecord(uint8_t* to, const ControlPoint& point) {
  to = putU32(to, std::bit_cast<uint32_t>(point.x));
  to = putU32(to, std::bit_cast<uint32_t>(point.y));
  *to++ = point.inherited;
  std::memcpy(to, point.undefinedBytes, 3);
  return to + 3;
}

// Replaces the engine's project by a checked file's content. The first insert resets
// pointCount, so the file's value is set after the pictures are in.
void applyProject(MorphEngine& engine, ProjectFileContent& content) {
  engine.clearProject();
  engine.playMode = content.playMode;
  engine.quality = content.quality;
  engine.speed = content.speed;
  engine.playSize = content.playSize;
  for (size_t n = 0; n < content.images.size(); ++n) {
    engine.insertPicture(std::move(content.images[n]), static_cast<int32_t>(n));
    std::copy(content.points[n].begin(), content.points[n].end(), engine.pictures[n].points.get());
  }
  engine.pointCount = content.pointCount;
}

}  // namespace

bool startsAsProjectFile(const uint8_t* data, size_t size) {
  return size >= sizeof(kMagic) && std::memcmp(data, kMagic, sizeof(kMagic)) == 0;
}

int32_t parseProjectFile(const uint8_t* data, size_t size, ProjectFileContent& content,
                         std::string* whyNot) {
  if (size == 0) return refuse(whyNot, "file is empty");
  const size_t magicBytes = size < sizeof(kMagic) ? size : sizeof(kMagic);
  if (std::memcmp(data, kMagic, magicBytes) != 0) return refuse(whyNot, "not a project file");
  if (size < kProjectHeaderBytes) return refuse(whyNot, "file ends early");

  ByteReader in(data, size);
  const uint8_t* header = in.take(kProjectHeaderBytes);
  const int32_t pictureCount = readI32(header + 8);
  const int32_t pointCount = readI32(header + 12);
  if (pictureCount < 0 || pictureCount > kMaxPictures) {
    return refuse(whyNot, "picture count " + std::to_string(pictureCount) + " is outside 0 to " +
                              std::to_string(kMaxPictures));
  }
  if (pointCount < 0 || pointCount > kMaxPoints) {
    return refuse(whyNot, "point count " + std::to_string(pointCount) + " is outside 0 to " +
                              std::to_string(kMaxPoints));
  }
  ProjectFileContent read;
  read.pointCount = pointCount;
  read.playMode = readI32(header + 16);
  read.quality = readI32(header + 20);
  read.speed = readI32(header + 24);
  read.playSize = readI32(header + 28);

  for (size_t n = 0; n < static_cast<size_t>(pictureCount); ++n) {
    auto image = std::make_unique<PictureImage>();
    if (readPackedBlock(in, n, *image, whyNot) != 0) return 1;
    const size_t recordBytes = static_cast<size_t>(pointCount) * kPointRecordBytes;
    if (in.left() < recordBytes) return refuse(whyNot, pictureReason(n, "file ends early"));
    const uint8_t* records = in.take(recordBytes);
    std::vector<ControlPoint> points(static_cast<size_t>(pointCount));
    for (size_t t = 0; t < points.size(); ++t) {
      points[t] = readPointRecord(records + t * kPointRecordBytes);
    }
    read.images.push_back(std::move(image));
    read.points.push_back(std::move(points));
  }
  content = std::move(read);
  return 0;
}

std::vector<uint8_t> projectFileBytes(const MorphEngine& engine) {
  const size_t pictureCount = static_cast<size_t>(engine.pictureCount);
  const size_t pointCount = static_cast<size_t>(engine.pointCount);
  const size_t longestPacked = worstPackedLength(kPicturePixels, kPixelUnitSize);
  std::vector<uint8_t> bytes(
      kProjectHeaderBytes +
      pictureCount * (kBlockHeaderBytes + longestPacked + pointCount * kPointRecordBytes));
  uint8_t* to = bytes.data();
  std::memcpy(to, kMagic, sizeof(kMagic));
  to[7] = 0;  // reserved
  to = putI32(to + 8, engine.pictureCount);
  to = putI32(to, engine.pointCount);
  to = putI32(to, engine.playMode);
  to = putI32(to, engine.quality);
  to = putI32(to, engine.speed);
  to = putI32(to, engine.playSize);

  // A slot without an image has nothing to save; it is written black rather than lost.
  static const PictureImage blackPicture{};
  for (size_t n = 0; n < pictureCount; ++n) {
    const PictureSlot& slot = engine.pictures[n];
    const PictureImage& image = slot.image ? *slot.image : blackPicture;
    uint8_t* blockHeader = to;
    const int32_t packedLength =
        packUnits(kPicturePixels, kPixelUnitSize, reinterpret_cast<const uint8_t*>(image.pixels),
                  to + kBlockHeaderBytes);
    putU32(blockHeader, kPixelUnitSize);
    putU32(blockHeader + 4, static_cast<uint32_t>(packedLength));
    to += kBlockHeaderBytes + static_cast<size_t>(packedLength);
    for (size_t t = 0; t < pointCount; ++t) to = putPointRecord(to, slot.points[t]);
  }
  bytes.resize(static_cast<size_t>(to - bytes.data()));
  return bytes;
}

int32_t MorphEngine::saveProject(const std::string& path, std::string* whyNot) const {
  const std::vector<uint8_t> bytes = projectFileBytes(*this);
  return replaceFile(path, bytes.data(), bytes.size(), whyNot);
}

int32_t MorphEngine::loadProject(const std::string& path, std::string* whyNot) {
  std::vector<uint8_t> bytes;
  if (readFileStart(path, kMaxProjectFileBytes, bytes, whyNot) != 0) return 1;
  ProjectFileContent content;
  if (parseProjectFile(bytes.data(), bytes.size(), content, whyNot) != 0) return 1;
  applyProject(*this, content);
  return 0;
}
