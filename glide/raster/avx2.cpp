// The pixel pipeline of pixel_pipeline.h, 8 pixels at a time with AVX2. Every step is the
// same integer formula as the scalar one, lane by lane, so the pixels are identical. Compiled
// for AVX2 through the target attribute only, so that nothing else in this file (nor any
// inline function from a header) is built for a CPU the program may not run on.
#include <immintrin.h>

#include "glide/raster/raster.h"

#define MORPH_AVX2 __attribute__((target("avx2")))

namespace glide {

namespace {

struct Channels {
  __m256i r, g, b;
};

// RGB565 to 8 bits per channel by bit replication, on 16-bit halves: a gathered lane holds two
// texels side by side.
MORPH_AVX2 inline Channels widenPairs(__m256i pairs) {
  const __m256i red = _mm256_srli_epi16(pairs, 11);
  const __m256i green = _mm256_and_si256(_mm256_srli_epi16(pairs, 5), _mm256_set1_epi16(0x3F));
  const __m256i blue = _mm256_and_si256(pairs, _mm256_set1_epi16(0x1F));
  return {_mm256_or_si256(_mm256_slli_epi16(red, 3), _mm256_srli_epi16(red, 2)),
          _mm256_or_si256(_mm256_slli_epi16(green, 2), _mm256_srli_epi16(green, 4)),
          _mm256_or_si256(_mm256_slli_epi16(blue, 3), _mm256_srli_epi16(blue, 2))};
}

// The same on 32-bit lanes holding one pixel each.
MORPH_AVX2 inline Channels widenPixels(__m256i pixels) {
  const __m256i red = _mm256_srli_epi32(pixels, 11);
  const __m256i green = _mm256_and_si256(_mm256_srli_epi32(pixels, 5), _mm256_set1_epi32(0x3F));
  const __m256i blue = _mm256_and_si256(pixels, _mm256_set1_epi32(0x1F));
  return {_mm256_or_si256(_mm256_slli_epi32(red, 3), _mm256_srli_epi32(red, 2)),
          _mm256_or_si256(_mm256_slli_epi32(green, 2), _mm256_srli_epi32(green, 4)),
          _mm256_or_si256(_mm256_slli_epi32(blue, 3), _mm256_srli_epi32(blue, 2))};
}

// Texels (x, y) and (x + 1, y) in one 32-bit lane; where x is 255 the right one wraps to
// (0, y), which the plain gather does not reach.
MORPH_AVX2 inline __m256i gatherPairs(const uint16_t* texture, __m256i index, __m256i wrap) {
  const int* base = reinterpret_cast<const int*>(texture);
  __m256i pairs = _mm256_i32gather_epi32(base, index, 2);
  if (!_mm256_testz_si256(wrap, wrap)) {
    const __m256i rowStart = _mm256_sub_epi32(index, _mm256_set1_epi32(255));
    const __m256i first =
        _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, rowStart, wrap, 2);
    const __m256i fixed = _mm256_or_si256(_mm256_and_si256(pairs, _mm256_set1_epi32(0xFFFF)),
                                          _mm256_slli_epi32(first, 16));
    pairs = _mm256_blendv_epi8(pairs, fixed, wrap);
  }
  return pairs;
}

// Bilinear mix of one channel: rows first (pairs times weights, added), then between rows,
// where weightsY holds (256 - wy, wy). The row sums (at most 255 x 256) go into 16-bit halves
// less 32768, so that the second step is a multiply-add too; the 32768 x 256 it leaves out
// comes back with the rounding constant. Exactly (top (256 - wy) + bottom wy + 0x8000) >> 16.
MORPH_AVX2 inline __m256i mixChannel(__m256i top, __m256i bottom, __m256i weightsX,
                                     __m256i weightsY) {
  const __m256i upper = _mm256_madd_epi16(top, weightsX);
  const __m256i lower = _mm256_madd_epi16(bottom, weightsX);
  const __m256i rows = _mm256_xor_si256(_mm256_or_si256(upper, _mm256_slli_epi32(lower, 16)),
                                        _mm256_set1_epi32(static_cast<int32_t>(0x80008000u)));
  const __m256i sum =
      _mm256_add_epi32(_mm256_madd_epi16(rows, weightsY), _mm256_set1_epi32((32768 << 8) + 0x8000));
  return _mm256_srli_epi32(sum, 16);
}

MORPH_AVX2 inline Channels sample(const uint16_t* texture, __m256i s, __m256i t) {
  const __m256i bias = _mm256_set1_epi32(static_cast<int32_t>(kSampleBias));
  const __m256i u = _mm256_sub_epi32(s, bias);
  const __m256i v = _mm256_sub_epi32(t, bias);
  const __m256i byte = _mm256_set1_epi32(0xFF);
  const __m256i x0 = _mm256_srli_epi32(u, kTexelFractionBits);
  const __m256i y0 = _mm256_srli_epi32(v, kTexelFractionBits);
  const __m256i y1 = _mm256_and_si256(_mm256_add_epi32(y0, _mm256_set1_epi32(1)), byte);
  const __m256i wx = _mm256_and_si256(_mm256_srli_epi32(u, kTexelFractionBits - kWeightBits), byte);
  const __m256i wy = _mm256_and_si256(_mm256_srli_epi32(v, kTexelFractionBits - kWeightBits), byte);
  const __m256i wrap = _mm256_cmpeq_epi32(x0, byte);
  const Channels top =
      widenPairs(gatherPairs(texture, _mm256_or_si256(_mm256_slli_epi32(y0, 8), x0), wrap));
  const Channels bottom =
      widenPairs(gatherPairs(texture, _mm256_or_si256(_mm256_slli_epi32(y1, 8), x0), wrap));
  const __m256i weightsX =
      _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(256), wx), _mm256_slli_epi32(wx, 16));
  const __m256i weightsY =
      _mm256_or_si256(_mm256_sub_epi32(_mm256_set1_epi32(256), wy), _mm256_slli_epi32(wy, 16));
  return {mixChannel(top.r, bottom.r, weightsX, weightsY),
          mixChannel(top.g, bottom.g, weightsX, weightsY),
          mixChannel(top.b, bottom.b, weightsX, weightsY)};
}

