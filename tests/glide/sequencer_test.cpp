// The sequencer: transitions in every play mode, the frames of a transition as drawn (vertex
// positions, alphas, textures), and projects whose settings lie outside what the editor stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "engine/morph_engine.h"
#include "glide/board_testing.h"
#include "glide/call_log.h"
#include "playback_helpers.h"

namespace {

using namespace playback_test;
using Transition = std::pair<int, int>;

class SequencerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (prepared) engine.endPlayback();
  }

  void prepare(int pictureCount) {
    addPictures(engine, pictureCount);
    ASSERT_EQ(engine.preparePlayback(), 0);
    prepared = true;
  }

  // Gives every picture a mesh of its own, unlike any grid, and starts the playback again from
  // picture 0 as the preparation does, so that the vertices travel.
  void useOwnMeshesAndRestart() {
    for (int k = 0; k < engine.pictureCount; ++k) {
      for (int v = 0; v < engine.vertexCount; ++v) {
        engine.pictures[k].mesh[v] = {20.3f + 97.1f * k + 3.7f * v, 250.9f - 55.3f * k - 1.9f * v};
      }
    }
    engine.toPicture = &engine.pictures[0];
    engine.sequencePos = 0;
    engine.sequenceStep = 1;
    engine.startNextTransition();
  }

  Transition current() const { return {engine.fromPicture->index, engine.toPicture->index}; }

  std::vector<Transition> transitions(int count) {
    std::vector<Transition> seen = {current()};
    for (int i = 1; i < count; ++i) {
      engine.startNextTransition();
      seen.push_back(current());
    }
    return seen;
  }

  MorphEngine engine;
  bool prepared = false;
};

TEST_F(SequencerTest, EveryPlayModeChainsItsTransitions) {
  struct Case {
    int32_t mode;
    int pictures;
    std::vector<Transition> expected;
  };
  const Case cases[] = {
      {0, 3, {{0, 1}, {1, 2}, {2, 0}, {0, 1}, {1, 2}, {2, 0}}},
      {1, 3, {{0, 1}, {1, 2}, {2, 1}, {1, 0}, {0, 1}, {1, 2}, {2, 1}}},
      {1, 2, {{0, 1}, {1, 0}, {0, 1}, {1, 0}}},
      {1, 4, {{0, 1}, {1, 2}, {2, 3}, {3, 2}, {2, 1}, {1, 0}, {0, 1}}},
      {2, 2, {{0, 1}, {1, 0}, {0, 1}, {1, 0}, {0, 1}}},
      {0, 2, {{0, 1}, {1, 0}, {0, 1}}},
      {3, 3, {{0, 0}, {0, 0}, {0, 0}}},  // any other mode stands still on picture 0
      {-1, 3, {{0, 0}, {0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode " << c.mode << ", " << c.pictures << " pictures");
    MorphEngine fresh;
    addPictures(fresh, c.pictures);
    fresh.playMode = c.mode;
    ASSERT_EQ(fresh.preparePlayback(), 0);
    std::vector<Transition> seen = {{fresh.fromPicture->index, fresh.toPicture->index}};
    while (seen.size() < c.expected.size()) {
      fresh.startNextTransition();
      seen.push_back({fresh.fromPicture->index, fresh.toPicture->index});
    }
    EXPECT_EQ(seen, c.expected);
    fresh.endPlayback();
  }
}

TEST_F(SequencerTest, LoopKeepsCountingWhileThePictureCycles) {
  engine.playMode = 0;
  prepare(4);
  const std::vector<Transition> seen = transitions(1000);
  EXPECT_EQ(engine.sequencePos, 1000);
  EXPECT_EQ(engine.sequenceStep, 1);
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].second, static_cast<int>((i + 1) % 4));
  }
}

TEST_F(SequencerTest, RandomNeverRepeatsThePictureJustReachedAndReachesEveryOther) {
  engine.playMode = 2;
  prepare(5);
  const std::vector<Transition> seen = transitions(3000);
  EXPECT_EQ(seen[0].first, 0);  // every playback starts out of picture 0
  std::map<Transition, int> counts;
  for (size_t i = 0; i < seen.size(); ++i) {
    ASSERT_NE(seen[i].first, seen[i].second) << "transition " << i;
    if (i > 0) {
      ASSERT_EQ(seen[i].first, seen[i - 1].second);
    }
    ++counts[seen[i]];
  }
  // 20 possible transitions, about 150 each: any one missing means a biased choice.
  EXPECT_EQ(counts.size(), 20u);
}

