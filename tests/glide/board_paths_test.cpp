// Every fast path against the reference rasteriser, pixel for pixel: random triangles of every
// kind (tiny, thin, huge, off the screen, overlapping, at any blend and dither), and whole
// frames of a morph played by the engine.
#include <gtest/gtest.h>

#include <random>

#include "board_fixture.h"
#include "engine/morph_engine.h"

namespace {

struct Frame {
  std::vector<uint16_t> front, back;
};

Frame snapshot() {
  const glide::Surface front = glide::testing::frontBuffer();
  const glide::Surface back = glide::testing::backBuffer();
  const size_t size = static_cast<size_t>(front.width) * front.height;
  return {{front.pixels, front.pixels + size}, {back.pixels, back.pixels + size}};
}

void expectSameFrame(const Frame& actual, const Frame& expected, int width, int height,
                     const std::string& name) {
  EXPECT_TRUE(actual.front == expected.front) << frames::keepForInspection(
      name + "_front", actual.front.data(), expected.front.data(), width, height);
  EXPECT_TRUE(actual.back == expected.back) << frames::keepForInspection(
      name + "_back", actual.back.data(), expected.back.data(), width, height);
}

GrVertex randomVertex(std::mt19937& random, float extent) {
  std::uniform_real_distribution<float> position(-0.2f * extent, 1.2f * extent);
  std::uniform_real_distribution<float> texel(-600.0f, 600.0f);
  GrVertex v{};
  // Mostly on the 1/16 grid, as the display part sends them; some not.
  v.x = position(random);
  v.y = position(random);
  if (random() % 4 != 0) {
    v.x = std::round(v.x * 16.0f) / 16.0f;
    v.y = std::round(v.y * 16.0f) / 16.0f;
  }
  v.oow = 1.0f;
  v.tmuvtx[0] = {texel(random), texel(random), 1.0f};
  return v;
}

// One long sequence of triangles with state changes between them, drawn through the Glide
// calls; the same seed gives the same calls.
void drawRandomScene(uint32_t seed, const PictureSlot& first, const PictureSlot& second) {
  std::mt19937 random(seed);
  const GrAlphaBlendFnc_t factors[] = {GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, GR_BLEND_ONE,
                                       GR_BLEND_ONE_MINUS_SRC_ALPHA};
  const GrDitherMode_t dithers[] = {GR_DITHER_DISABLE, GR_DITHER_2x2, GR_DITHER_4x4};
  for (int n = 0; n < 1200; ++n) {
    if (n % 50 == 0) {
      const PictureSlot& slot = random() % 2 ? first : second;
      grTexSource(GR_TMU0, slot.texAddress, GR_MIPMAPLEVELMASK_BOTH,
                  const_cast<GrTexInfo*>(&slot.texInfo));
      grDitherMode(dithers[random() % 3]);
      // Mostly the programs' blend, sometimes another.
      if (random() % 3 == 0) {
        grAlphaBlendFunction(factors[random() % 4], factors[random() % 4], GR_BLEND_ZERO,
                             GR_BLEND_ZERO);
      } else {
        grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO,
                             GR_BLEND_ZERO);
      }
    }
    if (n % 7 == 0) grConstantColorValue(random() % 3 == 0 ? 255 : random() % 256);
    if (n == 600) grBufferSwap(1);
    GrVertex a = randomVertex(random, 640.0f);
    GrVertex b = randomVertex(random, 640.0f);
    GrVertex c = randomVertex(random, 640.0f);
    // Mostly small, like grid cells; some slivers; a few long ones reaching far off the
    // screen; now and then one as large as the screen.
    const float scale = n % 40 == 0 ? 1.0f : 0.04f;
    b.x = a.x + (b.x - a.x) * scale;
    b.y = a.y + (b.y - a.y) * scale;
    c.x = a.x + (c.x - a.x) * scale;
    c.y = a.y + (c.y - a.y) * scale;
    if (n % 5 == 1) {
      c.x = b.x + 0.25f;
      c.y = b.y + 0.0625f;
    } else if (n % 5 == 2) {
      a.x = n % 2 ? -5000.0f : 9000.0f;
    }
    guDrawTriangleWithClip(&a, &b, &c);
  }
  grBufferSwap(1);
}

class BoardPaths : public BoardFixture {};

TEST_P(BoardPaths, RandomTrianglesMatchTheReference) {
  open(450, GR_DITHER_2x2);
  const PictureSlot& first = addPicture(frames::photoPicture(11));
  const PictureSlot& second = addPicture(frames::photoPicture(12));
  for (const uint32_t seed : {1u, 2u}) {
    ASSERT_TRUE(glide::testing::setRasterPath(glide::RasterPath::Reference));
    drawRandomScene(seed, first, second);
    const Frame expected = snapshot();
    ASSERT_TRUE(glide::testing::setRasterPath(GetParam()));
    display->openDisplay(450);  // both buffers black again
    drawRandomScene(seed, first, second);
    expectSameFrame(snapshot(), expected, 640, 480, "random_scene" + std::to_string(seed));
    display->openDisplay(450);
  }
}

