// The project file (.kzm), as bytes in memory: the checking parser that loadProject uses, and
// the writer that saveProject uses. Both work on whole files held in memory, so the parser can be
// fed anything (the fuzz target does) and a project is replaced only by a file that was good.
//
// Layout, little-endian:
//   header, 32 bytes: "VOVirud", a reserved byte (written 0, never looked at), then six signed
//     32-bit values: pictureCount, pointCount, playMode, quality, speed, playSize;
//   for each picture: an image block (unit size 2 as 4 bytes, the packed length L as 4 bytes,
//     then L bytes of run-length packets that make the 65536 RGB565 pixels, top row first),
//     then pointCount control-point records of 12 bytes (x and y as floats, the inherited byte,
//     three bytes with no meaning that are kept as read).
// Bytes after the last picture are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/picture.h"

class MorphEngine;

constexpr size_t kProjectHeaderBytes = 32;
constexpr size_t kBlockHeaderBytes = 8;
constexpr size_t kPointRecordBytes = 12;
constexpr uint32_t kPixelUnitSize = 2;
// The reader's work area for one block: the longest packed length it takes. The packer never
// needs more than 131584 bytes, but longer blocks of valid, uneconomic packets load too.
constexpr size_t kPackedWorkArea = 262144;
// No valid project is longer; the loader reads no further.
constexpr size_t kMaxProjectFileBytes =
    kProjectHeaderBytes +
    kMaxPictures * (kBlockHeaderBytes + kPackedWorkArea + kMaxPoints * kPointRecordBytes);

// What a well-formed project file holds.
struct ProjectFileContent {
  int32_t pointCount = 0;
  int32_t playMode = 0;
  int32_t quality = 0;
  int32_t speed = 0;
  int32_t playSize = 0;
  std::vector<std::unique_ptr<PictureImage>> images;  // one per picture, in order
  std::vector<std::vector<ControlPoint>> points;      // per picture, pointCount records
};

// Checks and reads a whole project file. Returns 0 with `content` filled, or nonzero with a
// short reason in *whyNot ("not a project file", "picture 3: packets run past the picture";
// pictures are counted from 1). Settings are taken as they stand, whatever their range.
int32_t parseProjectFile(const uint8_t* data, size_t size, ProjectFileContent& content,
                         std::string* whyNot);

// Whether the bytes begin as a project file does (the letters "VOVirud"), however it goes on.
bool startsAsProjectFile(const uint8_t* data, size_t size);

// The engine's project as the bytes of a project file.
std::vector<uint8_t> projectFileBytes(const MorphEngine& engine);
