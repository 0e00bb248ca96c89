#include "engine/warp_solver.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/morph_engine.h"
#include "engine/warp_reference.h"

namespace {

std::vector<WarpKernel> kernelsHere() {
  std::vector<WarpKernel> kernels;
  for (WarpKernel kernel : {WarpKernel::Plain, WarpKernel::Avx2, WarpKernel::Avx512}) {
    if (warpKernelRuns(kernel)) kernels.push_back(kernel);
  }
  return kernels;
}

std::string kernelName(WarpKernel kernel) {
  switch (kernel) {
    case WarpKernel::Plain:
      return "plain";
    case WarpKernel::Avx2:
      return "avx2";
    case WarpKernel::Avx512:
      return "avx512";
  }
  return "?";
}

// An engine with `pictures` blank pictures, `points` control points and the given quality,
// vertexCount set as playback sets it.
std::unique_ptr<MorphEngine> makeProject(int pictures, int points, int quality) {
  auto engine = std::make_unique<MorphEngine>();
  for (int n = 0; n < pictures; ++n) {
    EXPECT_EQ(engine->insertPicture(std::make_unique<PictureImage>(), n), 0);
  }
  for (int t = 0; t < points; ++t) EXPECT_EQ(engine->addPoint(0, 128, 128), t);
  engine->quality = quality;
  engine->vertexCount = (quality + 1) * (quality + 1);
  return engine;
}

void setPoint(MorphEngine& engine, int picture, int point, float x, float y) {
  engine.pictures[picture].points[point].x = x;
  engine.pictures[picture].points[point].y = y;
}

// Points as users place them, and as files may hold them: whole pixels and fractions, some
// off the picture, some that never move from picture to picture, some inherited from the
// picture before.
void scatterPoints(MorphEngine& engine, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> coordinate(-20.0f, 280.0f);
  for (int t = 0; t < engine.pointCount; ++t) {
    const int kind = static_cast<int>(random() % 4);
    for (int n = 0; n < engine.pictureCount; ++n) {
      float x = coordinate(random);
      float y = coordinate(random);
      if (kind == 1) {
        x = std::floor(x);
        y = std::floor(y);
      } else if (kind == 2) {
        x = 40.0f + t;
        y = 200.0f - t;
      } else if (kind == 3 && n > 0 && random() % 2 == 0) {
        x = engine.pictures[n - 1].points[t].x;
        y = engine.pictures[n - 1].points[t].y;
      }
      setPoint(engine, n, t, x, y);
    }
  }
}

// Both engines' meshes, quads and quadCount agree bit for bit (NaNs count as equal to NaNs).
void expectSameField(const MorphEngine& expected, const MorphEngine& actual) {
  ASSERT_EQ(expected.quadCount, actual.quadCount);
  for (int i = 0; i < expected.quadCount; ++i) {
    for (int c = 0; c < 4; ++c) ASSERT_EQ(expected.quads[i].v[c], actual.quads[i].v[c]) << i;
  }
  auto same = [](float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b) ||
           (std::isnan(a) && std::isnan(b));
  };
  for (int n = 0; n < expected.pictureCount; ++n) {
    for (int v = 0; v < expected.vertexCount; ++v) {
      const MeshPoint& e = expected.pictures[n].mesh[v];
      const MeshPoint& a = actual.pictures[n].mesh[v];
      ASSERT_TRUE(same(e.x, a.x) && same(e.y, a.y))
          << "picture " << n << " vertex " << v << ": expected (" << e.x << ", " << e.y
          << "), got (" << a.x << ", " << a.y << ")";
    }
  }
}

void copyPoints(const MorphEngine& from, MorphEngine& to) {
  for (int n = 0; n < from.pictureCount; ++n) {
    for (int t = 0; t < from.pointCount; ++t) to.pictures[n].points[t] = from.pictures[n].points[t];
  }
}

