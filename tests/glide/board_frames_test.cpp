// Whole frames as the player shows them: the engine plays a project (playFrame draws each
// cell twice, the target opaque and the source over it, then swaps) and the frame on display
// is compared with what it must show. A failed comparison keeps both frames as TGA.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "board_fixture.h"
#include "engine/morph_engine.h"
#include "support/test_files.h"

namespace {

using frames::rgb565;

// The play square (256 x 256) against a picture, leaving out the last row and column, which
// the mesh (0 to 255) does not cover.
void expectShowsPicture(const std::vector<uint16_t>& square, const PictureImage& picture,
                        const std::string& name) {
  std::vector<uint16_t> expected(square.size());
  int wrong = 0;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const bool covered = x < 255 && y < 255;
      expected[y * 256 + x] = covered ? picture.pixels[y * 256 + x] : square[y * 256 + x];
      wrong += expected[y * 256 + x] != square[y * 256 + x];
    }
  }
  EXPECT_EQ(wrong, 0) << name << ": "
                      << frames::keepForInspection(name, square.data(), expected.data(), 256, 256);
}

int channelSteps(uint16_t a, uint16_t b, int shift, int mask) {
  return std::abs(((a >> shift) & mask) - ((b >> shift) & mask));
}

struct ChannelField {
  int shift, mask;
};
constexpr ChannelField kChannels[] = {{11, 0x1F}, {5, 0x3F}, {0, 0x1F}};

// An engine with the given pictures and settings, drawing on the rasteriser under test.
class PlayedFrames : public ::testing::TestWithParam<glide::RasterPath> {
 protected:
  std::unique_ptr<MorphEngine> makeEngine(int pictureCount, int quality, int playSize, int speed,
                                          int ditherMode) {
    auto engine = std::make_unique<MorphEngine>();
    EXPECT_TRUE(glide::testing::setRasterPath(GetParam()));
    for (int n = 0; n < pictureCount; ++n) {
      engine->insertPicture(frames::photoPicture(static_cast<uint32_t>(quality * 10 + n)), n);
    }
    engine->quality = quality;
    engine->playSize = playSize;
    engine->speed = speed;
    engine->ditherMode = ditherMode;
    return engine;
  }
};

// Speed 1 with no control points is a slide show: every frame is the picture just reached,
// opaque and undistorted. When the quality divides 255 the grid lies on whole pixels, so every
// pixel must be exactly its texel, in every dither mode.
TEST_P(PlayedFrames, SlideShowIsExactAtQualitiesDividing255) {
  for (const int quality : {1, 3, 5, 15, 17, 51}) {
    for (const int ditherMode : {0, 1, 2}) {
      auto engine = makeEngine(3, quality, 256, 1, ditherMode);
      ASSERT_EQ(engine->preparePlayback(), 0);
      for (int frame = 0; frame < 4; ++frame) {
        engine->playFrame();
        std::ostringstream name;
        name << "slide_show_q" << quality << "_dither" << ditherMode << "_frame" << frame;
        expectShowsPicture(playSquareOf(*engine), *engine->pictures[frame % 3].image, name.str());
      }
      engine->endPlayback();
    }
  }
}

