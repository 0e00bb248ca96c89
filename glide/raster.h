// The rasterisers: what one triangle is drawn with, and the functions that draw it.
#pragma once

#include <cstdint>

#include "glide/pixel_pipeline.h"
#include "glide/triangle_setup.h"

namespace glide {

// A colour buffer: RGB565 pixels, rows from the top, `width` pixels a row, no gaps.
struct Surface {
  uint16_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

// Everything a triangle is drawn with, captured when it is issued.
struct DrawState {
  const uint16_t* texture = nullptr;  // 256 x 256 RGB565 texels, row 0 first
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
// Plain C++ for any CPU: each row stepped pixel by pixel with integer increments.
void drawRowsPortable(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
                      int32_t lastRow);
// 8 pixels at a time; only where the CPU has AVX2.
void drawRowsAvx2(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
                  int32_t lastRow);
// 16 pixels at a time; only where the CPU has AVX-512 F, BW and VL.
void drawRowsAvx512(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
                    int32_t lastRow);

// Two triangles of the same shape, target and dither, the second drawn right after the first:
// the pixels as if the first were drawn whole and then the second, in one pass.
using PairRowRasterizer = void (*)(const TriangleSetup& setup, const DrawState& state,
                                   const TriangleSetup& over, const DrawState& overState,
                                   int32_t firstRow, int32_t lastRow);
void drawRowsPairAvx512(const TriangleSetup& setup, const DrawState& state,
                        const TriangleSetup& over, const DrawState& overState, int32_t firstRow,
                        int32_t lastRow);

}  // namespace glide