// Solves one project with the reference loop and with every kernel on 1 and 3 threads.
void expectEveryKernelMatchesReference(int pictures, int points, int quality, uint32_t seed,
                                       const std::vector<int>& threadCounts = {1, 3}) {
  auto reference = makeProject(pictures, points, quality);
  scatterPoints(*reference, seed);
  solveWarpFieldReference(*reference);
  for (WarpKernel kernel : kernelsHere()) {
    for (int threads : threadCounts) {
      SCOPED_TRACE(kernelName(kernel) + ", " + std::to_string(threads) + " threads, N " +
                   std::to_string(pictures) + ", P " + std::to_string(points) + ", q " +
                   std::to_string(quality));
      auto engine = makeProject(pictures, points, quality);
      copyPoints(*reference, *engine);
      solveWarpFieldWith(*engine, kernel, threads);
      expectSameField(*reference, *engine);
    }
  }
}

TEST(WarpSolver, EveryKernelGivesTheStraightforwardLoopsBits) {
  uint32_t seed = 1;
  for (int quality : {1, 2, 7, 28, 64}) {
    for (int pictures : {1, 2, 5}) {
      for (int points : {0, 1, 13, 40}) {
        expectEveryKernelMatchesReference(pictures, points, quality, seed++);
      }
    }
  }
}

TEST(WarpSolver, LargeProjectOnAllThreadsGivesTheStraightforwardLoopsBits) {
  // Large enough that the solver shares the blocks between threads by itself (threads 0).
  expectEveryKernelMatchesReference(6, 300, 64, 77, {0});
}

// A point that is not finite, or too large for the solver's sums, is left out on its picture:
// one broken value in a file no longer turns every mesh of the project into NaN.
TEST(WarpSolver, NonFinitePointsFromAFileAreSolvedAsTheLoopSolvesThem) {
  EXPECT_TRUE(warpTakesPoint({-1.0e30f, kLargestWarpCoordinate, 0, {}}));
  EXPECT_FALSE(warpTakesPoint({std::nextafter(kLargestWarpCoordinate, 1e38f), 0.0f, 0, {}}));
  EXPECT_FALSE(warpTakesPoint({0.0f, -std::numeric_limits<float>::infinity(), 0, {}}));

  auto reference = makeProject(3, 5, 5);
  scatterPoints(*reference, 5);
  setPoint(*reference, 1, 0, std::numeric_limits<float>::quiet_NaN(), 10.0f);
  setPoint(*reference, 2, 2, std::numeric_limits<float>::infinity(), 10.0f);
  setPoint(*reference, 0, 3, 3.0e38f, -3.0e38f);
  setPoint(*reference, 2, 3, 10.0f, std::numeric_limits<float>::max());
  for (int n = 0; n < 3; ++n) setPoint(*reference, n, 4, std::nanf(""), 1.0f);
  solveWarpFieldReference(*reference);
  for (WarpKernel kernel : kernelsHere()) {
    SCOPED_TRACE(kernelName(kernel));
    auto engine = makeProject(3, 5, 5);
    copyPoints(*reference, *engine);
    solveWarpFieldWith(*engine, kernel, 2);
    expectSameField(*reference, *engine);
    for (int n = 0; n < 3; ++n) {
      for (int v = 0; v < engine->vertexCount; ++v) {
        ASSERT_TRUE(std::isfinite(engine->pictures[n].mesh[v].x)) << n << " " << v;
        ASSERT_TRUE(std::isfinite(engine->pictures[n].mesh[v].y)) << n << " " << v;
      }
    }
  }
  // A point that no picture takes has no part at all: the field is that of the project without
  // it (the last point here).
  auto withoutIt = makeProject(3, 4, 5);
  copyPoints(*reference, *withoutIt);
  solveWarpFieldReference(*withoutIt);
  expectSameField(*withoutIt, *reference);
}

