// The warp solver at the limits (50 pictures, quality 64, 500 points), every point displaced on
// every picture: the production solver, each kernel on one thread, and the straightforward loop
// that the tests hold them to. Run with --benchmark_repetitions and compare the medians.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "engine/morph_engine.h"
#include "engine/warp_reference.h"
#include "engine/warp_solver.h"

namespace {

std::unique_ptr<MorphEngine> fullProject() {
  auto engine = std::make_unique<MorphEngine>();
  for (int n = 0; n < kMaxPictures; ++n) engine->insertPicture(std::make_unique<PictureImage>(), n);
  for (int t = 0; t < kMaxPoints; ++t) engine->addPoint(0, 0, 0);
  std::mt19937 random(2024);
  std::uniform_real_distribution<float> coordinate(0.0f, 255.0f);
  for (int n = 0; n < kMaxPictures; ++n) {
    for (int t = 0; t < kMaxPoints; ++t) {
      engine->pictures[n].points[t].x = coordinate(random);
      engine->pictures[n].points[t].y = coordinate(random);
    }
  }
  engine->quality = kMaxQuality;
  engine->vertexCount = kMaxVertices;
  return engine;
}

void BM_SolveWarpField(benchmark::State& state) {
  auto engine = fullProject();
  for (auto _ : state) {
    engine->solveWarpField();
    benchmark::DoNotOptimize(engine->pictures[7].mesh[2000]);
  }
}
BENCHMARK(BM_SolveWarpField)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SolveWarpFieldOneThread(benchmark::State& state) {
  const auto kernel = static_cast<WarpKernel>(state.range(0));
  if (!warpKernelRuns(kernel)) {
    state.SkipWithError("this CPU does not run the kernel");
    return;
  }
  auto engine = fullProject();
  for (auto _ : state) {
    solveWarpFieldWith(*engine, kernel, 1);
    benchmark::DoNotOptimize(engine->pictures[7].mesh[2000]);
  }
}
BENCHMARK(BM_SolveWarpFieldOneThread)
    ->ArgName("kernel")  // 0 plain, 1 AVX2, 2 AVX-512
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_StraightforwardLoop(benchmark::State& state) {
  auto engine = fullProject();
  for (auto _ : state) {
    solveWarpFieldReference(*engine);
    benchmark::DoNotOptimize(engine->pictures[7].mesh[2000]);
  }
}
BENCHMARK(BM_StraightforwardLoop)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
