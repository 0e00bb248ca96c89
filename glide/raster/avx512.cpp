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

#include <algorithm>
#include <bit>
#include <cstdint>

#include "glide/raster/raster.h"

#define MORPH_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni")))
// The helpers below are meant to melt into the row loop; GCC would otherwise keep the larger
// ones apart and pass their vectors through memory.
#define MORPH_AVX512_INLINE            \
  inline __attribute__((always_inline, \
                        target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni")))

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

// The same mix, left as the sum whose bits 16..23 are the value (bits 0..15 are what the
// rounding drops, the bits above are zero). The row sums go into 16-bit halves by one word
// permute, and the rounding constant into the last multiply-add.
MORPH_AVX512_INLINE __m512i bilinearSum(__m512i top, __m512i bottom, __m512i weightsX,
                                        __m512i weightsY) {
  const __m512i upper = _mm512_madd_epi16(top, weightsX);
  const __m512i lower = _mm512_madd_epi16(bottom, weightsX);
  // Word 2i of the upper row's sums and word 2i of the lower row's, side by side.
  const __m512i lowWords =
      _mm512_setr_epi32(0x00200000, 0x00220002, 0x00240004, 0x00260006, 0x00280008, 0x002A000A,
                        0x002C000C, 0x002E000E, 0x00300010, 0x00320012, 0x00340014, 0x00360016,
                        0x00380018, 0x003A001A, 0x003C001C, 0x003E001E);
  const __m512i rows = _mm512_xor_si512(_mm512_permutex2var_epi16(upper, lowWords, lower),
                                        _mm512_set1_epi32(static_cast<int32_t>(0x80008000u)));
  return _mm512_dpwssd_epi32(_mm512_set1_epi32((32768 << 8) + 0x8000), rows, weightsY);
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

// One triangle, row by row: each row's coverage 32 pixels at a time, then 16-pixel chunks from
// the first covered pixel on.
MORPH_AVX512 void drawRows(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
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
        _mm256_mask_storeu_epi16(row + cx, chunk,
                                 _mm512_cvtepi32_epi16(ditherTo565(colour, threshold)));
      }
    }
  }
}

// ---- Cells -------------------------------------------------------------------------------------
//
// A cell is drawn as a stream of pixels: its rectangle row after row, 16 consecutive pixels to a
// register whatever rows they lie in, so that the lanes stay full on cells of any width. Each
// lane tests the diagonal to know its half, and that half's two other edges to know whether it
// is covered; it takes its texture coordinates from its half's planes. All of these are affine,
// so they are stepped from register to register by additions alone.
//
// Texels come from tiles rather than from memory: the texels a layer samples within a piece of
// the cell (at most 128 of them) sit in two registers per channel, taken from the widened
// texture, and each lane picks its four by byte permutes. A cell is cut into pieces small
// enough for that; where even a short stretch of one row is not, the cell is drawn triangle by
// triangle.

constexpr int64_t kTileTexels = 128;  // per channel: two registers of bytes
constexpr int kMostPieces = 64;

// The texels a layer samples in one piece: columns x0 .. x0 + width - 1 and rows y0 ..
// y0 + height - 1 of the texture (both wrapping), texel (x0 + i, y0 + j) at j * width + i.
struct TexelTile {
  int32_t x0, y0, width, height;
};

// A rectangle of the cell (relative to its left and top), with each layer's tile.
struct Piece {
  int32_t col0, col1, row0, row1;
  TexelTile tiles[2];
};

struct Extent {
  int64_t low = INT64_MAX;
  int64_t high = INT64_MIN;
};

// A plane taken out of its modulo-2^32 form as the whole numbers nearest to `near` with the
// same values modulo 2^32, so that both halves of a cell, whose coordinates meet along the
// diagonal, come out side by side even where they wrap.
struct LiftedPlane {
  int64_t atOrigin, stepX, stepY;
};

LiftedPlane lifted(const TexturePlane& plane, uint32_t near) {
  return {int64_t{near} + static_cast<int32_t>(plane.atOrigin - near),
          static_cast<int32_t>(plane.stepX), static_cast<int32_t>(plane.stepY)};
}

