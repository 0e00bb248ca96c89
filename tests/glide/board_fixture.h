// A started board with a mode open, driven through the engine's display part the way the
// sequencer drives it; run once for every rasteriser this CPU has.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "glide/board_testing.h"
#include "glide/glide_display.h"
#include "support/frame_pictures.h"

inline std::vector<glide::RasterPath> availableRasterPaths() {
  std::vector<glide::RasterPath> paths;
  GlideDisplay display;  // the board must run to be asked
  for (glide::RasterPath path : glide::kRasterPaths) {
    if (glide::testing::setRasterPath(path)) paths.push_back(path);
  }
  return paths;
}

inline std::string rasterPathName(const ::testing::TestParamInfo<glide::RasterPath>& info) {
  return glide::rasterPathName(info.param);
}

// The play square of the front buffer (the frame on display), rows from the top.
inline std::vector<uint16_t> playSquareOf(const GlideDisplay& display) {
  const glide::Surface front = glide::testing::frontBuffer();
  std::vector<uint16_t> square;
  for (int y = 0; y < display.viewSize; ++y) {
    const uint16_t* row = front.pixels + (display.originY + y) * front.width + display.originX;
    square.insert(square.end(), row, row + display.viewSize);
  }
  return square;
}

class BoardFixture : public ::testing::TestWithParam<glide::RasterPath> {
 protected:
  void SetUp() override {
    display = std::make_unique<GlideDisplay>();
    ASSERT_TRUE(glide::testing::setRasterPath(GetParam()));
  }
  void TearDown() override {
    glide::testing::refuseVideoModes(false);
    display.reset();
  }

  // Opens the mode for the play size with the programs' render state and the given dither.
  void open(int32_t playSize, GrDitherMode_t dither) {
    ASSERT_EQ(display->openDisplay(playSize), 0);
    display->setDitherMode(dither);
  }

  // A picture slot whose texture is on the board at the next free address.
  PictureSlot& addPicture(std::unique_ptr<PictureImage> image) {
    slots.push_back(std::make_unique<PictureSlot>());
    PictureSlot& slot = *slots.back();
    slot.image = std::move(image);
    display->downloadTexture(slot);
    return slot;
  }

  // One layer of a frame: every cell drawn as playFrame draws it, screen positions relative
  // to the play square, texture positions in picture pixels.
  void drawLayer(const std::vector<MeshPoint>& screen, const std::vector<MeshPoint>& texture,
                 const std::vector<MeshQuad>& quads, float alpha, const PictureSlot& picture) {
    for (const MeshQuad& quad : quads) drawCell(quad, screen, texture, alpha, picture);
  }

  // A frame as playFrame draws it: per cell, the target opaque, then the source over it.
  void drawCrossFade(const std::vector<MeshPoint>& screen, const std::vector<MeshPoint>& targetMesh,
                     const PictureSlot& target, const std::vector<MeshPoint>& sourceMesh,
                     const PictureSlot& source, float alpha, const std::vector<MeshQuad>& quads) {
    for (const MeshQuad& quad : quads) {
      drawCell(quad, screen, targetMesh, 255.0f, target);
      drawCell(quad, screen, sourceMesh, alpha, source);
    }
  }

  void drawCell(const MeshQuad& quad, const std::vector<MeshPoint>& screen,
                const std::vector<MeshPoint>& texture, float alpha, const PictureSlot& picture) {
    const MeshPoint& p0 = screen[quad.v[0]];
    const MeshPoint& p1 = screen[quad.v[1]];
    const MeshPoint& p2 = screen[quad.v[2]];
    const MeshPoint& p3 = screen[quad.v[3]];
    const MeshPoint& t0 = texture[quad.v[0]];
    const MeshPoint& t1 = texture[quad.v[1]];
    const MeshPoint& t2 = texture[quad.v[2]];
    const MeshPoint& t3 = texture[quad.v[3]];
    display->drawQuad(p0.x, p0.y, p1.x, p1.y, p2.x, p2.y, p3.x, p3.y, t0.x, t0.y, t1.x, t1.y, t2.x,
                      t2.y, t3.x, t3.y, alpha, picture);
  }

  std::vector<uint16_t> playSquare() { return playSquareOf(*display); }

  std::unique_ptr<GlideDisplay> display;
  std::vector<std::unique_ptr<PictureSlot>> slots;
};

#define INSTANTIATE_FOR_EVERY_RASTER_PATH(Suite)                                          \
  INSTANTIATE_TEST_SUITE_P(EveryPath, Suite, ::testing::ValuesIn(availableRasterPaths()), \
                           rasterPathName)
