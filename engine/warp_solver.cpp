// The warp field: one common grid mesh for playback and, for every picture, where each of its
// vertices lies inside that picture.
//
// Every vertex of the regular base grid is displaced in picture n by the inverse-distance
// weighted average of the differences between picture n's control points and the mean points;
// a point at distance d from the vertex's base position weighs 1/(d^2 + 1). The 4q border
// vertices join the weight sum W as anchors with no displacement, weighing 1/(e^3 + 0.01), so
// that the outline of every mesh stays close to the edge of the picture.
//
// Precision: distances, weights and W are doubles; the running sums Sx and Sy live in the
// float mesh table and are rounded to float after every addition; the points are taken in
// index order and the anchors in a fixed order. Saved morphs play exactly as they always did
// only if every one of those roundings happens in the same order, so the fast version below
// must give the same bits as the straightforward loop (the tests keep that loop).
//
// Speed: the weights and W depend only on the vertex and the mean points, so they are computed
// once per vertex instead of once per picture; the per-picture sums run over vertices in vector
// lanes, each lane keeping its own sum in its own order; a point with no displacement in a
// picture adds exactly nothing there and is skipped; blocks of vertices go to several threads.
#include "engine/warp_solver.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/morph_engine.h"
#include "engine/warp_kernel.h"

namespace {

using BlockFunction = void (*)(const WarpJob&, int32_t, double*);

BlockFunction blockFunction(WarpKernel kernel) {
  switch (kernel) {
#ifdef MORPH_WARP_X86
    case WarpKernel::Avx2:
      return warpBlockAvx2;
    case WarpKernel::Avx512:
      return warpBlockAvx512;
#endif
    default:
      return warpBlockPlain;
  }
}

// The order in which the border vertices join W: the last and the first row, column by column
// (the corners count with the rows); then the last and the first column, row by row.
std::vector<int32_t> borderAnchors(int32_t q) {
  std::vector<int32_t> anchors;
  anchors.reserve(4 * q);
  for (int32_t c = 0; c <= q; ++c) {
    anchors.push_back(q * (q + 1) + c);
    anchors.push_back(c);
  }
  for (int32_t r = 1; r < q; ++r) {
    anchors.push_back(r * (q + 1) + q);
    anchors.push_back(r * (q + 1));
  }
  return anchors;
}

// Work below this many weighted terms is done on the calling thread: starting threads would
// cost more than it saves.
constexpr int64_t kTermsWorthThreads = 2'000'000;
constexpr int32_t kMaxThreads = 8;

int32_t threadsFor(int64_t terms, int32_t blockCount) {
  if (terms < kTermsWorthThreads) return 1;
  const int32_t cores = static_cast<int32_t>(std::thread::hardware_concurrency());
  return std::clamp(std::min(cores, kMaxThreads), 1, blockCount);
}

}  // namespace

bool warpKernelRuns(WarpKernel kernel) {
  switch (kernel) {
    case WarpKernel::Plain:
      return true;
#ifdef MORPH_WARP_X86
    case WarpKernel::Avx2:
      return __builtin_cpu_supports("avx2");
    case WarpKernel::Avx512:
      return __builtin_cpu_supports("avx512f");
#endif
    default:
      return false;
  }
}

WarpKernel fastestWarpKernel() {
  if (warpKernelRuns(WarpKernel::Avx512)) return WarpKernel::Avx512;
  if (warpKernelRuns(WarpKernel::Avx2)) return WarpKernel::Avx2;
  return WarpKernel::Plain;
}

void MorphEngine::solveWarpField() {
  solveWarpFieldWith(*this, fastestWarpKernel(), 0);
}

