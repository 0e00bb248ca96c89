// The board's rules, tested through the Glide calls: modes and buffers, the fill rule,
// texel centres and wrapping, the blend, the dither, clipping, read-back, texture memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "board_fixture.h"
#include "glide/call_log.h"

namespace {

using frames::rgb565;

GrVertex vertex(float x, float y, float s, float t) {
  GrVertex v{};
  v.x = x;
  v.y = y;
  v.oow = 1.0f;
  v.tmuvtx[0] = {s, t, 1.0f};
  return v;
}

// An axis-aligned rectangle of screen pixels mapped onto the texture with an offset, as two
// triangles split along the diagonal the way drawQuad splits a cell.
void drawRectangle(float left, float top, float right, float bottom, float sOffset, float tOffset) {
  const GrVertex corners[4] = {
      vertex(left, top, left + sOffset, top + tOffset),
      vertex(right, top, right + sOffset, top + tOffset),
      vertex(right, bottom, right + sOffset, bottom + tOffset),
      vertex(left, bottom, left + sOffset, bottom + tOffset),
  };
  guDrawTriangleWithClip(&corners[0], &corners[1], &corners[2]);
  guDrawTriangleWithClip(&corners[0], &corners[2], &corners[3]);
}

GrTexInfo textureInfo(PictureImage& image) {
  return {GR_LOD_256, GR_LOD_256, GR_ASPECT_1x1, GR_TEXFMT_RGB_565, image.pixels};
}

// Every RGB565 value once: texel (x, y) holds y * 256 + x.
std::unique_ptr<PictureImage> everyColourPicture() {
  auto picture = std::make_unique<PictureImage>();
  for (int i = 0; i < kPicturePixels; ++i) picture->pixels[i] = static_cast<uint16_t>(i);
  return picture;
}

uint16_t pixelAt(const glide::Surface& surface, int x, int y) {
  return surface.pixels[y * surface.width + x];
}

uint32_t red5(uint16_t p) {
  return p >> 11;
}
uint32_t green6(uint16_t p) {
  return (p >> 5) & 0x3F;
}
uint32_t blue5(uint16_t p) {
  return p & 0x1F;
}

class BoardRules : public BoardFixture {
 protected:
  // Opens 512x384 (play size 256, origin 128, 64) without dither and selects the texture.
  const PictureSlot& openWithTexture(std::unique_ptr<PictureImage> image,
                                     GrDitherMode_t dither = GR_DITHER_DISABLE) {
    open(256, dither);
    PictureSlot& slot = addPicture(std::move(image));
    grTexSource(GR_TMU0, slot.texAddress, GR_MIPMAPLEVELMASK_BOTH, &slot.texInfo);
    grConstantColorValue(255);
    return slot;
  }
};

TEST_P(BoardRules, ModesOpenWithTwoBlackBuffersOfTheirSize) {
  const struct {
    GrScreenResolution_t resolution;
    FxU32 width, height;
  } modes[] = {{GR_RESOLUTION_512x384, 512, 384},     {GR_RESOLUTION_640x480, 640, 480},
               {GR_RESOLUTION_800x600, 800, 600},     {GR_RESOLUTION_1024x768, 1024, 768},
               {GR_RESOLUTION_1280x1024, 1280, 1024}, {GR_RESOLUTION_1600x1200, 1600, 1200}};
  openWithTexture(frames::uniformPicture(0xFFFF));
  for (const auto& mode : modes) {
    // Leave something in both buffers of the previous mode first.
    drawRectangle(0, 0, 300, 300, 0, 0);
    grBufferSwap(1);
    drawRectangle(0, 0, 300, 300, 0, 0);
    ASSERT_TRUE(grSstWinOpen(0, mode.resolution, GR_REFRESH_60Hz, GR_COLORFORMAT_RGBA,
                             GR_ORIGIN_UPPER_LEFT, 2, 0));
    EXPECT_EQ(grSstScreenWidth(), mode.width);
    EXPECT_EQ(grSstScreenHeight(), mode.height);
    for (const glide::Surface buffer :
         {glide::testing::frontBuffer(), glide::testing::backBuffer()}) {
      ASSERT_EQ(buffer.width, static_cast<int>(mode.width));
      ASSERT_EQ(buffer.height, static_cast<int>(mode.height));
      EXPECT_TRUE(std::all_of(buffer.pixels, buffer.pixels + buffer.width * buffer.height,
                              [](uint16_t p) { return p == 0; }));
    }
    // A new mode starts without a texture source and with alpha 0: set them again.
    const PictureSlot& slot = *slots.front();
    grTexSource(GR_TMU0, slot.texAddress, GR_MIPMAPLEVELMASK_BOTH,
                const_cast<GrTexInfo*>(&slot.texInfo));
    grConstantColorValue(255);
  }
}

TEST_P(BoardRules, RefusesModesItDoesNotHaveOrIsToldToRefuse) {
  auto openMode = [](GrScreenResolution_t resolution, int buffers = 2) {
    return grSstWinOpen(0, resolution, GR_REFRESH_60Hz, GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT,
                        buffers, 0);
  };
  EXPECT_FALSE(openMode(99));
  EXPECT_FALSE(openMode(GR_RESOLUTION_640x480, 1));
  glide::testing::refuseVideoMode(GR_RESOLUTION_640x480, true);
  EXPECT_FALSE(openMode(GR_RESOLUTION_640x480));
  EXPECT_TRUE(openMode(GR_RESOLUTION_512x384));
  glide::testing::refuseVideoMode(GR_RESOLUTION_640x480, false);
  EXPECT_TRUE(openMode(GR_RESOLUTION_640x480));
  glide::testing::refuseVideoModes(true);
  EXPECT_FALSE(openMode(GR_RESOLUTION_1600x1200));
}

// A warped grid with fractional vertices drawn at half alpha over black: a pixel blended twice
// would come out brighter, a gap stays black. The outer edges pass through pixel centres, so
// the top and left rows are in and the bottom and right ones out.
TEST_P(BoardRules, CellsTileWithoutGapsOrPixelsBlendedTwice) {
  openWithTexture(frames::uniformPicture(0xFFFF));
  const int quality = 23;
  const float offset = 0.5f;
  std::vector<MeshPoint> screen = frames::warpedGrid(quality, 1.2, 0.4);
  for (MeshPoint& point : screen) {
    point.x = std::round((point.x + offset) * 16.0f) / 16.0f;
    point.y = std::round((point.y + offset) * 16.0f) / 16.0f;
  }
  const std::vector<MeshQuad> quads = frames::gridQuads(quality);
  ASSERT_TRUE(std::all_of(quads.begin(), quads.end(), [&screen](const MeshQuad& quad) {
    return frames::isConvex(quad, screen);
  }));  // otherwise its two triangles would overlap, whatever the board does
  const std::vector<MeshPoint> texture = frames::regularGrid(quality);
  drawLayer(screen, texture, quads, 128.0f, *slots.front());
  grBufferSwap(1);

  const std::vector<uint16_t> square = playSquare();
  const uint16_t once = square[10 * 256 + 10];
  EXPECT_NE(once, 0);
  EXPECT_NE(once, 0xFFFF);
  int wrong = 0;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      // Covered: centre (x + 0.5) within [0.5, 255.5), the same for y.
      const bool inside = x < 255 && y < 255;
      const uint16_t expected = inside ? once : 0;
      if (square[y * 256 + x] != expected && ++wrong <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << square[y * 256 + x]
                      << ", expected " << expected;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_P(BoardRules, TexelCentresAreExactAndHalfwayMixesNeighbours) {
  // Columns alternate black and white; rows are all alike.
  auto stripes = std::make_unique<PictureImage>();
  for (int i = 0; i < kPicturePixels; ++i) stripes->pixels[i] = (i & 1) ? 0xFFFF : 0x0000;
  openWithTexture(std::move(stripes));

  drawRectangle(0, 0, 256, 64, 0.0f, 0.0f);      // pixel centres on texel centres
  drawRectangle(0, 64, 256, 128, 0.5f, 0.0f);    // half a texel to the right
  drawRectangle(0, 128, 256, 192, 0.25f, 0.0f);  // a quarter
  const glide::Surface back = glide::testing::backBuffer();
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(pixelAt(back, x, 10), (x & 1) ? 0xFFFF : 0x0000) << x;
    const uint16_t half = pixelAt(back, x, 100);
    EXPECT_TRUE(red5(half) == 15 || red5(half) == 16) << x << ": " << half;
    EXPECT_TRUE(green6(half) == 31 || green6(half) == 32) << x << ": " << half;
    // A quarter texel from a centre: three quarters of that texel, one of its neighbour.
    const uint16_t quarter = pixelAt(back, x, 150);
    const uint32_t expectedRed = (x & 1) ? 23 : 8;  // 31 * 3/4 = 23.25, 31 / 4 = 7.75
    EXPECT_EQ(red5(quarter), expectedRed) << x;
  }
}

TEST_P(BoardRules, TextureCoordinatesWrapAroundTheTexture) {
  openWithTexture(frames::photoPicture(3));
  drawRectangle(0, 0, 256, 256, 0.0f, 0.0f);
  const std::vector<uint16_t> plain(glide::testing::backBuffer().pixels,
                                    glide::testing::backBuffer().pixels + 512 * 384);
  for (const float shift : {256.0f, -256.0f, 1024.0f, -2560.0f}) {
    drawRectangle(0, 0, 256, 256, shift, -shift);
    const glide::Surface back = glide::testing::backBuffer();
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), back.pixels)) << "shift " << shift;
  }
  // A picture laid 1:1 at an offset shows its right part first, then its left part again.
  drawRectangle(0, 0, 256, 256, 200.0f, 0.0f);
  const glide::Surface back = glide::testing::backBuffer();
  const PictureImage& picture = *slots.front()->image;
  for (int x = 0; x < 256; ++x) {
    ASSERT_EQ(pixelAt(back, x, 17), picture.pixels[17 * 256 + (x + 200) % 256]) << x;
  }
}

