// The warp kernel with AVX2: four vertices per lane group. Compiled with -mavx2 and run only
// when the CPU says it has AVX2 (see warp_solver.cpp).
#include <immintrin.h>

#include "engine/warp_kernel.h"

namespace {

struct Lanes {
  using Doubles = __m256d;
  using Floats = __m128;
  static constexpr int kCount = 4;
  static __m256d zeroDoubles() { return _mm256_setzero_pd(); }
  static __m128 zeroFloats() { return _mm_setzero_ps(); }
  static __m256d broadcast(double value) { return _mm256_set1_pd(value); }
  static __m128 loadFloats(const float* from) { return _mm_loadu_ps(from); }
  static __m256d loadDoubles(const double* from) { return _mm256_load_pd(from); }
  static void storeFloats(float* to, __m128 value) { _mm_storeu_ps(to, value); }
  static void storeDoubles(double* to, __m256d value) { _mm256_store_pd(to, value); }
  static __m256d widen(__m128 value) { return _mm256_cvtps_pd(value); }
  static __m128 narrow(__m256d value) { return _mm256_cvtpd_ps(value); }
  static __m256d squareRoot(__m256d value) { return _mm256_sqrt_pd(value); }
};

#include "engine/warp_kernel_body.h"

}  // namespace

void warpBlockAvx2(const WarpJob& job, int32_t firstVertex, double* weights) {
  solveWarpBlock<Lanes>(job, firstVertex, weights);
}
