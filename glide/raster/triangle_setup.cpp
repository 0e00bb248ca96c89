#include "glide/raster/triangle_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "glide/raster/pixel_pipeline.h"

namespace glide {

namespace {

// Texel units to the 1/2^24-texel format, modulo 256 texels (wrapping is free there): rounded
// to the nearest unit (ties to even), then reduced modulo 2^32.
bool toTexelFixed(double texels, uint32_t& fixed) {
  constexpr double kScale = 1u << kTexelFractionBits;
  constexpr double kModulus = 4294967296.0;              // 2^32: 256 texels
  constexpr double kInt64Range = 9223372036854775808.0;  // 2^63
  const double product = texels * kScale;
  if (std::fabs(product) < kRounderLimit) {
    const double scaled = (product + kRounder) - kRounder;
    fixed = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(scaled)));
    return true;
  }
  const double scaled = std::nearbyint(product);
  if (!std::isfinite(scaled)) return false;
  if (std::fabs(scaled) < kInt64Range) {
    // An integer's low 32 bits are its value modulo 2^32.
    fixed = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(scaled)));
    return true;
  }
  double wrapped = std::fmod(scaled, kModulus);
  if (wrapped < 0) wrapped += kModulus;
  fixed = static_cast<uint32_t>(static_cast<uint64_t>(wrapped));
  return true;
}

// Pixel centres lie at 16 p + 8 in 1/16 pixel: the first centre at or after `from`, the last
// at or before `to`.
int64_t firstCentreAtOrAfter(int64_t from) {
  return (from + 7) >> kSubpixelBits;
}
int64_t lastCentreAtOrBefore(int64_t to) {
  return (to - 8) >> kSubpixelBits;
}

EdgeFunction makeEdge(int64_t fromX, int64_t fromY, int64_t toX, int64_t toY, int64_t originX,
                      int64_t originY) {
  const int64_t dx = toX - fromX;
  const int64_t dy = toY - fromY;
  EdgeFunction edge;
  edge.atOrigin = dx * (originY - fromY) - dy * (originX - fromX);
  edge.stepX = -dy * kSubpixels;
  edge.stepY = dx * kSubpixels;
  // With the winding made positive, the inside lies where the value grows. A left edge runs
  // upwards (dy < 0); a top edge is horizontal with the inside below it (dx > 0).
  const bool topOrLeft = dy < 0 || (dy == 0 && dx > 0);
  edge.threshold = topOrLeft ? 0 : 1;
  return edge;
}

// The affine function through the three corners' values, as a fixed-point plane whose origin
// is the centre of pixel (left, top).
bool makePlane(const TriangleShape& shape, const double (&value)[3], int32_t left, int32_t top,
               TexturePlane& plane) {
  const double d1 = value[1] - value[0];
  const double d2 = value[2] - value[0];
  const double perX = (d1 * shape.e2y - d2 * shape.e1y) / shape.determinant;
  const double perY = (d2 * shape.e1x - d1 * shape.e2x) / shape.determinant;
  const double atOrigin =
      value[0] + perX * ((left + 0.5) - shape.x0) + perY * ((top + 0.5) - shape.y0);
  return toTexelFixed(perX, plane.stepX) && toTexelFixed(perY, plane.stepY) &&
         toTexelFixed(atOrigin, plane.atOrigin);
}

}  // namespace