// At quality 28 the grid falls between pixels, and the 1/16-pixel snapping moves the sampling
// up to 1/32 texel from each texel centre on each axis: every pixel is within one RGB565 step
// of its texel plus 1/32 of the jump to a neighbouring texel on each axis.
TEST_P(PlayedFrames, SlideShowAtQuality28StaysWithinTheSnappingBound) {
  for (const int ditherMode : {0, 1, 2}) {
    auto engine = makeEngine(2, 28, 256, 1, ditherMode);
    ASSERT_EQ(engine->preparePlayback(), 0);
    engine->playFrame();
    const std::vector<uint16_t> square = playSquareOf(*engine);
    const uint16_t* texels = engine->pictures[0].image->pixels;
    int outside = 0;
    int exact = 0;
    for (int y = 0; y < 255; ++y) {
      for (int x = 0; x < 255; ++x) {
        const uint16_t texel = texels[y * 256 + x];
        const uint16_t pixel = square[y * 256 + x];
        exact += pixel == texel;
        for (const ChannelField& channel : kChannels) {
          int jump = 0;
          for (int ny = std::max(y - 1, 0); ny <= y + 1; ++ny) {
            for (int nx = std::max(x - 1, 0); nx <= x + 1; ++nx) {
              jump = std::max(
                  jump, channelSteps(texels[ny * 256 + nx], texel, channel.shift, channel.mask));
            }
          }
          // 1/32 texel on each axis: up to 2/32 of the jump on the diagonal.
          outside += channelSteps(pixel, texel, channel.shift, channel.mask) > 1 + jump / 16.0;
        }
      }
    }
    std::vector<uint16_t> expected(texels, texels + kPicturePixels);
    EXPECT_EQ(outside, 0) << "dither mode " << ditherMode << ": "
                          << frames::keepForInspection(
                                 "quality28_dither" + std::to_string(ditherMode), square.data(),
                                 expected.data(), 256, 256);
    // Most pixels sit so close to their texel centre that they come out exact.
    EXPECT_GT(exact, 255 * 255 * 3 / 4);
    engine->endPlayback();
  }
}

// Two one-colour pictures morphing through warped grids, without dither: every covered pixel
// of a frame has one colour (no seam, no pixel blended twice, no gap), the blend that the
// frame's alpha asks for.
TEST_P(PlayedFrames, OneColourPicturesMorphInUniformFrames) {
  const uint16_t colours[2] = {rgb565(250, 30, 170), rgb565(40, 200, 90)};
  auto engine = makeEngine(0, 28, 450, 7, 2);
  for (int n = 0; n < 2; ++n) engine->insertPicture(frames::uniformPicture(colours[n]), n);
  const int places[][4] = {{60, 60, 90, 40}, {180, 80, 150, 120}, {120, 190, 100, 150}};
  for (const auto& place : places) {
    engine->movePoint(1, engine->addPoint(0, place[0], place[1]), place[2], place[3]);
  }
  ASSERT_EQ(engine->preparePlayback(), 0);
  for (int frame = 0; frame < 10; ++frame) {
    // Transitions 0 to 1, then 1 to 0: the source is the picture the transition left.
    const uint16_t source = colours[engine->fromPicture->index];
    const uint16_t target = colours[engine->toPicture->index];
    const double alpha = static_cast<int>(engine->fadeAlpha) / 255.0;
    engine->playFrame();

    // The grid's outline stays on the edge of the square, 0 to 255 x 450/256 = 448.24: every
    // pixel whose centre lies inside is covered.
    const std::vector<uint16_t> square = playSquareOf(*engine);
    const uint16_t colour = square[0];
    int differing = 0;
    for (int y = 0; y < 448; ++y) {
      for (int x = 0; x < 448; ++x) differing += square[y * 450 + x] != colour;
    }
    EXPECT_EQ(differing, 0) << "frame " << frame << ": "
                            << frames::keepForInspection("uniform_frame" + std::to_string(frame),
                                                         square.data(), square.data(), 450, 450);
    for (const ChannelField& channel : kChannels) {
      const double expected = ((source >> channel.shift) & channel.mask) * alpha +
                              ((target >> channel.shift) & channel.mask) * (1 - alpha);
      EXPECT_LE(std::fabs(((colour >> channel.shift) & channel.mask) - expected), 0.75)
          << "frame " << frame << " channel " << channel.shift;
    }
  }
  engine->endPlayback();
}