// The values of the plane at the pixels of one half within the piece: those at the piece's
// pixels (an affine function is extreme at a rectangle's corners), and also those in the
// half's triangle (extreme at its corners). Empty where the half has no pixel in the piece.
Extent extentOverHalf(const LiftedPlane& plane, const Piece& piece, const int64_t (&cornerX)[3],
                      const int64_t (&cornerY)[3]) {
  const int64_t first = plane.atOrigin + plane.stepX * piece.col0 + plane.stepY * piece.row0;
  const int64_t across = plane.stepX * (piece.col1 - piece.col0);
  const int64_t down = plane.stepY * (piece.row1 - piece.row0);
  Extent rectangle{first + std::min<int64_t>(across, 0) + std::min<int64_t>(down, 0),
                   first + std::max<int64_t>(across, 0) + std::max<int64_t>(down, 0)};
  // At a corner, in 1/16 of the plane's unit: rounded outwards.
  Extent triangle;
  for (int k = 0; k < 3; ++k) {
    const int64_t sixteenths =
        plane.atOrigin * kSubpixels + plane.stepX * cornerX[k] + plane.stepY * cornerY[k];
    triangle.low = std::min(triangle.low, sixteenths >> kSubpixelBits);
    triangle.high = std::max(triangle.high, -((-sixteenths) >> kSubpixelBits));
  }
  return {std::max(rectangle.low, triangle.low), std::min(rectangle.high, triangle.high)};
}

// The tile of texels the layer samples over the piece; false when it does not fit.
bool fitTile(const Cell& cell, const CellLayer& layer, const Piece& piece, TexelTile& tile) {
  Extent s, t;
  for (int half = 0; half < 2; ++half) {
    const Extent sHalf = extentOverHalf(lifted(layer.s[half], layer.s[0].atOrigin), piece,
                                        cell.cornerX[half], cell.cornerY[half]);
    const Extent tHalf = extentOverHalf(lifted(layer.t[half], layer.t[0].atOrigin), piece,
                                        cell.cornerX[half], cell.cornerY[half]);
    if (sHalf.low > sHalf.high || tHalf.low > tHalf.high) continue;
    s = {std::min(s.low, sHalf.low), std::max(s.high, sHalf.high)};
    t = {std::min(t.low, tHalf.low), std::max(t.high, tHalf.high)};
  }
  if (s.low > s.high) s = t = {0, 0};  // no pixel at all: any tile does
  // Columns x0 .. x1 hold every sample's left texel; each needs the one after it too.
  const int64_t x0 = (s.low - kSampleBias) >> kTexelFractionBits;
  const int64_t x1 = (s.high - kSampleBias) >> kTexelFractionBits;
  const int64_t y0 = (t.low - kSampleBias) >> kTexelFractionBits;
  const int64_t y1 = (t.high - kSampleBias) >> kTexelFractionBits;
  const int64_t width = x1 - x0 + 2;
  const int64_t height = y1 - y0 + 2;
  if (width > kPlanePadding || width * height > kTileTexels) return false;
  tile = {static_cast<int32_t>(x0 & 0xFF), static_cast<int32_t>(y0 & 0xFF),
          static_cast<int32_t>(width), static_cast<int32_t>(height)};
  return true;
}

// Cuts the piece until every layer's tile fits: into rows first, then a single row into
// stretches of no fewer than 8 pixels.
bool planPieces(const Cell& cell, Piece piece, Piece (&pieces)[kMostPieces], int& count) {
  bool fits = true;
  for (int layer = 0; layer < cell.layerCount && fits; ++layer) {
    fits = fitTile(cell, cell.layers[layer], piece, piece.tiles[layer]);
  }
  if (fits) {
    if (count == kMostPieces) return false;
    pieces[count++] = piece;
    return true;
  }
  Piece first = piece;
  Piece second = piece;
  if (piece.row1 > piece.row0) {
    first.row1 = piece.row0 + (piece.row1 - piece.row0) / 2;
    second.row0 = first.row1 + 1;
  } else if (piece.col1 - piece.col0 >= 15) {
    first.col1 = piece.col0 + (piece.col1 - piece.col0) / 2;
    second.col0 = first.col1 + 1;
  } else {
    return false;
  }
  return planPieces(cell, first, pieces, count) && planPieces(cell, second, pieces, count);
}

// base + j x perLane in lane j.
MORPH_AVX512_INLINE __m512i series(uint32_t base, uint32_t perLane) {
  auto at = [base, perLane](uint32_t j) { return static_cast<int32_t>(base + perLane * j); };
  return _mm512_setr_epi32(at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7), at(8), at(9),
                           at(10), at(11), at(12), at(13), at(14), at(15));
}