TEST_P(BoardRules, BlendAt255IsTheSourceAndAt0TheDestination) {
  open(256, GR_DITHER_4x4);
  const PictureSlot& below = addPicture(frames::photoPicture(1));
  const PictureSlot& above = addPicture(frames::photoPicture(2));
  auto drawWith = [](const PictureSlot& slot, GrColor_t alpha) {
    grTexSource(GR_TMU0, slot.texAddress, GR_MIPMAPLEVELMASK_BOTH,
                const_cast<GrTexInfo*>(&slot.texInfo));
    grConstantColorValue(alpha);
    drawRectangle(0, 0, 256, 256, 0.0f, 0.0f);
  };
  auto picture = [](const PictureSlot& slot, int x, int y) {
    return slot.image->pixels[y * 256 + x];
  };
  drawWith(below, 255);
  drawWith(above, 0);
  glide::Surface back = glide::testing::backBuffer();
  for (int i = 0; i < 256 * 256; i += 7) {
    ASSERT_EQ(pixelAt(back, i % 256, i / 256), picture(below, i % 256, i / 256)) << i;
  }
  drawWith(above, 255);
  back = glide::testing::backBuffer();
  for (int i = 0; i < 256 * 256; i += 7) {
    ASSERT_EQ(pixelAt(back, i % 256, i / 256), picture(above, i % 256, i / 256)) << i;
  }
  // Halfway: between the two, rounded or dithered to a neighbouring step.
  drawWith(below, 255);
  drawWith(above, 128);
  back = glide::testing::backBuffer();
  for (int i = 0; i < 256 * 256; i += 7) {
    const uint16_t a = picture(below, i % 256, i / 256);
    const uint16_t b = picture(above, i % 256, i / 256);
    const uint16_t mixed = pixelAt(back, i % 256, i / 256);
    for (auto channel : {red5, green6, blue5}) {
      const double middle = (channel(a) + channel(b)) / 2.0;
      ASSERT_LE(std::fabs(channel(mixed) - middle), 1.0) << i << ": " << a << " " << b;
    }
  }
}

