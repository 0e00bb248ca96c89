// Textures widened once for the fast path: each 256 x 256 RGB565 texture as three planes of
// 8-bit channels (bit-replicated, exactly widen565), every row followed by a copy of its first
// kPlanePadding texels, and the rows followed by copies of the first kPlaneRowPadding. A run
// of up to kPlanePadding + 1 texels starting at any column is then one contiguous load, and
// the kPlaneRowPadding + 1 rows from any row lie one pitch apart, wrapping included; a channel
// needs no unpacking at all.
//
// The board keeps these beside its texture memory (which stays the truth): WideTextures widens
// a texture the first time the fast path draws with it, and forgets it when a download changes
// any of its texels.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace glide {

constexpr int kPlanePadding = 16;
constexpr int kPlanePitch = 256 + kPlanePadding;
constexpr int kPlaneRowPadding = 8;

struct TexelPlanes {
  uint8_t channel[3][256 + kPlaneRowPadding][kPlanePitch];  // red, green, blue
};

void widenTexture(const uint16_t* texels, TexelPlanes& planes);

class WideTextures {
 public:
  // The planes of the 256 x 256 texture whose texels start at `texels`, at byte `address` of
  // texture memory, as that memory holds it now.
  const TexelPlanes* planesFor(uint32_t address, const uint16_t* texels);
  // Texture memory from `address` on, one texture's size, has changed.
  void forget(uint32_t address);
  void clear();
  // How many textures are kept widened; the board clears them when there are too many.
  size_t size() const { return count_; }

 private:
  struct Entry {
    uint32_t address;
    bool current;
    std::unique_ptr<TexelPlanes> planes;
  };
  static constexpr int kBlockShift = 17;  // one texture's size
  static constexpr int kBlocks = 64;      // blocks of texture memory (8 MiB)

  // Entries by the block their address lies in: a lookup is one short list, usually of one.
  std::vector<Entry> blocks_[kBlocks];
  size_t count_ = 0;
};

}  // namespace glide