// The frames as drawn over three transitions (loop, 3 pictures, 7 frames each): the vertices
// step in single precision from the source mesh towards the target mesh, the target goes down
// opaque and the source over it with the falling alpha, and each transition starts exactly at
// the mesh of the picture just reached.
TEST_F(SequencerTest, FramesFollowTheTransitionsExactly) {
  engine.quality = 2;
  engine.speed = 7;
  prepare(3);
  useOwnMeshesAndRestart();
  const float scale = 450.0f / 256.0f;
  ASSERT_EQ(scale, 1.7578125f);

  // The stepping in single precision, straight from its definition.
  struct Vertex {
    float x, y, dx, dy;
  };
  std::vector<Vertex> expected(9);
  float alpha = 0.0f;
  auto startTransition = [&](int from, int to) {
    for (int v = 0; v < 9; ++v) {
      const MeshPoint f = engine.pictures[from].mesh[v];
      const MeshPoint t = engine.pictures[to].mesh[v];
      expected[v].x = f.x * scale;
      expected[v].y = f.y * scale;
      expected[v].dx = (t.x * scale - expected[v].x) / 7.0f;
      expected[v].dy = (t.y * scale - expected[v].y) / 7.0f;
    }
    alpha = 255.0f;
  };
  // Where a play-square position lands on screen: origin (95, 15), nearest 1/16 pixel.
  auto onScreen = [](int origin, float position) {
    const float sum = static_cast<float>(origin) + position;
    return std::nearbyint(static_cast<double>(sum) * 16.0) / 16.0;
  };

  const Transition chain[] = {{0, 1}, {1, 2}, {2, 0}};
  CallLog log;
  for (int frame = 0; frame < 21; ++frame) {
    SCOPED_TRACE(frame);
    const auto [from, to] = chain[frame / 7];
    if (frame % 7 == 0) startTransition(from, to);
    ASSERT_EQ(current(), (Transition{from, to}));
    ASSERT_EQ(engine.frameInTransition, frame % 7);
    for (int v = 0; v < 9; ++v) {
      ASSERT_EQ(engine.vertexStates[v].x, expected[v].x) << "vertex " << v;
      ASSERT_EQ(engine.vertexStates[v].y, expected[v].y) << "vertex " << v;
    }
    ASSERT_EQ(engine.fadeAlpha, alpha);

    log.clear();
    engine.playFrame();
    const std::vector<GlideCall>& calls = log.calls();
    ASSERT_EQ(calls.size(), 4u * 8u + 1u);
    EXPECT_EQ(calls.back().name, "grBufferSwap");
    for (int q = 0; q < 4; ++q) {
      const MeshQuad& quad = engine.quads[q];
      for (int draw = 0; draw < 2; ++draw) {
        const GlideCall* at = &calls[q * 8 + draw * 4];
        const PictureSlot& picture = engine.pictures[draw == 0 ? to : from];
        EXPECT_EQ(at[0].name, "grTexSource");
        EXPECT_EQ(at[0].args[1], picture.texAddress);
        EXPECT_EQ(at[1].args[0], draw == 0 ? 255.0 : std::trunc(alpha));
        const int corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (int t = 0; t < 2; ++t) {
          for (int i = 0; i < 3; ++i) {
            const int v = quad.v[corners[t][i]];
            const Corner drawn = cornerOf(at[2 + t], i);
            EXPECT_EQ(drawn.x, onScreen(95, expected[v].x));
            EXPECT_EQ(drawn.y, onScreen(15, expected[v].y));
            EXPECT_EQ(drawn.s, picture.mesh[v].x);
            EXPECT_EQ(drawn.t, picture.mesh[v].y);
          }
        }
      }
    }
    for (Vertex& vertex : expected) {
      vertex.x += vertex.dx;
      vertex.y += vertex.dy;
    }
    alpha += -255.0f / 7.0f;
  }
}