bool setUpShape(const float (&x)[3], const float (&y)[3], int32_t width, int32_t height,
                TriangleSetup& setup, TriangleShape& shape) {
  for (int k = 0; k < 3; ++k) {
    if (!std::isfinite(x[k]) || !std::isfinite(y[k])) return false;
    if (std::fabs(x[k]) > kMaxCoordinate || std::fabs(y[k]) > kMaxCoordinate) return false;
    shape.x[k] = toSubpixels(x[k]);
    shape.y[k] = toSubpixels(y[k]);
    shape.corner[k] = k;
  }
  int64_t* const vx = shape.x;
  int64_t* const vy = shape.y;
  // Twice the signed area in 1/256 square pixels; exact, the coordinates being bounded.
  int64_t area = (vx[1] - vx[0]) * (vy[2] - vy[0]) - (vx[2] - vx[0]) * (vy[1] - vy[0]);
  if (area == 0) return false;
  if (area < 0) {  // no culling: the other winding is drawn the same way
    std::swap(vx[1], vx[2]);
    std::swap(vy[1], vy[2]);
    std::swap(shape.corner[1], shape.corner[2]);
    area = -area;
  }

  const int64_t minX = std::min({vx[0], vx[1], vx[2]});
  const int64_t maxX = std::max({vx[0], vx[1], vx[2]});
  const int64_t minY = std::min({vy[0], vy[1], vy[2]});
  const int64_t maxY = std::max({vy[0], vy[1], vy[2]});
  // Clipping to the screen: only pixels on it are ever looked at.
  const int64_t left = std::max<int64_t>(firstCentreAtOrAfter(minX), 0);
  const int64_t right = std::min<int64_t>(lastCentreAtOrBefore(maxX), width - 1);
  const int64_t top = std::max<int64_t>(firstCentreAtOrAfter(minY), 0);
  const int64_t bottom = std::min<int64_t>(lastCentreAtOrBefore(maxY), height - 1);
  if (left > right || top > bottom) return false;
  setup.left = static_cast<int32_t>(left);
  setup.right = static_cast<int32_t>(right);
  setup.top = static_cast<int32_t>(top);
  setup.bottom = static_cast<int32_t>(bottom);

  const int64_t originX = left * kSubpixels + kSubpixels / 2;
  const int64_t originY = top * kSubpixels + kSubpixels / 2;
  for (int k = 0; k < 3; ++k) {
    const int next = (k + 1) % 3;
    setup.edges[k] = makeEdge(vx[k], vy[k], vx[next], vy[next], originX, originY);
  }

  const int64_t columns = right - left + 16;
  const int64_t rows = bottom - top;
  setup.edgesFit32 = true;
  for (const EdgeFunction& edge : setup.edges) {
    const int64_t largest =
        std::abs(edge.atOrigin) + std::abs(edge.stepX) * columns + std::abs(edge.stepY) * rows;
    if (largest > INT32_MAX) setup.edgesFit32 = false;
  }

  shape.x0 = static_cast<double>(vx[0]) / kSubpixels;
  shape.y0 = static_cast<double>(vy[0]) / kSubpixels;
  shape.e1x = static_cast<double>(vx[1] - vx[0]) / kSubpixels;
  shape.e1y = static_cast<double>(vy[1] - vy[0]) / kSubpixels;
  shape.e2x = static_cast<double>(vx[2] - vx[0]) / kSubpixels;
  shape.e2y = static_cast<double>(vy[2] - vy[0]) / kSubpixels;
  shape.determinant = static_cast<double>(area) / (kSubpixels * kSubpixels);
  return true;
}

bool setUpPlanes(const TriangleShape& shape, const float (&s)[3], const float (&t)[3],
                 TriangleSetup& setup) {
  double sValues[3], tValues[3];
  for (int k = 0; k < 3; ++k) {
    sValues[k] = s[shape.corner[k]];
    tValues[k] = t[shape.corner[k]];
    if (!std::isfinite(sValues[k]) || !std::isfinite(tValues[k])) return false;
  }
  return makePlane(shape, sValues, setup.left, setup.top, setup.s) &&
         makePlane(shape, tValues, setup.left, setup.top, setup.t);
}

bool setUpTriangle(const GrVertex& a, const GrVertex& b, const GrVertex& c, int32_t width,
                   int32_t height, TriangleSetup& setup) {
  const float x[3] = {a.x, b.x, c.x};
  const float y[3] = {a.y, b.y, c.y};
  const float s[3] = {a.tmuvtx[0].sow, b.tmuvtx[0].sow, c.tmuvtx[0].sow};
  const float t[3] = {a.tmuvtx[0].tow, b.tmuvtx[0].tow, c.tmuvtx[0].tow};
  TriangleShape shape;
  return setUpShape(x, y, width, height, setup, shape) && setUpPlanes(shape, s, t, setup);
}

}  // namespace glide
