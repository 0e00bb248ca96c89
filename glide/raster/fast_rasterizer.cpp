#include "glide/raster/fast_rasterizer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace glide {

namespace {

// Below this many triangles a finish() is not worth waking the other threads for.
constexpr size_t kParallelMinimum = 64;
// How long a helper keeps looking for the next frame before it sleeps.
constexpr std::chrono::microseconds kLookOut{2000};
// Triangles set up and sorted into bands as one piece of work.
constexpr size_t kBatchSize = 128;

// Cache lines one thread writes in every frame are mostly held by the other's cache too, which
// read them in the frame before (the recorded triangles, the cells). A store to such a line
// waits until the other's copy is gone; asking for the line to write ahead of time lets those
// waits overlap, where a plain prefetch would only fetch the copy it already has.
#if defined(__x86_64__) || defined(__i386__)
// PREFETCHW: every AMD processor and Intel's from 2014 report it. Intel's older ones do not,
// and are not given it.
const bool kPrefetchesForWrite = [] {
  unsigned int eax, ebx, ecx, edx;
  return __get_cpuid(0x80000001u, &eax, &ebx, &ecx, &edx) && (ecx & bit_PRFCHW) != 0;
}();
void prefetchForWrite(const void* line) {
  if (kPrefetchesForWrite) asm volatile("prefetchw %0" : : "m"(*static_cast<const char*>(line)));
}
#else
void prefetchForWrite(const void* line) {
  __builtin_prefetch(line, 1);
}
#endif

void prefetchForWrite(const void* object, size_t size) {
  const auto first = reinterpret_cast<uintptr_t>(object) & ~uintptr_t{63};
  for (uintptr_t line = first; line < reinterpret_cast<uintptr_t>(object) + size; line += 64) {
    prefetchForWrite(reinterpret_cast<const void*>(line));
  }
}

// How far ahead the triangles recorded and the cells set up are asked for: about as long as the
// other cache takes to give a line up.
constexpr size_t kRecordAhead = 32;
constexpr size_t kSetUpAhead = 8;

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

// Triangles p and q share an edge and lie on its two sides, so that no pixel is in both.
template <typename Corner>
bool apartAcrossSharedEdge(const Corner (&p)[3], const Corner (&q)[3]) {
  // The display part's cells come as corners (0, 1, 2) and (0, 2, 3): taken at once. Whether the
  // halves lie on the edge's two sides is left to makeCell, which finds the shared edge run both
  // ways on the grid (a folded cell's halves run it the same way, and are drawn one by one).
  if (p[0].x == q[0].x && p[0].y == q[0].y && p[2].x == q[1].x && p[2].y == q[1].y) {
    return true;
  }
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

// Both triangles are drawn with the same texture, blend, dither and target.
bool sameState(const DrawState& a, const DrawState& b) {
  return a.texture == b.texture && a.planes == b.planes && a.target.pixels == b.target.pixels &&
         a.srcFactor == b.srcFactor && a.dstFactor == b.dstFactor && a.dither == b.dither;
}

// The same, the target's size included: one may stand for the other.
bool identical(const DrawState& a, const DrawState& b) {
  return sameState(a, b) && a.target.width == b.target.width && a.target.height == b.target.height;
}

EdgeFunction movedTo(const EdgeFunction& edge, const TriangleSetup& from, int32_t left,
                     int32_t top) {
  EdgeFunction moved = edge;
  moved.atOrigin += edge.stepX * (left - from.left) + edge.stepY * (top - from.top);
  return moved;
}

TexturePlane movedTo(const TexturePlane& plane, const TriangleSetup& from, int32_t left,
                     int32_t top) {
  return {plane.atOrigin + plane.stepX * static_cast<uint32_t>(left - from.left) +
              plane.stepY * static_cast<uint32_t>(top - from.top),
          plane.stepX, plane.stepY};
}

// The same line run the other way round, with thresholds that give each pixel on it to
// exactly one side.
bool reversed(const EdgeFunction& a, const EdgeFunction& b) {
  return a.atOrigin == -b.atOrigin && a.stepX == -b.stepX && a.stepY == -b.stepY &&
         a.threshold + b.threshold == 1;
}

// The cell of the set-ups: the first layer's A and B, then (with two layers) the second's.
// False where they do not make a cell the cell rasteriser can take.
bool makeCell(const TriangleSetup* const* setups, const DrawState* const* states, int layers,
              Cell& cell) {
  const TriangleSetup& a = *setups[0];
  const TriangleSetup& b = *setups[1];
  cell.left = std::min(a.left, b.left);
  cell.top = std::min(a.top, b.top);
  cell.right = std::max(a.right, b.right);
  cell.bottom = std::max(a.bottom, b.bottom);
  EdgeFunction edgesA[3], edgesB[3];
  for (int k = 0; k < 3; ++k) {
    edgesA[k] = movedTo(a.edges[k], a, cell.left, cell.top);
    edgesB[k] = movedTo(b.edges[k], b, cell.left, cell.top);
  }
  int diagonalA = -1, diagonalB = -1;
  for (int k = 0; k < 3 && diagonalA < 0; ++k) {
    for (int m = 0; m < 3; ++m) {
      if (reversed(edgesA[k], edgesB[m])) {
        diagonalA = k;
        diagonalB = m;
        break;
      }
    }
  }
  if (diagonalA < 0) return false;
  cell.diagonal = edgesA[diagonalA];
  for (int k = 0, n = 0; k < 3; ++k) {
    if (k != diagonalA) cell.edgesA[n++] = edgesA[k];
  }
  for (int k = 0, n = 0; k < 3; ++k) {
    if (k != diagonalB) cell.edgesB[n++] = edgesB[k];
  }
  const int64_t columns = cell.right - cell.left + 1 + 16;
  const int64_t rows = cell.bottom - cell.top + 1;
  for (const EdgeFunction* edge :
       {&cell.diagonal, &cell.edgesA[0], &cell.edgesA[1], &cell.edgesB[0], &cell.edgesB[1]}) {
    const int64_t largest =
        std::abs(edge->atOrigin) + std::abs(edge->stepX) * columns + std::abs(edge->stepY) * rows;
    if (largest > INT32_MAX) return false;
  }
  cell.layerCount = layers;
  for (int layer = 0; layer < layers; ++layer) {
    const DrawState& state = *states[2 * layer];
    if (!state.planes) return false;
    CellLayer& out = cell.layers[layer];
    out.texture = state.texture;
    out.planes = state.planes;
    for (int half = 0; half < 2; ++half) {
      const TriangleSetup& setup = *setups[2 * layer + half];
      out.s[half] = movedTo(setup.s, setup, cell.left, cell.top);
      out.t[half] = movedTo(setup.t, setup, cell.left, cell.top);
    }
    out.srcFactor = state.srcFactor;
    out.dstFactor = state.dstFactor;
  }
  cell.target = states[0]->target;
  cell.dither = states[0]->dither;
  return true;
}

// Waits for work that another thread has claimed and is finishing.
void waitUntil(const std::atomic<int32_t>& counter, int32_t target) {
  for (int spins = 0; counter.load() < target; ++spins) {
    if (spins > 64) std::this_thread::yield();
  }
}

}  // namespace

FastRasterizer::FastRasterizer(FastPath path, int threads)
    : rows_(path.rows),
      cellRasterizer_(path.cells),
      planeSetUp_(path.planes),
      threads_(std::max(threads, 1)),
      rowCuts_(threads_) {
  for (int helper = 1; helper < threads_; ++helper) {
    helpers_.emplace_back(&FastRasterizer::helperLoop, this, helper);
  }
}

FastRasterizer::~FastRasterizer() {
  closeEarly();
  stopping_ = true;
  jobs_.fetch_add(1);
  jobs_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

void FastRasterizer::add(const GrVertex& a, const GrVertex& b, const GrVertex& c) {
  if (recorded_ == triangles_.size()) {
    // Moving the triangles: no helper may be reading them.
    closeEarly();
    const size_t room = std::max<size_t>(4 * kBatchSize, 2 * triangles_.size());
    triangles_.resize(room);
    setUps_.resize(room);
    cells_.resize(room / 2);
    cellReady_.resize(room / 2);
    openEarly();
  }
  if (recorded_ + kRecordAhead < triangles_.size()) {
    prefetchForWrite(&triangles_[recorded_ + kRecordAhead]);
  }
  Recorded& recorded = triangles_[recorded_++];
  const GrVertex* vertices[3] = {&a, &b, &c};
  for (int k = 0; k < 3; ++k) {
    const GrVertex& v = *vertices[k];
    recorded.corners[k] = {v.x, v.y, v.tmuvtx[0].sow, v.tmuvtx[0].tow};
  }
  recorded.state = state_;
  recorded.role = Role::Alone;
  // Three more after a batch's last triangle, it is final.
  if (recorded_ % kBatchSize == 3 && recorded_ > kBatchSize) {
    sealed_.store(static_cast<int32_t>(recorded_ / kBatchSize));
  }
}

// Kept in states_ when it is new. The display part alternates between two states (the picture
// below and the one fading over it), so only the last two are looked at.
void FastRasterizer::setState(const DrawState& state) {
  const size_t count = states_.size();
  for (size_t back = 1; back <= std::min<size_t>(count, 2); ++back) {
    if (identical(states_[count - back], state)) {
      state_ = static_cast<uint32_t>(count - back);
      return;
    }
  }
  if (count == states_.capacity()) {
    // Moving the states: no helper may be reading them. There is one at most for each
    // triangle, and room for every triangle is made in add.
    closeEarly();
    states_.reserve(std::max<size_t>(16, 2 * count));
    openEarly();
  }
  if (state.target.height > height_) {
    closeEarly();  // a helper may be noting rows
    height_ = state.target.height;
    for (std::vector<int32_t>& cuts : rowCuts_) cuts.resize(height_ + 1);
    openEarly();
  }
  states_.push_back(state);
  state_ = static_cast<uint32_t>(count);
}

// One more row boundary per row from top + 1 to bottom cuts the cell or triangle, for
// placeBands; in the thread's own table.
void FastRasterizer::noteRows(int slot, int32_t top, int32_t bottom) {
  std::vector<int32_t>& cuts = rowCuts_[slot];
  ++cuts[top + 1];
  --cuts[bottom + 1];
}

// Whether triangles last - 1 and last make a cell; if so, whether the two before them are the
// same cell's first layer, so that the four make one cell of two layers. Taken in the order
// recorded: whether a triangle may start a cell depends on what those before it became.
void FastRasterizer::findCell(size_t last) {
  Recorded& first = triangles_[last - 1];
  Recorded& second = triangles_[last];
  if (first.role != Role::Alone) return;
  if (first.state != second.state && !sameState(states_[first.state], states_[second.state])) {
    return;
  }
  if (!apartAcrossSharedEdge(first.corners, second.corners)) return;
  first.role = Role::CellFirst;
  first.cellLayers = 1;
  second.role = Role::InCell;
  if (last < 3) return;
  Recorded& below = triangles_[last - 3];
  auto sameShape = [this](const Recorded& p, const Recorded& q) {
    for (int k = 0; k < 3; ++k) {
      if (p.corners[k].x != q.corners[k].x || p.corners[k].y != q.corners[k].y) return false;
    }
    const DrawState& ps = states_[p.state];
    const DrawState& qs = states_[q.state];
    return ps.target.pixels == qs.target.pixels && ps.dither == qs.dither;
  };
  if (below.role != Role::CellFirst || below.cellLayers != 1 || !sameShape(below, first) ||
      !sameShape(triangles_[last - 2], second)) {
    return;
  }
  below.cellLayers = 2;
  first.role = Role::InCell;
}

// Batch b looks at the pairs ending at kBatchSize b + 3 .. kBatchSize (b + 1) + 2 (batch 0 from
// 1 on): a cell that starts in the batch is complete by its end + 2, and the next batch goes on
// from there. So the batches, taken in order, look at every pair once, in the order recorded.
void FastRasterizer::findCells(int batch, size_t recorded) {
  waitUntil(cellsFound_, batch);
  if (cellRasterizer_) {
    const size_t begin = static_cast<size_t>(batch) * kBatchSize;
    const size_t first = batch == 0 ? 1 : begin + 3;
    const size_t end = std::min(begin + kBatchSize + 3, recorded);
    for (size_t last = first; last < end; ++last) findCell(last);
  }
  cellsFound_.store(batch + 1);
}

void FastRasterizer::finish() {
  if (recorded_ == 0) {
    states_.clear();
    return;
  }
  // A helper may still be setting up a batch it claimed while the frame was recorded.
  batchCount_ = static_cast<int32_t>((recorded_ + kBatchSize - 1) / kBatchSize);
  if (static_cast<int32_t>(bins_.size()) < batchCount_) bins_.resize(batchCount_);
  placingBands_ = false;
  bandsPlaced_ = 0;
  nextBin_ = 0;
  batchesBinned_ = 0;
  nextBand_ = 0;
  bandsDone_ = 0;
  finalCount_ = recorded_;
  sealed_ = batchCount_;
  const bool helped = !helpers_.empty() && recorded_ >= kParallelMinimum;
  if (helped) {
    jobOpen_ = true;
    jobs_.fetch_add(1);
    jobs_.notify_all();
  }
  work(0);
  if (helped) {
    // Every band is drawn; a helper still inside has nothing left to claim and is leaving.
    jobOpen_ = false;
    while (helpersInside_.load() != 0) std::this_thread::yield();
  }
  closeEarly();
  recorded_ = 0;
  states_.clear();
  for (std::vector<int32_t>& cuts : rowCuts_) std::fill(cuts.begin(), cuts.end(), 0);
  sealed_ = 0;
  finalCount_ = SIZE_MAX;
  nextBatch_ = 0;
  batchesSetUp_ = 0;
  cellsFound_ = 0;
  openEarly();
}

void FastRasterizer::openEarly() {
  if (!helpers_.empty()) earlyOpen_ = true;
}

void FastRasterizer::closeEarly() {
  earlyOpen_ = false;
  while (helpersInside_.load() != 0) std::this_thread::yield();
}

bool FastRasterizer::setUpSealed(int slot) {
  bool any = false;
  for (int32_t batch = nextBatch_.load(); batch < sealed_.load();) {
    if (nextBatch_.compare_exchange_weak(batch, batch + 1)) {
      // Sealed, it has every triangle it looks at, up to three past its end (or the frame's).
      const size_t sealedEnd = (static_cast<size_t>(batch) + 1) * kBatchSize + 3;
      setUpBatch(slot, batch, std::min(sealedEnd, finalCount_.load()));
      batchesSetUp_.fetch_add(1);
      any = true;
      batch = nextBatch_.load();
    }
  }
  return any;
}

// Bands of about height / kBandsPerFrame rows (the last ones smaller), each boundary moved by up
// to a quarter of the band's height to where it cuts the fewest triangles: a cell of the mesh that
// lies in one band is drawn in one piece, and the mesh's rows of cells leave gaps between them to
// put the boundaries in.
void FastRasterizer::placeBands(int32_t height) {
  const int32_t nominal = std::max<int32_t>(16, (height + kBandsPerFrame - 1) / kBandsPerFrame);
  std::vector<int32_t>& rowCuts = rowCuts_[0];
  int32_t cuts = 0;
  for (int32_t row = 0; row <= height; ++row) {
    for (size_t slot = 1; slot < rowCuts_.size(); ++slot) cuts += rowCuts_[slot][row];
    cuts += rowCuts[row];
    rowCuts[row] = cuts;  // now: how many a boundary above this row cuts
  }
  bandStart_.clear();
  bandOfRow_.resize(height);
  for (int32_t start = 0; start < height;) {
    // The bands claimed last are the smaller, so that the threads run out of work at about the
    // same time: 5/8 of the frame in 8 bands 5/4 as tall as the nominal, then 4 of the nominal,
    // then 2 of half of it, then bands of a quarter (of 16 rows or half the nominal at least: a
    // band hardly taller than a cell would cut most of the cells it holds).
    const int32_t index = static_cast<int32_t>(bandStart_.size());
    const int32_t tall = index < 8    ? nominal * 5 / 4
                         : index < 12 ? nominal
                         : index < 14 ? nominal / 2
                                      : std::max(nominal / 4, std::min(nominal / 2, 16));
    const int32_t slack = tall / 4;
    int32_t end = std::min(start + tall, height);
    if (end < height) {
      const int32_t last = std::min(start + tall + slack, height - 1);
      for (int32_t row = start + tall - slack; row <= last; ++row) {
        const int32_t distance = std::abs(row - (start + tall));
        const int32_t best = std::abs(end - (start + tall));
        if (rowCuts[row] < rowCuts[end] || (rowCuts[row] == rowCuts[end] && distance < best)) {
          end = row;
        }
      }
    }
    const int32_t band = static_cast<int32_t>(bandStart_.size());
    bandStart_.push_back(start);
    std::fill(bandOfRow_.begin() + start, bandOfRow_.begin() + end, band);
    start = end;
  }
  bandCount_ = static_cast<int32_t>(bandStart_.size());
  bandStart_.push_back(height);
}

void FastRasterizer::helperLoop(int slot) {
  uint32_t seen = 0;
  for (;;) {
    // Frames follow each other closely: look out for the next one for a moment before
    // sleeping, so that it does not wait for this thread to be woken.
    // Batches set up while the frame is recorded keep it looking out.
    auto lookOutUntil = std::chrono::steady_clock::now() + kLookOut;
    while (jobs_.load() == seen && std::chrono::steady_clock::now() < lookOutUntil) {
      if (earlyOpen_) {
        helpersInside_.fetch_add(1);  // as for a job, below
        const bool setUp = earlyOpen_ && setUpSealed(slot);
        helpersInside_.fetch_sub(1);
        if (setUp) lookOutUntil = std::chrono::steady_clock::now() + kLookOut;
      }
      std::this_thread::yield();
    }
    jobs_.wait(seen);
    seen = jobs_.load();
    if (stopping_) return;
    // Announce first, then look: finish() closes the job first, then waits for the announced.
    helpersInside_.fetch_add(1);
    if (jobOpen_) work(slot);
    helpersInside_.fetch_sub(1);
  }
}

void FastRasterizer::work(int slot) {
  setUpSealed(slot);
  waitUntil(batchesSetUp_, batchCount_);
  // The bands, from where everything set up begins and ends: by one thread, the others wait.
  if (!placingBands_.exchange(true)) {
    placeBands(height_);
    bandsPlaced_.store(1);
  }
  waitUntil(bandsPlaced_, 1);
  for (int32_t batch; (batch = nextBin_.fetch_add(1)) < batchCount_;) {
    binBatch(batch);
    batchesBinned_.fetch_add(1);
  }
  waitUntil(batchesBinned_, batchCount_);
  for (int32_t band; (band = nextBand_.fetch_add(1)) < bandCount_;) {
    drawBand(band);
    bandsDone_.fetch_add(1);
  }
  waitUntil(bandsDone_, bandCount_);
}

// Triangles first .. first + count - 1: a cell's (its two halves, then the same halves again
// for a second layer, sharing their shapes) or a single one.
void FastRasterizer::setUp(uint32_t first, uint32_t count, TriangleShape (&shapes)[2],
                           SetUp* out) {
  bool shaped[2] = {false, false};
  float s[4][3], t[4][3];  // each triangle's texture coordinates at its corners
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t half = k % 2;
    const Corner* c = triangles_[first + k].corners;
    SetUp& setUp = out[k];
    for (int corner = 0; corner < 3; ++corner) {
      s[k][corner] = c[corner].s;
      t[k][corner] = c[corner].t;
    }
    if (k < 2) {
      const float x[3] = {c[0].x, c[1].x, c[2].x};
      const float y[3] = {c[0].y, c[1].y, c[2].y};
      const Surface& target = states_[triangles_[first + k].state].target;
      shaped[half] = setUpShape(x, y, target.width, target.height, setUp.setup, shapes[half]);
    } else {
      setUp.setup = out[half].setup;
    }
  }
  // The planes: s and t of triangle k in lanes 2k and 2k + 1, all at once where the path can
  // and every triangle has its shape; one by one otherwise, or where it leaves a lane out.
  TexturePlane planes[kMostPlaneLanes];
  uint32_t given = 0;
  if (planeSetUp_ && shaped[0] && (count == 1 || shaped[1])) {
    PlaneLanes lanes;
    const uint32_t halfB = count == 1 ? 0 : 1;  // a lone triangle has only A
    lanes.setHalf(0, shapes[0], out[0].setup);
    lanes.setHalf(1, shapes[halfB], out[halfB].setup);
    for (uint32_t k = 0; k < count; ++k) lanes.setValues(static_cast<int>(k), s[k], t[k]);
    given = planeSetUp_(lanes, static_cast<int>(2 * count), planes);
  }
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t half = k % 2;
    SetUp& setUp = out[k];
    if (!shaped[half]) {
      setUp.drawn = false;
    } else if (((given >> (2 * k)) & 3u) == 3u) {
      setUp.setup.s = planes[2 * k];
      setUp.setup.t = planes[2 * k + 1];
      setUp.drawn = true;
    } else {
      setUp.drawn = setUpPlanes(shapes[half], s[k], t[k], setUp.setup);
    }
  }
}

