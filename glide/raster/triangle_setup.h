// Triangle set-up: from three Glide vertices to what the rasterisers step over. Exact
// integer edge functions decide coverage; two fixed-point planes give the texture coordinates
// at every pixel centre.
#pragma once

#include <cstdint>

#include "glide/glide.h"

namespace glide {

// Vertices are taken on a grid of 1/16 pixel, as the board's hardware model does.
constexpr int kSubpixelBits = 4;
constexpr int64_t kSubpixels = 1 << kSubpixelBits;
// Coordinates beyond this many pixels from the screen's origin are refused (the triangle is
// not drawn): the integer edge functions stay exact up to here, which is far beyond anything
// the programs draw (the vertex snapping itself only holds up to 262144).
constexpr double kMaxCoordinate = 33554432.0;  // 2^25

// Adding and subtracting kRounder rounds a double below kRounderLimit in magnitude to a whole
// number, to nearest with ties to even, as nearbyint does, without a call into the maths
// library. The sum's low 32 bits are that number modulo 2^32.
constexpr double kRounder = 6755399441055744.0;       // 1.5 x 2^52
constexpr double kRounderLimit = 2251799813685248.0;  // 2^51

// A coordinate (within kMaxCoordinate) on the 1/16-pixel grid, rounded to nearest with ties to
// even.
inline int64_t toSubpixels(double coordinate) {
  return static_cast<int64_t>((coordinate * kSubpixels + kRounder) - kRounder);
}

// One edge of a triangle as a function of the pixel (px, py) whose centre is tested:
// value(px, py) = atOrigin + stepX (px - left) + stepY (py - top), in 1/256 square pixels.
// The pixel is inside this edge when value >= threshold: 0 on the triangle's top and left
// edges, 1 on the others, so that a pixel centre lying exactly on an edge shared by two
// triangles belongs to exactly one of them.
struct EdgeFunction {
  int64_t atOrigin;
  int64_t stepX;
  int64_t stepY;
  int64_t threshold;
};

// A texture coordinate as an affine function of the pixel, in the fixed-point format of
// pixel_pipeline.h (1/2^24 texel, modulo 256 texels): value(px, py) = atOrigin +
// stepX (px - left) + stepY (py - top), all modulo 2^32. Because the steps are integers,
// stepping from pixel to pixel gives exactly the value computed directly at each pixel.
struct TexturePlane {
  uint32_t atOrigin;
  uint32_t stepX;
  uint32_t stepY;
};

struct TriangleSetup {
  // The pixels whose centres may be covered, inclusive, already clipped to the screen.
  // (left, top) is the origin of the edge functions and planes.
  int32_t left, top, right, bottom;
  EdgeFunction edges[3];
  TexturePlane s, t;
  // Every edge value over the rectangle, and up to 16 pixels beyond its right side, fits in
  // 32 bits: the vector paths may then work on 32-bit lanes.
  bool edgesFit32;
};

// Sets up the triangle a, b, c (either winding) for a screen of width x height pixels.
// Returns false when it covers no pixel centre of the screen or cannot be drawn (no area,
// a coordinate that is not finite or lies beyond kMaxCoordinate).
bool setUpTriangle(const GrVertex& a, const GrVertex& b, const GrVertex& c, int32_t width,
                   int32_t height, TriangleSetup& setup);

// The same in two steps, for triangles drawn more than once with other texture coordinates:
// the shape (rectangle and edges) from the corners' positions, then the planes from the
// texture coordinates. Together they give exactly what setUpTriangle gives.
struct TriangleShape {
  int64_t x[3], y[3];  // the corners on the 1/16-pixel grid, wound as the edges are
  int corner[3];       // which of the given corners each one is
  // Pixel-unit geometry the planes are computed from.
  double x0, y0, e1x, e1y, e2x, e2y, determinant;
};
bool setUpShape(const float (&x)[3], const float (&y)[3], int32_t width, int32_t height,
                TriangleSetup& setup, TriangleShape& shape);
// False when a coordinate is not finite.
bool setUpPlanes(const TriangleShape& shape, const float (&s)[3], const float (&t)[3],
                 TriangleSetup& setup);

// What setUpPlanes computes planes from, for the planes of a cell's triangles at once (a
// vector path works them out side by side): lanes 2k and 2k + 1 hold s and t of triangle k,
// which is of the cell's half k % 2 (A, B, then A and B again for a second layer). The
// halves' shapes and origins are given once; the values at the corners for each lane.
// Aligned as vector loads want them, each row of values taking a whole cache line.
constexpr int kMostPlaneLanes = 8;
struct alignas(64) PlaneLanes {
  double value[3][kMostPlaneLanes];  // at the shape's corners, in the shape's order
  const TriangleShape* shapes[2];    // A's and B's (A's again for a lone triangle)
  double originX[2], originY[2];     // the centre of their origin pixel: left + 0.5, top + 0.5

  void setHalf(int half, const TriangleShape& shape, const TriangleSetup& setup) {
    shapes[half] = &shape;
    originX[half] = setup.left + 0.5;
    originY[half] = setup.top + 0.5;
  }
  // Triangle k's values at its corners as given to setUpShape.
  void setValues(int k, const float (&s)[3], const float (&t)[3]) {
    const TriangleShape& shape = *shapes[k % 2];
    for (int corner = 0; corner < 3; ++corner) {
      value[corner][2 * k] = s[shape.corner[corner]];
      value[corner][2 * k + 1] = t[shape.corner[corner]];
    }
  }
};

inline int64_t edgeValue(const EdgeFunction& edge, int32_t dx, int32_t dy) {
  return edge.atOrigin + edge.stepX * dx + edge.stepY * dy;
}

inline bool covers(const TriangleSetup& setup, int32_t px, int32_t py) {
  const int32_t dx = px - setup.left;
  const int32_t dy = py - setup.top;
  for (const EdgeFunction& edge : setup.edges) {
    if (edgeValue(edge, dx, dy) < edge.threshold) return false;
  }
  return true;
}

inline uint32_t planeValue(const TexturePlane& plane, int32_t px, int32_t py, int32_t left,
                           int32_t top) {
  return plane.atOrigin + plane.stepX * static_cast<uint32_t>(px - left) +
         plane.stepY * static_cast<uint32_t>(py - top);
}

}  // namespace glide
