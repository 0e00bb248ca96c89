// One frame of playback (playFrame: every cell drawn twice, the vertex step, the swap) on the
// headless board, at the default settings (quality 28, play size 450, 2 pictures) and at the
// largest (quality 64, play size 1200), with photograph-like pictures and control points that
// warp the mesh. Each rasteriser in the same run: the reference (the plain single-threaded
// one the tests hold the others to) and the fast path compiled for each instruction set this
// processor runs. Run with --benchmark_repetitions and compare the medians.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "glide/board_testing.h"
#include "warped_project.h"

// Every path this processor runs, by name (glide::rasterPathName), on every core; the fast
// paths also on one thread. The reference always draws on one thread.
int main(int argc, char** argv) {
  for (const FrameSettings& setting : kFrameSettings) {
    for (const glide::RasterPath path : glide::kRasterPaths) {
      if (!glide::runsRasterPath(path)) continue;
      for (const int threads : {0, 1}) {
        if (path == glide::RasterPath::Reference && threads == 0) continue;
        const std::string name = std::string(setting.name) + "/" + glide::rasterPathName(path) +
                                 "/threads:" + std::to_string(threads);
        benchmark::RegisterBenchmark(name.c_str(), playFrames, path, threads, setting.quality,
                                     setting.playSize)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
