// The pixel pipeline of pixel_pipeline.h, 16 pixels at a time with AVX-512. Every step is the
// same integer formula as the scalar one, lane by lane, so the pixels are identical. Compiled
// for AVX-512 through the target attribute only, so that nothing else in this file (nor any
// inline function from a header) is built for a CPU the program may not run on.
// GCC 12 warns inside its own AVX-512 headers (their deliberately undefined vectors).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#include "glide/raster.h"

#define MORPH_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))
// The helpers below are meant to melt into the row loop; GCC would otherwise keep the larger
// ones apart and pass their vectors through memory.
#define MORPH_AVX512_INLINE \
  inline __attribute__((always_inline, target("avx2,avx512f,avx512bw,avx512vl")))

namespace glide {

namespace {

struct Channels {
  __m512i r, g, b;
};

// RGB565 to 8 bits per channel by bit replication, on 16-bit halves: a gathered lane holds two
// texels side by side.
MORPH_AVX512_INLINE Channels widenPairs(__m512i pairs) {
  const __m512i red = _mm512_srli_epi16(pairs, 11);
  const __m512i green = _mm512_and_si512(_mm512_srli_epi16(pairs, 5), _mm512_set1_epi16(0x3F));
  const __m512i blue = _mm512_and_si512(pairs, _mm512_set1_epi16(0x1F));
  return {_mm512_or_si512(_mm512_slli_epi16(red, 3), _mm512_srli_epi16(red, 2)),
          _mm512_or_si512(_mm512_slli_epi16(green, 2), _mm512_srli_epi16(green, 4)),
          _mm512_or_si512(_mm512_slli_epi16(blue, 3), _mm512_srli_epi16(blue, 2))};
}

// The same on 32-bit lanes holding one pixel each.
MORPH_AVX512_INLINE Channels widenPixels(__m512i pixels) {
  const __m512i red = _mm512_srli_epi32(pixels, 11);
  const __m512i green = _mm512_and_si512(_mm512_srli_epi32(pixels, 5), _mm512_set1_epi32(0x3F));
  const __m512i blue = _mm512_and_si512(pixels, _mm512_set1_epi32(0x1F));
  return {_mm512_or_si512(_mm512_slli_epi32(red, 3), _mm512_srli_epi32(red, 2)),
          _mm512_or_si512(_mm512_slli_epi32(green, 2), _mm512_srli_epi32(green, 4)),
          _mm512_or_si512(_mm512_slli_epi32(blue, 3), _mm512_srli_epi32(blue, 2))};
}

// Bilinear mix of one channel: rows first (pairs times weights, added), then between rows,
// where weightsY holds (256 - wy, wy). The row sums (at most 255 x 256) go into 16-bit halves
// less 32768, so that the second step is a multiply-add too; the 32768 x 256 it leaves out
// comes back with the rounding constant. Exactly (top (256 - wy) + bottom wy + 0x8000) >> 16.
MORPH_AVX512_INLINE __m512i mixChannel(__m512i top, __m512i bottom, __m512i weightsX,
                                       __m512i weightsY) {
  const __m512i upper = _mm512_madd_epi16(top, weightsX);
  const __m512i lower = _mm512_madd_epi16(bottom, weightsX);
  const __m512i rows = _mm512_xor_si512(_mm512_or_si512(upper, _mm512_slli_epi32(lower, 16)),
                                        _mm512_set1_epi32(static_cast<int32_t>(0x80008000u)));
  const __m512i sum =
      _mm512_add_epi32(_mm512_madd_epi16(rows, weightsY), _mm512_set1_epi32((32768 << 8) + 0x8000));
  return _mm512_srli_epi32(sum, 16);
}

// Where a chunk's 16 pixels sample a small patch of the texture (the usual case: a picture is
// drawn at its own size or enlarged), the patch's rows are loaded whole and each lane picks its
// texels out of them with permutes, which is much cheaper than gathering texel by texel.
// TexelWindow says whether that holds along one axis: the chunk's coordinates, first + lane x
// step for lanes 0 to 15, cross no edge of the texture and cover the texels low to at most
// low + extent.
struct TexelWindow {
  int32_t low;
  bool fits;
};

inline TexelWindow texelWindow(uint32_t first, uint32_t step, int32_t extent) {
  const int32_t signedStep = static_cast<int32_t>(step);
  if (signedStep > (1 << 26) || signedStep < -(1 << 26)) return {0, false};
  const uint32_t start = first - kSampleBias;
  const uint32_t end = start + static_cast<uint32_t>(15 * signedStep);
  // The coordinates run from start to end; past 2^32 they would wrap to the other edge.
  const bool forward = signedStep >= 0;
  if (forward ? end < start : end > start) return {0, false};
  const uint32_t low = forward ? start : end;
  const uint32_t high = forward ? end : start;
  const int32_t lowTexel = static_cast<int32_t>(low >> kTexelFractionBits);
  return {lowTexel, static_cast<int32_t>(high >> kTexelFractionBits) - lowTexel <= extent};
}

struct TexelPairs {
  __m512i top, bottom;  // (x0, y0) and (x0 + 1, y0); (x0, y1) and (x0 + 1, y1)
};

// Texels (x, y) and (x + 1, y) in one 32-bit lane; where x is 255 the right one wraps to
// (0, y), which the plain gather does not reach.
MORPH_AVX512_INLINE __m512i gatherPairs(const uint16_t* texture, __m512i index, __mmask16 lanes,
                                        __mmask16 wrap) {
  __m512i pairs = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, index, texture, 2);
  if (wrap) {
    const __m512i rowStart = _mm512_sub_epi32(index, _mm512_set1_epi32(255));
    const __m512i first =
        _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), wrap, rowStart, texture, 2);
    const __m512i fixed = _mm512_or_si512(_mm512_and_si512(pairs, _mm512_set1_epi32(0xFFFF)),
                                          _mm512_slli_epi32(first, 16));
    pairs = _mm512_mask_blend_epi32(wrap, pairs, fixed);
  }
  return pairs;
}

