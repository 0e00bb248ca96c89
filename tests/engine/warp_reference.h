// The warp field computed by the straightforward loop, step by step in the order the solver's
// precision rules give: double distances, weights and W; the sums kept in the float mesh table,
// rounded at every store; points in index order, then the anchors. Slow (one weight per picture,
// vertex and point), and for that very reason the yardstick that the fast solver must match bit
// for bit. Header-only so that the benchmarks measure it too. A point that a picture does not take
// (warpTakesPoint: not finite, or too large for the sums) is skipped on that picture, in its mean
// and its sums alike.
#pragma once

#include <cmath>
#include <vector>

#include "engine/morph_engine.h"
#include "engine/warp_solver.h"

inline void solveWarpFieldReference(MorphEngine& engine) {
  const int q = engine.quality;
  const int vertexCount = engine.vertexCount;
  const int pictureCount = engine.pictureCount;
  const int pointCount = engine.pointCount;

  std::vector<MeshPoint> mean(pointCount, MeshPoint{0.0f, 0.0f});
  std::vector<int> takenOn(pointCount, 0);
  for (int n = 0; n < pictureCount; ++n) {
    for (int t = 0; t < pointCount; ++t) {
      const ControlPoint& point = engine.pictures[n].points[t];
      if (!warpTakesPoint(point)) continue;
      mean[t].x = float(double(point.x) + double(mean[t].x));
      mean[t].y = float(double(point.y) + double(mean[t].y));
      ++takenOn[t];
    }
  }
  for (int t = 0; t < pointCount; ++t) {
    if (takenOn[t] == 0) continue;
    mean[t].x = float(double(mean[t].x) / takenOn[t]);
    mean[t].y = float(double(mean[t].y) / takenOn[t]);
  }

  std::vector<MeshPoint> grid(vertexCount);
  int m = 0;
  for (int k = 0; k <= q; ++k) {
    for (int l = 0; l <= q; ++l) {
      grid[m].x = float((l * 255.0) / q);
      grid[m].y = float((k * 255.0) / q);
      ++m;
    }
  }

  int i = 0;
  for (int k = 0; k < q; ++k) {
    for (int l = 0; l < q; ++l) {
      engine.quads[i] = MeshQuad{
          {k * (q + 1) + l, k * (q + 1) + l + 1, (k + 1) * (q + 1) + l + 1, (k + 1) * (q + 1) + l}};
      ++i;
    }
  }
  engine.quadCount = i;

  auto anchorTerm = [&](const MeshPoint& at, int a) {
    const double e =
        std::sqrt((double(at.y) - double(grid[a].y)) * (double(at.y) - double(grid[a].y)) +
                  (double(at.x) - double(grid[a].x)) * (double(at.x) - double(grid[a].x)));
    return 1.0 / (e * e * e + 0.01);
  };
  for (int n = 0; n < pictureCount; ++n) {
    MeshPoint* mesh = engine.pictures[n].mesh.get();
    const ControlPoint* points = engine.pictures[n].points.get();
    for (int v = 0; v < vertexCount; ++v) {
      const double gx = grid[v].x;
      const double gy = grid[v].y;
      mesh[v].x = 0.0f;
      mesh[v].y = 0.0f;
      double weightSum = 0.0;
      for (int t = 0; t < pointCount; ++t) {
        if (!warpTakesPoint(points[t])) continue;
        const double d = std::sqrt((gy - double(mean[t].y)) * (gy - double(mean[t].y)) +
                                   (gx - double(mean[t].x)) * (gx - double(mean[t].x)));
        const double w = 1.0 / (d * d + 1.0);
        mesh[v].x = float((double(points[t].x) - double(mean[t].x)) * w + double(mesh[v].x));
        mesh[v].y = float((double(points[t].y) - double(mean[t].y)) * w + double(mesh[v].y));
        weightSum = w + weightSum;
      }
      for (int c = 0; c <= q; ++c) {
        weightSum = anchorTerm(grid[v], q * (q + 1) + c) + weightSum;
        weightSum = anchorTerm(grid[v], c) + weightSum;
      }
      for (int r = 1; r < q; ++r) {
        weightSum = anchorTerm(grid[v], r * (q + 1) + q) + weightSum;
        weightSum = anchorTerm(grid[v], r * (q + 1)) + weightSum;
      }
      mesh[v].x = float(double(mesh[v].x) / weightSum);
      mesh[v].y = float(double(mesh[v].y) / weightSum);
      mesh[v].x = float(double(mesh[v].x) + gx);
      mesh[v].y = float(double(mesh[v].y) + gy);
    }
  }
}
