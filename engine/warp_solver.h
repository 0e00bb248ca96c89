// The warp solver's choice of inner loops. solveWarpField picks the fastest that the machine
// runs; tests and benchmarks choose one themselves and hold each to the straightforward loop.
#pragma once

#include <cstdint>

class MorphEngine;

enum class WarpKernel {
  Plain,   // portable C++, one vertex at a time
  Avx2,    // four vertices at a time (x86-64 with AVX2)
  Avx512,  // eight vertices at a time (x86-64 with AVX-512F)
};

// True when this machine can run `kernel`.
bool warpKernelRuns(WarpKernel kernel);

// The fastest kernel this machine runs.
WarpKernel fastestWarpKernel();

// What solveWarpField does, with the inner loops of `kernel` (which must run here) on `threads`
// threads; 0 lets the solver choose from the size of the work and the machine's cores.
void solveWarpFieldWith(MorphEngine& engine, WarpKernel kernel, int32_t threads);
