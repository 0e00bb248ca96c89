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
// Texels come from the widened planes (texel_planes.h). Where the lanes of a tile's rows, over
// the cell's width, sample within 15 texel columns and six neighbouring texel rows (the usual
// case: a picture drawn at about its own size or larger, turned a little), that window of 16
// columns is loaded into every 128-bit block, and each lane picks its texels out of it with
// byte shuffles within the block (every target has them). Elsewhere each lane's texels are
// gathered, which costs several times as much on x86 processors before AVX-512. Reads stay
// inside the planes: 16 bytes from any column, or 4 from any texel, fall within a row and its
// padding.

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
#include <hwy/cache_control.h>
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
  return {drawRowsPortable, nullptr, nullptr};
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
static_assert(kWindowColumns - 1 <= kPlanePadding, "a window loads from any column");
// Texel rows a window may hold: each row past the second costs a lookup and two selections
// per channel, far less than gathering.
constexpr int kMostTableRows = 6;

// The mask's lanes as bits of an integer, lane i in bit i (at most 32 lanes).
template <class DM, class MM>
HWY_INLINE uint32_t maskBits(DM dm, MM mask) {
  uint8_t bytes[8] = {};
  hn::StoreMaskBits(dm, mask, bytes);
  uint32_t bits;
  std::memcpy(&bits, bytes, sizeof bits);
  return bits;
}

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
// with the rounding constant. The result's upper half is exactly
// (top (256 - wy) + bottom wy + 0x8000) >> 16; its lower half is what the rounding drops.
HWY_INLINE V mixChannel(V top, V bottom, V weightsX, V weightsY) {
  const D d;
  const V upper = pairSums(top, weightsX);
  const V lower = pairSums(bottom, weightsX);
  const V rows = hn::Xor(hn::Or(upper, hn::ShiftLeft<16>(lower)), hn::Set(d, 0x80008000u));
  return hn::Add(pairSums(rows, weightsY), hn::Set(d, (32768u << 8) + 0x8000));
}

