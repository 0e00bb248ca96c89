#include "glide/fast_rasterizer.h"

#include <algorithm>

namespace glide {

namespace {

// Below this many triangles a finish() is not worth waking the other threads for.
constexpr size_t kParallelMinimum = 64;

GrVertex toVertex(float x, float y, float s, float t) {
  GrVertex vertex{};
  vertex.x = x;
  vertex.y = y;
  vertex.oow = 1.0f;
  vertex.tmuvtx[0] = {s, t, 1.0f};
  return vertex;
}

}  // namespace

FastRasterizer::FastRasterizer(RowRasterizer rows, int threads)
    : rows_(rows), threads_(std::max(threads, 1)) {
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
      for (const uint32_t i : bins_[part][band]) {
        const TriangleSetup& setup = setUps_[i].setup;
        rows_(setup, triangles_[i].state, std::max(firstRow, setup.top),
              std::min(lastRow, setup.bottom));
      }
    }
  }
}

}  // namespace glide