MORPH_AVX512_INLINE TexelPairs gatherTexelPairs(const uint16_t* texture, __m512i x0, __m512i y0,
                                                __m512i y1, __mmask16 lanes) {
  const __mmask16 wrap = _mm512_mask_cmpeq_epi32_mask(lanes, x0, _mm512_set1_epi32(0xFF));
  return {gatherPairs(texture, _mm512_or_si512(_mm512_slli_epi32(y0, 8), x0), lanes, wrap),
          gatherPairs(texture, _mm512_or_si512(_mm512_slli_epi32(y1, 8), x0), lanes, wrap)};
}

// The same texels out of the 32-texel rows low.y, low.y + 1 and low.y + 2 from column low.x
// (each lane's y0 being low.y or low.y + 1, and x0 + 1 within the 32 columns).
MORPH_AVX512_INLINE TexelPairs windowTexelPairs(const uint16_t* texture, __m512i x0, __m512i y0,
                                                int32_t lowX, int32_t lowY) {
  const __m512i rows[3] = {
      _mm512_loadu_si512(texture + (((lowY + 0) & 0xFF) << 8) + lowX),
      _mm512_loadu_si512(texture + (((lowY + 1) & 0xFF) << 8) + lowX),
      _mm512_loadu_si512(texture + (((lowY + 2) & 0xFF) << 8) + lowX),
  };
  // Word 2i picks column x0 - lowX of lane i, word 2i + 1 the column after it.
  const __m512i column = _mm512_sub_epi32(x0, _mm512_set1_epi32(lowX));
  const __m512i index = _mm512_or_si512(
      column, _mm512_slli_epi32(_mm512_add_epi32(column, _mm512_set1_epi32(1)), 16));
  // Both words of the lanes whose y0 is the second row.
  const __m512i lowerRow = _mm512_set1_epi32((lowY + 1) & 0xFF);
  const __mmask32 second =
      _mm512_cmpeq_epi16_mask(_mm512_or_si512(y0, _mm512_slli_epi32(y0, 16)),
                              _mm512_or_si512(lowerRow, _mm512_slli_epi32(lowerRow, 16)));
  return {_mm512_mask_permutexvar_epi16(_mm512_permutexvar_epi16(index, rows[0]), second, index,
                                        rows[1]),
          _mm512_mask_permutexvar_epi16(_mm512_permutexvar_epi16(index, rows[1]), second, index,
                                        rows[2])};
}

