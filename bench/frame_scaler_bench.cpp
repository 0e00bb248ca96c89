// Presenting without a GPU: one frame of the board scaled bilinearly into the window surface, as
// the display window does every frame. The board's default mode (640 x 480, play size 450) and
// its largest (1600 x 1200), onto 1920 x 1080 and 1600 x 1200 screens; on one thread and on every
// core, with the plain per-pixel scaling the tests hold it to as the reference. Run with
// --benchmark_repetitions and compare the medians.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "glide/scaler_reference.h"
#include "glide/sdl/frame_scaler.h"

namespace {

struct Screen {
  std::vector<uint8_t> pixels;
  PixelCanvas canvas;
  Screen(int width, int height) : pixels(static_cast<size_t>(width) * height * 4) {
    canvas = {pixels.data(), width, height, width * 4, 2, 1, 0};
  }
};

std::vector<uint16_t> busyFrame(int width, int height) {
  std::mt19937 random(1);
  std::vector<uint16_t> frame(static_cast<size_t>(width) * height);
  for (uint16_t& pixel : frame) pixel = static_cast<uint16_t>(random());
  return frame;
}

// Arguments: frame width, height, screen width, height, threads (0: every core).
void BM_PresentFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const std::vector<uint16_t> frame = busyFrame(width, height);
  Screen screen(static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
  FrameScaler scaler(static_cast<int>(state.range(4)));
  scaler.present(frame.data(), width, height, screen.canvas, true);
  for (auto _ : state) {
    scaler.present(frame.data(), width, height, screen.canvas, false);
    benchmark::DoNotOptimize(screen.pixels.data());
  }
}
BENCHMARK(BM_PresentFrame)
    ->ArgNames({"w", "h", "screenW", "screenH", "threads"})
    ->Args({640, 480, 1920, 1080, 1})
    ->Args({640, 480, 1920, 1080, 0})
    ->Args({1600, 1200, 1920, 1080, 1})
    ->Args({1600, 1200, 1920, 1080, 0})
    ->Args({640, 480, 1600, 1200, 0})
    ->Args({1600, 1200, 1600, 1200, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_PresentFramePlain(benchmark::State& state) {
  const std::vector<uint16_t> frame = busyFrame(1600, 1200);
  Screen screen(1920, 1080);
  const ScreenRect rect = fitFrame(1600, 1200, 1920, 1080);
  for (auto _ : state) {
    scaler_reference::scale(frame.data(), 1600, 1200, screen.canvas.part(rect));
    benchmark::DoNotOptimize(screen.pixels.data());
  }
}
BENCHMARK(BM_PresentFramePlain)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
