// The project the frame benchmarks play: two photograph-like pictures whose control points sit
// in different places, so that the grid moves and bends.
#pragma once

#include <benchmark/benchmark.h>

#include <memory>

#include "engine/morph_engine.h"
#include "glide/board_testing.h"
#include "support/frame_pictures.h"

// The settings the frame benchmarks play at: the player's defaults and the largest it takes.
struct FrameSettings {
  const char* name;
  int quality, playSize;
};
inline constexpr FrameSettings kFrameSettings[] = {{"DefaultSettings", 28, 450},
                                                   {"LargestSettings", 64, 1200}};

inline std::unique_ptr<MorphEngine> warpedProject(int quality, int playSize, int pictureCount) {
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

// Plays frames of the warped project on the board with the given rasteriser and threads (0:
// one per core), one frame an iteration.
inline void playFrames(benchmark::State& state, glide::RasterPath path, int threads, int quality,
                       int playSize) {
  auto engine = warpedProject(quality, playSize, 2);
  glide::testing::setDrawingThreads(threads);
  if (!glide::testing::setRasterPath(path)) {
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