TEST_P(BoardRules, EveryRgb565ColourComesBackUnchangedInEveryDitherMode) {
  for (const GrDitherMode_t dither : {GR_DITHER_DISABLE, GR_DITHER_2x2, GR_DITHER_4x4}) {
    openWithTexture(everyColourPicture(), dither);
    drawRectangle(0, 0, 256, 256, 0.0f, 0.0f);
    const glide::Surface back = glide::testing::backBuffer();
    for (int i = 0; i < kPicturePixels; ++i) {
      ASSERT_EQ(pixelAt(back, i % 256, i / 256), i) << "dither mode " << dither;
    }
    display->closeDisplay();
    slots.clear();
    display->resetTextureMemory();
  }
}

// White over black at alpha 100 is 100/255 of full scale on every channel: 12.16 of 31 steps.
// Without dither every pixel rounds to 12; the matrices spread it over 12 and 13 so that the
// pattern's mean comes close.
TEST_P(BoardRules, DitherSpreadsAColourBetweenNeighbouringSteps) {
  const struct {
    GrDitherMode_t mode;
    int cell;
  } modes[] = {{GR_DITHER_DISABLE, 1}, {GR_DITHER_2x2, 2}, {GR_DITHER_4x4, 4}};
  for (const auto& mode : modes) {
    openWithTexture(frames::uniformPicture(0xFFFF), mode.mode);
    grConstantColorValue(100);
    drawRectangle(0, 0, 64, 64, 0.0f, 0.0f);  // over the black of a new mode
    const glide::Surface back = glide::testing::backBuffer();
    std::set<uint32_t> levels;
    double sum = 0;
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) {
        const uint16_t p = pixelAt(back, 8 + x, 8 + y);
        levels.insert(red5(p));
        sum += red5(p);
        EXPECT_EQ(red5(p), blue5(p));
        // The same pattern repeats every `cell` pixels.
        EXPECT_EQ(p, pixelAt(back, 8 + x % mode.cell + 16, 8 + y % mode.cell + 16));
      }
    }
    if (mode.cell == 1) {
      EXPECT_EQ(levels, (std::set<uint32_t>{12}));
    } else {
      EXPECT_EQ(levels, (std::set<uint32_t>{12, 13})) << "dither " << mode.mode;
      EXPECT_NEAR(sum / 16, 100.0 / 255.0 * 31.0, 0.5 / mode.cell) << "dither " << mode.mode;
    }
    display->closeDisplay();
    slots.clear();
    display->resetTextureMemory();
  }
}

