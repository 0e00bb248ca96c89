#include "glide/raster/texel_planes.h"

#include <cstring>

#include "glide/raster/pixel_pipeline.h"

namespace glide {

void widenTexture(const uint16_t* texels, TexelPlanes& planes) {
  for (int y = 0; y < 256; ++y) {
    uint8_t* red = planes.channel[0][y];
    uint8_t* green = planes.channel[1][y];
    uint8_t* blue = planes.channel[2][y];
    for (int x = 0; x < 256; ++x) {
      const Colour colour = widen565(texels[y * 256 + x]);
      red[x] = static_cast<uint8_t>(colour.r);
      green[x] = static_cast<uint8_t>(colour.g);
      blue[x] = static_cast<uint8_t>(colour.b);
    }
    for (uint8_t* row : {red, green, blue}) std::memcpy(row + 256, row, kPlanePadding);
  }
  for (auto& plane : planes.channel) {
    std::memcpy(plane[256], plane[0], sizeof plane[0] * kPlaneRowPadding);
  }
}

const TexelPlanes* WideTextures::planesFor(uint32_t address, const uint16_t* texels) {
  std::vector<Entry>& block = blocks_[(address >> kBlockShift) % kBlocks];
  Entry* entry = nullptr;
  for (Entry& candidate : block) {
    if (candidate.address == address) entry = &candidate;
  }
  if (!entry) {
    entry = &block.emplace_back(Entry{address, false, std::make_unique<TexelPlanes>()});
    ++count_;
  }
  if (!entry->current) {
    widenTexture(texels, *entry->planes);
    entry->current = true;
  }
  return entry->planes.get();
}

void WideTextures::forget(uint32_t address) {
  // A texture at b overlaps the one changed at `address` when |b - address| < its size, so it
  // lies in the same block or one of the two beside it.
  const int block = static_cast<int>(address >> kBlockShift);
  for (int near = block - 1; near <= block + 1; ++near) {
    if (near < 0 || near >= kBlocks) continue;
    for (Entry& entry : blocks_[near]) {
      const int64_t distance = static_cast<int64_t>(entry.address) - address;
      if (distance < (1 << kBlockShift) && distance > -(1 << kBlockShift)) entry.current = false;
    }
  }
}

void WideTextures::clear() {
  for (std::vector<Entry>& block : blocks_) block.clear();
  count_ = 0;
}

}  // namespace glide
