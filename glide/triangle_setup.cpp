#include "glide/triangle_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "glide/pixel_pipeline.h"

namespace glide {

namespace {

struct FixedVertex {
  int64_t x, y;  // 1/16 pixel
  double s, t;   // texels
};

bool toFixedVertex(const GrVertex& vertex, FixedVertex& fixed) {
  const double x = vertex.x;
  const double y = vertex.y;
  const double s = vertex.tmuvtx[0].sow;
  const double t = vertex.tmuvtx[0].tow;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(s) || !std::isfinite(t)) {
    return false;
  }
  if (std::fabs(x) > kMaxCoordinate || std::fabs(y) > kMaxCoordinate) return false;
  fixed.x = toSubpixels(x);
  fixed.y = toSubpixels(y);
  fixed.s = s;
  fixed.t = t;
  return true;
}

// Texel units to the 1/2^24-texel format, modulo 256 texels (wrapping is free there): rounded
// to the nearest unit (ties to even), then reduced modulo 2^32.
bool toTexelFixed(double texels, uint32_t& fixed) {
  constexpr double kScale = 1u << kTexelFractionBits;
  constexpr double kModulus = 4294967296.0;              // 2^32: 256 texels
  constexpr double kInt64Range = 9223372036854775808.0;  // 2^63
  const double scaled = std::nearbyint(texels * kScale);
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

EdgeFunction makeEdge(const FixedVertex& from, const FixedVertex& to, int64_t originX,
                      int64_t originY) {
  const int64_t dx = to.x - from.x;
  const int64_t dy = to.y - from.y;
  EdgeFunction edge;
  edge.atOrigin = dx * (originY - from.y) - dy * (originX - from.x);
  edge.stepX = -dy * kSubpixels;
  edge.stepY = dx * kSubpixels;
  // With the winding made positive below, the inside lies where the value grows. A left edge
  // runs upwards (dy < 0); a top edge is horizontal with the inside below it (dx > 0).
  const bool topOrLeft = dy < 0 || (dy == 0 && dx > 0);
  edge.threshold = topOrLeft ? 0 : 1;
  return edge;
}

// The affine function through the three vertices' values, as a fixed-point plane whose
// origin is the centre of pixel (left, top).
bool makePlane(const FixedVertex (&v)[3], double FixedVertex::*value, double determinant,
               int32_t left, int32_t top, TexturePlane& plane) {
  const double x0 = static_cast<double>(v[0].x) / kSubpixels;
  const double y0 = static_cast<double>(v[0].y) / kSubpixels;
  const double e1x = static_cast<double>(v[1].x - v[0].x) / kSubpixels;
  const double e1y = static_cast<double>(v[1].y - v[0].y) / kSubpixels;
  const double e2x = static_cast<double>(v[2].x - v[0].x) / kSubpixels;
  const double e2y = static_cast<double>(v[2].y - v[0].y) / kSubpixels;
  const double d1 = v[1].*value - v[0].*value;
  const double d2 = v[2].*value - v[0].*value;
  const double perX = (d1 * e2y - d2 * e1y) / determinant;
  const double perY = (d2 * e1x - d1 * e2x) / determinant;
  const double atOrigin = v[0].*value + perX * ((left + 0.5) - x0) + perY * ((top + 0.5) - y0);
  return toTexelFixed(perX, plane.stepX) && toTexelFixed(perY, plane.stepY) &&
         toTexelFixed(atOrigin, plane.atOrigin);
}

}  // namespace

bool setUpTriangle(const GrVertex& a, const GrVertex& b, const GrVertex& c, int32_t width,
                   int32_t height, TriangleSetup& setup) {
  FixedVertex v[3];
  if (!toFixedVertex(a, v[0]) || !toFixedVertex(b, v[1]) || !toFixedVertex(c, v[2])) {
    return false;
  }
  // Twice the signed area in 1/256 square pixels; exact, the coordinates being bounded.
  int64_t area = (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[2].x - v[0].x) * (v[1].y - v[0].y);
  if (area == 0) return false;
  if (area < 0) {  // no culling: the other winding is drawn the same way
    std::swap(v[1], v[2]);
    area = -area;
  }

  const int64_t minX = std::min({v[0].x, v[1].x, v[2].x});
  const int64_t maxX = std::max({v[0].x, v[1].x, v[2].x});
  const int64_t minY = std::min({v[0].y, v[1].y, v[2].y});
  const int64_t maxY = std::max({v[0].y, v[1].y, v[2].y});
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
  setup.edges[0] = makeEdge(v[0], v[1], originX, originY);
  setup.edges[1] = makeEdge(v[1], v[2], originX, originY);
  setup.edges[2] = makeEdge(v[2], v[0], originX, originY);

  const int64_t columns = right - left + 16;
  const int64_t rows = bottom - top;
  setup.edgesFit32 = true;
  for (const EdgeFunction& edge : setup.edges) {
    const int64_t largest =
        std::abs(edge.atOrigin) + std::abs(edge.stepX) * columns + std::abs(edge.stepY) * rows;
    if (largest > INT32_MAX) setup.edgesFit32 = false;
  }

  const double determinant = static_cast<double>(area) / (kSubpixels * kSubpixels);
  return makePlane(v, &FixedVertex::s, determinant, setup.left, setup.top, setup.s) &&
         makePlane(v, &FixedVertex::t, determinant, setup.left, setup.top, setup.t);
}

}  // namespace glide