TEST_P(BoardRules, TrianglesAreClippedAtTheScreenEdgeNotWrapped) {
  openWithTexture(frames::uniformPicture(0xFFFF));
  drawRectangle(-100.0f, 10.0f, 60.0f, 50.0f, 0.0f, 0.0f);     // off the left
  drawRectangle(480.0f, -70.0f, 600.0f, 20.0f, 0.0f, 0.0f);    // off the top right
  drawRectangle(200.0f, 350.0f, 230.0f, 1000.0f, 0.0f, 0.0f);  // off the bottom
  const glide::Surface back = glide::testing::backBuffer();
  int lit = 0;
  for (int y = 0; y < back.height; ++y) {
    for (int x = 0; x < back.width; ++x) {
      const bool expected = (x < 60 && y >= 10 && y < 50) || (x >= 480 && y < 20) ||
                            (x >= 200 && x < 230 && y >= 350);
      const uint16_t p = pixelAt(back, x, y);
      ASSERT_EQ(p, expected ? 0xFFFF : 0) << "(" << x << ", " << y << ")";
      lit += p != 0;
    }
  }
  EXPECT_EQ(lit, 60 * 40 + 32 * 20 + 30 * 34);
}

// Far-off vertices keep their exact shape: a screen-covering quad mapped 1:1 shows the texture
// tiled with every pixel on its texel.
TEST_P(BoardRules, HugeTrianglesStayExact) {
  openWithTexture(frames::photoPicture(5));
  drawRectangle(-100000.0f, -70000.0f, 150000.0f, 90000.0f, 0.0f, 0.0f);
  const glide::Surface back = glide::testing::backBuffer();
  const PictureImage& picture = *slots.front()->image;
  for (int y = 0; y < back.height; ++y) {
    for (int x = 0; x < back.width; ++x) {
      ASSERT_EQ(pixelAt(back, x, y), picture.pixels[(y % 256) * 256 + x % 256]) << x << "," << y;
    }
  }
}