// The default speed: the source fades 255, 252, 249, ... down to 2 in the transition's last
// frame (about 2.55 before truncation), and the next transition starts at 255 again.
TEST_F(SequencerTest, TheSourceFadesInEqualStepsOverSpeedFrames) {
  engine.quality = 1;
  engine.playSize = 64;  // the alphas do not depend on it; a small square draws fast
  prepare(2);
  CallLog log;
  for (int frame = 0; frame < 101; ++frame) engine.playFrame();
  std::vector<double> sourceAlphas;
  const std::vector<GlideCall> constants = callsNamed(log, "grConstantColorValue");
  ASSERT_EQ(constants.size(), 202u);
  for (size_t i = 0; i < constants.size(); i += 2) {
    EXPECT_EQ(constants[i].args[0], 255.0);
    sourceAlphas.push_back(constants[i + 1].args[0]);
  }
  EXPECT_EQ(sourceAlphas[0], 255);
  EXPECT_EQ(sourceAlphas[1], 252);
  EXPECT_EQ(sourceAlphas[2], 249);
  EXPECT_EQ(sourceAlphas[99], 2);
  EXPECT_EQ(sourceAlphas[100], 255);
  for (int k = 0; k < 100; ++k) EXPECT_NEAR(sourceAlphas[k], 255.0 - k * 2.55, 1.0) << k;
  EXPECT_EQ(current(), (Transition{1, 0}));
}

// Speed 1 is a slide show: every frame shows the picture just reached, opaque, in its own mesh.
TEST_F(SequencerTest, SpeedOneShowsEachPictureInTurnUndistorted) {
  engine.quality = 2;
  engine.speed = 1;
  engine.playMode = 1;
  prepare(3);
  useOwnMeshesAndRestart();
  const int shown[] = {0, 1, 2, 1, 0, 1, 2};
  CallLog log;
  for (const int picture : shown) {
    SCOPED_TRACE(picture);
    log.clear();
    engine.playFrame();
    const std::vector<GlideCall> sources = callsNamed(log, "grTexSource");
    const std::vector<GlideCall> constants = callsNamed(log, "grConstantColorValue");
    const std::vector<GlideCall> triangles = callsNamed(log, "guDrawTriangleWithClip");
    ASSERT_EQ(sources.size(), 8u);
    // The second draw of each cell is on top: the picture just reached, opaque.
    for (int q = 0; q < 4; ++q) {
      EXPECT_EQ(sources[2 * q + 1].args[1], engine.pictures[picture].texAddress);
      EXPECT_EQ(constants[2 * q + 1].args[0], 255.0);
      const MeshQuad& quad = engine.quads[q];
      const Corner corner = cornerOf(triangles[4 * q + 2], 0);
      const MeshPoint own = engine.pictures[picture].mesh[quad.v[0]];
      EXPECT_NEAR(corner.x, 95.0 + own.x * 1.7578125, 1.0 / 32);
      EXPECT_NEAR(corner.y, 15.0 + own.y * 1.7578125, 1.0 / 32);
    }
  }
}

// A project file may hold a quality outside 1..64 or a speed below 1. Such a file plays at the
// nearest quality and speed that work, without touching the project's own settings.
TEST_F(SequencerTest, SettingsBeyondTheTablesPlayClampedAndStayAsStored) {
  struct Case {
    int32_t quality, speed;
    int32_t quads;
    float fadeStep;
    int framesPerTransition;
  };
  const Case cases[] = {
      {0, 0, 1, -255.0f, 1},         {-7, -3, 1, -255.0f, 1}, {65, 2, 4096, -127.5f, 2},
      {100000, 1, 4096, -255.0f, 1}, {1, 3, 1, -85.0f, 3},    {1, -2147483647 - 1, 1, -255.0f, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "quality " << c.quality << ", speed " << c.speed);
    MorphEngine fresh;
    addPictures(fresh, 3);
    fresh.quality = c.quality;
    fresh.speed = c.speed;
    fresh.playSize = 64;
    ASSERT_EQ(fresh.preparePlayback(), 0);
    EXPECT_EQ(fresh.quadCount, c.quads);
    EXPECT_EQ(fresh.vertexCount, c.quads == 1 ? 4 : 4225);
    EXPECT_EQ(fresh.fadeStep, c.fadeStep);
    // The grid was laid at the clamped quality: its first and last cells, its far corner.
    const int32_t side = c.quads == 1 ? 1 : 64;
    const int32_t row = side + 1;
    const int32_t last = (side - 1) * row + side - 1;
    EXPECT_EQ(std::vector<int32_t>(fresh.quads[0].v, fresh.quads[0].v + 4),
              (std::vector<int32_t>{0, 1, row + 1, row}));
    const MeshQuad& lastQuad = fresh.quads[c.quads - 1];
    EXPECT_EQ(std::vector<int32_t>(lastQuad.v, lastQuad.v + 4),
              (std::vector<int32_t>{last, last + 1, last + row + 1, last + row}));
    EXPECT_EQ(fresh.pictures[1].mesh[fresh.vertexCount - 1].x, 255.0f);
    EXPECT_EQ(fresh.pictures[1].mesh[fresh.vertexCount - 1].y, 255.0f);
    CallLog log;
    for (int frame = 0; frame < 2 * c.framesPerTransition; ++frame) fresh.playFrame();
    EXPECT_EQ(callsNamed(log, "grTexSource").size(),
              static_cast<size_t>(2 * c.quads * 2 * c.framesPerTransition));
    EXPECT_EQ(fresh.fromPicture->index, 2);  // two whole transitions went by
    EXPECT_EQ(fresh.quality, c.quality);
    EXPECT_EQ(fresh.speed, c.speed);
    fresh.endPlayback();
  }
}