// source x srcFactor + destination x dstFactor, rounded, at most 255: one multiply-add of
// (source, destination) pairs with (srcFactor, dstFactor).
MORPH_AVX2 inline __m256i blendChannel(__m256i source, __m256i destination, __m256i factors) {
  const __m256i pairs = _mm256_or_si256(source, _mm256_slli_epi32(destination, 16));
  const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(pairs, factors), _mm256_set1_epi32(128));
  return _mm256_min_epu32(_mm256_srli_epi32(sum, 8), _mm256_set1_epi32(255));
}

// 4 (c - (c >> 5)) + threshold, in 1/32 steps, down to 5 bits; 8 (c - (c >> 6)) for 6 bits.
MORPH_AVX2 inline __m256i ditherTo5(__m256i channel, __m256i threshold) {
  const __m256i steps =
      _mm256_slli_epi32(_mm256_sub_epi32(channel, _mm256_srli_epi32(channel, 5)), 2);
  return _mm256_srli_epi32(_mm256_add_epi32(steps, threshold), 5);
}

MORPH_AVX2 inline __m256i ditherTo6(__m256i channel, __m256i threshold) {
  const __m256i steps =
      _mm256_slli_epi32(_mm256_sub_epi32(channel, _mm256_srli_epi32(channel, 6)), 3);
  return _mm256_srli_epi32(_mm256_add_epi32(steps, threshold), 5);
}

MORPH_AVX2 inline __m256i ditherTo565(const Channels& c, __m256i threshold) {
  return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(ditherTo5(c.r, threshold), 11),
                                         _mm256_slli_epi32(ditherTo6(c.g, threshold), 5)),
                         ditherTo5(c.b, threshold));
}

// 8 lanes of 32 bits down to 8 values of 16 bits (all fit).
MORPH_AVX2 inline __m128i narrow(__m256i lanes) {
  return _mm_packus_epi32(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
}

}  // namespace