TEST_P(BoardRules, TrianglesThatCannotBeDrawnLeaveTheFrameAlone) {
  openWithTexture(frames::uniformPicture(0xFFFF));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const GrVertex a = vertex(10, 10, 0, 0), b = vertex(100, 10, 90, 0), c = vertex(10, 100, 0, 90);
  const GrVertex bad[] = {
      vertex(nan, 10, 0, 0),    vertex(inf, 10, 0, 0),
      vertex(10, 10, nan, 0),   vertex(1e30f, 10, 0, 0),
      vertex(10, -1e30f, 0, 0), vertex(55, 10, 45, 0)};  // on the line a-b: no area
  for (const GrVertex& v : bad) guDrawTriangleWithClip(&a, &b, &v);
  guDrawTriangleWithClip(&a, &a, &a);
  guDrawTriangleWithClip(nullptr, &b, &c);
  const glide::Surface back = glide::testing::backBuffer();
  EXPECT_TRUE(std::all_of(back.pixels, back.pixels + back.width * back.height,
                          [](uint16_t p) { return p == 0; }));
}

// Drawing goes to the back buffer; the swap shows it; nothing is cleared, so the next back
// buffer still holds the frame before.
TEST_P(BoardRules, SwapShowsTheBackBufferAndNothingIsCleared) {
  openWithTexture(frames::uniformPicture(rgb565(255, 0, 0)));
  drawRectangle(0, 0, 10, 10, 0, 0);
  EXPECT_EQ(pixelAt(glide::testing::frontBuffer(), 5, 5), 0);
  grBufferSwap(1);
  EXPECT_EQ(pixelAt(glide::testing::frontBuffer(), 5, 5), 0xF800);
  drawRectangle(20, 0, 30, 10, 0, 0);
  grBufferSwap(1);
  const glide::Surface front = glide::testing::frontBuffer();
  EXPECT_EQ(pixelAt(front, 25, 5), 0xF800);
  EXPECT_EQ(pixelAt(front, 5, 5), 0);  // that frame was drawn into the other buffer
  grBufferSwap(1);
  EXPECT_EQ(pixelAt(glide::testing::frontBuffer(), 5, 5), 0xF800);
  EXPECT_EQ(pixelAt(glide::testing::frontBuffer(), 25, 5), 0);
}

TEST_P(BoardRules, ReadBackCopiesTheFrontBufferRowsFromTheTopAndZerosOutside) {
  openWithTexture(everyColourPicture());
  drawRectangle(0, 0, 256, 256, 0, 0);
  drawRectangle(256, 0, 512, 256, -256, 0);  // the picture again up to the right edge
  grBufferSwap(1);
  // A 4 x 3 region reaching past the right edge of the 512-wide screen, with a wide stride.
  uint16_t out[3][6];
  std::fill(&out[0][0], &out[0][0] + 18, 0xABCD);
  ASSERT_TRUE(grLfbReadRegion(GR_BUFFER_FRONTBUFFER, 510, 1, 4, 3, sizeof out[0], out));
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(out[row][0], (1 + row) * 256 + 254);
    EXPECT_EQ(out[row][1], (1 + row) * 256 + 255);
    EXPECT_EQ(out[row][2], 0);
    EXPECT_EQ(out[row][3], 0);
    EXPECT_EQ(out[row][4], 0xABCD);  // the stride's gap is left alone
  }
  uint16_t square[8 * 8];
  ASSERT_TRUE(grLfbReadRegion(GR_BUFFER_FRONTBUFFER, 3, 2, 8, 8, 16, square));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(square[i], (2 + i / 8) * 256 + 3 + i % 8);
  ASSERT_TRUE(grLfbReadRegion(GR_BUFFER_BACKBUFFER, 3, 2, 8, 8, 16, square));
  EXPECT_EQ(square[0], 0);
}