// Cells drawn the way playFrame draws them, from a grid warped so hard that many cells fold
// over (their two halves overlap) and neighbours cover each other, at a fading alpha: the
// order of every blend shows.
TEST_P(BoardPaths, FoldedCellsMatchTheReference) {
  open(450, GR_DITHER_4x4);
  const PictureSlot& target = addPicture(frames::photoPicture(31));
  const PictureSlot& source = addPicture(frames::photoPicture(32));
  const int quality = 12;
  const std::vector<MeshPoint> folded = frames::warpedGrid(quality, 7.0, 0.3);
  const std::vector<MeshPoint> texture = frames::regularGrid(quality);
  const std::vector<MeshQuad> quads = frames::gridQuads(quality);
  Frame expected;
  for (const glide::RasterPath path : {glide::RasterPath::Reference, GetParam()}) {
    ASSERT_TRUE(glide::testing::setRasterPath(path));
    display->openDisplay(450);  // both buffers black again
    display->setDitherMode(GR_DITHER_4x4);
    for (const float alpha : {255.0f, 180.5f, 77.0f}) {
      drawCrossFade(folded, texture, target, folded, source, alpha, quads);
      display->swapBuffers();
    }
    if (path == glide::RasterPath::Reference) {
      expected = snapshot();
    } else {
      expectSameFrame(snapshot(), expected, 640, 480, "folded_cells");
    }
  }
}

// Cells as the display part draws them, laid out to reach every case of the cell rasteriser:
// cells narrower than a register and wider, texture coordinates that run across the picture's
// edges, pictures shrunk so far that a cell's texels must be fetched piece by piece (or not at
// all that way), a first layer that is itself translucent, cells cut by the screen's edges,
// layers added to what lies below (blend factors whose sum passes 1, which saturate), and
// texture coordinates far out.
TEST_P(BoardPaths, CellsOfEveryShapeMatchTheReference) {
  open(450, GR_DITHER_4x4);
  const PictureSlot& target = addPicture(frames::photoPicture(41));
  const PictureSlot& source = addPicture(frames::photoPicture(42));
  const struct Layout {
    const char* name;
    int quality;
    float screenScale, screenX, screenY;     // the grid (0..255) on the play square
    float textureScale, textureX, textureY;  // and on the pictures
    float firstAlpha, secondAlpha;
    bool added = false;
  } layouts[] = {
      {"narrow", 48, 1.0f, 10.0f, 5.0f, 1.0f, 0.0f, 0.0f, 255.0f, 140.0f},
      {"middling", 20, 1.2f, 3.0f, 7.0f, 0.8f, 30.0f, 10.0f, 255.0f, 200.0f},
      {"wide", 6, 1.7f, 0.0f, 0.0f, 0.5f, 64.0f, 20.0f, 255.0f, 90.0f},
      {"wrapping", 16, 1.7f, 0.0f, 0.0f, 1.0f, -120.5f, 210.25f, 255.0f, 128.0f},
      {"shrunk", 5, 1.6f, 0.0f, 0.0f, 3.0f, -60.0f, 7.0f, 255.0f, 170.0f},
      {"translucent", 24, 1.7f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 150.0f, 60.0f},
      {"clipped", 18, 3.1f, -250.0f, -130.0f, 1.0f, 5.0f, 5.0f, 255.0f, 210.0f},
      {"added", 22, 1.3f, 2.0f, 4.0f, 1.0f, 8.0f, 3.0f, 120.0f, 200.0f, true},
      // s beyond 2^27 texels, where the planes are no longer worked out side by side.
      {"far", 14, 1.5f, 0.0f, 0.0f, 1.0f, 3.0e8f, 5.0f, 255.0f, 150.0f},
  };
  for (const Layout& layout : layouts) {
    const std::vector<MeshQuad> quads = frames::gridQuads(layout.quality);
    auto placed = [](std::vector<MeshPoint> grid, float scale, float x, float y) {
      for (MeshPoint& point : grid) point = {x + point.x * scale, y + point.y * scale};
      return grid;
    };
    const std::vector<MeshPoint> screen =
        placed(frames::warpedGrid(layout.quality, 0.8, 0.4), layout.screenScale, layout.screenX,
               layout.screenY);
    const std::vector<MeshPoint> targetMesh = placed(
        frames::regularGrid(layout.quality), layout.textureScale, layout.textureX, layout.textureY);
    const std::vector<MeshPoint> sourceMesh =
        placed(frames::warpedGrid(layout.quality, 0.6, 2.0), layout.textureScale,
               layout.textureX + 3.5f, layout.textureY - 2.25f);
    Frame expected;
    for (const glide::RasterPath path : {glide::RasterPath::Reference, GetParam()}) {
      ASSERT_TRUE(glide::testing::setRasterPath(path));
      display->openDisplay(450);  // both buffers black again
      display->setDitherMode(GR_DITHER_4x4);
      if (layout.added) {
        grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
      }
      for (int frame = 0; frame < 2; ++frame) {
        // One lone triangle, then three: the cells then straddle the batches of triangles
        // that are set up together (some while the frame is still being recorded).
        for (int lone = 0; lone < 1 + 2 * frame; ++lone) {
          GrVertex a{};
          a.x = 2.0f + 4.0f * lone;
          a.y = 2.0f;
          a.oow = 1.0f;
          GrVertex b = a, c = a;
          b.x += 3.0f;
          c.y += 3.0f;
          guDrawTriangleWithClip(&a, &b, &c);
        }
        for (const MeshQuad& quad : quads) {
          drawCell(quad, screen, targetMesh, layout.firstAlpha, target);
          drawCell(quad, screen, sourceMesh, layout.secondAlpha - 50.0f * frame, source);
        }
        display->swapBuffers();
      }
      if (path == glide::RasterPath::Reference) {
        expected = snapshot();
      } else {
        expectSameFrame(snapshot(), expected, 640, 480, std::string("cells_") + layout.name);
      }
    }
  }
}