// Every bit of every mesh, folded into one number (FNV-1a).
uint64_t meshFingerprint(const MorphEngine& engine) {
  uint64_t hash = 14695981039346656037u;
  for (int n = 0; n < engine.pictureCount; ++n) {
    for (int v = 0; v < engine.vertexCount; ++v) {
      for (float value : {engine.pictures[n].mesh[v].x, engine.pictures[n].mesh[v].y}) {
        hash = (hash ^ std::bit_cast<uint32_t>(value)) * 1099511628211u;
      }
    }
  }
  return hash;
}

// Points far off the picture, up to the largest the solver takes (files may hold 1e30), warp to
// exactly the bits they always gave: the fingerprint was taken before the solver learnt to leave
// points out.
TEST(WarpSolver, FarPointsWarpToTheBitsTheyAlwaysGave) {
  for (WarpKernel kernel : kernelsHere()) {
    SCOPED_TRACE(kernelName(kernel));
    auto engine = makeProject(3, 24, 28);
    scatterPoints(*engine, 11);
    setPoint(*engine, 0, 3, 1.0e30f, -1.0e30f);
    setPoint(*engine, 1, 3, -1.0e30f, 1.0e30f);
    for (int n = 0; n < 3; ++n) setPoint(*engine, n, 7, 1.0e30f, 2.0e30f - n);
    setPoint(*engine, 2, 11, 3.0e35f, -3.0e35f);
    setPoint(*engine, 1, 12, -4000.0f, 1.0e9f);
    solveWarpFieldWith(*engine, kernel, 2);
    EXPECT_EQ(meshFingerprint(*engine), 10835855358872963508u);
  }
}

// The base grid as it must come out exactly: the product first, then the division.
void expectBaseGrid(const MorphEngine& engine) {
  const int q = engine.quality;
  for (int n = 0; n < engine.pictureCount; ++n) {
    for (int k = 0; k <= q; ++k) {
      for (int l = 0; l <= q; ++l) {
        const MeshPoint& vertex = engine.pictures[n].mesh[k * (q + 1) + l];
        ASSERT_EQ(vertex.x, static_cast<float>((l * 255.0) / q)) << n << " " << k << " " << l;
        ASSERT_EQ(vertex.y, static_cast<float>((k * 255.0) / q)) << n << " " << k << " " << l;
      }
      ASSERT_EQ(engine.pictures[n].mesh[k * (q + 1) + q].x, 255.0f);
      ASSERT_EQ(engine.pictures[n].mesh[q * (q + 1) + k].y, 255.0f);
    }
  }
}

TEST(WarpSolver, WithoutDisplacementsEveryMeshIsTheBaseGrid) {
  for (int quality : {1, 3, 28, 64}) {
    SCOPED_TRACE(quality);
    auto noPoints = makeProject(3, 0, quality);
    noPoints->solveWarpField();
    expectBaseGrid(*noPoints);

    // The same points on every picture: each mean is the point itself, so nothing moves.
    auto samePoints = makeProject(4, 25, quality);
    scatterPoints(*samePoints, 9);
    for (int n = 1; n < 4; ++n) {
      for (int t = 0; t < 25; ++t)
        samePoints->pictures[n].points[t] = samePoints->pictures[0].points[t];
    }
    samePoints->solveWarpField();
    expectBaseGrid(*samePoints);
  }
}

TEST(WarpSolver, QualityOneIsOneCellOverThePicture) {
  auto engine = makeProject(2, 0, 1);
  engine->solveWarpField();
  EXPECT_EQ(engine->quadCount, 1);
  EXPECT_EQ(engine->quads[0].v[0], 0);
  EXPECT_EQ(engine->quads[0].v[1], 1);
  EXPECT_EQ(engine->quads[0].v[2], 3);
  EXPECT_EQ(engine->quads[0].v[3], 2);
  const MeshPoint corners[4] = {{0.0f, 0.0f}, {255.0f, 0.0f}, {0.0f, 255.0f}, {255.0f, 255.0f}};
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(engine->pictures[1].mesh[v].x, corners[v].x);
    EXPECT_EQ(engine->pictures[1].mesh[v].y, corners[v].y);
  }
}

