// The fast path's rasteriser, written once on Highway and compiled for every instruction set
// Highway targets here (foreach_target.h includes this file once per target); the table at
// the end chooses among them at run time.
//
// It draws a cell (raster.h) row by row, a vector of pixels at a time, each lane one pixel:
// the lane finds its half of the cell by the diagonal, whether it is covered by that half's
// two other edges, and its texture coordinates from that half's planes. All of these are
// affine, so they are stepped from chunk to chunk by additions. Both layers are drawn in the
// same pass: the first layer's colour is dithered to RGB565 and widened again, exactly as the
// buffer would hold it, and the second is blended over that; each pixel is read and written
// once. Every step is the integer formula of pixel_pipeline.h, lane by lane, so the pixels
// are the reference's. A lone triangle is drawn as a cell whose second half is empty.
//
// Texels come from the widened planes (texel_planes.h). Where the lanes of a row sample
// within 15 texel columns and two neighbouring texel rows (the usual case: a picture drawn at
// about its own size or larger), the row loads those 16 columns of the three texel rows
// involved once, and each lane picks its texels out of them with byte shuffles within
// 128-bit blocks (every target has them). Elsewhere each lane's texels are gathered. Reads
// stay inside the planes: 16 bytes from any column, or 4 from any texel, fall within a row and
// its padding.

// Left out: SSSE3 without SSE4 (the Core 2 of 2006 takes the scalar target), and SVE, whose
// vectors have no size known to the compiler and so cannot be kept in tables as here (NEON
// serves every ARM64 processor).
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "glide/raster/vector_raster.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
//
#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "glide/raster/raster.h"

