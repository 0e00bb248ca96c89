// The warp solver's choice of inner loops. solveWarpField picks the fastest that the machine
// runs; tests and benchmarks choose one themselves and hold each to the straightforward loop.
#pragma once

#include <cstdint>

#include "engine/picture.h"

class MorphEngine;

// The largest coordinate, of either sign, with which a control point takes part in the warp.
// The solver's float sums must stay finite: a picture's displacement sum adds up to 500 terms of
// at most |point| + |mean| each, and 500 x 2 x 2^118 stays below the float limit (2^128) even
// with every addition rounded up; the mean's sum over 50 pictures stays further below it.
// 2^118 is about 3.3e35, so points far off the picture (files hold values like 1e30) count.
inline constexpr float kLargestWarpCoordinate = 0x1p118f;

// True when the solver takes the point into account on its picture: both coordinates finite and
// within kLargestWarpCoordinate. Any other point is solved as absent from that picture (no part
// in its mean, its weights or its displacement), so that one broken value in a file cannot turn
// every mesh into NaN; the project keeps the stored value.
inline bool warpTakesPoint(const ControlPoint& point) {
  // Written so that NaN fails both comparisons.
  return point.x >= -kLargestWarpCoordinate && point.x <= kLargestWarpCoordinate &&
         point.y >= -kLargestWarpCoordinate && point.y <= kLargestWarpCoordinate;
}

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
