// Whole frames as the sequencer draws them: each cell twice through drawQuad (the target
// opaque, the source over it), then the swap. A failed comparison keeps both frames as TGA.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "board_fixture.h"

namespace {

using frames::rgb565;

// The screen positions of a grid scaled to the play square (scale 1 at play size 256).
std::vector<MeshPoint> onScreen(const std::vector<MeshPoint>& mesh, float scale) {
  std::vector<MeshPoint> screen = mesh;
  for (MeshPoint& point : screen) {
    point.x *= scale;
    point.y *= scale;
  }
  return screen;
}

// Positions part of the way from one grid to another, as the frame stepping moves them.
std::vector<MeshPoint> between(const std::vector<MeshPoint>& from, const std::vector<MeshPoint>& to,
                               float fraction) {
  std::vector<MeshPoint> result = from;
  for (size_t v = 0; v < from.size(); ++v) {
    result[v].x = from[v].x + (to[v].x - from[v].x) * fraction;
    result[v].y = from[v].y + (to[v].y - from[v].y) * fraction;
  }
  return result;
}

int channelSteps(uint16_t a, uint16_t b, int shift, int mask) {
  return std::abs(((a >> shift) & mask) - ((b >> shift) & mask));
}

class BoardFrames : public BoardFixture {
 protected:
  // The play square's pixels against a picture, leaving out the last row and column, which
  // the mesh (0 to 255) does not cover.
  void expectShowsPicture(const PictureImage& picture, const std::string& name) {
    const std::vector<uint16_t> square = playSquare();
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
                        << frames::keepForInspection(name, square.data(), expected.data(), 256,
                                                     256);
  }
};

// Speed 1 with no control points is a slide show: every frame is the picture just reached,
// opaque and undistorted. When the quality divides 255 the grid lies on whole pixels, so every
// pixel must be exactly its texel, in every dither mode.
TEST_P(BoardFrames, SlideShowIsExactAtQualitiesDividing255) {
  const GrDitherMode_t dithers[] = {GR_DITHER_2x2, GR_DITHER_4x4, GR_DITHER_DISABLE};
  for (const int quality : {1, 3, 5, 15, 17, 51}) {
    for (const GrDitherMode_t dither : dithers) {
      open(256, dither);
      const PictureSlot* pictures[3] = {&addPicture(frames::photoPicture(quality)),
                                        &addPicture(frames::photoPicture(quality + 1)),
                                        &addPicture(frames::photoPicture(quality + 2))};
      const std::vector<MeshPoint> grid = frames::regularGrid(quality);
      const std::vector<MeshQuad> quads = frames::gridQuads(quality);
      for (int frame = 0; frame < 3; ++frame) {
        // A transition from the picture reached to the next, at its first frame: alpha 255.
        const PictureSlot& from = *pictures[frame % 3];
        const PictureSlot& to = *pictures[(frame + 1) % 3];
        drawCrossFade(grid, grid, to, grid, from, 255.0f, quads);
        display->swapBuffers();
        std::ostringstream name;
        name << "slide_show_q" << quality << "_dither" << dither << "_frame" << frame;
        expectShowsPicture(*from.image, name.str());
      }
      display->resetTextureMemory();
      display->closeDisplay();
      slots.clear();
    }
  }
}

// At quality 28 the grid falls between pixels, and the 1/16-pixel snapping moves the sampling
// up to 1/32 texel from each texel centre on each axis: every pixel is within one RGB565 step
// of its texel plus 1/32 of the jump to a neighbouring texel on each axis.
TEST_P(BoardFrames, SlideShowAtQuality28StaysWithinTheSnappingBound) {
  for (const GrDitherMode_t dither : {GR_DITHER_2x2, GR_DITHER_4x4, GR_DITHER_DISABLE}) {
    open(256, dither);
    const PictureSlot& picture = addPicture(frames::photoPicture(28));
    const std::vector<MeshPoint> grid = frames::regularGrid(28);
    drawCrossFade(grid, grid, picture, grid, picture, 255.0f, frames::gridQuads(28));
    display->swapBuffers();
    const std::vector<uint16_t> square = playSquare();
    const uint16_t* texels = picture.image->pixels;
    int outside = 0;
    int exact = 0;
    for (int y = 0; y < 255; ++y) {
      for (int x = 0; x < 255; ++x) {
        const uint16_t texel = texels[y * 256 + x];
        const uint16_t pixel = square[y * 256 + x];
        exact += pixel == texel;
        const struct { int shift, mask; } channels[] = {{11, 0x1F}, {5, 0x3F}, {0, 0x1F}};
        for (const auto& channel : channels) {
          int jump = 0;
          for (int ny = std::max(y - 1, 0); ny <= y + 1; ++ny) {
            for (int nx = std::max(x - 1, 0); nx <= x + 1; ++nx) {
              jump = std::max(
                  jump, channelSteps(texels[ny * 256 + nx], texel, channel.shift, channel.mask));
            }
          }
          // 1/32 texel on each axis: up to 2/32 of the jump on the diagonal.
          if (channelSteps(pixel, texel, channel.shift, channel.mask) > 1 + jump / 16.0) {
            ++outside;
          }
        }
      }
    }
    EXPECT_EQ(outside, 0) << "dither " << dither << ": "
                          << frames::keepForInspection("quality28_dither" + std::to_string(dither),
                                                       square.data(), texels, 256, 256);
    // Most pixels sit so close to their texel centre that they come out exact.
    EXPECT_GT(exact, 255 * 255 * 3 / 4);
    display->resetTextureMemory();
    display->closeDisplay();
    slots.clear();
  }
}

// Two one-colour pictures morphing through warped grids, without dither: every covered pixel
// of a frame has one colour (no seam, no pixel blended twice, no gap), the blend that the
// frame's alpha asks for.
TEST_P(BoardFrames, OneColourPicturesMorphInUniformFrames) {
  open(450, GR_DITHER_DISABLE);
  const uint16_t targetColour = rgb565(40, 200, 90);
  const uint16_t sourceColour = rgb565(250, 30, 170);
  const PictureSlot& target = addPicture(frames::uniformPicture(targetColour));
  const PictureSlot& source = addPicture(frames::uniformPicture(sourceColour));
  const int quality = 28;
  const float scale = 450.0f / 256.0f;
  const std::vector<MeshPoint> fromMesh = frames::warpedGrid(quality, 1.0, 0.0);
  const std::vector<MeshPoint> toMesh = frames::warpedGrid(quality, 1.0, 2.0);
  const std::vector<MeshQuad> quads = frames::gridQuads(quality);
  const int speed = 7;
  for (int frame = 0; frame < speed; ++frame) {
    const float alpha = 255.0f - 255.0f * static_cast<float>(frame) / speed;
    const std::vector<MeshPoint> screen =
        onScreen(between(fromMesh, toMesh, static_cast<float>(frame) / speed), scale);
    drawCrossFade(screen, toMesh, target, fromMesh, source, alpha, quads);
    display->swapBuffers();

    // The grid's border stays on the square 0..255 x scale: pixels whose centres lie inside.
    const std::vector<uint16_t> square = playSquare();
    const int covered = static_cast<int>(std::ceil(255.0f * scale - 0.5f));
    const uint16_t colour = square[0];
    int differing = 0;
    for (int y = 0; y < covered; ++y) {
      for (int x = 0; x < covered; ++x) differing += square[y * 450 + x] != colour;
    }
    EXPECT_EQ(differing, 0) << "frame " << frame << ": "
                            << frames::keepForInspection("uniform_frame" + std::to_string(frame),
                                                         square.data(), square.data(), 450, 450);
    const double a = static_cast<int>(alpha) / 255.0;
    const struct { int shift, mask; } channels[] = {{11, 0x1F}, {5, 0x3F}, {0, 0x1F}};
    for (const auto& channel : channels) {
      const double expected = ((sourceColour >> channel.shift) & channel.mask) * a +
                              ((targetColour >> channel.shift) & channel.mask) * (1 - a);
      EXPECT_LE(std::fabs(((colour >> channel.shift) & channel.mask) - expected), 0.75)
          << "frame " << frame << " channel " << channel.shift;
    }
  }
}

// Alpha 255 shows only the picture drawn; alpha below 1 only what was there.
TEST_P(BoardFrames, AlphaAtTheEndsShowsOnePictureOnly) {
  open(256, GR_DITHER_2x2);
  const PictureSlot& target = addPicture(frames::photoPicture(40));
  const PictureSlot& source = addPicture(frames::photoPicture(41));
  const std::vector<MeshPoint> grid = frames::regularGrid(15);
  const std::vector<MeshQuad> quads = frames::gridQuads(15);
  drawCrossFade(grid, grid, target, grid, source, 0.99f, quads);
  display->swapBuffers();
  expectShowsPicture(*target.image, "alpha_below_1");
  drawCrossFade(grid, grid, target, grid, source, 255.0f, quads);
  display->swapBuffers();
  expectShowsPicture(*source.image, "alpha_255");
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

// The frame read back for a TGA file starts at the play square's top-left pixel.
TEST_P(BoardFrames, ReadBackStartsAtThePlaySquaresTopLeftPixel) {
  open(450, GR_DITHER_2x2);
  const PictureSlot& picture = addPicture(frames::photoPicture(7));
  display->drawQuad(0, 0, 256, 0, 256, 256, 0, 256, 0, 0, 256, 0, 256, 256, 0, 256, 255.0f,
                    picture);
  display->swapBuffers();
  std::vector<uint16_t> area(450 * 450);
  grLfbReadRegion(GR_BUFFER_FRONTBUFFER, display->originX, display->originY, 450, 450, 900,
                  area.data());
  EXPECT_EQ(area, playSquare());
  EXPECT_EQ(area[0], picture.image->pixels[0]);
  EXPECT_EQ(area[255 * 450 + 1], picture.image->pixels[255 * 256 + 1]);
  EXPECT_EQ(area[449 * 450], 0);
}

INSTANTIATE_FOR_EVERY_RASTER_PATH(BoardFrames);

}  // namespace
