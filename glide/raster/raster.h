// The rasterisers: what one triangle is drawn with, and the functions that draw it.
#pragma once

#include <cstdint>

#include "glide/raster/pixel_pipeline.h"
#include "glide/raster/texel_planes.h"
#include "glide/raster/triangle_setup.h"

namespace glide {

// A colour buffer: RGB565 pixels, rows from the top, `width` pixels a row, no gaps.
struct Surface {
  uint16_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

// Everything a triangle is drawn with, captured when it is issued.
struct DrawState {
  const uint16_t* texture = nullptr;    // 256 x 256 RGB565 texels, row 0 first
  const TexelPlanes* planes = nullptr;  // the same texture widened, where the fast path has it
  Surface target;
  uint32_t srcFactor = 256;  // blend factors on the 0..256 scale (pixel_pipeline.h)
  uint32_t dstFactor = 0;
  const DitherMatrix* dither = &kNoDither;
};

// The reference: every pixel of the set-up's rectangle tested and computed on its own, in
// the plainest form. The fast paths must give exactly its pixels.
void drawTriangleReference(const TriangleSetup& setup, const DrawState& state);

// The fast paths draw a band of rows at a time: rows firstRow..lastRow (inclusive, within the
// set-up's rows) of one triangle. Each gives exactly the reference's pixels.
using RowRasterizer = void (*)(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
                               int32_t lastRow);
// Plain C++ for any processor: each row stepped pixel by pixel with integer increments.
void drawRowsPortable(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
                      int32_t lastRow);

// A cell of the mesh as the display part draws it: two triangles A and B that share an edge
// (the diagonal) and lie on its two sides, so that no pixel is in both, drawn with one layer
// or with two (the second over the first, each pixel seeing the first layer's triangle and
// then the second's). Both layers have the same corners, target and dither.
struct CellLayer {
  const uint16_t* texture;
  const TexelPlanes* planes;
  TexturePlane s[2], t[2];  // for A and B, with the cell's (left, top) as origin
  uint32_t srcFactor, dstFactor;
};

struct Cell {
  // The pixels either triangle may cover, on the screen; the origin of the functions below.
  int32_t left, top, right, bottom;
  // A pixel lies on A's side when diagonal >= diagonal.threshold, otherwise on B's; it is in
  // the triangle of its side when that triangle's two other edges hold. Every value these
  // take over the cell's rectangle, and 16 pixels beyond its right side, fits in 32 bits.
  EdgeFunction diagonal;
  EdgeFunction edgesA[2], edgesB[2];
  CellLayer layers[2];
  int32_t layerCount;
  Surface target;
  const DitherMatrix* dither;
};

// Draws rows firstRow..lastRow (within the cell's) of the cell, exactly as its triangles drawn
// one by one in order.
using CellRasterizer = void (*)(const Cell& cell, int32_t firstRow, int32_t lastRow);

// How triangles are drawn: the reference, or the fast path. Scalar is drawRowsPortable, for
// any processor; the others are the vector rasteriser (vector_raster.cpp: one source,
// compiled for each instruction set, chosen at run time). Sse4 and Neon work on 128-bit
// vectors: they are what processors without AVX2 get, ARM64 included. Avx512 needs AVX-512
// F, BW, DQ and VL.
enum class RasterPath { Reference, Scalar, Sse4, Avx2, Avx512, Neon };
inline constexpr RasterPath kRasterPaths[] = {RasterPath::Reference, RasterPath::Scalar,
                                              RasterPath::Sse4,      RasterPath::Avx2,
                                              RasterPath::Avx512,    RasterPath::Neon};

// The planes of lanes 0..count - 1, each exactly as setUpPlanes gives it; returns a bit for
// each lane whose plane it gave. It leaves to setUpPlanes any lane whose values are not finite
// or reach beyond 2^27 texels.
using PlaneSetUp = uint32_t (*)(const PlaneLanes& lanes, int count, TexturePlane* planes);

struct FastPath {
  RowRasterizer rows;
  CellRasterizer cells;
  PlaneSetUp planes;  // nullptr where setUpPlanes does them one by one
};

// Whether this build has the path and this processor runs it (the reference always).
bool runsRasterPath(RasterPath path);
// The fast path's functions; all nullptr for the reference and where runsRasterPath is false.
FastPath fastPath(RasterPath path);
// The fastest path this processor runs.
RasterPath fastestRasterPath();
// "reference", "scalar", "sse4", "avx2", "avx512", "neon"; and back (false for any other
// name).
const char* rasterPathName(RasterPath path);
bool rasterPathNamed(const char* name, RasterPath& path);

}  // namespace glide