// source x srcFactor + destination x dstFactor, rounded, at most 255, from the source in the
// upper 16-bit half of each lane and the destination in the lower (the other halves are
// ignored): one multiply-add with factors = (dstFactor, srcFactor).
HWY_INLINE V blendChannel(V sourceAbove, V destination, V factors) {
  const D d;
  const hn::Repartition<uint16_t, D> d16;
  const V pairs = hn::BitCast(d, hn::OddEven(hn::BitCast(d16, sourceAbove), hn::BitCast(d16, destination)));
  const V sum = hn::Add(pairSums(pairs, factors), hn::Set(d, 128u));
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

// Red and green of each pixel side by side in its lane, red in the lower 16 bits and green in
// the upper: their formulas differ only in constant factors (a shift is a multiplication by a
// power of two, c >> k the upper half of c x 2^(16 - k)), so that each step serves both.
using D16 = hn::Repartition<uint16_t, D>;
using V16 = hn::Vec<D16>;

HWY_INLINE V16 pairedFactors(uint32_t red, uint32_t green) {
  return hn::BitCast(D16(), hn::Set(D(), red | green << 16));
}

// From channels in the upper halves of their lanes (mixChannel), or in the lower.
HWY_INLINE V16 pairUpper(V red, V green) {
  const D16 d16;
  return hn::OddEven(hn::BitCast(d16, green), hn::BitCast(d16, hn::ShiftRight<16>(red)));
}
HWY_INLINE V16 pairLower(V red, V green) {
  return hn::BitCast(D16(), hn::Or(red, hn::ShiftLeft<16>(green)));
}

// ditherTo5 of red and ditherTo6 of green.
HWY_INLINE V16 ditherPair(V16 redGreen, V16 threshold) {
  const V16 fraction = hn::MulHigh(redGreen, pairedFactors(1u << 11, 1u << 10));
  const V16 steps = hn::Mul(hn::Sub(redGreen, fraction), pairedFactors(4, 8));
  return hn::ShiftRight<5>(hn::Add(steps, threshold));
}

// widen5 of red and widen6 of green.
HWY_INLINE V16 widenPair(V16 redGreen) {
  return hn::Or(hn::Mul(redGreen, pairedFactors(8, 4)),
                hn::MulHigh(redGreen, pairedFactors(1u << 14, 1u << 12)));
}

// blendChannel of both where sourceFactor + destinationFactor <= 256: the sum stays below
// 2^16 and the result within 255.
HWY_INLINE V16 blendPair(V16 source, V16 destination, V16 sourceFactor, V16 destinationFactor) {
  const V16 sum = hn::Add(hn::Mul(source, sourceFactor), hn::Mul(destination, destinationFactor));
  return hn::ShiftRight<8>(hn::Add(sum, hn::Set(D16(), uint16_t{128})));
}

// The cell's affine functions of the pixel, modulo 2^32: its five edges (the diagonal, then
// A's two others and B's), then for each layer s of A, s of B, t of A and t of B.
constexpr int kEdges = 5;
struct Linear {
  uint32_t atOrigin, stepX, stepY;
};

// An edge less its threshold: the pixel is inside where that is not negative (it fits 32 bits,
// as the edge does).
Linear linearEdge(const EdgeFunction& edge) {
  return {static_cast<uint32_t>(edge.atOrigin - edge.threshold), static_cast<uint32_t>(edge.stepX),
          static_cast<uint32_t>(edge.stepY)};
}

// a where the diagonal (less its threshold) is not negative, that is on A's side; b elsewhere.
HWY_INLINE V onSide(V diagonal, V a, V b) {
  const D d;
  const DI di;
  return hn::BitCast(
      d, hn::IfNegativeThenElse(hn::BitCast(di, diagonal), hn::BitCast(di, b), hn::BitCast(di, a)));
}

// A vector holds a tile of pixels: each 128-bit block 4 neighbouring pixels of one row, the
// blocks rows one below the other (1 row with 128-bit vectors, 2 with 256, 4 with 512). Each
// row has a texel window of its own, in its block of the lookup tables.
constexpr int kTileColumns = 4;
constexpr int kTileRows = static_cast<int>(hn::MaxLanes(D())) / kTileColumns;
static_assert(kTileRows == 1 || kTileRows == 2 || kTileRows == 4, "1, 2 or 4 rows of 4 pixels");

// A vector of the tile's rows from one piece per row: load(tag, row) gives the piece.
template <class DV, class Load>
HWY_INLINE hn::Vec<DV> joinRows(DV dv, const Load& load) {
  if constexpr (kTileRows == 1) {
    return load(dv, 0);
  } else if constexpr (kTileRows == 2) {
    const hn::Half<DV> half;
    return hn::Combine(dv, load(half, 1), load(half, 0));
  } else {
    const hn::Half<DV> half;
    const hn::Half<hn::Half<DV>> quarter;
    return hn::Combine(dv, hn::Combine(half, load(quarter, 3), load(quarter, 2)),
                       hn::Combine(half, load(quarter, 1), load(quarter, 0)));
  }
}

// The other way: store(tag, piece, row) for each row's piece of v.
template <class DV, class Store>
HWY_INLINE void splitRows(DV dv, hn::Vec<DV> v, const Store& store) {
  if constexpr (kTileRows == 1) {
    store(dv, v, 0);
  } else if constexpr (kTileRows == 2) {
    const hn::Half<DV> half;
    store(half, hn::LowerHalf(half, v), 0);
    store(half, hn::UpperHalf(half, v), 1);
  } else {
    const hn::Half<DV> half;
    const hn::Half<hn::Half<DV>> quarter;
    const auto lower = hn::LowerHalf(half, v);
    const auto upper = hn::UpperHalf(half, v);
    store(quarter, hn::LowerHalf(quarter, lower), 0);
    store(quarter, hn::UpperHalf(quarter, lower), 1);
    store(quarter, hn::LowerHalf(quarter, upper), 2);
    store(quarter, hn::UpperHalf(quarter, upper), 3);
  }
}

// How one layer's texels are fetched for a tile. A window is the same for all of the tile's rows,
// so that each 128-bit block of a lookup table is the same 16 texels: one load does for all.
struct LayerTiles {
  // How many texel rows the window holds: 2 + how far below the window's first row some
  // lane's upper texel lies; 0 where there is no window.
  int tableRows;
  // Subtracted from s and t in each lane (the sample bias, and with a window the window's first
  // column and row, so that a lane's texel column and row come out relative to its window).
  V sOffset, tOffset;
  // The window's first texel in the red plane; the other planes and rows lie at fixed distances.
  const uint8_t* window;
};

// The texel columns and rows the windows of both layers need, worked out for all the tile's
// rows at once: a lane for each layer, coordinate (s, then t) and row of the tile, lane
// (2 layer + coordinate) kTileRows + row (a cell of one layer repeats it as the second).
// For each, the planes of A and B cover over the row the texel columns (or rows) from
// origin + least to origin + most, modulo 2^32 (256 texels), B's taken nearest A's.
constexpr int kSpanLanes = 4 * kTileRows;
static_assert(kSpanLanes == static_cast<int>(hn::MaxLanes(D())), "a lane for each span");

struct WindowSpans {
  V startA, startB;  // the planes of A and B at column 0 of the lane's row
  V downA, downB;    // their steps from one tile's rows to the next
  // The least and the most of stepX x k, k = 0..width - 1, for A and B (signed); only where
  // the layer has windows.
  V leastA, mostA, leastB, mostB;
  // By layer: whether its planes move little enough over the cell's width for a window anywhere.
  bool windows[2];
};

// From the cell's planes, from row firstDy of the cell on. Each lane reads its span's planes
// straight from the cell, which was written long before: values just stored one by one and
// read back as a vector would stall until the stores are done.
void setUpWindowSpans(const Cell& cell, int layers, uint32_t firstDy, int32_t width,
                      WindowSpans& spans) {
  const D d;
  const DI di;
  // Lane (span kTileRows + row) is of span 2 layer + coordinate (s, then t).
  constexpr int kRowBits = kTileRows == 4 ? 2 : kTileRows == 2 ? 1 : 0;
  const V lane = hn::Iota(d, 0);
  const V span = hn::ShiftRight<kRowBits>(lane);
  const V row = hn::And(lane, hn::Set(d, kTileRows - 1u));
  // The span's plane of A in 32-bit words from the first layer's s of A; B's comes after it
  // (s[2] then t[2] in each layer). A cell of one layer repeats it as the second.
  static_assert(sizeof(TexturePlane) == 12 && sizeof(CellLayer) % 4 == 0, "planes of words");
  constexpr uint32_t kPlaneWords = sizeof(TexturePlane) / 4;  // atOrigin, stepX, stepY
  constexpr uint32_t kLayerWords = sizeof(CellLayer) / 4;
  const V layer = layers == 2 ? hn::ShiftRight<1>(span) : hn::Zero(d);
  const V planeA = hn::Add(hn::Mul(layer, hn::Set(d, kLayerWords)),
                           hn::Mul(hn::And(span, hn::Set(d, 1u)), hn::Set(d, 2 * kPlaneWords)));
  const auto* words = reinterpret_cast<const int32_t*>(&cell.layers[0].s[0]);
  const auto word = [&](int k) {
    return hn::BitCast(d, hn::GatherIndex(di, words + k, hn::BitCast(di, planeA)));
  };
  constexpr int kB = kPlaneWords;
  const V stepXA = word(1), stepYA = word(2), stepXB = word(kB + 1), stepYB = word(kB + 2);
  const V down = hn::Add(hn::Set(d, firstDy), row);
  spans.startA = hn::Add(word(0), hn::Mul(stepYA, down));
  spans.startB = hn::Add(word(kB), hn::Mul(stepYB, down));
  spans.downA = hn::Mul(stepYA, hn::Set(d, uint32_t{kTileRows}));
  spans.downB = hn::Mul(stepYB, hn::Set(d, uint32_t{kTileRows}));
  // stepX x (width - 1): beyond 2^28 (16 texels) a window is out of reach for the layer;
  // within, the product is exact in 32 bits and keeps the window's sums exact.
  const uint32_t widthLess1 = static_cast<uint32_t>(width - 1);
  const V limit = hn::Set(d, widthLess1 == 0 ? ~0u : (1u << 28) / widthLess1);
  const auto tooFar = [&](V stepX) {
    return hn::Gt(hn::BitCast(d, hn::Abs(hn::BitCast(di, stepX))), limit);
  };
  const uint32_t far = maskBits(d, hn::Or(tooFar(stepXA), tooFar(stepXB)));
  constexpr uint32_t kLayerLanes = (1u << (2 * kTileRows)) - 1;
  spans.windows[0] = (far & kLayerLanes) == 0;
  spans.windows[1] = ((far >> (2 * kTileRows)) & kLayerLanes) == 0;
  const V endA = hn::Mul(stepXA, hn::Set(d, widthLess1));
  const V endB = hn::Mul(stepXB, hn::Set(d, widthLess1));
  const auto least = [&](V end) {
    return hn::BitCast(d, hn::Min(hn::BitCast(di, end), hn::Zero(di)));
  };
  const auto most = [&](V end) {
    return hn::BitCast(d, hn::Max(hn::BitCast(di, end), hn::Zero(di)));
  };
  spans.leastA = least(endA);
  spans.mostA = most(endA);
  spans.leastB = least(endB);
  spans.mostB = most(endB);
}

// Row k of channel c of a window: 16 texels from its first column, in every 128-bit block.
HWY_INLINE Table windowRow(const uint8_t* window, int k, int c) {
  static_assert(kMostTableRows - 1 <= kPlaneRowPadding, "the rows lie one pitch apart");
  constexpr size_t kChannelBytes = sizeof TexelPlanes::channel[0];
  return hn::LoadDup128(D8(), window + c * kChannelBytes + k * size_t{kPlanePitch});
}

// One window for the tile's first `rows` rows from each row's (its first texel column or row,
// modulo 256, and how many more it reaches): its first texel, and how many more it reaches.
HWY_INLINE uint32_t joinWindows(const uint32_t* first, const uint32_t* more, int rows,
                                uint32_t& joined) {
  int32_t least = 0, most = static_cast<int32_t>(more[0]);
  HWY_UNROLL(4)
  for (int row = 1; row < rows; ++row) {
    const int32_t offset = static_cast<int8_t>(first[row] - first[0]);
    least = std::min(least, offset);
    most = std::max(most, offset + static_cast<int32_t>(more[row]));
  }
  joined = (first[0] + static_cast<uint32_t>(least)) & 0xFFu;
  return static_cast<uint32_t>(most - least);
}

// Chooses how each layer is fetched for a tile's rows (`rows` of them in the cell), then moves
// the spans on to the next tile's rows. A row below the cell's has no pixel: its window is
// worked out as the others' are, but it neither needs to fit nor makes the window larger.
template <int kLayers>
HWY_INLINE void prepareTiles(const Cell& cell, WindowSpans& spans, int rows,
                             LayerTiles (&tiles)[kLayers]) {
  const D d;
  const DI di;
  // Each lane's first texel (less the sample bias) and how many more; `far` where B's planes
  // lie too far from A's: within 2^30 of the origin the texel indices' difference is exact
  // modulo 256. Whether a window holds them is decided for the whole tile below.
  const hn::Vec<DI> b = hn::BitCast(di, hn::Sub(spans.startB, spans.startA));
  const auto far = hn::Or(hn::Gt(b, hn::Set(di, 1 << 28)), hn::Lt(b, hn::Set(di, -(1 << 28))));
  const V origin = hn::Sub(spans.startA, hn::Set(d, kSampleBias));
  const V low = hn::BitCast(
      d, hn::Min(hn::BitCast(di, spans.leastA), hn::Add(b, hn::BitCast(di, spans.leastB))));
  const V high = hn::BitCast(
      d, hn::Max(hn::BitCast(di, spans.mostA), hn::Add(b, hn::BitCast(di, spans.mostB))));
  const V first = hn::ShiftRight<kTexelFractionBits>(hn::Add(origin, low));
  const V more = hn::And(hn::Sub(hn::ShiftRight<kTexelFractionBits>(hn::Add(origin, high)), first),
                         hn::Set(d, 0xFFu));
  alignas(64) uint32_t firsts[kSpanLanes], mores[kSpanLanes];
  hn::Store(first, d, firsts);
  hn::Store(more, d, mores);
  const uint32_t farLanes = maskBits(di, far);
  spans.startA = hn::Add(spans.startA, spans.downA);
  spans.startB = hn::Add(spans.startB, spans.downB);
  // The s and t lanes of the rows in the cell.
  const uint32_t inRows = ((1u << rows) - 1) * (1u | 1u << kTileRows);

  HWY_UNROLL(2)
  for (int layer = 0; layer < kLayers; ++layer) {
    LayerTiles& out = tiles[layer];
    const int sLane = 2 * layer * kTileRows, tLane = sLane + kTileRows;
    uint32_t column, texelRow;
    const uint32_t columnsMore = joinWindows(firsts + sLane, mores + sLane, rows, column);
    const uint32_t rowsMore = joinWindows(firsts + tLane, mores + tLane, rows, texelRow);
    // A window holds 16 texel columns (each lane's left texel and the one after it), and 6 rows.
    if (!spans.windows[layer] || ((farLanes >> sLane) & inRows) ||
        columnsMore > kWindowColumns - 2 || rowsMore > kMostTableRows - 2) {
      out.tableRows = 0;
      out.sOffset = out.tOffset = hn::Set(d, kSampleBias);
      continue;
    }
    out.sOffset = hn::Set(d, kSampleBias + (column << kTexelFractionBits));
    out.tOffset = hn::Set(d, kSampleBias + (texelRow << kTexelFractionBits));
    // sample knows windows of 2, 3, 4 and 6 rows.
    out.tableRows = rowsMore < 3 ? static_cast<int>(rowsMore) + 2 : kMostTableRows;
    out.window = &cell.layers[layer].planes->channel[0][texelRow][column];
  }
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

// A byte-shuffle index that copies byte `picked` of each lane into its bytes 0 and 2 and
// zeroes its bytes 1 and 3.
HWY_INLINE hn::Vec<D8> pickTwice(int picked) {
  const D8 d8;
  const D d;
  // Within each 128-bit block, lane j's bytes start at 4j.
  const V laneStart = hn::ShiftLeft<2>(hn::And(hn::Iota(d, 0), hn::Set(d, 3u)));
  const uint32_t pattern = static_cast<uint32_t>(picked) * 0x00010001u + 0x80008000u;
  return hn::BitCast(d8, hn::Add(hn::Set(d, pattern), hn::Mul(laneStart, hn::Set(d, 0x00010001u))));
}

struct Channels {
  V r, g, b;
};

// Each channel's bilinear mix (mixChannel) from a window of kRows texel rows; `bytes` picks the
// texel pair out of a row (lookUp).
template <int kRows>
HWY_INLINE void fromWindow(const LayerTiles& tiles, V bytes, V t, V weightsX, V weightsY,
                           V* const (&out)[3]) {
  const D d;
  const DI di;
  // The lane's upper texel lies in row t >> 24 of the window; a lane from row k on takes
  // rows k and k + 1.
  const hn::Vec<DI> rowOf = hn::BitCast(di, hn::ShiftRight<kTexelFractionBits>(t));
  M fromRow[kRows];
  HWY_UNROLL(kMostTableRows)
  for (int k = 1; k + 1 < kRows; ++k) {
    fromRow[k] = hn::RebindMask(d, hn::Gt(rowOf, hn::Set(di, k - 1)));
  }
  HWY_UNROLL(3)
  for (int c = 0; c < 3; ++c) {
    V top = lookUp(windowRow(tiles.window, 0, c), bytes);
    V bottom = lookUp(windowRow(tiles.window, 1, c), bytes);
    HWY_UNROLL(kMostTableRows)
    for (int k = 1; k + 1 < kRows; ++k) {
      top = hn::IfThenElse(fromRow[k], bottom, top);
      bottom = hn::IfThenElse(fromRow[k], lookUp(windowRow(tiles.window, k + 1, c), bytes), bottom);
    }
    *out[c] = mixChannel(top, bottom, weightsX, weightsY);
  }
}

// The layer's bilinear colour at (s, t), less the tiles' offsets, in the upper half of each
// lane (mixChannel).
HWY_INLINE Channels sample(const CellLayer& layer, const LayerTiles& tiles, V s, V t,
                           const hn::Vec<D8>& pickTexel, const hn::Vec<D8>& pickWeight) {
  const D d;
  const D8 d8;
  // (w, w) from byte 2 of the coordinate (the weight), made (256 - w, w): 256 - w is
  // (w ^ 255) + 1 for w of 8 bits.
  const V flip = hn::Set(d, 0x000000FFu);
  const V one = hn::Set(d, 1u);
  const V weightsX = hn::Add(
      hn::Xor(hn::BitCast(d, hn::TableLookupBytesOr0(hn::BitCast(d8, s), pickWeight)), flip), one);
  const V weightsY = hn::Add(
      hn::Xor(hn::BitCast(d, hn::TableLookupBytesOr0(hn::BitCast(d8, t), pickWeight)), flip), one);
  Channels mixed;
  V* const out[3] = {&mixed.r, &mixed.g, &mixed.b};
  if (tiles.tableRows != 0) {
    // (x, x) from byte 3 (the texel column in the window), then (x, none, x + 1, none).
    const V bytes = hn::Add(hn::BitCast(d, hn::TableLookupBytesOr0(hn::BitCast(d8, s), pickTexel)),
                            hn::Set(d, 0x80018000u));
    if (tiles.tableRows == 2) {
      fromWindow<2>(tiles, bytes, t, weightsX, weightsY, out);
    } else if (tiles.tableRows == 3) {
      fromWindow<3>(tiles, bytes, t, weightsX, weightsY, out);
    } else if (tiles.tableRows == 4) {
      fromWindow<4>(tiles, bytes, t, weightsX, weightsY, out);
    } else {
      fromWindow<kMostTableRows>(tiles, bytes, t, weightsX, weightsY, out);
    }
    return mixed;
  }
  // In planes: row y at y x kPlanePitch.
  const V byte = hn::Set(d, 0xFFu);
  const V x0 = hn::ShiftRight<kTexelFractionBits>(s);
  const V y0 = hn::ShiftRight<kTexelFractionBits>(t);
  const V y1 = hn::And(hn::Add(y0, hn::Set(d, 1u)), byte);
  const V upper = hn::Add(hn::Mul(y0, hn::Set(d, uint32_t{kPlanePitch})), x0);
  const V lower = hn::Add(hn::Mul(y1, hn::Set(d, uint32_t{kPlanePitch})), x0);
  HWY_UNROLL(3)
  for (int c = 0; c < 3; ++c) {
    const auto& plane = layer.planes->channel[c];
    *out[c] = mixChannel(gatherPairs(plane, upper), gatherPairs(plane, lower), weightsX, weightsY);
  }
  return mixed;
}

// The dither thresholds of a tile's lanes by the matrix's row of the tile's first row and its
// column of the tile's first column.
struct Thresholds {
  uint32_t lanes[4][4][kMostLanes];
};

void fillThresholds(const DitherMatrix& matrix, Thresholds& thresholds) {
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      for (int lane = 0; lane < kMostLanes; ++lane) {
        thresholds.lanes[y][x][lane] =
            matrix.threshold[(y + lane / kTileColumns) & 3][(x + lane % kTileColumns) & 3];
      }
    }
  }
}

