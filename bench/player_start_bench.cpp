// What the player does between start and its first frame, on the headless board: load the
// project, prepare the playback (warp solve, display, texture download) and draw one frame.
// For the demo project (when built) and for a project at the largest settings: 50 pictures of
// busy pixels, 500 control points, quality 64, play size 1200.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "e2e/kzm_writer.h"
#include "engine/morph_engine.h"

namespace {

void startToFirstFrame(benchmark::State& state, const std::string& path) {
  MorphEngine engine;
  for (auto _ : state) {
    if (engine.loadProject(path) != 0 || engine.preparePlayback() != 0) {
      state.SkipWithError(("cannot play " + path).c_str());
      break;
    }
    engine.playFrame();
    state.PauseTiming();
    engine.endPlayback();
    state.ResumeTiming();
  }
}

// The demo project lies in the build tree: build/demo/demo.kzm, beside build/bench.
std::string demoProjectPath() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "";
  const auto demo = self.parent_path().parent_path() / "demo" / "demo.kzm";
  return std::filesystem::exists(demo, error) ? demo.string() : "";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string largest =
      (std::filesystem::temp_directory_path() / ("largest_" + std::to_string(getpid()) + ".kzm"))
          .string();
  testing_kzm::ProjectRecipe recipe;
  recipe.pictureCount = 50;
  recipe.pointCount = 500;
  recipe.quality = 64;
  recipe.playSize = 1200;
  recipe.solid = false;
  if (!testing_kzm::writeProject(largest, recipe)) return 1;

  const std::string demo = demoProjectPath();
  if (!demo.empty()) {
    benchmark::RegisterBenchmark("StartToFirstFrame/demo", startToFirstFrame, demo)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("StartToFirstFrame/50pictures_q64_size1200_500points",
                               startToFirstFrame, largest)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(largest.c_str());
  return 0;
}
