// Saving and loading a full project: 50 pictures of photographs' complexity (smooth gradients
// plus noise, so they pack mostly into literal packets, as photographs do) with 500 points.
// The whole operations, as the editor calls them (the save includes writing the file to disk
// and flushing it), and their in-memory halves. Run with --benchmark_repetitions and compare
// the medians.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/morph_engine.h"
#include "engine/project_file.h"
#include "support/test_files.h"
#include "support/test_pictures.h"

namespace {

std::unique_ptr<MorphEngine> fullProject() {
  auto engine = std::make_unique<MorphEngine>();
  for (int n = 0; n < kMaxPictures; ++n) {
    engine->insertPicture(testing_support::photoLikePicture(static_cast<uint32_t>(n)), n);
  }
  for (int t = 0; t < kMaxPoints; ++t) engine->addPoint(t % kMaxPictures, t % 256, t / 2);
  return engine;
}

void BM_SaveProject(benchmark::State& state) {
  auto engine = fullProject();
  testing_support::TempDir dir;
  for (auto _ : state) {
    if (engine->saveProject(dir.file("full.kzm")) != 0) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadProject(benchmark::State& state) {
  testing_support::TempDir dir;
  fullProject()->saveProject(dir.file("full.kzm"));
  MorphEngine engine;
  for (auto _ : state) {
    if (engine.loadProject(dir.file("full.kzm")) != 0) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProjectFileBytes(benchmark::State& state) {
  auto engine = fullProject();
  for (auto _ : state) benchmark::DoNotOptimize(projectFileBytes(*engine).size());
}
BENCHMARK(BM_ProjectFileBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseProjectFile(benchmark::State& state) {
  const std::vector<uint8_t> bytes = projectFileBytes(*fullProject());
  state.counters["file_MiB"] = static_cast<double>(bytes.size()) / (1 << 20);
  for (auto _ : state) {
    ProjectFileContent content;
    if (parseProjectFile(bytes.data(), bytes.size(), content, nullptr) != 0) {
      state.SkipWithError("parse failed");
    }
  }
}
BENCHMARK(BM_ParseProjectFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
