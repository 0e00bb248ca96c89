// The board's fast path: triangles are recorded as they are issued and drawn together when
// the frame is needed. First the threads set up the triangles, a batch at a time, sorting each
// batch's triangles into bands of rows; then they take the bands one at a time and draw, in
// each, every triangle that reaches into it in the order issued (batch after batch). A pixel
// lies in one band only, so it still sees its triangles in their order, and the result equals
// drawing them one by one. Work is claimed, never assigned: the calling thread finishes the
// frame alone when the others are slow to wake (a busy machine), and waits only for work
// already claimed.
//
// A cell of the mesh comes as four triangles: its two halves with the target picture, then the
// same two with the source picture over it. Where the halves do not overlap, the source half
// may follow its target half at once; with a pair rasteriser the two are then drawn in one
// pass (one coverage test, the target's pixels blended under the source's in registers).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "glide/raster.h"

namespace glide {

class FastRasterizer {
 public:
  // threads: how many draw at once (this thread included); pairs may be nullptr.
  FastRasterizer(RowRasterizer rows, PairRowRasterizer pairs, int threads);
  ~FastRasterizer();
  FastRasterizer(const FastRasterizer&) = delete;
  FastRasterizer& operator=(const FastRasterizer&) = delete;

  void add(const GrVertex& a, const GrVertex& b, const GrVertex& c, const DrawState& state);
  // Draws everything recorded, then forgets it.
  void finish();
  bool empty() const { return triangles_.empty(); }

 private:
  static constexpr int32_t kBandRows = 16;

  struct Corner {
    float x, y, s, t;
  };
  // A triangle drawn on its own, first of a pair (drawn with the one two places later), or
  // second of a pair (drawn with the one two places earlier).
  enum class Role : uint8_t { Alone, PairFirst, PairSecond };
  struct Recorded {
    Corner corners[3];
    DrawState state;
    Role role;
  };
  struct SetUp {
    TriangleSetup setup;
    bool drawn;
  };

  void work();                 // claims batches, then bands, until none is left
  void setUpBatch(int batch);  // set-up and binning of one batch of triangles
  void drawBand(int32_t band);
  void helperLoop();
  void pairUpLastFour();
  void drawTriangleRows(uint32_t i, int32_t firstRow, int32_t lastRow);

  RowRasterizer rows_;
  PairRowRasterizer pairs_;
  int threads_;
  std::vector<Recorded> triangles_;
  std::vector<SetUp> setUps_;
  // bins_[batch][band]: the triangles of that batch reaching into the band, in order.
  std::vector<std::vector<std::vector<uint32_t>>> bins_;
  int32_t batchCount_ = 0;
  int32_t bandCount_ = 0;
  std::atomic<int32_t> nextBatch_{0};
  std::atomic<int32_t> batchesDone_{0};
  std::atomic<int32_t> nextBand_{0};
  std::atomic<int32_t> bandsDone_{0};

  std::vector<std::thread> helpers_;
  std::atomic<uint32_t> jobs_{0};          // bumped to wake the helpers for a finish()
  std::atomic<bool> jobOpen_{false};       // helpers may claim work while set
  std::atomic<int32_t> helpersInside_{0};  // helpers that may be touching this job
  std::atomic<bool> stopping_{false};
};

}  // namespace glide
