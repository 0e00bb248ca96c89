// The board's per-pixel pipeline: sample the texture bilinearly, blend with the frame buffer,
// dither to RGB565. Plain inline functions on integers, shared by the reference rasteriser and
// the portable fast path; the vector paths compute the same integer formulas lane by lane.
//
// Number formats:
//   - A texture coordinate is a 32-bit unsigned fixed-point number of 1/2^24 texel, taken modulo
//     256 texels: the top 8 bits are the texel, the rest the position inside it. Wrapping
//     (the board's only address mode) is then the natural overflow of the integer.
//   - Colours are worked on 8 bits per channel. RGB565 widens by bit replication, so that 0x1F
//     becomes 255 and 0 stays 0.
#pragma once

#include <cstdint>

#include "glide/glide.h"

namespace glide {

struct Colour {
  uint32_t r, g, b;  // 0..255 each
};

constexpr int kTexelFractionBits = 24;
constexpr uint32_t kHalfTexel = 1u << (kTexelFractionBits - 1);
// Positions are rounded to 1/256 texel before they are split into texel and weight.
constexpr int kWeightBits = 8;
constexpr uint32_t kWeightRounding = 1u << (kTexelFractionBits - kWeightBits - 1);
// Subtracted from a coordinate before the split: texel i has its centre at i + 0.5, so the
// bilinear footprint starts half a texel to the left; plus the rounding above.
constexpr uint32_t kSampleBias = kHalfTexel - kWeightRounding;

inline Colour widen565(uint32_t pixel) {
  const uint32_t r = (pixel >> 11) & 0x1F;
  const uint32_t g = (pixel >> 5) & 0x3F;
  const uint32_t b = pixel & 0x1F;
  return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

// Bilinear filtering between the four texel centres nearest to (s, t) on a 256 x 256 RGB565
// texture, wrapping at its edges. A coordinate on a texel centre gives that texel exactly.
inline Colour sampleBilinear(const uint16_t* texels, uint32_t s, uint32_t t) {
  const uint32_t u = s - kSampleBias;
  const uint32_t v = t - kSampleBias;
  const uint32_t x0 = u >> kTexelFractionBits;
  const uint32_t y0 = v >> kTexelFractionBits;
  const uint32_t x1 = (x0 + 1) & 0xFF;
  const uint32_t y1 = (y0 + 1) & 0xFF;
  const uint32_t wx = (u >> (kTexelFractionBits - kWeightBits)) & 0xFF;
  const uint32_t wy = (v >> (kTexelFractionBits - kWeightBits)) & 0xFF;
  const Colour c00 = widen565(texels[(y0 << 8) | x0]);
  const Colour c10 = widen565(texels[(y0 << 8) | x1]);
  const Colour c01 = widen565(texels[(y1 << 8) | x0]);
  const Colour c11 = widen565(texels[(y1 << 8) | x1]);
  // Rows first, then between the rows; exact integers all the way, rounded once at the end.
  auto mix = [wx, wy](uint32_t a00, uint32_t a10, uint32_t a01, uint32_t a11) {
    const uint32_t top = a00 * (256 - wx) + a10 * wx;
    const uint32_t bottom = a01 * (256 - wx) + a11 * wx;
    return (top * (256 - wy) + bottom * wy + 0x8000) >> 16;
  };
  return {mix(c00.r, c10.r, c01.r, c11.r), mix(c00.g, c10.g, c01.g, c11.g),
          mix(c00.b, c10.b, c01.b, c11.b)};
}

// The constant alpha (0..255) on a scale of 0..256, so that 255 means all of the source and
// 0 none of it.
inline uint32_t scaledAlpha(uint32_t alpha) {
  return alpha + (alpha >> 7);
}

// A blend factor on the 0..256 scale. Unknown factors count as zero.
inline uint32_t blendFactor(GrAlphaBlendFnc_t factor, uint32_t alpha256) {
  switch (factor) {
    case GR_BLEND_ONE:
      return 256;
    case GR_BLEND_SRC_ALPHA:
      return alpha256;
    case GR_BLEND_ONE_MINUS_SRC_ALPHA:
      return 256 - alpha256;
    default:
      return 0;
  }
}

// source x srcFactor + destination x dstFactor, factors on the 0..256 scale, rounded and kept
// within 8 bits.
inline uint32_t blendChannel(uint32_t source, uint32_t destination, uint32_t srcFactor,
                             uint32_t dstFactor) {
  const uint32_t sum = (source * srcFactor + destination * dstFactor + 128) >> 8;
  return sum > 255 ? 255 : sum;
}

inline Colour blend(Colour source, Colour destination, uint32_t srcFactor, uint32_t dstFactor) {
  return {blendChannel(source.r, destination.r, srcFactor, dstFactor),
          blendChannel(source.g, destination.g, srcFactor, dstFactor),
          blendChannel(source.b, destination.b, srcFactor, dstFactor)};
}

// Ordered dither thresholds, in 1/32 of an RGB565 step, by screen position (y & 3, x & 3).
// Each is (m + 0.5) / n of a step for the matrix entry m of an n-level Bayer matrix, so the
// average over the pattern neither brightens nor darkens; without dither every pixel rounds
// to nearest (a threshold of one half).
struct DitherMatrix {
  uint8_t threshold[4][4];
};
inline constexpr DitherMatrix kNoDither = {{
    {16, 16, 16, 16},
    {16, 16, 16, 16},
    {16, 16, 16, 16},
    {16, 16, 16, 16},
}};
// Bayer 2x2 {0 2 / 3 1}: 8m + 4, repeated over the 4x4 cell.
inline constexpr DitherMatrix kDither2x2 = {{
    {4, 20, 4, 20},
    {28, 12, 28, 12},
    {4, 20, 4, 20},
    {28, 12, 28, 12},
}};
// Bayer 4x4 {0 8 2 10 / 12 4 14 6 / 3 11 1 9 / 15 7 13 5}: 2m + 1.
inline constexpr DitherMatrix kDither4x4 = {{
    {1, 17, 5, 21},
    {25, 9, 29, 13},
    {7, 23, 3, 19},
    {31, 15, 27, 11},
}};

inline const DitherMatrix& ditherMatrix(GrDitherMode_t mode) {
  if (mode == GR_DITHER_2x2) return kDither2x2;
  if (mode == GR_DITHER_4x4) return kDither4x4;
  return kNoDither;
}

// An 8-bit channel to 5 bits. c - (c >> 5) maps the widened value of every 5-bit v to exactly
// 8v (the replicated low bits never reach bit 5), so 4 (c - (c >> 5)) is the channel in 1/32
// steps with no fraction for those values: any threshold below 32 gives v back. That is why a
// colour that came from RGB565 is written back unchanged in every dither mode.
inline uint32_t ditherTo5(uint32_t channel, uint32_t threshold) {
  return (4 * (channel - (channel >> 5)) + threshold) >> 5;
}
// The same for 6 bits: c - (c >> 6) is exactly 4v for the widened 6-bit v.
inline uint32_t ditherTo6(uint32_t channel, uint32_t threshold) {
  return (8 * (channel - (channel >> 6)) + threshold) >> 5;
}

inline uint16_t ditherTo565(Colour colour, uint32_t threshold) {
  return static_cast<uint16_t>((ditherTo5(colour.r, threshold) << 11) |
                               (ditherTo6(colour.g, threshold) << 5) |
                               ditherTo5(colour.b, threshold));
}

}  // namespace glide