void FastRasterizer::addToBins(std::vector<std::vector<uint32_t>>& bins, uint32_t item, int32_t top,
                               int32_t bottom) const {
  for (int32_t band = bandOfRow_[top]; band <= bandOfRow_[bottom]; ++band) {
    bins[band].push_back(item);
  }
}

// A cell's triangles are set up together, by the batch that holds its first one (the others
// may lie in the next batch, which passes over them).
void FastRasterizer::setUpBatch(int slot, int batch, size_t recorded) {
  findCells(batch, recorded);
  const size_t begin = static_cast<size_t>(batch) * kBatchSize;
  const size_t end = std::min(begin + kBatchSize, recorded);
  for (uint32_t i = static_cast<uint32_t>(begin); i < end; ++i) {
    if (i + kSetUpAhead < end) {
      // What is written for the triangle or cell ahead (the roles of the batch are final).
      const uint32_t ahead = i + static_cast<uint32_t>(kSetUpAhead);
      if (triangles_[ahead].role == Role::CellFirst) {
        prefetchForWrite(&cells_[ahead / 2], sizeof(Cell));
      } else if (triangles_[ahead].role == Role::Alone) {
        prefetchForWrite(&setUps_[ahead], sizeof(SetUp));
      }
    }
    const Recorded& triangle = triangles_[i];
    if (triangle.role == Role::InCell) continue;
    const uint32_t count = triangle.role == Role::CellFirst ? 2u * triangle.cellLayers : 1u;
    TriangleShape shapes[2];
    if (triangle.role == Role::CellFirst) {
      // Set up where they are made into the cell; kept only where the cell is not drawn whole.
      SetUp halves[4];
      setUp(i, count, shapes, halves);
      bool allDrawn = true;
      const TriangleSetup* setups[4];
      const DrawState* states[4];
      for (uint32_t k = 0; k < count; ++k) {
        allDrawn = allDrawn && halves[k].drawn;
        setups[k] = &halves[k].setup;
        states[k] = &states_[triangles_[i + k].state];
      }
      Cell& cell = cells_[i / 2];
      cellReady_[i / 2] = allDrawn && makeCell(setups, states, triangle.cellLayers, cell);
      if (cellReady_[i / 2]) {
        noteRows(slot, cell.top, cell.bottom);
        continue;
      }
      std::copy(halves, halves + count, &setUps_[i]);
    } else {
      setUp(i, count, shapes, &setUps_[i]);
    }
    for (uint32_t k = 0; k < count; ++k) {
      const SetUp& setUp = setUps_[i + k];
      if (setUp.drawn) noteRows(slot, setUp.setup.top, setUp.setup.bottom);
    }
  }
}