HWY_BEFORE_NAMESPACE();
namespace glide {
namespace HWY_NAMESPACE {

// Without vectors of 128 bits at least (Highway's scalar and emulated targets), the plain
// C++ rasteriser is the faster.
#define MORPH_VECTORS (HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128)
#if !MORPH_VECTORS
FastPath fastPath() {
  return {drawRowsPortable, nullptr};
}
#else
namespace {

namespace hn = hwy::HWY_NAMESPACE;

// One pixel per 32-bit lane, at most 16 lanes: a cell's edge values fit 32 bits up to 16
// pixels beyond its right side, and no more lanes than that are ever needed.
using D = hn::CappedTag<uint32_t, 16>;
using DI = hn::RebindToSigned<D>;
using DPixels = hn::Rebind<uint16_t, D>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;
constexpr int kMostLanes = 16;

using D8 = hn::Repartition<uint8_t, D>;
using Table = hn::Vec<D8>;  // 16 texels of a channel in every 128-bit block
constexpr int kWindowColumns = 16;  // texel columns a row's lookup table holds

// Lane i: a[2i] b[2i] + a[2i + 1] b[2i + 1], the 16-bit halves taken as signed.
HWY_INLINE V pairSums(V a, V b) {
  const D d;
  const DI di;
  const hn::Repartition<int16_t, D> d16;
  hn::Vec<DI> odd = hn::Zero(di);
  const hn::Vec<DI> even =
      hn::ReorderWidenMulAccumulate(di, hn::BitCast(d16, a), hn::BitCast(d16, b), hn::Zero(di), odd);
  return hn::BitCast(d, hn::RearrangeToOddPlusEven(even, odd));
}

// Bilinear mix of one channel from its texel pairs (left, right) in the upper and the lower
// texel row: rows first (pairs times weightsX, added), then between rows, where weightsY
// holds (256 - wy, wy). The row sums (at most 255 x 256) go into 16-bit halves less 32768,
// so that the second step is a multiply-add too; the 32768 x 256 it leaves out comes back
// with the rounding constant. Exactly (top (256 - wy) + bottom wy + 0x8000) >> 16.
HWY_INLINE V mixChannel(V top, V bottom, V weightsX, V weightsY) {
  const D d;
  const V upper = pairSums(top, weightsX);
  const V lower = pairSums(bottom, weightsX);
  const V rows = hn::Xor(hn::Or(upper, hn::ShiftLeft<16>(lower)), hn::Set(d, 0x80008000u));
  return hn::ShiftRight<16>(hn::Add(pairSums(rows, weightsY), hn::Set(d, (32768u << 8) + 0x8000)));
}

// source x srcFactor + destination x dstFactor, rounded, at most 255: one multiply-add of
// (source, destination) pairs with factors = (srcFactor, dstFactor).
HWY_INLINE V blendChannel(V source, V destination, V factors) {
  const D d;
  const V sum = hn::Add(pairSums(hn::Or(source, hn::ShiftLeft<16>(destination)), factors),
                        hn::Set(d, 128u));
  return hn::Min(hn::ShiftRight<8>(sum), hn::Set(d, 255u));
}

// RGB565 fields to 8 bits by bit replication.
HWY_INLINE V widen5(V v) {
  return hn::Or(hn::ShiftLeft<3>(v), hn::ShiftRight<2>(v));
}
HWY_INLINE V widen6(V v) {
  return hn::Or(hn::ShiftLeft<2>(v), hn::ShiftRight<4>(v));
}

// 4 (c - (c >> 5)) + threshold, in 1/32 steps, down to 5 bits; 8 (c - (c >> 6)) for 6 bits.
HWY_INLINE V ditherTo5(V channel, V threshold) {
  const V steps = hn::ShiftLeft<2>(hn::Sub(channel, hn::ShiftRight<5>(channel)));
  return hn::ShiftRight<5>(hn::Add(steps, threshold));
}
HWY_INLINE V ditherTo6(V channel, V threshold) {
  const V steps = hn::ShiftLeft<3>(hn::Sub(channel, hn::ShiftRight<6>(channel)));
  return hn::ShiftRight<5>(hn::Add(steps, threshold));
}

// The cell's affine functions of the pixel, modulo 2^32: its five edges (the diagonal, then
// A's two others and B's), then for each layer s of A, s of B, t of A and t of B.
constexpr int kEdges = 5;
struct Linear {
  uint32_t atOrigin, stepX, stepY;
};

Linear linearEdge(const EdgeFunction& edge) {
  return {static_cast<uint32_t>(edge.atOrigin), static_cast<uint32_t>(edge.stepX),
          static_cast<uint32_t>(edge.stepY)};
}

// How one layer's texels are fetched along the rows of a cell.
struct LayerRows {
  // How far the planes of A and B move over the cell's width: the least and the most of
  // stepX x k, k = 0..width - 1, for s of A, s of B, t of A, t of B.
  int64_t least[4], most[4];
  // Subtracted from s and t in this row (besides the sample bias): the window's first column
  // and row, so that a lane's texel column and row come out relative to the window.
  uint32_t sOffset, tOffset;
  bool window;
  bool threeRows;      // some lanes' upper texel lies in the window's second row
  int32_t loadedRows;  // of the tables below, for the window at loadedColumn, loadedRow
  uint32_t loadedColumn, loadedRow;
  Table rows[3][3];  // [texel row][channel]: 16 texels from the window's first column
};

void setUpRows(const uint32_t* stepX, int32_t width, LayerRows& rows) {
  for (int k = 0; k < 4; ++k) {
    const int64_t end = int64_t{static_cast<int32_t>(stepX[k])} * (width - 1);
    rows.least[k] = std::min<int64_t>(0, end);
    rows.most[k] = std::max<int64_t>(0, end);
  }
  rows.loadedRows = 0;
}

// The whole texel columns (or rows) that the planes of A and B (values at the row's column 0,
// then the least and most they move) cover over the row, less the sample bias: [low, high].
// The values are taken modulo 2^32 (256 texels), lifted to the whole numbers nearest A's.
struct TexelRange {
  int64_t low, high;
};

inline TexelRange texelRange(uint32_t startA, uint32_t startB, const int64_t* least,
                             const int64_t* most) {
  const int64_t b = static_cast<int32_t>(startB - startA);
  const int64_t origin = static_cast<uint32_t>(startA - kSampleBias);
  const int64_t low = std::min(least[0], b + least[1]);
  const int64_t high = std::max(most[0], b + most[1]);
  return {(origin + low) >> kTexelFractionBits, (origin + high) >> kTexelFractionBits};
}

// Chooses how the layer's row is fetched, from its planes' values at the row's column 0
// (start: s of A and B, t of A and B).
HWY_INLINE void prepareRow(const CellLayer& layer, const uint32_t* start, LayerRows& rows) {
  rows.sOffset = kSampleBias;
  rows.tOffset = kSampleBias;
  rows.window = false;
  const TexelRange across = texelRange(start[0], start[1], rows.least, rows.most);
  const TexelRange down = texelRange(start[2], start[3], rows.least + 2, rows.most + 2);
  // Each lane needs its left texel's column and the one after it, its upper texel's row and
  // the one below it.
  if (across.high - across.low > kWindowColumns - 2 || down.high - down.low > 1) return;
  rows.window = true;
  rows.threeRows = down.high != down.low;
  const uint32_t column = static_cast<uint32_t>(across.low) & 0xFF;
  const uint32_t texelRow = static_cast<uint32_t>(down.low) & 0xFF;
  const int32_t needed = rows.threeRows ? 3 : 2;
  // Neighbouring rows mostly sample the same texels: the tables are loaded only when not.
  if (column != rows.loadedColumn || texelRow != rows.loadedRow) rows.loadedRows = 0;
  if (rows.loadedRows < needed) {
    const D8 d8;
    HWY_UNROLL(3)
    for (int k = rows.loadedRows; k < needed; ++k) {
      HWY_UNROLL(3)
      for (int c = 0; c < 3; ++c) {
        rows.rows[k][c] =
            hn::LoadDup128(d8, layer.planes->channel[c][(texelRow + k) & 0xFF] + column);
      }
    }
    rows.loadedRows = needed;
    rows.loadedColumn = column;
    rows.loadedRow = texelRow;
  }
  rows.sOffset += column << kTexelFractionBits;
  rows.tOffset += texelRow << kTexelFractionBits;
}

// Texels (x, y) and (x + 1, y) as the 16-bit halves of each lane, shuffled out of 16 texels of
// row y; `bytes` is (x, none, x + 1, none) with x counted from the table's first texel (a
// byte index with its top bit set gives zero).
HWY_INLINE V lookUp(const Table& texels, V bytes) {
  const D d;
  const D8 d8;
  return hn::BitCast(d, hn::TableLookupBytesOr0(texels, hn::BitCast(d8, bytes)));
}

// The same gathered from a channel's plane: 4 bytes from the texel on, of which two are used.
HWY_INLINE V gatherPairs(const uint8_t (*plane)[kPlanePitch], V offset) {
  const D d;
  const DI di;
  const V word = hn::BitCast(d, hn::GatherOffset(di, reinterpret_cast<const int32_t*>(plane),
                                                 hn::BitCast(di, offset)));
  return hn::Or(hn::And(word, hn::Set(d, 0xFFu)),
                hn::And(hn::ShiftLeft<8>(word), hn::Set(d, 0xFF0000u)));
}

struct Channels {
  V r, g, b;
};

// The layer's bilinear colour at (s, t), less the row's offsets.
HWY_INLINE Channels sample(const CellLayer& layer, const LayerRows& row, V s, V t) {
  const D d;
  const V byte = hn::Set(d, 0xFFu);
  const V x0 = hn::ShiftRight<kTexelFractionBits>(s);
  const V y0 = hn::ShiftRight<kTexelFractionBits>(t);
  const V wx = hn::And(hn::ShiftRight<kTexelFractionBits - kWeightBits>(s), byte);
  const V wy = hn::And(hn::ShiftRight<kTexelFractionBits - kWeightBits>(t), byte);
  const V whole = hn::Set(d, 256u);
  const V weightsX = hn::Or(hn::Sub(whole, wx), hn::ShiftLeft<16>(wx));
  const V weightsY = hn::Or(hn::Sub(whole, wy), hn::ShiftLeft<16>(wy));
  if (row.window) {
    const V bytes = hn::Add(hn::Or(x0, hn::ShiftLeft<16>(x0)), hn::Set(d, 0x80018000u));
    if (row.threeRows) {
      const M lower = hn::Ne(y0, hn::Zero(d));  // the lane's upper texel is in the second row
      Channels mixed;
      V* const out[3] = {&mixed.r, &mixed.g, &mixed.b};
      HWY_UNROLL(3)
      for (int c = 0; c < 3; ++c) {
        const V second = lookUp(row.rows[1][c], bytes);
        const V top = hn::IfThenElse(lower, second, lookUp(row.rows[0][c], bytes));
        const V bottom = hn::IfThenElse(lower, lookUp(row.rows[2][c], bytes), second);
        *out[c] = mixChannel(top, bottom, weightsX, weightsY);
      }
      return mixed;
    }
    return {mixChannel(lookUp(row.rows[0][0], bytes), lookUp(row.rows[1][0], bytes), weightsX,
                       weightsY),
            mixChannel(lookUp(row.rows[0][1], bytes), lookUp(row.rows[1][1], bytes), weightsX,
                       weightsY),
            mixChannel(lookUp(row.rows[0][2], bytes), lookUp(row.rows[1][2], bytes), weightsX,
                       weightsY)};
  }
  // In planes: row y at y x kPlanePitch.
  const V y1 = hn::And(hn::Add(y0, hn::Set(d, 1u)), byte);
  const V upper = hn::Add(hn::Mul(y0, hn::Set(d, uint32_t{kPlanePitch})), x0);
  const V lower = hn::Add(hn::Mul(y1, hn::Set(d, uint32_t{kPlanePitch})), x0);
  const auto& planes = layer.planes->channel;
  return {mixChannel(gatherPairs(planes[0], upper), gatherPairs(planes[0], lower), weightsX,
                     weightsY),
          mixChannel(gatherPairs(planes[1], upper), gatherPairs(planes[1], lower), weightsX,
                     weightsY),
          mixChannel(gatherPairs(planes[2], upper), gatherPairs(planes[2], lower), weightsX,
                     weightsY)};
}

// Dither thresholds by the pixel's row and column: ofRow[y & 3][k] is the threshold of
// column k (mod 4), for k up to 4 + kMostLanes, so that a chunk starting at column x loads its
// lanes' from ofRow[y & 3] + (x & 3).
struct Thresholds {
  uint32_t ofRow[4][4 + kMostLanes];
};

void fillThresholds(const DitherMatrix& matrix, Thresholds& thresholds) {
  for (int y = 0; y < 4; ++y) {
    for (int k = 0; k < 4 + kMostLanes; ++k) thresholds.ofRow[y][k] = matrix.threshold[y][k & 3];
  }
}

template <int kLayers>
HWY_NOINLINE void drawCell(const Cell& cell, int32_t firstRow, int32_t lastRow) {
  constexpr int kFunctions = kEdges + 4 * kLayers;
  const D d;
  const DI di;
  const DPixels dp;
  const int32_t lanes = static_cast<int32_t>(hn::Lanes(d));
  const int32_t width = cell.right - cell.left + 1;

  Linear functions[kFunctions] = {linearEdge(cell.diagonal), linearEdge(cell.edgesA[0]),
                                  linearEdge(cell.edgesA[1]), linearEdge(cell.edgesB[0]),
                                  linearEdge(cell.edgesB[1])};
  HWY_UNROLL(16)
  for (int layer = 0; layer < kLayers; ++layer) {
    const CellLayer& from = cell.layers[layer];
    const TexturePlane planes[4] = {from.s[0], from.s[1], from.t[0], from.t[1]};
    HWY_UNROLL(16)
    for (int k = 0; k < 4; ++k) {
      functions[kEdges + 4 * layer + k] = {planes[k].atOrigin, planes[k].stepX, planes[k].stepY};
    }
  }
  V laneSteps[kFunctions];   // stepX x lane
  V chunkSteps[kFunctions];  // stepX x lanes: from one chunk to the next
  uint32_t stepX[kFunctions];
  HWY_UNROLL(16)
  for (int k = 0; k < kFunctions; ++k) {
    stepX[k] = functions[k].stepX;
    laneSteps[k] = hn::Mul(hn::Set(d, stepX[k]), hn::Iota(d, 0));
    chunkSteps[k] = hn::Set(d, stepX[k] * static_cast<uint32_t>(lanes));
  }
  V limits[kEdges];  // covered where value > threshold - 1 (signed)
  limits[0] = hn::Set(d, static_cast<uint32_t>(cell.diagonal.threshold - 1));
  limits[1] = hn::Set(d, static_cast<uint32_t>(cell.edgesA[0].threshold - 1));
  limits[2] = hn::Set(d, static_cast<uint32_t>(cell.edgesA[1].threshold - 1));
  limits[3] = hn::Set(d, static_cast<uint32_t>(cell.edgesB[0].threshold - 1));
  limits[4] = hn::Set(d, static_cast<uint32_t>(cell.edgesB[1].threshold - 1));
  V factors[kLayers];  // (srcFactor, dstFactor)
  HWY_UNROLL(16)
  for (int layer = 0; layer < kLayers; ++layer) {
    factors[layer] =
        hn::Set(d, cell.layers[layer].srcFactor | (cell.layers[layer].dstFactor << 16));
  }
  const bool readsBuffer = !(cell.layers[0].srcFactor == 256 && cell.layers[0].dstFactor == 0);
  // The matrix changes seldom (the programs keep one): each thread keeps the last one's.
  thread_local DitherMatrix thresholdsOf = {{{255}}};  // no matrix: 255 is above every threshold
  thread_local Thresholds thresholds;
  if (std::memcmp(&thresholdsOf, cell.dither, sizeof thresholdsOf) != 0) {
    fillThresholds(*cell.dither, thresholds);
    thresholdsOf = *cell.dither;
  }
  // A chunk whose lanes reach past the end of the screen's row goes through a copy, so that
  // nothing is read or written beyond the row.
  const int32_t roomInRow = cell.target.width - cell.left;

  // The functions' values at a chunk's lanes: edges at `column`, planes at `planesAt`.
  V value[kFunctions];
  HWY_UNROLL(16)
  for (int k = 0; k < kFunctions; ++k) value[k] = hn::Zero(d);

  LayerRows rows[kLayers];
  HWY_UNROLL(2)
  for (int layer = 0; layer < kLayers; ++layer) setUpRows(stepX + kEdges + 4 * layer, width, rows[layer]);
  uint32_t rowStart[kFunctions];  // at column 0 of the row
  HWY_UNROLL(16)
  for (int k = 0; k < kFunctions; ++k) {
    rowStart[k] = functions[k].atOrigin + functions[k].stepY * static_cast<uint32_t>(firstRow - cell.top);
  }

  for (int32_t py = firstRow; py <= lastRow; ++py) {
    uint32_t start[kFunctions];  // the same with the planes less the row's offsets
    HWY_UNROLL(16)
    for (int k = 0; k < kFunctions; ++k) {
      start[k] = rowStart[k];
      rowStart[k] += functions[k].stepY;
    }
    HWY_UNROLL(2)
    for (int layer = 0; layer < kLayers; ++layer) {
      const int first = kEdges + 4 * layer;
      prepareRow(cell.layers[layer], start + first, rows[layer]);
      start[first] -= rows[layer].sOffset;
      start[first + 1] -= rows[layer].sOffset;
      start[first + 2] -= rows[layer].tOffset;
      start[first + 3] -= rows[layer].tOffset;
    }
    uint16_t* const pixelRow =
        cell.target.pixels + static_cast<int64_t>(py) * cell.target.width + cell.left;
    const uint32_t* const rowThresholds = thresholds.ofRow[py & 3];

    int32_t column = 0;
    int32_t planesAt = -1;
    HWY_UNROLL(16)
    for (int k = 0; k < kEdges; ++k) value[k] = hn::Add(hn::Set(d, start[k]), laneSteps[k]);
    while (column < width) {
      const M sideA = hn::RebindMask(d, hn::Gt(hn::BitCast(di, value[0]), hn::BitCast(di, limits[0])));
      M inside[4];
      HWY_UNROLL(16)
      for (int k = 0; k < 4; ++k) {
        inside[k] =
            hn::RebindMask(d, hn::Gt(hn::BitCast(di, value[k + 1]), hn::BitCast(di, limits[k + 1])));
      }
      M covered = hn::Or(hn::And(sideA, hn::And(inside[0], inside[1])),
                         hn::AndNot(sideA, hn::And(inside[2], inside[3])));
      if (width - column < lanes) covered = hn::And(covered, hn::FirstN(d, width - column));
      const intptr_t skip = hn::FindFirstTrue(d, covered);
      if (skip != 0) {
        // None covered: on to the next chunk; else start the chunk at its first covered pixel.
        column += skip < 0 ? lanes : static_cast<int32_t>(skip);
        HWY_UNROLL(16)
        for (int k = 0; k < kEdges; ++k) {
          value[k] = skip < 0 ? hn::Add(value[k], chunkSteps[k])
                              : hn::Add(hn::Set(d, start[k] + stepX[k] * static_cast<uint32_t>(column)),
                                        laneSteps[k]);
        }
        continue;
      }
      if (planesAt != column) {
        HWY_UNROLL(16)
        for (int k = kEdges; k < kFunctions; ++k) {
          value[k] = hn::Add(hn::Set(d, start[k] + stepX[k] * static_cast<uint32_t>(column)),
                             laneSteps[k]);
        }
      }

      uint16_t* pixels = pixelRow + column;
      uint16_t copy[kMostLanes];
      const bool inRow = roomInRow - column >= lanes;
      if (!inRow) {
        std::memset(copy, 0, sizeof copy);
        std::memcpy(copy, pixels, static_cast<size_t>(roomInRow - column) * 2);
        pixels = copy;
      }
      const V below = hn::PromoteTo(d, hn::LoadU(dp, pixels));
      const V threshold = hn::LoadU(d, rowThresholds + ((cell.left + column) & 3));

      Channels colour =
          sample(cell.layers[0], rows[0], hn::IfThenElse(sideA, value[kEdges], value[kEdges + 1]),
                 hn::IfThenElse(sideA, value[kEdges + 2], value[kEdges + 3]));
      if (readsBuffer) {
        const V green = hn::And(hn::ShiftRight<5>(below), hn::Set(d, 0x3Fu));
        colour = {blendChannel(colour.r, widen5(hn::ShiftRight<11>(below)), factors[0]),
                  blendChannel(colour.g, widen6(green), factors[0]),
                  blendChannel(colour.b, widen5(hn::And(below, hn::Set(d, 0x1Fu))), factors[0])};
      }
      V red = ditherTo5(colour.r, threshold);
      V green = ditherTo6(colour.g, threshold);
      V blue = ditherTo5(colour.b, threshold);
      if constexpr (kLayers == 2) {
        // The first layer as the buffer would hold it, the second blended over it.
        const Channels second = sample(cell.layers[1], rows[1],
                                       hn::IfThenElse(sideA, value[kEdges + 4], value[kEdges + 5]),
                                       hn::IfThenElse(sideA, value[kEdges + 6], value[kEdges + 7]));
        red = ditherTo5(blendChannel(second.r, widen5(red), factors[1]), threshold);
        green = ditherTo6(blendChannel(second.g, widen6(green), factors[1]), threshold);
        blue = ditherTo5(blendChannel(second.b, widen5(blue), factors[1]), threshold);
      }
      const V result = hn::Or(hn::Or(hn::ShiftLeft<11>(red), hn::ShiftLeft<5>(green)), blue);
      hn::StoreU(hn::DemoteTo(dp, hn::BitCast(di, hn::IfThenElse(covered, result, below))), dp,
                 pixels);
      if (!inRow) std::memcpy(pixelRow + column, copy, static_cast<size_t>(roomInRow - column) * 2);

      column += lanes;
      planesAt = column;
      HWY_UNROLL(16)
      for (int k = 0; k < kFunctions; ++k) value[k] = hn::Add(value[k], chunkSteps[k]);
    }
  }
}

void drawCellRows(const Cell& cell, int32_t firstRow, int32_t lastRow) {
  if (cell.layerCount == 2) {
    drawCell<2>(cell, firstRow, lastRow);
  } else {
    drawCell<1>(cell, firstRow, lastRow);
  }
}

// A lone triangle: a cell of one layer whose first half is the triangle (its first edge
// standing for the diagonal) and whose second half covers nothing.
void drawRows(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
              int32_t lastRow) {
  if (!setup.edgesFit32 || !state.planes) {
    drawRowsPortable(setup, state, firstRow, lastRow);
    return;
  }
  constexpr EdgeFunction kNowhere = {-1, 0, 0, 0};
  Cell cell;
  cell.left = setup.left;
  cell.top = setup.top;
  cell.right = setup.right;
  cell.bottom = setup.bottom;
  cell.diagonal = setup.edges[0];
  cell.edgesA[0] = setup.edges[1];
  cell.edgesA[1] = setup.edges[2];
  cell.edgesB[0] = kNowhere;
  cell.edgesB[1] = kNowhere;
  cell.layers[0] = {state.texture,   state.planes,   {setup.s, setup.s}, {setup.t, setup.t},
                    state.srcFactor, state.dstFactor};
  cell.layerCount = 1;
  cell.target = state.target;
  cell.dither = state.dither;
  drawCell<1>(cell, firstRow, lastRow);
}

}  // namespace

FastPath fastPath() {
  return {drawRows, drawCellRows};
}
#endif  // MORPH_VECTORS

}  // namespace HWY_NAMESPACE
}  // namespace glide
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace glide {

namespace {

// The compiled targets by path, fastest first.
struct Compiled {
  RasterPath path;
  int64_t targets;  // any of these the processor runs will do
  FastPath (*functions)();
};
const Compiled kCompiled[] = {
    {RasterPath::Avx512, HWY_AVX3, HWY_CHOOSE_AVX3(fastPath)},
    {RasterPath::Avx2, HWY_AVX2, HWY_CHOOSE_AVX2(fastPath)},
    {RasterPath::Sse4, HWY_SSE4, HWY_CHOOSE_SSE4(fastPath)},
    {RasterPath::Neon, HWY_NEON, HWY_CHOOSE_NEON(fastPath)},
    {RasterPath::Scalar, HWY_SCALAR | HWY_EMU128, HWY_CHOOSE_FALLBACK(fastPath)},
};

const Compiled* compiled(RasterPath path) {
  const int64_t supported = hwy::SupportedTargets() | HWY_SCALAR | HWY_EMU128;
  for (const Compiled& entry : kCompiled) {
    if (entry.path == path && entry.functions && (entry.targets & supported)) return &entry;
  }
  return nullptr;
}

constexpr const char* kNames[] = {"reference", "scalar", "sse4", "avx2", "avx512", "neon"};

}  // namespace

bool runsRasterPath(RasterPath path) {
  return path == RasterPath::Reference || compiled(path);
}

FastPath fastPath(RasterPath path) {
  const Compiled* entry = path == RasterPath::Reference ? nullptr : compiled(path);
  return entry ? entry->functions() : FastPath{nullptr, nullptr};
}

RasterPath fastestRasterPath() {
  for (const Compiled& entry : kCompiled) {
    if (compiled(entry.path)) return entry.path;
  }
  return RasterPath::Reference;
}

const char* rasterPathName(RasterPath path) {
  return kNames[static_cast<int>(path)];
}

bool rasterPathNamed(const char* name, RasterPath& path) {
  for (const RasterPath candidate : kRasterPaths) {
    if (std::strcmp(name, rasterPathName(candidate)) == 0) {
      path = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace glide
#endif  // HWY_ONCE
