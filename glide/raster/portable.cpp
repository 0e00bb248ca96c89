#include "glide/raster/raster.h"

namespace glide {

// The reference's loop, with the edge values and texture coordinates stepped from pixel to
// pixel (integer additions: the same values as computed afresh) and each row left once its
// covered span has passed (a triangle's row is one span).
void drawRowsPortable(const TriangleSetup& setup, const DrawState& state, int32_t firstRow,
                      int32_t lastRow) {
  const Surface& target = state.target;
  for (int32_t py = firstRow; py <= lastRow; ++py) {
    const int32_t dy = py - setup.top;
    int64_t edge[3];
    for (int k = 0; k < 3; ++k) edge[k] = edgeValue(setup.edges[k], 0, dy);
    uint32_t s = planeValue(setup.s, setup.left, py, setup.left, setup.top);
    uint32_t t = planeValue(setup.t, setup.left, py, setup.left, setup.top);
    uint16_t* row = target.pixels + static_cast<int64_t>(py) * target.width;
    const uint8_t* thresholds = state.dither->threshold[py & 3];
    bool inSpan = false;
    for (int32_t px = setup.left; px <= setup.right; ++px) {
      if (edge[0] >= setup.edges[0].threshold && edge[1] >= setup.edges[1].threshold &&
          edge[2] >= setup.edges[2].threshold) {
        inSpan = true;
        const Colour texel = sampleBilinear(state.texture, s, t);
        const Colour mixed = blend(texel, widen565(row[px]), state.srcFactor, state.dstFactor);
        row[px] = ditherTo565(mixed, thresholds[px & 3]);
      } else if (inSpan) {
        break;
      }
      for (int k = 0; k < 3; ++k) edge[k] += setup.edges[k].stepX;
      s += setup.s.stepX;
      t += setup.t.stepX;
    }
  }
}

}  // namespace glide