// Only the given lanes are fetched; the others come out as black.
MORPH_AVX512_INLINE Channels sample(const uint16_t* texture, __m512i s, __m512i t, __mmask16 lanes,
                                    uint32_t sFirst, uint32_t sStep, uint32_t tFirst,
                                    uint32_t tStep) {
  const __m512i bias = _mm512_set1_epi32(static_cast<int32_t>(kSampleBias));
  const __m512i u = _mm512_sub_epi32(s, bias);
  const __m512i v = _mm512_sub_epi32(t, bias);
  const __m512i byte = _mm512_set1_epi32(0xFF);
  const __m512i x0 = _mm512_srli_epi32(u, kTexelFractionBits);
  const __m512i y0 = _mm512_srli_epi32(v, kTexelFractionBits);
  const __m512i wx = _mm512_and_si512(_mm512_srli_epi32(u, kTexelFractionBits - kWeightBits), byte);
  const __m512i wy = _mm512_and_si512(_mm512_srli_epi32(v, kTexelFractionBits - kWeightBits), byte);
  const TexelWindow across = texelWindow(sFirst, sStep, 30);
  const TexelWindow down = texelWindow(tFirst, tStep, 1);
  const TexelPairs texels =
      across.fits && down.fits && across.low <= 256 - 32
          ? windowTexelPairs(texture, x0, y0, across.low, down.low)
          : gatherTexelPairs(texture, x0, y0,
                             _mm512_and_si512(_mm512_add_epi32(y0, _mm512_set1_epi32(1)), byte),
                             lanes);
  const Channels top = widenPairs(texels.top);
  const Channels bottom = widenPairs(texels.bottom);
  const __m512i weightsX =
      _mm512_or_si512(_mm512_sub_epi32(_mm512_set1_epi32(256), wx), _mm512_slli_epi32(wx, 16));
  const __m512i weightsY =
      _mm512_or_si512(_mm512_sub_epi32(_mm512_set1_epi32(256), wy), _mm512_slli_epi32(wy, 16));
  return {mixChannel(top.r, bottom.r, weightsX, weightsY),
          mixChannel(top.g, bottom.g, weightsX, weightsY),
          mixChannel(top.b, bottom.b, weightsX, weightsY)};
}

// source x srcFactor + destination x dstFactor, rounded, at most 255: one multiply-add of
// (source, destination) pairs with (srcFactor, dstFactor).
MORPH_AVX512_INLINE __m512i blendChannel(__m512i source, __m512i destination, __m512i factors) {
  const __m512i pairs = _mm512_or_si512(source, _mm512_slli_epi32(destination, 16));
  const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(pairs, factors), _mm512_set1_epi32(128));
  return _mm512_min_epu32(_mm512_srli_epi32(sum, 8), _mm512_set1_epi32(255));
}

// 4 (c - (c >> 5)) + threshold, in 1/32 steps, down to 5 bits; 8 (c - (c >> 6)) for 6 bits.
MORPH_AVX512_INLINE __m512i ditherTo5(__m512i channel, __m512i threshold) {
  const __m512i steps =
      _mm512_slli_epi32(_mm512_sub_epi32(channel, _mm512_srli_epi32(channel, 5)), 2);
  return _mm512_srli_epi32(_mm512_add_epi32(steps, threshold), 5);
}