// A play size outside what the editor stores plays in the square the display clamps it to, and
// the mesh fills that square (not an empty, a quarter or a cropped one).
TEST_F(SequencerTest, PlaySizesBeyondTheFieldsRangeFillTheSquareActuallyDrawn) {
  for (const auto& [stored, drawn] : {std::pair{0, 10}, {-40, 10}, {5, 10}, {5000, 1200}}) {
    SCOPED_TRACE(stored);
    MorphEngine fresh;
    addPictures(fresh, 2);
    fresh.quality = 2;
    fresh.playSize = stored;
    ASSERT_EQ(fresh.preparePlayback(), 0);
    EXPECT_EQ(fresh.viewSize, drawn);
    EXPECT_EQ(fresh.playSize, stored);
    const MeshVertexState& farCorner = fresh.vertexStates[fresh.vertexCount - 1];
    EXPECT_EQ(farCorner.x, 255.0f * (static_cast<float>(drawn) / 256.0f));
    EXPECT_EQ(farCorner.y, farCorner.x);
    fresh.endPlayback();
  }
}

// The running sum of an enormous speed can end a transition below 0; such a frame shows the
// target alone instead of the source opaque.
TEST_F(SequencerTest, ASourceAlphaBelowZeroDrawsTransparent) {
  engine.quality = 2;
  prepare(2);
  engine.fadeAlpha = -1.4332f;
  CallLog log;
  engine.playFrame();
  const std::vector<GlideCall> constants = callsNamed(log, "grConstantColorValue");
  ASSERT_EQ(constants.size(), 8u);
  for (size_t i = 0; i < constants.size(); ++i) {
    EXPECT_EQ(constants[i].args[0], i % 2 == 0 ? 255.0 : 0.0);
  }
  // On screen: the target picture's colour alone (picture 1 is 0x0841 * 2), all over the mesh.
  const glide::Surface shown = glide::testing::frontBuffer();
  ASSERT_NE(shown.pixels, nullptr);
  for (int y = 0; y < 255; y += 9) {
    for (int x = 0; x < 255; x += 9) {
      const int32_t at =
          (engine.originY + y * 450 / 256) * shown.width + engine.originX + x * 450 / 256;
      ASSERT_EQ(shown.pixels[at], 0x0841 * 2) << x << ", " << y;
    }
  }
}

TEST_F(SequencerTest, FewerThanTwoPicturesAreRefusedBeforeTheDisplayOpens) {
  addPictures(engine, 1);
  engine.playMode = 2;
  CallLog log;
  EXPECT_EQ(engine.preparePlayback(), 1);
  EXPECT_TRUE(log.calls().empty());
}

}  // namespace

namespace {

// A frame skipped moves the playback on exactly as a frame played, across transitions too.
TEST_F(SequencerTest, ASkippedFrameStepsAsAPlayedOne) {
  engine.speed = 3;
  engine.playMode = 1;
  prepare(3);
  struct State {
    Transition transition;
    float alpha;
    std::vector<float> vertices;
    bool operator==(const State&) const = default;
  };
  const auto state = [this] {
    State now{current(), engine.fadeAlpha, {}};
    for (int v = 0; v < engine.vertexCount; ++v) {
      now.vertices.push_back(engine.vertexStates[v].x);
      now.vertices.push_back(engine.vertexStates[v].y);
    }
    return now;
  };
  std::vector<State> played;
  useOwnMeshesAndRestart();
  for (int frame = 0; frame < 8; ++frame) {
    engine.playFrame();
    played.push_back(state());
  }
  useOwnMeshesAndRestart();
  for (int frame = 0; frame < 8; ++frame) {
    engine.skipFrame();
    EXPECT_TRUE(state() == played[frame]) << frame;
  }
}

}  // namespace