// The frame written as a TGA file is the play square read back from the display: its top-left
// pixel is the first pixel of the file's last row.
TEST_P(PlayedFrames, TheReadBackTopLeftPixelLandsInTheTgaFilesLastRow) {
  auto engine = makeEngine(2, 15, 256, 1, 0);  // 512x384 with the square at (128, 64)
  ASSERT_EQ(engine->preparePlayback(), 0);
  engine->playFrame();
  const std::vector<uint16_t> square = playSquareOf(*engine);
  // At play size 256 the square shows the picture pixel for pixel.
  ASSERT_EQ(square[0], engine->pictures[0].image->pixels[0]);
  testing_support::TempDir folder;
  engine->saveFrameTga(folder.file("OUT00000.TGA"));
  const std::vector<uint8_t> file = testing_support::readBytes(folder.file("OUT00000.TGA"));
  ASSERT_EQ(file.size(), 18u + 3u * 256 * 256);
  auto filePixel = [&file](int row, int column) {
    const uint8_t* bgr = file.data() + 18 + 3 * (256 * row + column);
    return std::vector<uint8_t>(bgr, bgr + 3);
  };
  auto asBgr = [](uint16_t p) {
    return std::vector<uint8_t>{static_cast<uint8_t>((p & 0x1F) << 3),
                                static_cast<uint8_t>(((p >> 5) & 0x3F) << 2),
                                static_cast<uint8_t>((p >> 11) << 3)};
  };
  EXPECT_EQ(filePixel(255, 0), asBgr(square[0]));
  EXPECT_EQ(filePixel(255, 7), asBgr(square[7]));
  EXPECT_EQ(filePixel(0, 0), asBgr(square[255 * 256]));
  engine->endPlayback();
}

INSTANTIATE_FOR_EVERY_RASTER_PATH(PlayedFrames);

// ---- Single cells through the display part ------------------------------------------------

using BoardFrames = BoardFixture;

// Alpha 255 shows only the picture drawn; alpha below 1 only what was there.
TEST_P(BoardFrames, AlphaAtTheEndsShowsOnePictureOnly) {
  open(256, GR_DITHER_2x2);
  const PictureSlot& target = addPicture(frames::photoPicture(40));
  const PictureSlot& source = addPicture(frames::photoPicture(41));
  const std::vector<MeshPoint> grid = frames::regularGrid(15);
  const std::vector<MeshQuad> quads = frames::gridQuads(15);
  drawCrossFade(grid, grid, target, grid, source, 0.99f, quads);
  display->swapBuffers();
  expectShowsPicture(playSquare(), *target.image, "alpha_below_1");
  drawCrossFade(grid, grid, target, grid, source, 255.0f, quads);
  display->swapBuffers();
  expectShowsPicture(playSquare(), *source.image, "alpha_255");
}

// A corner pulled off the screen is cut at the screen's edge: nothing appears at the far side.
TEST_P(BoardFrames, CellsOffTheScreenAreClippedNotWrapped) {
  open(450, GR_DITHER_DISABLE);  // 640x480, play square at (95, 15)
  const PictureSlot& picture = addPicture(frames::uniformPicture(0xFFFF));
  display->drawQuad(-300, -100, 100, -100, 100, 100, -300, 100, 0, 0, 255, 0, 255, 255, 0, 255,
                    255.0f, picture);
  display->drawQuad(400, 380, 900, 380, 900, 900, 400, 900, 0, 0, 255, 0, 255, 255, 0, 255, 255.0f,
                    picture);
  display->swapBuffers();
  const glide::Surface front = glide::testing::frontBuffer();
  for (int y = 0; y < front.height; ++y) {
    for (int x = 0; x < front.width; ++x) {
      const bool inFirst = x < 95 + 100 && y < 15 + 100;
      const bool inSecond = x >= 95 + 400 && y >= 15 + 380;
      ASSERT_EQ(front.pixels[y * front.width + x], (inFirst || inSecond) ? 0xFFFF : 0)
          << x << ", " << y;
    }
  }
}

INSTANTIATE_FOR_EVERY_RASTER_PATH(BoardFrames);

}  // namespace
