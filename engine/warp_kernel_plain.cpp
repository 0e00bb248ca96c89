// The warp kernel in portable C++: one vertex per lane.
#include <cmath>

#include "engine/warp_kernel.h"

namespace {

struct Lanes {
  using Doubles = double;
  using Floats = float;
  static constexpr int kCount = 1;
  static double zeroDoubles() { return 0.0; }
  static float zeroFloats() { return 0.0f; }
  static double broadcast(double value) { return value; }
  static float loadFloats(const float* from) { return *from; }
  static double loadDoubles(const double* from) { return *from; }
  static void storeFloats(float* to, float value) { *to = value; }
  static void storeDoubles(double* to, double value) { *to = value; }
  static double widen(float value) { return value; }
  static float narrow(double value) { return static_cast<float>(value); }
  static double squareRoot(double value) { return std::sqrt(value); }
};

#include "engine/warp_kernel_body.h"

}  // namespace

void warpBlockPlain(const WarpJob& job, int32_t firstVertex, double* weights) {
  solveWarpBlock<Lanes>(job, firstVertex, weights);
}