// Each cell, and each triangle drawn on its own, into the bands it reaches.
void FastRasterizer::binBatch(int batch) {
  const size_t begin = static_cast<size_t>(batch) * kBatchSize;
  const size_t end = std::min(begin + kBatchSize, recorded_);
  std::vector<std::vector<uint32_t>>& bins = bins_[batch];
  bins.resize(bandCount_);
  for (std::vector<uint32_t>& bin : bins) bin.clear();
  for (uint32_t i = static_cast<uint32_t>(begin); i < end; ++i) {
    const Recorded& triangle = triangles_[i];
    if (triangle.role == Role::InCell) continue;
    const uint32_t count = triangle.role == Role::CellFirst ? 2u * triangle.cellLayers : 1u;
    if (triangle.role == Role::CellFirst && cellReady_[i / 2]) {
      const Cell& cell = cells_[i / 2];
      addToBins(bins, i | kCellItem, cell.top, cell.bottom);
      continue;
    }
    for (uint32_t k = 0; k < count; ++k) {
      const SetUp& setUp = setUps_[i + k];
      if (setUp.drawn) addToBins(bins, i + k, setUp.setup.top, setUp.setup.bottom);
    }
  }
}

void FastRasterizer::drawBand(int32_t band) {
  const int32_t firstRow = bandStart_[band];
  const int32_t lastRow = bandStart_[band + 1] - 1;
  // Batch after batch: every triangle of a batch was issued before any of the next.
  for (int32_t batch = 0; batch < batchCount_; ++batch) {
    const std::vector<uint32_t>& bin = bins_[batch][band];
    for (size_t k = 0; k < bin.size(); ++k) {
      if (k + 1 < bin.size()) prefetchItem(bin[k + 1]);
      drawItem(bin[k], firstRow, lastRow);
    }
  }
}

// What drawItem will read of the item was written at set-up, long ago: asked for while the
// item before it is drawn.
void FastRasterizer::prefetchItem(uint32_t item) const {
  const uint32_t i = item & ~kCellItem;
  const bool cell = (item & kCellItem) != 0;
  const char* read = cell ? reinterpret_cast<const char*>(&cells_[i / 2])
                          : reinterpret_cast<const char*>(&setUps_[i]);
  const size_t size = cell ? sizeof(Cell) : sizeof(SetUp);
  for (size_t line = 0; line < size; line += 64) __builtin_prefetch(read + line);
}

void FastRasterizer::drawItem(uint32_t item, int32_t firstRow, int32_t lastRow) {
  const uint32_t i = item & ~kCellItem;
  if (item & kCellItem) {
    const Cell& cell = cells_[i / 2];
    cellRasterizer_(cell, std::max(firstRow, cell.top), std::min(lastRow, cell.bottom));
    return;
  }
  const TriangleSetup& setup = setUps_[i].setup;
  const int32_t first = std::max(firstRow, setup.top);
  const int32_t last = std::min(lastRow, setup.bottom);
  if (first <= last) rows_(setup, states_[triangles_[i].state], first, last);
}

}  // namespace glide
