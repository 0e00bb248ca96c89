#include "glide/raster/raster.h"

namespace glide {

void drawTriangleReference(const TriangleSetup& setup, const DrawState& state) {
  const Surface& target = state.target;
  for (int32_t py = setup.top; py <= setup.bottom; ++py) {
    for (int32_t px = setup.left; px <= setup.right; ++px) {
      if (!covers(setup, px, py)) continue;
      const uint32_t s = planeValue(setup.s, px, py, setup.left, setup.top);
      const uint32_t t = planeValue(setup.t, px, py, setup.left, setup.top);
      const Colour texel = sampleBilinear(state.texture, s, t);
      uint16_t& pixel = target.pixels[static_cast<int64_t>(py) * target.width + px];
      const Colour mixed = blend(texel, widen565(pixel), state.srcFactor, state.dstFactor);
      pixel = ditherTo565(mixed, state.dither->threshold[py & 3][px & 3]);
    }
  }
}

}  // namespace glide