TEST(WarpSolver, OnePointMovedBetweenTwoPictures) {
  auto engine = makeProject(2, 1, 2);
  setPoint(*engine, 0, 0, 117.0f, 127.0f);
  setPoint(*engine, 1, 0, 138.0f, 127.0f);
  engine->solveWarpField();
  EXPECT_EQ(engine->quadCount, 4);
  // The centre vertex (127.5, 127.5) lies 0.5 from the mean point (127.5, 127): weight 0.8.
  EXPECT_NEAR(engine->pictures[0].mesh[4].x, 117.00003f, 0.00001f);
  EXPECT_EQ(engine->pictures[0].mesh[4].y, 127.5f);
  EXPECT_NEAR(engine->pictures[1].mesh[4].x, 137.99997f, 0.00001f);
  EXPECT_EQ(engine->pictures[1].mesh[4].y, 127.5f);
  for (int n = 0; n < 2; ++n) {
    for (int v : {0, 1, 2, 3, 5, 6, 7, 8}) {
      const float gx = (v % 3) * 127.5f;
      const float gy = (v / 3) * 127.5f;
      EXPECT_LT(std::fabs(engine->pictures[n].mesh[v].x - gx), 0.00001f) << n << " " << v;
      EXPECT_LT(std::fabs(engine->pictures[n].mesh[v].y - gy), 0.00001f) << n << " " << v;
      if (v % 3 == 2) {
        EXPECT_EQ(engine->pictures[n].mesh[v].x, 255.0f);
      }
    }
    // Border vertices do move, only very little: the centre of the top row is pulled.
    EXPECT_NE(engine->pictures[n].mesh[1].x, 127.5f);
  }
}

TEST(WarpSolver, LoweringTheQualityLeavesTheRestOfTheTablesAlone) {
  auto engine = makeProject(2, 5, 64);
  scatterPoints(*engine, 3);
  engine->solveWarpField();
  const MeshPoint sentinel{-7.25f, 1234.5f};
  for (int n = 0; n < 2; ++n) {
    for (int v = 0; v < kMaxVertices; ++v) engine->pictures[n].mesh[v] = sentinel;
  }
  for (int i = 0; i < kMaxQuads; ++i) engine->quads[i] = MeshQuad{{-1, -2, -3, -4}};
  engine->quality = 10;
  engine->vertexCount = 121;
  engine->solveWarpField();
  EXPECT_EQ(engine->quadCount, 100);
  for (int n = 0; n < 2; ++n) {
    EXPECT_NE(engine->pictures[n].mesh[120].x, sentinel.x);
    for (int v = 121; v < kMaxVertices; ++v) {
      ASSERT_EQ(engine->pictures[n].mesh[v].x, sentinel.x) << v;
      ASSERT_EQ(engine->pictures[n].mesh[v].y, sentinel.y) << v;
    }
  }
  EXPECT_EQ(engine->quads[99].v[0], 9 * 11 + 9);
  for (int i = 100; i < kMaxQuads; ++i) ASSERT_EQ(engine->quads[i].v[0], -1) << i;
}

TEST(WarpSolver, QualityThatDoesNotFitTheTablesChangesNothing) {
  // A project file may carry any quality; the solver must not write past its tables.
  for (auto [quality, vertexCount] : {std::pair{0, 1}, std::pair{65, 66 * 66}, std::pair{-3, 4},
                                      std::pair{1000000, 0}, std::pair{28, 4225}}) {
    SCOPED_TRACE(quality);
    auto engine = makeProject(2, 3, 1);
    engine->quality = quality;
    engine->vertexCount = vertexCount;
    engine->quadCount = -5;
    engine->pictures[0].mesh[0] = MeshPoint{-9.0f, -9.0f};
    engine->solveWarpField();
    EXPECT_EQ(engine->quadCount, -5);
    EXPECT_EQ(engine->pictures[0].mesh[0].x, -9.0f);
  }
}

}  // namespace
