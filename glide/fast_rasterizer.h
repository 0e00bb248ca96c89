// The board's fast path: triangles are recorded as they are issued and drawn together when
// the frame is needed. The screen is cut into bands of rows; the threads take bands one at a
// time and draw, in each, every triangle that reaches into it in the order issued. A pixel lies
// in one band only, so it still sees its triangles in their order, and the result equals
// drawing them one by one.
//
// A cell of the mesh comes as four triangles: its two halves with the target picture, then the
// same two with the source picture over it. Where the halves do not overlap, the source half
// may follow its target half at once; with a pair rasteriser the two are then drawn in one
// pass (one coverage test, the target's pixels blended under the source's in registers).
#pragma once

#include <atomic>
#include <barrier>
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

  void work(int part);       // one thread's share of a finish()
  void setUpPart(int part);  // set-up and binning of one slice of the triangles
  void drawBands();          // bands taken one at a time until none is left
  void helperLoop(int part);
  void pairUpLastFour();
  void drawTriangleRows(uint32_t i, int32_t firstRow, int32_t lastRow);

  RowRasterizer rows_;
  PairRowRasterizer pairs_;
  int threads_;
  std::vector<Recorded> triangles_;
  std::vector<SetUp> setUps_;
  // bins_[part][band]: the triangles of that part's slice reaching into the band, in order.
  std::vector<std::vector<std::vector<uint32_t>>> bins_;
  int32_t bandCount_ = 0;
  int partsInUse_ = 1;
  std::atomic<int32_t> nextBand_{0};

  std::vector<std::thread> helpers_;
  std::atomic<uint32_t> jobs_{0};  // bumped to start the helpers on a finish()
  bool stopping_ = false;
  std::unique_ptr<std::barrier<>> setUpDone_;
  std::unique_ptr<std::barrier<>> bandsDone_;
};

}  // namespace glide