// The picture at the very top of texture memory, its last texel (255, 255) and the wrap past
// it sampled by cells and by lone triangles: nothing may be read beyond texture memory (a page
// that faults follows it), and the pixels are the reference's.
TEST_P(BoardPaths, TheTopmostPictureIsReadWithinTextureMemory) {
  open(450, GR_DITHER_2x2);
  display->textureBase = glide::kTextureMemoryBytes - glide::kTextureBytes;
  const PictureSlot& top = addPicture(frames::photoPicture(51));
  const int quality = 6;
  const std::vector<MeshQuad> quads = frames::gridQuads(quality);
  std::vector<MeshPoint> screen = frames::regularGrid(quality);
  std::vector<MeshPoint> texture = screen;
  for (MeshPoint& point : screen) point = {point.x * 1.5f, point.y * 1.5f};
  for (MeshPoint& point : texture) point = {248.0f + point.x / 16.0f, 248.0f + point.y / 16.0f};
  Frame expected;
  for (const glide::RasterPath path : {glide::RasterPath::Reference, GetParam()}) {
    ASSERT_TRUE(glide::testing::setRasterPath(path));
    display->openDisplay(450);
    display->setDitherMode(GR_DITHER_2x2);
    drawCrossFade(screen, texture, top, texture, top, 100.0f, quads);
    GrVertex corners[3] = {};
    const float place[3][4] = {{400, 20, 255.2f, 255.9f}, {620, 30, 255.99f, 254.6f},
                               {500, 300, 256.5f, 257.0f}};
    for (int k = 0; k < 3; ++k) {
      corners[k].x = place[k][0];
      corners[k].y = place[k][1];
      corners[k].oow = 1.0f;
      corners[k].tmuvtx[0] = {place[k][2], place[k][3], 1.0f};
    }
    guDrawTriangleWithClip(&corners[0], &corners[1], &corners[2]);
    display->swapBuffers();
    if (path == glide::RasterPath::Reference) {
      expected = snapshot();
    } else {
      expectSameFrame(snapshot(), expected, 640, 480, "topmost_picture");
    }
  }
}

// A morph as the player plays it: control points that warp the grid, a few transitions, the
// largest and a middling setting, each dither mode.
TEST_P(BoardPaths, PlayedFramesMatchTheReference) {
  const struct {
    int quality, playSize, dither, speed;
  } settings[] = {{28, 450, 0, 4}, {64, 1200, 1, 1}, {9, 700, 2, 3}, {3, 300, 0, 2}};
  for (const auto& setting : settings) {
    MorphEngine engine;
    for (int n = 0; n < 3; ++n) engine.insertPicture(frames::photoPicture(20 + n), n);
    const int point = engine.addPoint(0, 100, 100);
    engine.movePoint(1, point, 140, 80);
    const int other = engine.addPoint(0, 200, 60);
    engine.movePoint(2, other, 150, 120);
    engine.quality = setting.quality;
    engine.playSize = setting.playSize;
    engine.ditherMode = setting.dither;
    engine.speed = setting.speed;
    std::vector<Frame> expected;
    for (const glide::RasterPath path : {glide::RasterPath::Reference, GetParam()}) {
      ASSERT_TRUE(glide::testing::setRasterPath(path));
      ASSERT_EQ(engine.preparePlayback(), 0);
      for (int frame = 0; frame < setting.speed + 2; ++frame) {
        engine.playFrame();
        if (path == glide::RasterPath::Reference) {
          expected.push_back(snapshot());
        } else {
          const glide::Surface front = glide::testing::frontBuffer();
          expectSameFrame(
              snapshot(), expected[frame], front.width, front.height,
              "played_q" + std::to_string(setting.quality) + "_frame" + std::to_string(frame));
        }
      }
      engine.endPlayback();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FastPaths, BoardPaths, ::testing::ValuesIn([] {
                           std::vector<glide::RasterPath> paths = availableRasterPaths();
                           paths.erase(paths.begin());  // the reference itself
                           return paths;
                         }()),
                         rasterPathName);

}  // namespace
