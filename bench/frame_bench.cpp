// One frame of playback (playFrame: every cell drawn twice, the vertex step, the swap) on the
// headless board, at the default settings (quality 28, play size 450, 2 pictures) and at the
// largest (quality 64, play size 1200), with photograph-like pictures and control points that
// warp the mesh. Each rasteriser in the same run: the reference (the plain single-threaded
// one the tests hold the others to) and the fast paths. Run with --benchmark_repetitions and
// compare the medians.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/morph_engine.h"
#include "glide/board_testing.h"
#include "support/frame_pictures.h"

namespace {

// Two pictures whose control points sit in different places, so the grid moves and bends.
std::unique_ptr<MorphEngine> warpedProject(int quality, int playSize, int pictureCount) {
  auto engine = std::make_unique<MorphEngine>();
  for (int n = 0; n < pictureCount; ++n) {
    engine->insertPicture(frames::photoPicture(static_cast<uint32_t>(n + 1)), n);
  }
  const int places[][4] = {{60, 60, 75, 50},   {190, 70, 170, 90},   {128, 128, 140, 110},
                           {70, 190, 90, 200}, {190, 190, 200, 170}, {128, 40, 120, 60},
                           {40, 128, 60, 140}, {215, 128, 200, 120}, {128, 215, 110, 200}};
  for (const auto& place : places) {
    const int point = engine->addPoint(0, place[0], place[1]);
    for (int n = 1; n < pictureCount; n += 2) engine->movePoint(n, point, place[2], place[3]);
  }
  engine->quality = quality;
  engine->playSize = playSize;
  engine->speed = 100;
  engine->ditherMode = 0;
  return engine;
}

void playFrames(benchmark::State& state, int quality, int playSize) {
  auto engine = warpedProject(quality, playSize, 2);
  glide::testing::setDrawingThreads(static_cast<int>(state.range(1)));
  if (!glide::testing::setRasterPath(static_cast<glide::RasterPath>(state.range(0)))) {
    state.SkipWithError("this CPU does not have the rasteriser");
    return;
  }
  if (engine->preparePlayback() != 0) {
    state.SkipWithError("the display did not open");
    return;
  }
  for (auto _ : state) engine->playFrame();
  engine->endPlayback();
  glide::testing::setDrawingThreads(0);
}

void BM_DefaultSettings(benchmark::State& state) {
  playFrames(state, 28, 450);
}
void BM_LargestSettings(benchmark::State& state) {
  playFrames(state, 64, 1200);
}

// path: 0 reference, 1 portable, 2 AVX2, 3 AVX-512; threads: 0 for every core. The reference
// always draws on one thread.
void pathsAndThreads(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"path", "threads"});
  benchmark->Args({0, 1});
  for (int path = 1; path <= 3; ++path) benchmark->Args({path, 0});
  benchmark->Args({3, 1});
  benchmark->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_DefaultSettings)->Apply(pathsAndThreads);
BENCHMARK(BM_LargestSettings)->Apply(pathsAndThreads);

}  // namespace

BENCHMARK_MAIN();
