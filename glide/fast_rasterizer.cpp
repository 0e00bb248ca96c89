#include "glide/fast_rasterizer.h"

#include <algorithm>
#include <cmath>

namespace glide {

namespace {

// Below this many triangles a finish() is not worth waking the other threads for.
constexpr size_t kParallelMinimum = 64;

// A corner on the board's 1/16-pixel grid, as the set-up takes it; false where the set-up
// would refuse it.
bool snapCorner(float x, float y, int64_t& fixedX, int64_t& fixedY) {
  const double limit = kMaxCoordinate;
  if (!(std::fabs(x) <= limit) || !(std::fabs(y) <= limit)) return false;
  fixedX = static_cast<int64_t>(std::nearbyint(static_cast<double>(x) * kSubpixels));
  fixedY = static_cast<int64_t>(std::nearbyint(static_cast<double>(y) * kSubpixels));
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
  bins_.resize(threads_);
  if (threads_ > 1) {
    setUpDone_ = std::make_unique<std::barrier<>>(threads_);
    bandsDone_ = std::make_unique<std::barrier<>>(threads_);
    for (int part = 1; part < threads_; ++part) {
      helpers_.emplace_back(&FastRasterizer::helperLoop, this, part);
    }
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
  setUps_.resize(triangles_.size());
  nextBand_ = 0;
  if (threads_ > 1 && triangles_.size() >= kParallelMinimum) {
    partsInUse_ = threads_;
    jobs_.fetch_add(1);
    jobs_.notify_all();
    work(0);
  } else {
    partsInUse_ = 1;
    setUpPart(0);
    drawBands();
  }
  triangles_.clear();
}

void FastRasterizer::helperLoop(int part) {
  uint32_t seen = 0;
  for (;;) {
    jobs_.wait(seen);
    seen = jobs_.load();
    if (stopping_) return;
    work(part);
  }
}

void FastRasterizer::work(int part) {
  setUpPart(part);
  setUpDone_->arrive_and_wait();
  drawBands();
  bandsDone_->arrive_and_wait();
}

void FastRasterizer::setUpPart(int part) {
  const size_t count = triangles_.size();
  const size_t begin = count * part / partsInUse_;
  const size_t end = count * (part + 1) / partsInUse_;
  std::vector<std::vector<uint32_t>>& bins = bins_[part];
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

void FastRasterizer::drawBands() {
  for (;;) {
    const int32_t band = nextBand_.fetch_add(1);
    if (band >= bandCount_) return;
    const int32_t firstRow = band * kBandRows;
    const int32_t lastRow = firstRow + kBandRows - 1;
    // The slices in order: every triangle of slice 0 was issued before any of slice 1.
    for (int part = 0; part < partsInUse_; ++part) {
      for (const uint32_t i : bins_[part][band]) drawTriangleRows(i, firstRow, lastRow);
    }
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