// A layer's tile in registers.
struct Tile {
  __m512i low[3], high[3];  // texels 0..63 and 64..127 of each channel
  __m512i scale;            // bytes (1, width, 1, width): x + width y by a byte multiply-add
  __m512i down;             // width in each 16-bit half: from a row of the tile to the next
};

MORPH_AVX512_INLINE Tile loadTile(const TexelPlanes& planes, const TexelTile& tile) {
  // Row j of the tile is 64 bytes from column x0 of texture row y0 + j (the padding after each
  // texture row makes that one load), each row overwriting the excess of the one before.
  alignas(64) uint8_t packed[3][kTileTexels + 64];
#pragma GCC unroll 16
  for (int c = 0; c < 3; ++c) {
    for (int32_t j = 0; j < tile.height; ++j) {
      const uint8_t* row = planes.channel[c][(tile.y0 + j) & 0xFF] + tile.x0;
      _mm512_storeu_si512(packed[c] + j * tile.width, _mm512_loadu_si512(row));
    }
  }
  Tile loaded;
#pragma GCC unroll 16
  for (int c = 0; c < 3; ++c) {
    // Bytes past the last row are never picked; they may hold anything.
    loaded.low[c] = _mm512_load_si512(packed[c]);
    loaded.high[c] = _mm512_load_si512(packed[c] + 64);
  }
  const uint32_t width = static_cast<uint32_t>(tile.width);
  loaded.scale = _mm512_set1_epi32(static_cast<int32_t>(0x00010001u | (width * 0x01000100u)));
  loaded.down = _mm512_set1_epi16(static_cast<int16_t>(width));
  return loaded;
}

// The bilinear colour at (s, t), given relative to the tile: s - bias - x0 texels, and the
// same for t, in the 1/2^24-texel format. Lanes that sample outside the tile get some colour.
MORPH_AVX512_INLINE Channels sampleTile(const Tile& tile, __m512i s, __m512i t) {
  // Bytes (x, y, x, y): the top bytes of s and t. Then x + width y in both 16-bit halves, plus
  // one in the upper: the tile indices of the sample's left and right texels in its upper row.
  const __m512i xy = _mm512_permutex2var_epi8(s, series(0x43034303u, 0x04040404u), t);
  const __m512i upperIndex =
      _mm512_add_epi16(_mm512_maddubs_epi16(xy, tile.scale), _mm512_set1_epi32(0x00010000));
  const __m512i lowerIndex = _mm512_add_epi16(upperIndex, tile.down);
  // Each channel's texels as 16-bit (left, right) pairs: the permute writes bytes 0 and 2 of
  // every lane and zeroes the others.
  constexpr __mmask64 kEvenBytes = 0x5555555555555555ull;
  Channels upper, lower;
  __m512i* upperChannels[3] = {&upper.r, &upper.g, &upper.b};
  __m512i* lowerChannels[3] = {&lower.r, &lower.g, &lower.b};
#pragma GCC unroll 16
  for (int c = 0; c < 3; ++c) {
    *upperChannels[c] =
        _mm512_maskz_permutex2var_epi8(kEvenBytes, tile.low[c], upperIndex, tile.high[c]);
    *lowerChannels[c] =
        _mm512_maskz_permutex2var_epi8(kEvenBytes, tile.low[c], lowerIndex, tile.high[c]);
  }
  // Weights (256 - w, w) from the byte below the top one: (w, w) turned into (255 - w, w),
  // plus one.
  const __m512i pick =
      _mm512_set4_epi32(static_cast<int32_t>(0x800E800Eu), static_cast<int32_t>(0x800A800Au),
                        static_cast<int32_t>(0x80068006u), static_cast<int32_t>(0x80028002u));
  const __m512i flip = _mm512_set1_epi32(0xFF);
  const __m512i one = _mm512_set1_epi32(1);
  const __m512i weightsX =
      _mm512_add_epi32(_mm512_xor_si512(_mm512_shuffle_epi8(s, pick), flip), one);
  const __m512i weightsY =
      _mm512_add_epi32(_mm512_xor_si512(_mm512_shuffle_epi8(t, pick), flip), one);
  return {bilinearSum(upper.r, lower.r, weightsX, weightsY),
          bilinearSum(upper.g, lower.g, weightsX, weightsY),
          bilinearSum(upper.b, lower.b, weightsX, weightsY)};
}

// The bilinear values themselves, out of the sums' upper halves.
MORPH_AVX512_INLINE Channels valuesOf(const Channels& sums) {
  return {_mm512_srli_epi32(sums.r, 16), _mm512_srli_epi32(sums.g, 16),
          _mm512_srli_epi32(sums.b, 16)};
}

