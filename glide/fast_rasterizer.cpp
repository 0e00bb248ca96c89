#include "glide/fast_rasterizer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace glide {

namespace {

// Below this many triangles a finish() is not worth waking the other threads for.
constexpr size_t kParallelMinimum = 64;
// How long a helper keeps looking for the next frame before it sleeps.
constexpr std::chrono::microseconds kLookOut{2000};
// Triangles set up and sorted into bands as one piece of work.
constexpr size_t kBatchSize = 256;

// A corner on the board's 1/16-pixel grid, as the set-up takes it; false where the set-up
// would refuse it.
bool snapCorner(float x, float y, int64_t& fixedX, int64_t& fixedY) {
  const double limit = kMaxCoordinate;
  if (!(std::fabs(x) <= limit) || !(std::fabs(y) <= limit)) return false;
  fixedX = toSubpixels(x);
  fixedY = toSubpixels(y);
  return true;
}

int64_t side(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
  return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

GrVertex toVertex(float x, float y, float s, float t) {
  GrVertex vertex{};
  vertex.x = x;
  vertex.y = y;
  vertex.oow = 1.0f;
  vertex.tmuvtx[0] = {s, t, 1.0f};
  return vertex;
}

}  // namespace

FastRasterizer::FastRasterizer(RowRasterizer rows, PairRowRasterizer pairs, int threads)
    : rows_(rows), pairs_(pairs), threads_(std::max(threads, 1)) {
  for (int helper = 1; helper < threads_; ++helper) {
    helpers_.emplace_back(&FastRasterizer::helperLoop, this);
  }
}

FastRasterizer::~FastRasterizer() {
  stopping_ = true;
  jobs_.fetch_add(1);
  jobs_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void FastRasterizer::add(const GrVertex& a, const GrVertex& b, const GrVertex& c,
                         const DrawState& state) {
  Recorded& recorded = triangles_.emplace_back();
  const GrVertex* vertices[3] = {&a, &b, &c};
  for (int k = 0; k < 3; ++k) {
    const GrVertex& v = *vertices[k];
    recorded.corners[k] = {v.x, v.y, v.tmuvtx[0].sow, v.tmuvtx[0].tow};
  }
  recorded.state = state;
  recorded.role = Role::Alone;
  if (pairs_ && triangles_.size() >= 4) pairUpLastFour();
}

namespace {

// Triangles p and q share an edge and lie on its two sides, so that no pixel is in both.
template <typename Corner>
bool apartAcrossSharedEdge(const Corner (&p)[3], const Corner (&q)[3]) {
  int64_t px[3], py[3], qx[3], qy[3];
  for (int k = 0; k < 3; ++k) {
    if (!snapCorner(p[k].x, p[k].y, px[k], py[k]) || !snapCorner(q[k].x, q[k].y, qx[k], qy[k])) {
      return false;
    }
  }
  for (int a = 0; a < 3; ++a) {
    for (int b = a + 1; b < 3; ++b) {
      for (int c = 0; c < 3; ++c) {
        for (int d = 0; d < 3; ++d) {
          if (c == d || px[a] != qx[c] || py[a] != qy[c] || px[b] != qx[d] || py[b] != qy[d]) {
            continue;
          }
          const int pOther = 3 - a - b;
          const int qOther = 3 - c - d;
          const int64_t pSide = side(px[a], py[a], px[b], py[b], px[pOther], py[pOther]);
          const int64_t qSide = side(px[a], py[a], px[b], py[b], qx[qOther], qy[qOther]);
          return (pSide > 0 && qSide < 0) || (pSide < 0 && qSide > 0);
        }
      }
    }
  }
  return false;
}

}  // namespace

// The last four recorded are a cell when triangles n and n + 2 have the same corners, target
// and dither, as have n + 1 and n + 3, and n + 1 and n + 2 do not overlap: then n + 2 may be
// drawn right after n, and n + 3 after n + 1, with every pixel seeing the same order.
void FastRasterizer::pairUpLastFour() {
  Recorded* t = &triangles_[triangles_.size() - 4];
  for (int k = 0; k < 4; ++k) {
    if (t[k].role != Role::Alone) return;
  }
  auto sameShape = [](const Recorded& a, const Recorded& b) {
    for (int k = 0; k < 3; ++k) {
      if (a.corners[k].x != b.corners[k].x || a.corners[k].y != b.corners[k].y) return false;
    }
    return a.state.target.pixels == b.state.target.pixels && a.state.dither == b.state.dither;
  };
  if (!sameShape(t[0], t[2]) || !sameShape(t[1], t[3])) return;
  if (!apartAcrossSharedEdge(t[1].corners, t[2].corners)) return;
  t[0].role = Role::PairFirst;
  t[1].role = Role::PairFirst;
  t[2].role = Role::PairSecond;
  t[3].role = Role::PairSecond;
}

void FastRasterizer::finish() {
  if (triangles_.empty()) return;
  int32_t height = 0;
  for (const Recorded& triangle : triangles_)
    height = std::max(height, triangle.state.target.height);
  bandCount_ = (height + kBandRows - 1) / kBandRows;
  batchCount_ = static_cast<int32_t>((triangles_.size() + kBatchSize - 1) / kBatchSize);
  if (static_cast<int32_t>(bins_.size()) < batchCount_) bins_.resize(batchCount_);
  setUps_.resize(triangles_.size());
  nextBatch_ = 0;
  batchesDone_ = 0;
  nextBand_ = 0;
  bandsDone_ = 0;
  const bool helped = !helpers_.empty() && triangles_.size() >= kParallelMinimum;
  if (helped) {
    jobOpen_ = true;
    jobs_.fetch_add(1);
    jobs_.notify_all();
  }
  work();
  if (helped) {
    // Every band is drawn; a helper still inside has nothing left to claim and is leaving.
    jobOpen_ = false;
    while (helpersInside_.load() != 0) std::this_thread::yield();
  }
  triangles_.clear();
}

void FastRasterizer::helperLoop() {
  uint32_t seen = 0;
  for (;;) {
    // Frames follow each other closely: look out for the next one for a moment before
    // sleeping, so that it does not wait for this thread to be woken.
    const auto lookOutUntil = std::chrono::steady_clock::now() + kLookOut;
    while (jobs_.load() == seen && std::chrono::steady_clock::now() < lookOutUntil) {
      std::this_thread::yield();
    }
    jobs_.wait(seen);
    seen = jobs_.load();
    if (stopping_) return;
    // Announce first, then look: finish() closes the job first, then waits for the announced.
    helpersInside_.fetch_add(1);
    if (jobOpen_) work();
    helpersInside_.fetch_sub(1);
  }
}

namespace {

// Waits for work that another thread has claimed and is finishing.
void waitUntil(const std::atomic<int32_t>& counter, int32_t target) {
  for (int spins = 0; counter.load() < target; ++spins) {
    if (spins > 64) std::this_thread::yield();
  }
}

}  // namespace

void FastRasterizer::work() {
  for (int32_t batch; (batch = nextBatch_.fetch_add(1)) < batchCount_;) {
    setUpBatch(batch);
    batchesDone_.fetch_add(1);
  }
  waitUntil(batchesDone_, batchCount_);
  for (int32_t band; (band = nextBand_.fetch_add(1)) < bandCount_;) {
    drawBand(band);
    bandsDone_.fetch_add(1);
  }
  waitUntil(bandsDone_, bandCount_);
}

void FastRasterizer::setUpBatch(int batch) {
  const size_t begin = static_cast<size_t>(batch) * kBatchSize;
  const size_t end = std::min(begin + kBatchSize, triangles_.size());
  std::vector<std::vector<uint32_t>>& bins = bins_[batch];
  bins.resize(bandCount_);
  for (std::vector<uint32_t>& bin : bins) bin.clear();
  for (size_t i = begin; i < end; ++i) {
    const Recorded& triangle = triangles_[i];
    const Corner* c = triangle.corners;
    SetUp& setUp = setUps_[i];
    setUp.drawn = setUpTriangle(
        toVertex(c[0].x, c[0].y, c[0].s, c[0].t), toVertex(c[1].x, c[1].y, c[1].s, c[1].t),
        toVertex(c[2].x, c[2].y, c[2].s, c[2].t), triangle.state.target.width,
        triangle.state.target.height, setUp.setup);
    if (!setUp.drawn) continue;
    for (int32_t band = setUp.setup.top / kBandRows; band <= setUp.setup.bottom / kBandRows;
         ++band) {
      bins[band].push_back(static_cast<uint32_t>(i));
    }
  }
}

void FastRasterizer::drawBand(int32_t band) {
  const int32_t firstRow = band * kBandRows;
  const int32_t lastRow = firstRow + kBandRows - 1;
  // Batch after batch: every triangle of a batch was issued before any of the next.
  for (int32_t batch = 0; batch < batchCount_; ++batch) {
    for (const uint32_t i : bins_[batch][band]) drawTriangleRows(i, firstRow, lastRow);
  }
}

void FastRasterizer::drawTriangleRows(uint32_t i, int32_t firstRow, int32_t lastRow) {
  const Recorded& triangle = triangles_[i];
  const TriangleSetup& setup = setUps_[i].setup;
  firstRow = std::max(firstRow, setup.top);
  lastRow = std::min(lastRow, setup.bottom);
  switch (triangle.role) {
    case Role::PairFirst:
      // The second's set-up may have failed on its texture coordinates alone.
      if (setUps_[i + 2].drawn) {
        pairs_(setup, triangle.state, setUps_[i + 2].setup, triangles_[i + 2].state, firstRow,
               lastRow);
        return;
      }
      break;
    case Role::PairSecond:
      if (setUps_[i - 2].drawn) return;  // drawn with the first
      break;
    case Role::Alone:
      break;
  }
  rows_(setup, triangle.state, firstRow, lastRow);
}

}  // namespace glide