template <int kLayers>
HWY_NOINLINE void drawCell(const Cell& cell, int32_t firstRow, int32_t lastRow) {
  constexpr int kFunctions = kEdges + 4 * kLayers;
  const D d;
  const DI di;
  const DPixels dp;
  const int32_t width = cell.right - cell.left + 1;

  Linear functions[kFunctions] = {linearEdge(cell.diagonal), linearEdge(cell.edgesA[0]),
                                  linearEdge(cell.edgesA[1]), linearEdge(cell.edgesB[0]),
                                  linearEdge(cell.edgesB[1])};
  HWY_UNROLL(2)
  for (int layer = 0; layer < kLayers; ++layer) {
    const CellLayer& from = cell.layers[layer];
    const TexturePlane planes[4] = {from.s[0], from.s[1], from.t[0], from.t[1]};
    HWY_UNROLL(4)
    for (int k = 0; k < 4; ++k) {
      functions[kEdges + 4 * layer + k] = {planes[k].atOrigin, planes[k].stepX, planes[k].stepY};
    }
  }
  // Each lane's column and row in the tile.
  const V laneColumn = hn::And(hn::Iota(d, 0), hn::Set(d, kTileColumns - 1u));
  const V laneRow = hn::ShiftRight<2>(hn::Iota(d, 0));
  // The functions at the lanes of the tile at column 0 of the first rows, and their steps from
  // one tile to the next along the rows and down.
  V value[kFunctions], across[kFunctions], down[kFunctions];
  const uint32_t firstDy = static_cast<uint32_t>(firstRow - cell.top);
  HWY_UNROLL(16)
  for (int k = 0; k < kFunctions; ++k) {
    const Linear& f = functions[k];
    value[k] = hn::Add(hn::Set(d, f.atOrigin + f.stepY * firstDy),
                       hn::Add(hn::Mul(hn::Set(d, f.stepX), laneColumn),
                               hn::Mul(hn::Set(d, f.stepY), laneRow)));
    across[k] = hn::Set(d, f.stepX * kTileColumns);
    down[k] = hn::Set(d, f.stepY * kTileRows);
  }
  V factors[kLayers];  // (dstFactor, srcFactor): see blendChannel
  HWY_UNROLL(2)
  for (int layer = 0; layer < kLayers; ++layer) {
    factors[layer] =
        hn::Set(d, cell.layers[layer].dstFactor | (cell.layers[layer].srcFactor << 16));
  }
  const bool readsBuffer = !(cell.layers[0].srcFactor == 256 && cell.layers[0].dstFactor == 0);
  // The second layer's blend in 16-bit lanes where no sum can pass 255 (blendPair).
  const uint32_t secondSource = cell.layers[kLayers - 1].srcFactor;
  const uint32_t secondDestination = cell.layers[kLayers - 1].dstFactor;
  const bool smallFactors = secondSource + secondDestination <= 256;
  const V16 sourceFactor = hn::Set(D16(), static_cast<uint16_t>(secondSource));
  const V16 destinationFactor = hn::Set(D16(), static_cast<uint16_t>(secondDestination));
  const hn::Vec<D8> pickTexel = pickTwice(3);   // the texel column: byte 3 of s
  const hn::Vec<D8> pickWeight = pickTwice(2);  // the weight: byte 2 of s or t
  LayerTiles tiles[kLayers];
  WindowSpans spans;
  setUpWindowSpans(cell, kLayers, firstDy, width, spans);
  // The matrix changes seldom (the programs keep one): each thread keeps the last one's.
  thread_local DitherMatrix thresholdsOf = {{{255}}};  // no matrix: 255 is above every threshold
  thread_local Thresholds thresholds;
  if (std::memcmp(&thresholdsOf, cell.dither, sizeof thresholdsOf) != 0) {
    fillThresholds(*cell.dither, thresholds);
    thresholdsOf = *cell.dither;
  }
  // Pixels from the cell's left side to the screen's right edge: the tile that reaches past it
  // goes through a copy, so that nothing is read or written beyond the row.
  const int32_t roomInRow = cell.target.width - cell.left;
  // The rows' pixels are mostly not in the nearest caches (the frame is larger than they are):
  // asking for the first ones at once lets the tiles' misses overlap with drawing.
  for (int32_t row = firstRow; row <= std::min(lastRow, firstRow + 63); ++row) {
    const uint16_t* pixels = cell.target.pixels + static_cast<int64_t>(row) * cell.target.width;
    hwy::Prefetch(pixels + cell.left);
    hwy::Prefetch(pixels + cell.right);
  }

  for (int32_t top = firstRow; top <= lastRow; top += kTileRows) {
    const int rows = std::min(kTileRows, lastRow - top + 1);
    prepareTiles(cell, spans, rows, tiles);
    V at[kFunctions];  // the functions at the tile's lanes, planes less the offsets
    HWY_UNROLL(16)
    for (int k = 0; k < kFunctions; ++k) at[k] = value[k];
    HWY_UNROLL(2)
    for (int layer = 0; layer < kLayers; ++layer) {
      const int first = kEdges + 4 * layer;
      at[first] = hn::Sub(at[first], tiles[layer].sOffset);
      at[first + 1] = hn::Sub(at[first + 1], tiles[layer].sOffset);
      at[first + 2] = hn::Sub(at[first + 2], tiles[layer].tOffset);
      at[first + 3] = hn::Sub(at[first + 3], tiles[layer].tOffset);
    }
    // The rows' pixels from the cell's left side (rows below the cell's last borrow its first).
    uint16_t* rowPixels[kTileRows];
    // Tiles from this column on go through copies (all of them where rows are missing).
    const int32_t firstCopied = rows == kTileRows ? roomInRow - kTileColumns + 1 : 0;
    HWY_UNROLL(4)
    for (int row = 0; row < kTileRows; ++row) {
      rowPixels[row] = cell.target.pixels +
                       static_cast<int64_t>(row < rows ? top + row : top) * cell.target.width +
                       cell.left;
    }
    // Negative in the lanes of rows below the cell's.
    const V belowCell = hn::VecFromMask(d, hn::Lt(hn::Set(d, rows - 1u), laneRow));
    const V threshold = hn::LoadU(d, thresholds.lanes[top & 3][cell.left & 3]);
    const V16 pairedThreshold = hn::BitCast(D16(), hn::Or(threshold, hn::ShiftLeft<16>(threshold)));

    for (int32_t column = 0; column < width; column += kTileColumns) {
      // Negative where the pixel is not covered: outside an edge of its side's triangle (the
      // sign of the two edges' values or-ed), or outside the cell's rows or columns.
      V outside = hn::Or(onSide(at[0], hn::Or(at[1], at[2]), hn::Or(at[3], at[4])), belowCell);
      if (width - column < kTileColumns) {
        const V lastColumn = hn::Set(d, static_cast<uint32_t>(width - column - 1));
        outside = hn::Or(outside, hn::VecFromMask(d, hn::Lt(lastColumn, laneColumn)));
      }
      const auto uncovered = hn::Lt(hn::BitCast(di, outside), hn::Zero(di));
      if (!hn::AllTrue(di, uncovered)) {
        // Each row's four pixels; where the tile reaches past the screen's right edge or below
        // the cell's last row, copies of what is there (nothing for such a row).
        uint16_t* pixels[kTileRows];
        uint16_t copies[kTileRows][kTileColumns];
        const bool copied = column >= firstCopied;
        const int32_t onScreen = std::min(roomInRow - column, kTileColumns);
        HWY_UNROLL(4)
        for (int row = 0; row < kTileRows; ++row) pixels[row] = rowPixels[row] + column;
        if (HWY_UNLIKELY(copied)) {
          for (int row = 0; row < kTileRows; ++row) {
            std::memset(copies[row], 0, sizeof copies[row]);
            if (row < rows) std::memcpy(copies[row], pixels[row], static_cast<size_t>(onScreen) * 2);
            pixels[row] = copies[row];
          }
        }
        // A tile covered whole needs nothing from the buffer unless the first layer blends
        // with it: it is only written.
        const bool whole = hn::AllFalse(di, uncovered);
        V below = hn::Zero(d);
        if (readsBuffer || !whole) {
          below = hn::PromoteTo(
              d, joinRows(dp, [&](auto tag, int row) { return hn::LoadU(tag, pixels[row]); }));
        }

        Channels colour =
            sample(cell.layers[0], tiles[0], onSide(at[0], at[kEdges], at[kEdges + 1]),
                   onSide(at[0], at[kEdges + 2], at[kEdges + 3]), pickTexel, pickWeight);
        if (readsBuffer) {
          const V green = hn::And(hn::ShiftRight<5>(below), hn::Set(d, 0x3Fu));
          colour = {blendChannel(colour.r, widen5(hn::ShiftRight<11>(below)), factors[0]),
                    blendChannel(colour.g, widen6(green), factors[0]),
                    blendChannel(colour.b, widen5(hn::And(below, hn::Set(d, 0x1Fu))), factors[0])};
        } else {
          colour.b = hn::ShiftRight<16>(colour.b);
        }
        // Red and green go on together in 16-bit halves (pairUpper), blue on its own.
        V16 redGreen = readsBuffer ? pairLower(colour.r, colour.g) : pairUpper(colour.r, colour.g);
        V blue = ditherTo5(colour.b, threshold);
        redGreen = ditherPair(redGreen, pairedThreshold);
        if constexpr (kLayers == 2) {
          // The first layer as the buffer would hold it, the second blended over it.
          const Channels second =
              sample(cell.layers[1], tiles[1], onSide(at[0], at[kEdges + 4], at[kEdges + 5]),
                     onSide(at[0], at[kEdges + 6], at[kEdges + 7]), pickTexel, pickWeight);
          if (smallFactors) {
            redGreen = blendPair(pairUpper(second.r, second.g), widenPair(redGreen), sourceFactor,
                                 destinationFactor);
          } else {
            const V red = hn::And(hn::BitCast(d, redGreen), hn::Set(d, 0xFFFFu));
            const V green = hn::ShiftRight<16>(hn::BitCast(d, redGreen));
            redGreen = pairLower(blendChannel(second.r, widen5(red), factors[1]),
                                 blendChannel(second.g, widen6(green), factors[1]));
          }
          redGreen = ditherPair(redGreen, pairedThreshold);
          blue = ditherTo5(blendChannel(second.b, widen5(blue), factors[1]), threshold);
        }
        // red x 2^11 + green x 2^5, one multiply-add.
        V result = hn::Or(pairSums(hn::BitCast(d, redGreen), hn::Set(d, 2048u | 32u << 16)), blue);
        if (!whole) result = hn::IfThenElse(hn::RebindMask(d, uncovered), below, result);
        const auto packed = hn::DemoteTo(dp, hn::BitCast(di, result));
        splitRows(dp, packed, [&](auto tag, auto piece, int row) { hn::StoreU(piece, tag, pixels[row]); });
        if (HWY_UNLIKELY(copied)) {
          for (int row = 0; row < rows; ++row) {
            std::memcpy(rowPixels[row] + column, copies[row], static_cast<size_t>(onScreen) * 2);
          }
        }
      }
      HWY_UNROLL(16)
      for (int k = 0; k < kFunctions; ++k) at[k] = hn::Add(at[k], across[k]);
    }
    HWY_UNROLL(16)
    for (int k = 0; k < kFunctions; ++k) value[k] = hn::Add(value[k], down[k]);
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

#if HWY_HAVE_FLOAT64
// setUpPlanes' arithmetic lane by lane: the same operations in the same order, each rounded
// as there (nothing is contracted into a multiply-add in this build), so the same planes.
// Each value is rounded to the fixed-point format with kRounder (triangle_setup.h), as
// toTexelFixed rounds it; lanes beyond kRounderLimit are not given.
uint32_t setUpPlaneLanes(const PlaneLanes& in, int count, TexturePlane* planes) {
  using DF = hn::CappedTag<double, kMostPlaneLanes>;
  const DF df;
  const hn::RebindToUnsigned<DF> du;
  const size_t lanes = hn::Lanes(df);
  const auto scale = hn::Set(df, double{1u << kTexelFractionBits});
  const auto limit = hn::Set(df, kRounderLimit);
  const auto rounder = hn::Set(df, kRounder);
  const TriangleShape& a = *in.shapes[0];
  const TriangleShape& b = *in.shapes[1];
  uint32_t given = 0;
  for (size_t first = 0; first < static_cast<size_t>(count); first += lanes) {
    // Lanes 2k and 2k + 1 are of half k % 2.
    const auto ofB = hn::RebindMask(
        df, hn::Eq(hn::And(hn::Add(hn::Iota(du, 0), hn::Set(du, first)), hn::Set(du, 2u)),
                   hn::Set(du, 2u)));
    const auto byHalf = [&](double fromA, double fromB) {
      return hn::IfThenElse(ofB, hn::Set(df, fromB), hn::Set(df, fromA));
    };
    const auto x0 = byHalf(a.x0, b.x0), y0 = byHalf(a.y0, b.y0);
    const auto e1x = byHalf(a.e1x, b.e1x), e1y = byHalf(a.e1y, b.e1y);
    const auto e2x = byHalf(a.e2x, b.e2x), e2y = byHalf(a.e2y, b.e2y);
    const auto determinant = byHalf(a.determinant, b.determinant);
    // The lanes past `count` are not filled in: they are read as zeros, and not given. The
    // values are aligned (PlaneLanes), as a masked load may read them whole.
    const auto used = hn::FirstN(df, static_cast<size_t>(count) - first);
    const auto load = [&](const double* lane) { return hn::MaskedLoad(used, df, lane + first); };
    const auto v0 = load(in.value[0]);
    const auto d1 = hn::Sub(load(in.value[1]), v0);
    const auto d2 = hn::Sub(load(in.value[2]), v0);
    const auto perX = hn::Div(hn::Sub(hn::Mul(d1, e2y), hn::Mul(d2, e1y)), determinant);
    const auto perY = hn::Div(hn::Sub(hn::Mul(d2, e1x), hn::Mul(d1, e2x)), determinant);
    const auto atOrigin =
        hn::Add(hn::Add(v0, hn::Mul(perX, hn::Sub(byHalf(in.originX[0], in.originX[1]), x0))),
                hn::Mul(perY, hn::Sub(byHalf(in.originY[0], in.originY[1]), y0)));
    auto fits = used;
    alignas(64) uint64_t fixed[3][kMostPlaneLanes];
    const decltype(atOrigin)* values[3] = {&perX, &perY, &atOrigin};
    for (int k = 0; k < 3; ++k) {
      const auto product = hn::Mul(*values[k], scale);
      fits = hn::And(fits, hn::Lt(hn::Abs(product), limit));
      hn::Store(hn::BitCast(du, hn::Add(product, rounder)), du, fixed[k]);
    }
    given |= maskBits(df, fits) << first;
    for (size_t lane = 0; lane < lanes && first + lane < static_cast<size_t>(count); ++lane) {
      planes[first + lane] = {static_cast<uint32_t>(fixed[2][lane]),
                              static_cast<uint32_t>(fixed[0][lane]),
                              static_cast<uint32_t>(fixed[1][lane])};
    }
  }
  return given;
}
#endif

}  // namespace

FastPath fastPath() {
#if HWY_HAVE_FLOAT64
  return {drawRows, drawCellRows, setUpPlaneLanes};
#else
  return {drawRows, drawCellRows, nullptr};
#endif
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
  return entry ? entry->functions() : FastPath{nullptr, nullptr, nullptr};
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