// Byte i of the table is i widened from 5 bits (or 6) by bit replication.
MORPH_AVX512_INLINE __m512i widenTable(int bits) {
  alignas(64) uint8_t table[64];
  for (int i = 0; i < 64; ++i) {
    const int v = i & ((1 << bits) - 1);
    table[i] = static_cast<uint8_t>(bits == 5 ? (v << 3) | (v >> 2) : (v << 2) | (v >> 4));
  }
  return _mm512_load_si512(table);
}

// A pixel's dither threshold in the forms the steps below take it.
struct Thresholds {
  __m512i plain;    // in 1/32 of an RGB565 step
  __m512i both;     // the same in each 16-bit half
  __m512i shifted;  // times 64
};

// (mask & a) | (~mask & b): the bits of a where the mask has them, the others of b.
MORPH_AVX512_INLINE __m512i halves(__m512i mask, __m512i a, __m512i b) {
  return _mm512_ternarylogic_epi32(mask, a, b, 0xCA);
}

// The sum shifted right by `shift` (left where negative), only the bits in `keep` kept.
MORPH_AVX512_INLINE __m512i shiftedBits(__m512i sum, int shift, uint32_t keep) {
  const __m512i moved = shift >= 0 ? _mm512_srli_epi32(sum, static_cast<unsigned>(shift))
                                   : _mm512_slli_epi32(sum, static_cast<unsigned>(-shift));
  return _mm512_and_si512(moved, _mm512_set1_epi32(static_cast<int32_t>(keep)));
}

// The first layer as the buffer holds it once written, then the second blended over it:
// dithered to RGB565, read back (widened), and source x srcFactor + that x dstFactor.
// `first` and `second` hold bilinear sums (values in their upper halves); `factors` is
// (srcFactor, dstFactor) and `swapped` the reverse. Returns the blends' sums, whose bits 8..15
// are the values (bits above zero while srcFactor + dstFactor <= 256).
//
// Red and blue are dithered together as 16-bit halves. Then one two-table byte permute per
// channel builds the pair for the multiply-add: from the widening table, the read-back value
// of the dithered one; from the second layer's sum, its value.
MORPH_AVX512_INLINE Channels blendOverBuffer(const Channels& first, const Channels& second,
                                             __m512i factors, __m512i swapped,
                                             const Thresholds& threshold,
                                             const __m512i (&widen)[2]) {
  const __m512i upperHalf = _mm512_set1_epi32(static_cast<int32_t>(0xFFFF0000u));
  const __m512i redBlue = halves(upperHalf, first.b, _mm512_srli_epi32(first.r, 16));
  __m512i steps = _mm512_sub_epi16(redBlue, _mm512_srli_epi16(redBlue, 5));
  steps = _mm512_add_epi16(_mm512_slli_epi16(steps, 2), threshold.both);
  const __m512i redBlueDithered = _mm512_srli_epi16(steps, 5);
  steps = _mm512_sub_epi16(first.g, _mm512_srli_epi16(first.g, 6));  // in the upper halves
  steps = _mm512_add_epi16(_mm512_slli_epi16(steps, 3), threshold.both);
  const __m512i greenDithered = _mm512_srli_epi16(steps, 5);
  // Byte 2 of lane i of the second table (the sum's value) is byte 64 + 4i + 2 of the pair.
  const __m512i valueInLower = series(66, 4);
  const __m512i valueInUpper = series(66u << 16, 4u << 16);
  const __m512i redPairs = _mm512_permutex2var_epi8(
      widen[0], halves(upperHalf, valueInUpper, redBlueDithered), second.r);  // (read, value)
  const __m512i greenPairs = _mm512_permutex2var_epi8(
      widen[1], halves(upperHalf, greenDithered, valueInLower), second.g);  // (value, read)
  const __m512i bluePairs = _mm512_permutex2var_epi8(
      widen[0], halves(upperHalf, redBlueDithered, valueInLower), second.b);
  const __m512i rounding = _mm512_set1_epi32(128);
  return {_mm512_dpwssd_epi32(rounding, redPairs, swapped),
          _mm512_dpwssd_epi32(rounding, greenPairs, factors),
          _mm512_dpwssd_epi32(rounding, bluePairs, factors)};
}

