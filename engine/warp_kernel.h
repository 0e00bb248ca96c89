// The inner loops of the warp solver, shared by its plain and vector versions.
//
// The solver lays out everything that does not depend on the picture once (the mean points, the
// base grid, the border anchors) and hands the grid out in blocks of vertices. For one block a
// kernel computes the weight of every control point at every vertex and each vertex's weight sum
// W, both of which depend only on the vertex and the mean points, and then, for every picture,
// the weighted sums of the displacements. Each (picture, vertex) sum is formed term by term in
// point order, rounded to a float after every addition, exactly as the straightforward loop
// does; vector lanes are vertices, so no sum is ever reordered.
//
// This header is included by files compiled with different instruction sets: it declares only
// plain data and functions, and the kernel template lives in warp_kernel_body.h, which each
// kernel file instantiates with lane types of its own (internal linkage, so nothing compiled
// for one instruction set can be picked up by another).
#pragma once

#include <cstdint>

#include "engine/picture.h"

// Vertices per block: the weights of a block (up to 500 points x 32 doubles) stay in cache
// while every picture is summed over them.
constexpr int32_t kWarpBlock = 32;

struct WarpJob {
  int32_t pointCount = 0;  // the points that take part: those that some picture takes
  int32_t pictureCount = 0;
  int32_t vertexCount = 0;
  // The base grid, padded with zeros to a whole number of blocks.
  const float* gridX = nullptr;
  const float* gridY = nullptr;
  // The mean of every such point over the pictures that take it.
  const float* meanX = nullptr;
  const float* meanY = nullptr;
  // The border vertices in the order in which their terms join W.
  const int32_t* anchors = nullptr;
  int32_t anchorCount = 0;
  // The displacement terms of every picture, terms termBegin[n] to termBegin[n+1]-1 for
  // picture n, in point order. A point whose displacement is zero on both axes has no term: it
  // would add exactly nothing to the sums.
  const int32_t* termBegin = nullptr;
  const int32_t* termPoint = nullptr;
  const double* termDx = nullptr;  // point.x - mean.x, formed in double
  const double* termDy = nullptr;
  // The points that picture n does not take (see warpTakesPoint), absentPoint[absentBegin[n]] to
  // absentPoint[absentBegin[n+1]-1] in point order: that picture's W is summed without them.
  // Normally there are none.
  const int32_t* absentBegin = nullptr;
  const int32_t* absentPoint = nullptr;
  MeshPoint* const* meshes = nullptr;  // one table per picture
};

// Solves the vertices firstVertex to firstVertex + kWarpBlock - 1 (those below vertexCount)
// for every picture. `weights` has room for pointCount * kWarpBlock doubles, 64-byte aligned.
void warpBlockPlain(const WarpJob& job, int32_t firstVertex, double* weights);
void warpBlockAvx2(const WarpJob& job, int32_t firstVertex, double* weights);
void warpBlockAvx512(const WarpJob& job, int32_t firstVertex, double* weights);
