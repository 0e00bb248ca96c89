// Writes morph project files for the tests, byte by byte as the format lays them out, without
// the engine: the player's tests then read files that no code of ours under test produced.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace testing_kzm {

struct ProjectRecipe {
  int32_t pictureCount = 2;
  int32_t pointCount = 0;
  int32_t playMode = 0;
  int32_t quality = 28;
  int32_t speed = 100;
  int32_t playSize = 450;
  bool solid = true;  // one colour a picture; otherwise a busy pattern (no two equal neighbours)
};

// The colour of picture n of a solid project: distinct, and exact in RGB565.
inline uint16_t solidColour(int32_t picture) {
  static const uint16_t colours[] = {0xF800, 0x001F, 0x07E0, 0xFFE0, 0xF81F, 0x07FF, 0x8410};
  return colours[picture % 7];
}

inline uint16_t pixelOf(const ProjectRecipe& recipe, int32_t picture, int32_t x, int32_t y) {
  if (recipe.solid) return solidColour(picture);
  const uint32_t mix = static_cast<uint32_t>(x * 7 + y * 131 + picture * 977) * 2654435761u;
  return static_cast<uint16_t>((mix >> 16) | 1u) ^ static_cast<uint16_t>(x & 1);
}

inline void put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline void putFloat(std::vector<uint8_t>& out, float value) {
  uint32_t bits;
  static_assert(sizeof bits == sizeof value);
  __builtin_memcpy(&bits, &value, sizeof bits);
  put32(out, bits);
}

// The whole file. Pixels go out as literal packets of 128 units, which every reader takes;
// control points are scattered over the picture, a little apart from picture to picture.
inline std::vector<uint8_t> projectBytes(const ProjectRecipe& recipe) {
  std::vector<uint8_t> out = {'V', 'O', 'V', 'i', 'r', 'u', 'd', 0};
  for (int32_t field : {recipe.pictureCount, recipe.pointCount, recipe.playMode, recipe.quality, recipe.speed,
                        recipe.playSize}) {
    put32(out, static_cast<uint32_t>(field));
  }
  constexpr int32_t kSide = 256;
  constexpr int32_t kPacketUnits = 128;
  for (int32_t n = 0; n < recipe.pictureCount; ++n) {
    put32(out, 2);
    put32(out, kSide * kSide / kPacketUnits * (1 + 2 * kPacketUnits));
    for (int32_t unit = 0; unit < kSide * kSide; ++unit) {
      if (unit % kPacketUnits == 0) out.push_back(kPacketUnits - 1);
      const uint16_t pixel = pixelOf(recipe, n, unit % kSide, unit / kSide);
      out.push_back(static_cast<uint8_t>(pixel));
      out.push_back(static_cast<uint8_t>(pixel >> 8));
    }
    for (int32_t t = 0; t < recipe.pointCount; ++t) {
      const float x = static_cast<float>(20 + (t * 37 + n * 3) % 216);
      const float y = static_cast<float>(20 + (t * 53 + n * 5) % 216);
      putFloat(out, x);
      putFloat(out, y);
      out.insert(out.end(), {0, 0, 0, 0});
    }
  }
  return out;
}

inline bool writeProject(const std::string& path, const ProjectRecipe& recipe) {
  const std::vector<uint8_t> bytes = projectBytes(recipe);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace testing_kzm