// Dithers to RGB565 straight from sums whose bits kAt..kAt + 7 hold the channel values (only
// zeros above them, anything below). The formulas of ditherTo5 and ditherTo6, with each
// channel's result worked out where it lies in the pixel:
//   red:   (4 (c - (c >> 5)) + threshold) << 6 = (c << 8) - ((c >> 5) << 8) + (threshold << 6)
//   green: 8 (c - (c >> 6)) + threshold        = (c << 3) - ((c >> 6) << 3) + threshold
//   blue:  (4 (c - (c >> 5)) + threshold) >> 5 = ((c << 2) - ((c >> 5) << 2) + threshold) >> 5
// where c << n is the sum shifted by kAt - n with the low n bits cleared, and so on.
template <int kAt>
MORPH_AVX512_INLINE __m512i ditherSumsTo565(const Channels& sums, const Thresholds& threshold) {
  const __m512i red = _mm512_add_epi32(
      _mm512_sub_epi32(shiftedBits(sums.r, kAt - 8, ~0xFFu), shiftedBits(sums.r, kAt - 3, ~0xFFu)),
      threshold.shifted);
  const __m512i green = _mm512_add_epi32(
      _mm512_sub_epi32(shiftedBits(sums.g, kAt - 3, ~7u), shiftedBits(sums.g, kAt + 3, ~7u)),
      threshold.plain);
  const __m512i blue = _mm512_srli_epi32(
      _mm512_add_epi32(
          _mm512_sub_epi32(shiftedBits(sums.b, kAt - 2, ~3u), shiftedBits(sums.b, kAt + 3, ~3u)),
          threshold.plain),
      5);
  const __m512i redGreen = _mm512_ternarylogic_epi32(_mm512_set1_epi32(0xF800), red, green, 0xCA);
  return _mm512_ternarylogic_epi32(_mm512_set1_epi32(0xFFE0), redGreen, blue, 0xCA);
}

// The low 16 bits of each lane, packed into 256 bits.
MORPH_AVX512_INLINE __m256i lowHalves(__m512i lanes) {
  return _mm512_castsi512_si256(_mm512_permutexvar_epi16(series(0x00020000u, 0x00040004u), lanes));
}

// Lanes lo .. hi - 1 of 16 (none where hi <= lo).
inline uint32_t laneRange(int32_t lo, int32_t hi) {
  lo = std::max(lo, 0);
  hi = std::min(hi, 16);
  return hi > lo ? (1u << hi) - (1u << lo) : 0;
}

// The cell's functions of the pixel (its five edges, then per layer s and t of half A and of
// half B), each as start + stepX column + stepY row from the piece's first pixel, modulo 2^32
// (exact for the edges, whose values fit 32 bits).
constexpr int kEdgeCount = 5;
struct Linear {
  uint32_t start, stepX, stepY;
};

Linear linearEdge(const EdgeFunction& edge, const Piece& piece) {
  return {static_cast<uint32_t>(edge.atOrigin + edge.stepX * piece.col0 + edge.stepY * piece.row0),
          static_cast<uint32_t>(edge.stepX), static_cast<uint32_t>(edge.stepY)};
}

// The plane relative to the tile: what sampleTile takes.
Linear linearPlane(const TexturePlane& plane, const Piece& piece, int32_t tileOrigin) {
  const uint32_t offset = kSampleBias + (static_cast<uint32_t>(tileOrigin) << kTexelFractionBits);
  return {plane.atOrigin + plane.stepX * static_cast<uint32_t>(piece.col0) +
              plane.stepY * static_cast<uint32_t>(piece.row0) - offset,
          plane.stepX, plane.stepY};
}