void solveWarpFieldWith(MorphEngine& engine, WarpKernel kernel, int32_t threads) {
  const int32_t q = engine.quality;
  const int32_t vertexCount = engine.vertexCount;
  const int32_t pictureCount = engine.pictureCount;
  const int32_t pointCount = engine.pointCount;
  // The tables hold a grid of at most 64 x 64 cells, 50 pictures and 500 points. Anything else
  // (a quality from a project file, a vertexCount that disagrees with it) would write past
  // them: the solver then leaves every table as it was.
  if (q < 1 || q > kMaxQuality || vertexCount != (q + 1) * (q + 1)) return;
  if (pictureCount < 0 || pictureCount > kMaxPictures) return;
  if (pointCount < 0 || pointCount > kMaxPoints) return;

  // The mean points: each summed over the pictures that take it (warpTakesPoint; normally all
  // of them) in order, a float after every addition, then divided by how many those are. A
  // point that no picture takes has no mean and no part in the field: the points that have one
  // are numbered anew, in their order.
  std::vector<float> sumX(pointCount, 0.0f);
  std::vector<float> sumY(pointCount, 0.0f);
  std::vector<int32_t> takenOn(pointCount, 0);
  for (int32_t n = 0; n < pictureCount; ++n) {
    const ControlPoint* points = engine.pictures[n].points.get();
    for (int32_t t = 0; t < pointCount; ++t) {
      if (!warpTakesPoint(points[t])) continue;
      sumX[t] = static_cast<float>(static_cast<double>(points[t].x) + sumX[t]);
      sumY[t] = static_cast<float>(static_cast<double>(points[t].y) + sumY[t]);
      ++takenOn[t];
    }
  }
  std::vector<int32_t> keptPoint;  // the original index of every point that takes part
  std::vector<float> meanX;
  std::vector<float> meanY;
  for (int32_t t = 0; t < pointCount; ++t) {
    if (takenOn[t] == 0) continue;
    keptPoint.push_back(t);
    meanX.push_back(static_cast<float>(static_cast<double>(sumX[t]) / takenOn[t]));
    meanY.push_back(static_cast<float>(static_cast<double>(sumY[t]) / takenOn[t]));
  }
  const int32_t keptCount = static_cast<int32_t>(keptPoint.size());

  // The base grid from 0.0 to 255.0 on both axes, padded with zeros to whole blocks. The
  // product comes first, then the division, so that column q and row q are exactly 255.0.
  const int32_t blockCount = (vertexCount + kWarpBlock - 1) / kWarpBlock;
  std::vector<float> gridX(static_cast<size_t>(blockCount) * kWarpBlock, 0.0f);
  std::vector<float> gridY(gridX.size(), 0.0f);
  for (int32_t k = 0, m = 0; k <= q; ++k) {
    for (int32_t l = 0; l <= q; ++l, ++m) {
      gridX[m] = static_cast<float>((l * 255.0) / q);
      gridY[m] = static_cast<float>((k * 255.0) / q);
    }
  }

  // The cells: top-left, top-right, bottom-right, bottom-left.
  int32_t quad = 0;
  for (int32_t k = 0; k < q; ++k) {
    for (int32_t l = 0; l < q; ++l, ++quad) {
      const int32_t top = k * (q + 1) + l;
      const int32_t bottom = (k + 1) * (q + 1) + l;
      engine.quads[quad] = MeshQuad{{top, top + 1, bottom + 1, bottom}};
    }
  }
  engine.quadCount = quad;

  // Every picture's displacements, formed in double; the ones that are zero on both axes would
  // add exactly nothing (the sums start at +0 and a zero term cannot turn them into -0). The
  // points a picture does not take are listed apart: they leave its weight sums too.
  std::vector<int32_t> termBegin(pictureCount + 1, 0);
  std::vector<int32_t> termPoint;
  std::vector<double> termDx;
  std::vector<double> termDy;
  std::vector<int32_t> absentBegin(pictureCount + 1, 0);
  std::vector<int32_t> absentPoint;
  std::vector<MeshPoint*> meshes(pictureCount);
  for (int32_t n = 0; n < pictureCount; ++n) {
    const ControlPoint* points = engine.pictures[n].points.get();
    for (int32_t k = 0; k < keptCount; ++k) {
      const ControlPoint& point = points[keptPoint[k]];
      if (!warpTakesPoint(point)) {
        absentPoint.push_back(k);
        continue;
      }
      const double dx = static_cast<double>(point.x) - meanX[k];
      const double dy = static_cast<double>(point.y) - meanY[k];
      if (dx == 0.0 && dy == 0.0) continue;
      termPoint.push_back(k);
      termDx.push_back(dx);
      termDy.push_back(dy);
    }
    termBegin[n + 1] = static_cast<int32_t>(termPoint.size());
    absentBegin[n + 1] = static_cast<int32_t>(absentPoint.size());
    meshes[n] = engine.pictures[n].mesh.get();
  }
  const std::vector<int32_t> anchors = borderAnchors(q);

  WarpJob job;
  job.pointCount = keptCount;
  job.pictureCount = pictureCount;
  job.vertexCount = vertexCount;
  job.gridX = gridX.data();
  job.gridY = gridY.data();
  job.meanX = meanX.data();
  job.meanY = meanY.data();
  job.anchors = anchors.data();
  job.anchorCount = static_cast<int32_t>(anchors.size());
  job.termBegin = termBegin.data();
  job.termPoint = termPoint.data();
  job.termDx = termDx.data();
  job.termDy = termDy.data();
  job.absentBegin = absentBegin.data();
  job.absentPoint = absentPoint.data();
  job.meshes = meshes.data();

  if (!warpKernelRuns(kernel)) kernel = WarpKernel::Plain;
  const BlockFunction solveBlock = blockFunction(kernel);
  std::atomic<int32_t> nextBlock{0};
  auto work = [&] {
    // One block's weights, on 64-byte lines for the vector loads.
    size_t bytes = static_cast<size_t>(std::max(keptCount, 1)) * kWarpBlock * sizeof(double);
    std::vector<double> storage(bytes / sizeof(double) + 7);
    void* start = storage.data();
    size_t space = storage.size() * sizeof(double);
    double* weights = static_cast<double*>(std::align(64, bytes, start, space));
    for (int32_t block; (block = nextBlock.fetch_add(1)) < blockCount;) {
      solveBlock(job, block * kWarpBlock, weights);
    }
  };
  if (threads <= 0) {
    threads = threadsFor(int64_t{pictureCount} * vertexCount * (keptCount + 4 * q), blockCount);
  }
  std::vector<std::thread> helpers;
  for (int32_t i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones running share the blocks
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
}
