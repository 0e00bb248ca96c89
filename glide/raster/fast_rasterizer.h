// The board's fast path: triangles are recorded as they are issued and drawn together when
// the frame is needed. First the threads set up the triangles, a batch at a time; then they
// place the bands of rows and sort each batch's triangles into them; then they take the bands
// one at a time and draw, in
// each, every triangle that reaches into it in the order issued (batch after batch). A pixel
// lies in one band only, so it still sees its triangles in their order, and the result equals
// drawing them one by one. Work is claimed, never assigned: the calling thread finishes the
// frame alone when the others are slow to wake (a busy machine), and waits only for work
// already claimed. While the frame is still being recorded, a helper that is looking out for
// it already finds the cells of the batches that are complete and sets them up, so that
// recording (which only the calling thread can do) and set-up overlap.
//
// The display part draws a cell of the mesh as two triangles that share the cell's diagonal,
// and then the same two again with the other picture over them. Where the two halves lie on
// either side of the diagonal (they do unless the cell is folded), each pixel of the cell is in
// exactly one half, so the cell's pixels can be drawn in one pass in any order: the cell
// rasteriser (raster.h) takes such a cell whole, one or two layers, instead of its two or four
// triangles. Anything else is drawn triangle by triangle.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "glide/raster/raster.h"

namespace glide {

class FastRasterizer {
 public:
  // threads: how many draw at once (this thread included); path.cells may be nullptr.
  FastRasterizer(FastPath path, int threads);
  ~FastRasterizer();
  FastRasterizer(const FastRasterizer&) = delete;
  FastRasterizer& operator=(const FastRasterizer&) = delete;

  // The triangles recorded from now on until the next finish() are drawn with this state, until
  // another is given.
  void setState(const DrawState& state);
  void add(const GrVertex& a, const GrVertex& b, const GrVertex& c);
  // Draws everything recorded, then forgets it.
  void finish();
  bool empty() const { return recorded_ == 0; }

 private:
  // Bands are about this many to a frame (a few more, the last ones being smaller), so that
  // two threads share the work evenly.
  static constexpr int32_t kBandsPerFrame = 16;

  struct Corner {
    float x, y, s, t;
  };
  // A triangle drawn on its own, the first of a cell's triangles (the cell is drawn with it),
  // or one of the others.
  enum class Role : uint8_t { Alone, CellFirst, InCell };
  // A cell is kept at half its first triangle's index in cells_ and cellReady_.
  struct Recorded {
    Corner corners[3];
    uint32_t state;  // its index in states_
    Role role;
    uint8_t cellLayers;  // CellFirst: 1 or 2 (2 or 4 triangles)
  };
  struct SetUp {
    TriangleSetup setup;
    bool drawn;
  };

  // Claims batches, then bands, until none is left; `slot` is the thread's: 0 for the calling
  // thread, 1 on for the helpers.
  void work(int slot);
  // Finds the cells of one batch and sets up its triangles and cells; the first `recorded`
  // triangles are final, the others are not looked at.
  void setUpBatch(int slot, int batch, size_t recorded);
  void findCells(int batch, size_t recorded);
  void binBatch(int batch);
  // Claims the sealed batches one at a time and sets them up: a helper while the frame is
  // recorded, then every thread; true when it set up any.
  bool setUpSealed(int slot);
  void openEarly();
  void closeEarly();  // and waits until no helper is setting up early
  // Sets up triangles first .. first + count - 1 into out[0] .. out[count - 1].
  void setUp(uint32_t first, uint32_t count, TriangleShape (&shapes)[2], SetUp* out);
  void placeBands(int32_t height);
  void addToBins(std::vector<std::vector<uint32_t>>& bins, uint32_t item, int32_t top,
                 int32_t bottom) const;
  void drawBand(int32_t band);
  void prefetchItem(uint32_t item) const;
  void drawItem(uint32_t item, int32_t firstRow, int32_t lastRow);
  void helperLoop(int slot);
  void findCell(size_t last);
  void noteRows(int slot, int32_t top, int32_t bottom);

  static constexpr uint32_t kCellItem = 1u << 31;

  RowRasterizer rows_;
  CellRasterizer cellRasterizer_;
  PlaneSetUp planeSetUp_;
  int threads_;
  // What only the calling thread writes while it records, on a cache line of its own: the
  // helpers read the vectors' places in memory on every triangle they set up, and should not
  // lose them each time a triangle is added.
  alignas(64) size_t recorded_ = 0;  // the triangles in triangles_
  uint32_t state_ = 0;               // the state given last
  alignas(64) std::vector<Recorded> triangles_;
  std::vector<DrawState> states_;  // the states triangles_ are drawn with
  std::vector<SetUp> setUps_;
  std::vector<Cell> cells_;
  std::vector<uint8_t> cellReady_;  // by cell: set up and drawn whole
  // setUps_, cells_ and cellReady_ have room for every triangle triangles_ has room for, so
  // that a helper may fill them in while triangles are added.
  // bins_[batch][band]: the triangles and cells of that batch reaching into the band, in order:
  // a triangle's index, or a cell's first triangle's with kCellItem added, so that drawing
  // need not look the triangle up to know which it is.
  std::vector<std::vector<std::vector<uint32_t>>> bins_;
  int32_t batchCount_ = 0;
  int32_t bandCount_ = 0;
  // Where the cells and triangles set up so far begin and end: at each row, how many more begin
  // below the row before it than end there; so the running sum is how many a band boundary
  // just above the row would cut. A table for each thread, which only it fills in: shared
  // counters would pass their cache lines from thread to thread for every cell.
  std::vector<std::vector<int32_t>> rowCuts_;
  int32_t height_ = 0;              // the tallest target recorded
  std::vector<int32_t> bandStart_;  // first row of each band, and the height after the last
  std::vector<int32_t> bandOfRow_;
  std::atomic<int32_t> nextBatch_{0};  // to set up, from the first sealed on
  std::atomic<int32_t> batchesSetUp_{0};
  std::atomic<bool> placingBands_{false};
  std::atomic<int32_t> bandsPlaced_{0};
  std::atomic<int32_t> nextBin_{0};
  std::atomic<int32_t> batchesBinned_{0};
  std::atomic<int32_t> nextBand_{0};
  std::atomic<int32_t> bandsDone_{0};

  std::vector<std::thread> helpers_;
  std::atomic<uint32_t> jobs_{0};          // bumped to wake the helpers for a finish()
  std::atomic<bool> jobOpen_{false};       // helpers may claim work while set
  std::atomic<int32_t> helpersInside_{0};  // helpers that may be touching this job
  std::atomic<bool> stopping_{false};
  // Batches whose triangles are recorded and final (a cell's triangles reach at most three
  // into the next batch; finish() seals them all), how many triangles the frame has once
  // finish() has them all, and whether helpers may set up while the frame is recorded.
  std::atomic<int32_t> sealed_{0};
  std::atomic<size_t> finalCount_{SIZE_MAX};
  std::atomic<bool> earlyOpen_{false};
  // Cells are found batch after batch (whether a triangle starts one depends on those before
  // it): how many batches have theirs found.
  std::atomic<int32_t> cellsFound_{0};
};

}  // namespace glide