// Draws one piece. Its pixels are taken `pitch` to a row, row after row, 16 to a register. A
// wide piece (16 pixels or more) has pitch = width, so a register holds the end of one row and
// the start of the next; a narrow one has pitch = the next power of two, so a register holds
// whole rows and the lanes past the width stay unused.
template <int kLayers, bool kWide>
MORPH_AVX512 void drawPiece(const Cell& cell, const Piece& piece) {
  constexpr int kFunctions = kEdgeCount + 4 * kLayers;
  const int32_t width = piece.col1 - piece.col0 + 1;
  const int32_t rows = piece.row1 - piece.row0 + 1;
  const int32_t pitch =
      kWide ? width : static_cast<int32_t>(std::bit_ceil(static_cast<uint32_t>(width)));
  const int32_t rowsPerRegister = kWide ? 1 : 16 / pitch;
  const int32_t total = pitch * rows;

  Linear linear[kFunctions];
  linear[0] = linearEdge(cell.diagonal, piece);
  linear[1] = linearEdge(cell.edgesA[0], piece);
  linear[2] = linearEdge(cell.edgesA[1], piece);
  linear[3] = linearEdge(cell.edgesB[0], piece);
  linear[4] = linearEdge(cell.edgesB[1], piece);
#pragma GCC unroll 16
  for (int layer = 0; layer < kLayers; ++layer) {
    const CellLayer& from = cell.layers[layer];
    const TexelTile& tile = piece.tiles[layer];
#pragma GCC unroll 16
    for (int half = 0; half < 2; ++half) {
      linear[kEdgeCount + 4 * layer + 2 * half] = linearPlane(from.s[half], piece, tile.x0);
      linear[kEdgeCount + 4 * layer + 2 * half + 1] = linearPlane(from.t[half], piece, tile.y0);
    }
  }
  // Every lane's column and row at the start, and the functions' values there.
  const __m512i lane = series(0, 1);
  const __m512i laneColumn = kWide ? lane : _mm512_and_si512(lane, _mm512_set1_epi32(pitch - 1));
  const __m512i laneRow =
      kWide ? _mm512_setzero_si512()
            : _mm512_srli_epi32(lane, std::countr_zero(static_cast<uint32_t>(pitch)));
  __m512i value[kFunctions];
  // From one register to the next every lane moves 16 pixels on: 16 columns, and for lanes that
  // pass the end of their row one row down and `pitch` columns back (wide pieces); or
  // rowsPerRegister rows down (narrow ones).
  uint32_t stepAll[kFunctions], stepCross[kFunctions];
#pragma GCC unroll 16
  for (int k = 0; k < kFunctions; ++k) {
    const Linear& f = linear[k];
    value[k] = _mm512_add_epi32(
        _mm512_set1_epi32(static_cast<int32_t>(f.start)),
        _mm512_add_epi32(
            _mm512_mullo_epi32(_mm512_set1_epi32(static_cast<int32_t>(f.stepX)), laneColumn),
            _mm512_mullo_epi32(_mm512_set1_epi32(static_cast<int32_t>(f.stepY)), laneRow)));
    stepAll[k] = kWide ? 16 * f.stepX : static_cast<uint32_t>(rowsPerRegister) * f.stepY;
    stepCross[k] = f.stepY - static_cast<uint32_t>(pitch) * f.stepX;
  }
  __m512i edgeLimits[kEdgeCount];
  edgeLimits[0] = _mm512_set1_epi32(static_cast<int32_t>(cell.diagonal.threshold) - 1);
  edgeLimits[1] = _mm512_set1_epi32(static_cast<int32_t>(cell.edgesA[0].threshold) - 1);
  edgeLimits[2] = _mm512_set1_epi32(static_cast<int32_t>(cell.edgesA[1].threshold) - 1);
  edgeLimits[3] = _mm512_set1_epi32(static_cast<int32_t>(cell.edgesB[0].threshold) - 1);
  edgeLimits[4] = _mm512_set1_epi32(static_cast<int32_t>(cell.edgesB[1].threshold) - 1);

  Tile tiles[kLayers];
  __m512i factors[kLayers];
#pragma GCC unroll 16
  for (int layer = 0; layer < kLayers; ++layer) {
    const CellLayer& from = cell.layers[layer];
    tiles[layer] = loadTile(*from.planes, piece.tiles[layer]);
    factors[layer] =
        _mm512_set1_epi32(static_cast<int32_t>(from.srcFactor | (from.dstFactor << 16)));
  }
  const CellLayer& top = cell.layers[kLayers - 1];
  const __m512i swappedFactors =
      _mm512_set1_epi32(static_cast<int32_t>(top.dstFactor | (top.srcFactor << 16)));
  // A blend can exceed 255 only where the factors add up to more than the whole.
  const bool clamps = top.srcFactor + top.dstFactor > 256;
  const __m512i widen[2] = {widenTable(5), widenTable(6)};
  const bool readsBuffer = !(cell.layers[0].srcFactor == 256 && cell.layers[0].dstFactor == 0);

  // The dither matrix as 16 lanes, entry (y & 3, x & 3) at 4 (y & 3) + (x & 3); each lane's
  // entry, and where it goes when the lane moves on.
  const int32_t firstX = cell.left + piece.col0;
  const int32_t firstY = cell.top + piece.row0;
  const __m512i matrix = _mm512_cvtepu8_epi32(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(&cell.dither->threshold[0][0])));
  const __m512i matrixBoth = _mm512_or_si512(matrix, _mm512_slli_epi32(matrix, 16));
  const __m512i matrixShifted = _mm512_slli_epi32(matrix, 6);
  const __m512i three = _mm512_set1_epi32(3);
  __m512i ditherIndex = _mm512_or_si512(
      _mm512_slli_epi32(
          _mm512_and_si512(_mm512_add_epi32(laneRow, _mm512_set1_epi32(firstY)), three), 2),
      _mm512_and_si512(_mm512_add_epi32(laneColumn, _mm512_set1_epi32(firstX)), three));
  const __m512i entryRow = _mm512_srli_epi32(lane, 2);
  const __m512i entryColumn = _mm512_and_si512(lane, three);
  const __m512i moved =
      kWide ? _mm512_or_si512(
                  _mm512_slli_epi32(
                      _mm512_and_si512(_mm512_add_epi32(entryRow, _mm512_set1_epi32(1)), three), 2),
                  _mm512_and_si512(_mm512_sub_epi32(entryColumn, _mm512_set1_epi32(width)), three))
            : _mm512_or_si512(
                  _mm512_slli_epi32(
                      _mm512_and_si512(
                          _mm512_add_epi32(entryRow, _mm512_set1_epi32(rowsPerRegister)), three),
                      2),
                  entryColumn);

  const int32_t stride = cell.target.width;
  uint16_t* const firstPixel = cell.target.pixels + static_cast<int64_t>(firstY) * stride + firstX;
  // Lanes of a narrow piece's register that lie within the piece's width.
  uint32_t inWidth = 0xFFFF;
  if (!kWide) {
    inWidth = 0;
    for (int32_t j = 0; j < rowsPerRegister; ++j) inWidth |= laneRange(0, width) << (j * pitch);
  }

  int32_t row = 0;     // of lane 0, in the piece
  int32_t column = 0;  // of lane 0 (wide pieces)
  for (int32_t position = 0; position < total; position += 16) {
    const int32_t left = total - position;
    const uint32_t valid = (left >= 16 ? 0xFFFFu : (1u << left) - 1) & inWidth;
    // Wide: lanes 0 .. rowEnd - 1 lie in `row`, the others in the next.
    const int32_t rowEnd = width - column;

    // Coverage: the lane's side of the diagonal, then that half's two other edges.
    const __mmask16 sideA = _mm512_cmpgt_epi32_mask(value[0], edgeLimits[0]);
    __mmask16 inA = _mm512_mask_cmpgt_epi32_mask(sideA, value[1], edgeLimits[1]);
    inA = _mm512_mask_cmpgt_epi32_mask(inA, value[2], edgeLimits[2]);
    __mmask16 inB =
        _mm512_mask_cmpgt_epi32_mask(static_cast<__mmask16>(~sideA), value[3], edgeLimits[3]);
    inB = _mm512_mask_cmpgt_epi32_mask(inB, value[4], edgeLimits[4]);
    const __mmask16 covered = static_cast<__mmask16>((inA | inB) & valid);

    if (covered) {
      // Where each lane's pixel is: at most two runs of lanes (wide), or one per row (narrow).
      uint16_t* runStart[16];
      __mmask16 runLanes[16];
      int runs = 0;
      uint16_t* const rowStart = firstPixel + static_cast<int64_t>(row) * stride;
      if (kWide) {
        runStart[0] = rowStart + column;
        runLanes[0] = static_cast<__mmask16>(covered & laneRange(0, rowEnd));
        runStart[1] = rowStart + stride - rowEnd;
        runLanes[1] = static_cast<__mmask16>(covered & laneRange(rowEnd, 16));
        runs = 2;
      } else {
        for (int32_t j = 0; j < rowsPerRegister; ++j) {
          runStart[j] = rowStart + static_cast<int64_t>(j) * stride - j * pitch;
          runLanes[j] = static_cast<__mmask16>(covered & (laneRange(0, pitch) << (j * pitch)));
        }
        runs = rowsPerRegister;
      }

      const Thresholds threshold = {_mm512_permutexvar_epi32(ditherIndex, matrix),
                                    _mm512_permutexvar_epi32(ditherIndex, matrixBoth),
                                    _mm512_permutexvar_epi32(ditherIndex, matrixShifted)};
      const __m512i s0 = _mm512_mask_blend_epi32(sideA, value[kEdgeCount + 2], value[kEdgeCount]);
      const __m512i t0 =
          _mm512_mask_blend_epi32(sideA, value[kEdgeCount + 3], value[kEdgeCount + 1]);
      Channels first = sampleTile(tiles[0], s0, t0);
      if (readsBuffer) {
        __m256i below = _mm256_setzero_si256();
#pragma GCC unroll 16
        for (int j = 0; j < runs; ++j) {
          if (runLanes[j]) below = _mm256_mask_loadu_epi16(below, runLanes[j], runStart[j]);
        }
        const Channels blended =
            blendOver(valuesOf(first), widenPixels(_mm512_cvtepu16_epi32(below)), factors[0]);
        first = {_mm512_slli_epi32(blended.r, 16), _mm512_slli_epi32(blended.g, 16),
                 _mm512_slli_epi32(blended.b, 16)};
      }
      __m512i colour;
      if constexpr (kLayers == 2) {
        const __m512i s1 =
            _mm512_mask_blend_epi32(sideA, value[kEdgeCount + 6], value[kEdgeCount + 4]);
        const __m512i t1 =
            _mm512_mask_blend_epi32(sideA, value[kEdgeCount + 7], value[kEdgeCount + 5]);
        const Channels mixed = blendOverBuffer(first, sampleTile(tiles[1], s1, t1), factors[1],
                                               swappedFactors, threshold, widen);
        if (clamps) {
          const __m512i most = _mm512_set1_epi32(255);
          const Channels values = {_mm512_min_epu32(_mm512_srli_epi32(mixed.r, 8), most),
                                   _mm512_min_epu32(_mm512_srli_epi32(mixed.g, 8), most),
                                   _mm512_min_epu32(_mm512_srli_epi32(mixed.b, 8), most)};
          colour = ditherTo565(values, threshold.plain);
        } else {
          colour = ditherSumsTo565<8>(mixed, threshold);
        }
      } else {
        colour = ditherSumsTo565<16>(first, threshold);
      }
      const __m256i pixels = lowHalves(colour);
#pragma GCC unroll 16
      for (int j = 0; j < runs; ++j) {
        if (runLanes[j]) _mm256_mask_storeu_epi16(runStart[j], runLanes[j], pixels);
      }
    }

    // On to the next 16 pixels.
    if (kWide) {
      const __mmask16 cross = static_cast<__mmask16>(
          laneRange(rowEnd - 16, rowEnd) | laneRange(rowEnd + width - 16, rowEnd + width));
#pragma GCC unroll 16
      for (int k = 0; k < kFunctions; ++k) {
        value[k] = _mm512_add_epi32(value[k], _mm512_set1_epi32(static_cast<int32_t>(stepAll[k])));
        value[k] = _mm512_mask_add_epi32(value[k], cross, value[k],
                                         _mm512_set1_epi32(static_cast<int32_t>(stepCross[k])));
      }
      ditherIndex = _mm512_mask_permutexvar_epi32(ditherIndex, cross, ditherIndex, moved);
      column += 16;
      if (column >= width) {
        column -= width;
        ++row;
      }
    } else {
#pragma GCC unroll 16
      for (int k = 0; k < kFunctions; ++k) {
        value[k] = _mm512_add_epi32(value[k], _mm512_set1_epi32(static_cast<int32_t>(stepAll[k])));
      }
      ditherIndex = _mm512_permutexvar_epi32(ditherIndex, moved);
      row += rowsPerRegister;
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
  drawRows(setup, state, firstRow, lastRow);
}

// The rows of the cell, piece by piece; nothing drawn where a piece cannot be found for some
// part of them.
MORPH_AVX512 bool drawCellRowsAvx512(const Cell& cell, int32_t firstRow, int32_t lastRow) {
  Piece pieces[kMostPieces];
  int count = 0;
  Piece whole{0, cell.right - cell.left, firstRow - cell.top, lastRow - cell.top, {}};
  if (!planPieces(cell, whole, pieces, count)) return false;
  for (int n = 0; n < count; ++n) {
    const Piece& piece = pieces[n];
    const bool wide = piece.col1 - piece.col0 + 1 >= 16;
    if (cell.layerCount == 2) {
      wide ? drawPiece<2, true>(cell, piece) : drawPiece<2, false>(cell, piece);
    } else {
      wide ? drawPiece<1, true>(cell, piece) : drawPiece<1, false>(cell, piece);
    }
  }
  return true;
}

}  // namespace glide