TEST_P(BoardRules, TextureMemoryTakesWhatFitsAndIgnoresTheRest) {
  open(256, GR_DITHER_DISABLE);
  auto image = frames::photoPicture(9);
  GrTexInfo info = textureInfo(*image);
  const uint16_t* memory = glide::testing::textureMemory();
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(grTexMinAddress(GR_TMU0), glide::kTextureMinAddress);
  const uint32_t top = glide::kTextureMemoryBytes - glide::kTextureBytes;
  grTexDownloadMipMap(GR_TMU0, top, GR_MIPMAPLEVELMASK_BOTH, &info);
  EXPECT_TRUE(std::equal(image->pixels, image->pixels + kPicturePixels, memory + top / 2));

  // Past the top, below the minimum, at an odd address, or of another kind: nothing is written.
  auto other = frames::photoPicture(10);
  GrTexInfo otherInfo = textureInfo(*other);
  const std::vector<uint16_t> before(memory, memory + glide::kTextureMemoryBytes / 2);
  for (const uint32_t address : {top + 2, 0u, glide::kTextureMinAddress + 1, 0xFFFFFFF0u}) {
    grTexDownloadMipMap(GR_TMU0, address, GR_MIPMAPLEVELMASK_BOTH, &otherInfo);
  }
  GrTexInfo wrongKind = otherInfo;
  wrongKind.format = 3;
  grTexDownloadMipMap(GR_TMU0, glide::kTextureMinAddress, GR_MIPMAPLEVELMASK_BOTH, &wrongKind);
  grTexDownloadMipMap(GR_TMU0, glide::kTextureMinAddress, GR_MIPMAPLEVELMASK_BOTH, nullptr);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), memory));

  // A texture source outside texture memory draws nothing.
  grTexSource(GR_TMU0, top + 2, GR_MIPMAPLEVELMASK_BOTH, &info);
  grConstantColorValue(255);
  drawRectangle(0, 0, 256, 256, 0, 0);
  const glide::Surface back = glide::testing::backBuffer();
  EXPECT_TRUE(std::all_of(back.pixels, back.pixels + back.width * back.height,
                          [](uint16_t p) { return p == 0; }));
}

// A download copies the pixels at once: triangles drawn before it keep the old texture, and
// a later change of the caller's picture is not seen.
TEST_P(BoardRules, DownloadsTakeEffectInCallOrder) {
  open(256, GR_DITHER_DISABLE);
  auto image = frames::uniformPicture(0x001F);
  GrTexInfo info = textureInfo(*image);
  const uint32_t address = grTexMinAddress(GR_TMU0);
  grTexDownloadMipMap(GR_TMU0, address, GR_MIPMAPLEVELMASK_BOTH, &info);
  grTexSource(GR_TMU0, address, GR_MIPMAPLEVELMASK_BOTH, &info);
  grConstantColorValue(255);
  drawRectangle(0, 0, 10, 10, 0, 0);
  for (uint16_t& pixel : image->pixels) pixel = 0x07E0;
  drawRectangle(20, 0, 30, 10, 0, 0);
  grTexDownloadMipMap(GR_TMU0, address, GR_MIPMAPLEVELMASK_BOTH, &info);
  drawRectangle(40, 0, 50, 10, 0, 0);
  grBufferSwap(1);
  const glide::Surface front = glide::testing::frontBuffer();
  EXPECT_EQ(pixelAt(front, 5, 5), 0x001F);
  EXPECT_EQ(pixelAt(front, 25, 5), 0x001F);
  EXPECT_EQ(pixelAt(front, 45, 5), 0x07E0);
}

INSTANTIATE_FOR_EVERY_RASTER_PATH(BoardRules);

// ---- Start-up and shut-down, and the call log ---------------------------------------------------

