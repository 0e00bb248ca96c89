// The warp kernel with AVX-512F: eight vertices per lane group. Compiled with -mavx512f and run
// only when the CPU says it has AVX-512F (see warp_solver.cpp).
#include <immintrin.h>

#include "engine/warp_kernel.h"

namespace {

struct Lanes {
  using Doubles = __m512d;
  using Floats = __m256;
  static constexpr int kCount = 8;
  static __m512d zeroDoubles() { return _mm512_setzero_pd(); }
  static __m256 zeroFloats() { return _mm256_setzero_ps(); }
  static __m512d broadcast(double value) { return _mm512_set1_pd(value); }
  static __m256 loadFloats(const float* from) { return _mm256_loadu_ps(from); }
  static __m512d loadDoubles(const double* from) { return _mm512_load_pd(from); }
  static void storeFloats(float* to, __m256 value) { _mm256_storeu_ps(to, value); }
  static void storeDoubles(double* to, __m512d value) { _mm512_store_pd(to, value); }
  static __m512d widen(__m256 value) { return _mm512_cvtps_pd(value); }
  static __m256 narrow(__m512d value) { return _mm512_cvtpd_ps(value); }
  static __m512d squareRoot(__m512d value) { return _mm512_sqrt_pd(value); }
};

#include "engine/warp_kernel_body.h"

}  // namespace

void warpBlockAvx512(const WarpJob& job, int32_t firstVertex, double* weights) {
  solveWarpBlock<Lanes>(job, firstVertex, weights);
}