MORPH_AVX512_INLINE __m512i ditherTo6(__m512i channel, __m512i threshold) {
  const __m512i steps =
      _mm512_slli_epi32(_mm512_sub_epi32(channel, _mm512_srli_epi32(channel, 6)), 3);
  return _mm512_srli_epi32(_mm512_add_epi32(steps, threshold), 5);
}

MORPH_AVX512_INLINE __m512i ditherTo565(const Channels& c, __m512i threshold) {
  return _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi32(ditherTo5(c.r, threshold), 11),
                                         _mm512_slli_epi32(ditherTo6(c.g, threshold), 5)),
                         ditherTo5(c.b, threshold));
}

// One triangle's texture and blend, ready for chunks of 16 pixels.
struct Layer {
  const TriangleSetup* setup;
  const DrawState* state;
  __m512i sLanes, tLanes;
  __m512i factors;
  bool opaque;
};

MORPH_AVX512_INLINE Layer makeLayer(const TriangleSetup& setup, const DrawState& state,
                                    __m512i lane) {
  return {&setup,
          &state,
          _mm512_mullo_epi32(_mm512_set1_epi32(static_cast<int32_t>(setup.s.stepX)), lane),
          _mm512_mullo_epi32(_mm512_set1_epi32(static_cast<int32_t>(setup.t.stepX)), lane),
          _mm512_set1_epi32(static_cast<int32_t>(state.srcFactor | (state.dstFactor << 16))),
          state.srcFactor == 256 && state.dstFactor == 0};
}

// The layer's texture colour for the chunk of pixels from `column` (relative to the set-up's
// left side) in row dy (relative to its top).
MORPH_AVX512_INLINE Channels layerColour(const Layer& layer, uint32_t dy, uint32_t column,
                                         __mmask16 chunk) {
  const TriangleSetup& setup = *layer.setup;
  const uint32_t sFirst = setup.s.atOrigin + setup.s.stepY * dy + setup.s.stepX * column;
  const uint32_t tFirst = setup.t.atOrigin + setup.t.stepY * dy + setup.t.stepX * column;
  const __m512i s = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(sFirst)), layer.sLanes);
  const __m512i t = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(tFirst)), layer.tLanes);
  return sample(layer.state->texture, s, t, chunk, sFirst, setup.s.stepX, tFirst, setup.t.stepX);
}

MORPH_AVX512_INLINE Channels blendOver(const Channels& colour, const Channels& below,
                                       __m512i factors) {
  return {blendChannel(colour.r, below.r, factors), blendChannel(colour.g, below.g, factors),
          blendChannel(colour.b, below.b, factors)};
}