TEST(BoardStartUp, NestedEnginesKeepTheBoardUntilTheLastShutdown) {
  auto outer = std::make_unique<GlideDisplay>();
  EXPECT_EQ(outer->textureBase, glide::kTextureMinAddress);
  {
    GlideDisplay inner;
    EXPECT_EQ(inner.textureBase, glide::kTextureMinAddress);
  }
  // The inner engine's shutdown left the board running for the outer one.
  ASSERT_EQ(outer->openDisplay(450), 0);
  PictureSlot slot;
  slot.image = frames::uniformPicture(0xFFFF);
  outer->downloadTexture(slot);
  outer->drawQuad(0, 0, 10, 0, 10, 10, 0, 10, 0, 0, 10, 0, 10, 10, 0, 10, 255.0f, slot);
  outer->swapBuffers();
  EXPECT_EQ(pixelAt(glide::testing::frontBuffer(), 95 + 5, 15 + 5), 0xFFFF);
  outer.reset();

  // Stopped: calls are harmless, the mode does not open, read-back gives zeros.
  EXPECT_FALSE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_RGBA,
                            GR_ORIGIN_UPPER_LEFT, 2, 0));
  GrVertex v[3] = {vertex(0, 0, 0, 0), vertex(9, 0, 9, 0), vertex(0, 9, 0, 9)};
  guDrawTriangleWithClip(&v[0], &v[1], &v[2]);
  grTexDownloadMipMap(GR_TMU0, glide::kTextureMinAddress, GR_MIPMAPLEVELMASK_BOTH, &slot.texInfo);
  grBufferSwap(1);
  uint16_t pixels[4] = {1, 2, 3, 4};
  EXPECT_FALSE(grLfbReadRegion(GR_BUFFER_FRONTBUFFER, 0, 0, 2, 2, 4, pixels));
  EXPECT_EQ(pixels[0] | pixels[1] | pixels[2] | pixels[3], 0);
  grSstWinClose();
  grGlideShutdown();  // one too many: nothing happens

  // A new start is fresh: empty texture memory, no mode open.
  GlideDisplay fresh;
  EXPECT_EQ(glide::testing::frontBuffer().pixels, nullptr);
  const uint16_t* memory = glide::testing::textureMemory();
  EXPECT_TRUE(std::all_of(memory, memory + glide::kTextureMemoryBytes / 2,
                          [](uint16_t p) { return p == 0; }));
}

TEST(CallLog, RecordsEveryCallWithItsArgumentsWhileItLives) {
  GlideDisplay display;
  ASSERT_EQ(display.openDisplay(256), 0);
  PictureSlot slot;
  slot.image = frames::uniformPicture(0x1234);
  display.downloadTexture(slot);
  {
    glide::CallLog log;
    display.drawQuad(1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18, 99.5f, slot);
    const std::vector<std::string> names = {"grTexSource", "grConstantColorValue",
                                            "guDrawTriangleWithClip", "guDrawTriangleWithClip"};
    ASSERT_EQ(log.names(), names);
    const double data = static_cast<double>(reinterpret_cast<uintptr_t>(slot.image->pixels));
    EXPECT_EQ(log.calls()[0].args,
              (std::vector<double>{0, glide::kTextureMinAddress, 3, 0, 0, 3, 10, data}));
    EXPECT_EQ(log.calls()[1].args, (std::vector<double>{99}));
    // Corners 0, 2, 3 of the second triangle: x, y, oow, sow, tow, tmu oow each.
    EXPECT_EQ(log.calls()[3].args, (std::vector<double>{129, 66, 1, 11, 12, 1, 133, 70, 1, 15, 16,
                                                        1, 135, 72, 1, 17, 18, 1}));
    log.clear();
    grTexSource(GR_TMU0, 0, 3, nullptr);
    uint16_t out[1];
    grLfbReadRegion(GR_BUFFER_FRONTBUFFER, 1, 2, 1, 1, 2, out);
    EXPECT_EQ(log.calls()[0].args, (std::vector<double>{0, 0, 3, 0}));
    EXPECT_EQ(log.calls()[1].args, (std::vector<double>{0, 1, 2, 1, 1, 2, 0}));
  }
  glide::CallLog later;
  grBufferSwap(1);
  EXPECT_EQ(later.names(), std::vector<std::string>{"grBufferSwap"});
}

}  // namespace