MORPH_AVX2 void drawRowsAvx2(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
                             int32_t lastRow) {
  if (!setup.edgesFit32) {
    drawRowsPortable(setup, state, firstRow, lastRow);
    return;
  }
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i edgeLanes[3];
  __m256i edgeLimits[3];
  int32_t edgeStepX[3];
  for (int k = 0; k < 3; ++k) {
    edgeStepX[k] = static_cast<int32_t>(setup.edges[k].stepX);
    edgeLanes[k] = _mm256_mullo_epi32(_mm256_set1_epi32(edgeStepX[k]), lane);
    edgeLimits[k] = _mm256_set1_epi32(static_cast<int32_t>(setup.edges[k].threshold) - 1);
  }
  const __m256i sLanes = _mm256_mullo_epi32(_mm256_set1_epi32(setup.s.stepX), lane);
  const __m256i tLanes = _mm256_mullo_epi32(_mm256_set1_epi32(setup.t.stepX), lane);
  const __m256i ditherColumn =
      _mm256_and_si256(_mm256_add_epi32(_mm256_set1_epi32(setup.left), lane), _mm256_set1_epi32(3));
  const bool opaque = state.srcFactor == 256 && state.dstFactor == 0;
  const __m256i factors =
      _mm256_set1_epi32(static_cast<int32_t>(state.srcFactor | (state.dstFactor << 16)));
  const int32_t width = setup.right - setup.left + 1;
  // Pixels left of the screen's right edge from the rectangle's left side: a chunk of 8 that
  // reaches past it goes through a copy, so that no store touches the next row.
  const int32_t roomInRow = state.target.width - setup.left;

  for (int32_t py = firstRow; py <= lastRow; ++py) {
    const int64_t dy = py - setup.top;
    int32_t edgeRow[3];
    for (int k = 0; k < 3; ++k) {
      edgeRow[k] = static_cast<int32_t>(setup.edges[k].atOrigin + setup.edges[k].stepY * dy);
    }
    const uint32_t sRow = setup.s.atOrigin + setup.s.stepY * static_cast<uint32_t>(dy);
    const uint32_t tRow = setup.t.atOrigin + setup.t.stepY * static_cast<uint32_t>(dy);
    uint16_t* row =
        state.target.pixels + static_cast<int64_t>(py) * state.target.width + setup.left;
    uint32_t matrixRow;
    __builtin_memcpy(&matrixRow, state.dither->threshold[py & 3], 4);
    const __m256i threshold = _mm256_permutevar8x32_epi32(
        _mm256_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int32_t>(matrixRow))), ditherColumn);

    for (int32_t cx = 0; cx < width; cx += 8) {
      __m256i covered = _mm256_cmpgt_epi32(_mm256_set1_epi32(width - cx), lane);
      for (int k = 0; k < 3; ++k) {
        const __m256i edge =
            _mm256_add_epi32(_mm256_set1_epi32(edgeRow[k] + edgeStepX[k] * cx), edgeLanes[k]);
        covered = _mm256_and_si256(covered, _mm256_cmpgt_epi32(edge, edgeLimits[k]));
      }
      if (_mm256_testz_si256(covered, covered)) continue;
      const uint32_t column = static_cast<uint32_t>(cx);
      const __m256i s = _mm256_add_epi32(
          _mm256_set1_epi32(static_cast<int32_t>(sRow + setup.s.stepX * column)), sLanes);
      const __m256i t = _mm256_add_epi32(
          _mm256_set1_epi32(static_cast<int32_t>(tRow + setup.t.stepX * column)), tLanes);
      Channels colour = sample(state.texture, s, t);

      const bool wholeChunk = roomInRow - cx >= 8;
      alignas(16) uint16_t copy[8] = {};
      uint16_t* pixels = row + cx;
      if (!wholeChunk) {
        __builtin_memcpy(copy, pixels, static_cast<size_t>(roomInRow - cx) * 2);
        pixels = copy;
      }
      const __m128i below = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
      if (!opaque) {
        const Channels old = widenPixels(_mm256_cvtepu16_epi32(below));
        colour = {blendChannel(colour.r, old.r, factors), blendChannel(colour.g, old.g, factors),
                  blendChannel(colour.b, old.b, factors)};
      }
      const __m128i coveredPixels =
          _mm_packs_epi32(_mm256_castsi256_si128(covered), _mm256_extracti128_si256(covered, 1));
      const __m128i result =
          _mm_blendv_epi8(below, narrow(ditherTo565(colour, threshold)), coveredPixels);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), result);
      if (!wholeChunk) __builtin_memcpy(row + cx, copy, static_cast<size_t>(roomInRow - cx) * 2);
    }
  }
}

}  // namespace glide