// Draws `setup` with `state` and, when `over` is given, right after it in each chunk the
// triangle of the same shape `over` with `overState` (same target and dither): the pixels the
// first writes are blended under the second's while still in registers.
MORPH_AVX512 void drawRows(const TriangleSetup& setup, const DrawState& state,
                           const TriangleSetup* over, const DrawState* overState, int32_t firstRow,
                           int32_t lastRow) {
  const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __m512i edgeLanes[3];
  __m512i edgeLimits[3];
  int32_t edgeStepX[3];
  for (int k = 0; k < 3; ++k) {
    edgeStepX[k] = static_cast<int32_t>(setup.edges[k].stepX);
    edgeLanes[k] = _mm512_mullo_epi32(_mm512_set1_epi32(edgeStepX[k]), lane);
    edgeLimits[k] = _mm512_set1_epi32(static_cast<int32_t>(setup.edges[k].threshold) - 1);
  }
  const Layer base = makeLayer(setup, state, lane);
  const Layer top = over ? makeLayer(*over, *overState, lane) : base;
  const int32_t width = setup.right - setup.left + 1;

  for (int32_t py = firstRow; py <= lastRow; ++py) {
    const int64_t dy = py - setup.top;
    int32_t edgeRow[3];
    for (int k = 0; k < 3; ++k) {
      edgeRow[k] = static_cast<int32_t>(setup.edges[k].atOrigin + setup.edges[k].stepY * dy);
    }
    uint16_t* row =
        state.target.pixels + static_cast<int64_t>(py) * state.target.width + setup.left;
    uint32_t matrixRow;
    __builtin_memcpy(&matrixRow, state.dither->threshold[py & 3], 4);
    const __m512i matrix = _mm512_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int32_t>(matrixRow)));

    // The row's coverage 32 pixels at a time; then 16-pixel chunks from the first covered
    // pixel on, so that a span of up to 16 pixels costs one chunk wherever it starts.
    for (int32_t window = 0; window < width; window += 32) {
      uint32_t covered = 0;
      for (int32_t half = 0; half < 32 && window + half < width; half += 16) {
        const int32_t cx = window + half;
        __mmask16 inside =
            width - cx >= 16 ? 0xFFFF : static_cast<__mmask16>((1u << (width - cx)) - 1);
        for (int k = 0; k < 3; ++k) {
          const __m512i edge =
              _mm512_add_epi32(_mm512_set1_epi32(edgeRow[k] + edgeStepX[k] * cx), edgeLanes[k]);
          inside = _mm512_mask_cmpgt_epi32_mask(inside, edge, edgeLimits[k]);
        }
        covered |= static_cast<uint32_t>(inside) << half;
      }
      while (covered) {
        const int first = __builtin_ctz(covered);
        const __mmask16 chunk = static_cast<__mmask16>(covered >> first);
        covered = static_cast<uint32_t>(covered & ~(uint64_t{0xFFFF} << first));
        const int32_t cx = window + first;
        const __m512i ditherColumn = _mm512_and_si512(
            _mm512_add_epi32(_mm512_set1_epi32(setup.left + cx), lane), _mm512_set1_epi32(3));
        const __m512i threshold = _mm512_permutexvar_epi32(ditherColumn, matrix);
        const uint32_t rowInSetup = static_cast<uint32_t>(dy);
        Channels colour = layerColour(base, rowInSetup, static_cast<uint32_t>(cx), chunk);
        if (!base.opaque) {
          const Channels below =
              widenPixels(_mm512_cvtepu16_epi32(_mm256_maskz_loadu_epi16(chunk, row + cx)));
          colour = blendOver(colour, below, base.factors);
        }
        __m512i pixels = ditherTo565(colour, threshold);
        if (over) {
          const Channels upper = layerColour(top, rowInSetup, static_cast<uint32_t>(cx), chunk);
          pixels = ditherTo565(blendOver(upper, widenPixels(pixels), top.factors), threshold);
        }
        _mm256_mask_storeu_epi16(row + cx, chunk, _mm512_cvtepi32_epi16(pixels));
      }
    }
  }
}

}  // namespace

MORPH_AVX512 void drawRowsAvx512(const TriangleSetup& setup, const DrawState& state,
                                 int32_t firstRow, int32_t lastRow) {
  if (!setup.edgesFit32) {
    drawRowsPortable(setup, state, firstRow, lastRow);
    return;
  }
  drawRows(setup, state, nullptr, nullptr, firstRow, lastRow);
}

MORPH_AVX512 void drawRowsPairAvx512(const TriangleSetup& setup, const DrawState& state,
                                     const TriangleSetup& over, const DrawState& overState,
                                     int32_t firstRow, int32_t lastRow) {
  if (!setup.edgesFit32) {
    drawRowsPortable(setup, state, firstRow, lastRow);
    drawRowsPortable(over, overState, firstRow, lastRow);
    return;
  }
  drawRows(setup, state, &over, &overState, firstRow, lastRow);
}

}  // namespace glide
