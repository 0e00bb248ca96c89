// Scaling the board's RGB565 frames into a 32-bit window surface, for presenting without a
// graphics processor: the fitted rectangle, the black bars around it, and a bilinear scaler
// that gives what a GPU's linear texture filtering gives (sample centres at half pixels, edges
// clamped, channels widened to 8 bits by bit replication). No SDL in here, so that it is tested
// and measured without a display.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A rectangle of the window, in pixels.
struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenRect&) const = default;
};

// The largest rectangle of the frame's aspect that fits the output, centred on it (whole pixels;
// the odd pixel of a centring goes to the right or bottom bar).
ScreenRect fitFrame(int frameWidth, int frameHeight, int outWidth, int outHeight);

// A block of 32-bit pixels to draw into. Each pixel holds red, green and blue in one byte each;
// `redByte`, `greenByte` and `blueByte` say which byte of the pixel in memory (0 to 3, all
// different), and the fourth byte is written 255, so that a pixel is opaque where it is alpha.
struct PixelCanvas {
  uint8_t* pixels = nullptr;  // the top-left pixel
  int width = 0;
  int height = 0;
  int pitch = 0;  // bytes from one row to the next
  int redByte = 2;
  int greenByte = 1;
  int blueByte = 0;

  // The part of this canvas inside `rect` (which must lie within it), same layout.
  PixelCanvas part(const ScreenRect& rect) const;
};

// Paints every pixel of the canvas outside `frame` black.
void paintBars(const PixelCanvas& canvas, const ScreenRect& frame);

// Scales RGB565 frames bilinearly to fill a canvas. Keeps its tables from one frame to the next
// while the sizes stay, and shares the rows of larger outputs with helper threads (one per
// further core, up to three), which it keeps until it is destroyed.
class FrameScaler {
 public:
  // `threads`: how many threads share the work, the calling one included; 0 for one per core.
  explicit FrameScaler(int threads = 0);
  ~FrameScaler();
  FrameScaler(const FrameScaler&) = delete;
  FrameScaler& operator=(const FrameScaler&) = delete;

  // Fills the whole canvas with the frame (`width` x `height` RGB565 pixels, rows from the top,
  // no gaps between rows), scaled bilinearly.
  void scale(const uint16_t* frame, int width, int height, const PixelCanvas& canvas);

  // The frame into its fitted rectangle of the canvas; with `withBars`, black around it too.
  // Returns the rectangle.
  ScreenRect present(const uint16_t* frame, int width, int height, const PixelCanvas& canvas,
                     bool withBars);

 private:
  // Where one output column or row samples the frame: two neighbouring source pixels (the same
  // one at the far edge) and the weight of the second in 1/256.
  struct Tap {
    int first;
    int second;
    int weight;
  };
  // What a thread keeps between its rows: a row of the frame widened to 16-bit channels (one
  // 64-bit word a pixel, and the last one again after it) and two rows scaled across, to blend
  // down.
  struct Band {
    std::vector<uint64_t> widened;
    std::vector<uint64_t> across[2];
    int acrossRow[2] = {-1, -1};
  };

  static void sampleTaps(int sources, int outputs, std::vector<Tap>& taps);
  void prepare(int width, int height, const PixelCanvas& canvas);
  void scaleRows(Band& band, int firstRow, int endRow);
  const uint64_t* scaledAcross(Band& band, int sourceRow, int keepRow);
  void runBands(int bands);
  void helperLoop(int index);

  // The frame and canvas of the scale in progress.
  const uint16_t* frame_ = nullptr;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
  PixelCanvas canvas_;

  // Tables for the current sizes and layout.
  std::vector<int32_t> columnFirst_;     // the first source pixel of each output column
  std::vector<uint64_t> columnWeights_;  // the weights of both, each in every 16-bit lane
  std::vector<Tap> rows_;
  int laneOf_[4] = {};  // the 16-bit lane (and output byte) of red, green, blue and the fourth

  std::vector<Band> bands_;

  // Helper threads: each takes band (its index + 1) of a job, then reports it done.
  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable jobDone_;
  uint64_t job_ = 0;  // counts the jobs handed out
  int bandsInJob_ = 0;
  int bandsLeft_ = 0;
  bool stopping_ = false;
};
