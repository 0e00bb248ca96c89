// The Glide calls of the display part, recorded: start-up and shut-down, the video modes and
// their failure messages, the render state, the dither, texture placement, the drawing of one
// cell and the end of a playback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/morph_engine.h"
#include "glide/board_testing.h"
#include "glide/call_log.h"
#include "playback_helpers.h"
#include "support/message_recorder.h"
#include "support/test_files.h"

namespace {

using namespace playback_test;
using testing_support::MessageRecorder;
using Args = std::vector<double>;

// Exactly one message was shown: `text` under the engine's error caption, with OK alone.
void expectOneError(const MessageRecorder& recorder, const std::string& text) {
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text, text);
  EXPECT_EQ(recorder.messages()[0].caption, "Error   ;-(");
  EXPECT_EQ(recorder.messages()[0].buttons, platform::Buttons::Ok);
}

double addressOf(const void* pointer) {
  return static_cast<double>(reinterpret_cast<uintptr_t>(pointer));
}

TEST(GlideStartUp, StartsTheBoardInOrderAndShutsItDownOnceAtTheEnd) {
  CallLog log;
  {
    MorphEngine engine;
    ASSERT_EQ(log.names(), (std::vector<std::string>{"grGlideInit", "grSstQueryHardware",
                                                     "grSstSelect", "grTexMinAddress"}));
    EXPECT_EQ(log.calls()[2].args, Args{0});
    EXPECT_EQ(log.calls()[3].args, Args{GR_TMU0});
    EXPECT_EQ(engine.textureBase, grTexMinAddress(GR_TMU0));
    EXPECT_TRUE(callsNamed(log, "grGlideShutdown").empty());
  }
  EXPECT_EQ(callsNamed(log, "grGlideShutdown").size(), 1u);
}

class DisplayTest : public ::testing::Test {
 protected:
  void TearDown() override { glide::testing::refuseVideoModes(false); }
  MorphEngine engine;
  CallLog log;
};

// Each play size opens the smallest mode whose height holds the square, centred on it.
TEST_F(DisplayTest, PlaySizeChoosesTheModeAndCentresThePlaySquare) {
  struct Case {
    int32_t playSize;
    GrScreenResolution_t resolution;
    int32_t viewSize, originX, originY;
  };
  const Case cases[] = {
      {450, GR_RESOLUTION_640x480, 450, 95, 15},     {384, GR_RESOLUTION_512x384, 384, 64, 0},
      {385, GR_RESOLUTION_640x480, 385, 127, 47},    {10, GR_RESOLUTION_512x384, 10, 251, 187},
      {0, GR_RESOLUTION_512x384, 10, 251, 187},      {-40, GR_RESOLUTION_512x384, 10, 251, 187},
      {480, GR_RESOLUTION_640x480, 480, 80, 0},      {481, GR_RESOLUTION_800x600, 481, 159, 59},
      {600, GR_RESOLUTION_800x600, 600, 100, 0},     {601, GR_RESOLUTION_1024x768, 601, 211, 83},
      {768, GR_RESOLUTION_1024x768, 768, 128, 0},    {769, GR_RESOLUTION_1280x1024, 769, 255, 127},
      {1024, GR_RESOLUTION_1280x1024, 1024, 128, 0}, {1025, GR_RESOLUTION_1600x1200, 1025, 287, 87},
      {1200, GR_RESOLUTION_1600x1200, 1200, 200, 0}, {5000, GR_RESOLUTION_1600x1200, 1200, 200, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.playSize);
    log.clear();
    ASSERT_EQ(engine.openDisplay(c.playSize), 0);
    const std::vector<GlideCall> opens = callsNamed(log, "grSstWinOpen");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].args, (Args{0, static_cast<double>(c.resolution), GR_REFRESH_60Hz,
                                   GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2, 0}));
    EXPECT_EQ(engine.viewSize, c.viewSize);
    EXPECT_EQ(engine.originX, c.originX);
    EXPECT_EQ(engine.originY, c.originY);
    engine.endPlayback();
  }
}

TEST_F(DisplayTest, OpeningSetsTheRenderStateInItsOrderAndRoundsToNearest) {
  std::fesetround(FE_UPWARD);  // as some library loaded into the process might leave it
  ASSERT_EQ(engine.openDisplay(450), 0);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);

  const std::vector<GlideCall> expected = {
      {"grSstWinOpen",
       {0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT, 2,
        0}},
      {"grSstScreenWidth", {}},
      {"grSstScreenHeight", {}},
      {"grRenderBuffer", {1}},
      {"grCullMode", {0}},
      {"grTexFilterMode", {0, 1, 1}},
      {"grTexCombine", {0, 1, 0, 1, 0, 0, 0}},
      {"grAlphaCombine", {3, 8, 1, 2, 0}},
      {"grColorCombine", {1, 0, 0, 1, 0}},
      {"grAlphaBlendFunction", {1, 4, 0, 0}},
      {"grAlphaBlendFunction", {1, 5, 0, 0}},
      {"guColorCombineFunction", {4}},
  };
  ASSERT_EQ(log.calls().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log.calls()[i].name, expected[i].name);
    EXPECT_EQ(log.calls()[i].args, expected[i].args);
  }
}

TEST_F(DisplayTest, ARefusedModeShowsItsMessageAndChangesNothingElse) {
  struct Case {
    int32_t playSize;
    const char* text;
    int32_t viewSize;
  };
  const Case cases[] = {
      {300, " Couldn't set 3dfx videomode 512x384.", 300},
      {-3, " Couldn't set 3dfx videomode 512x384.", 10},
      {450, " Couldn't set 3dfx videomode 640x480.", 450},
      {500, " Couldn't set 3dfx videomode 800x600.", 500},
      {700, " Couldn't set 3dfx videomode 1024x768.", 700},
      {900, " Couldn't set 3dfx videomode 1280x1024.", 900},
      {1100, " Couldn't set 3dfx videomode 1600x1200.", 1100},
      {5000, " Couldn't set 3dfx videomode 1600x1200.", 1200},
  };
  glide::testing::refuseVideoModes(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.playSize);
    MessageRecorder recorder;
    engine.originX = 7;
    engine.originY = 9;
    log.clear();
    EXPECT_EQ(engine.openDisplay(c.playSize), 1);
    expectOneError(recorder, c.text);
    EXPECT_EQ(log.names(), std::vector<std::string>{"grSstWinOpen"});
    EXPECT_EQ(engine.viewSize, c.viewSize);
    EXPECT_EQ(engine.originX, 7);
    EXPECT_EQ(engine.originY, 9);
  }
}

TEST_F(DisplayTest, ARefusedModeStopsThePreparationBeforeDitherAndTextures) {
  addPictures(engine, 2);
  engine.playSize = 700;
  glide::testing::refuseVideoMode(GR_RESOLUTION_1024x768, true);
  MessageRecorder recorder;
  log.clear();
  EXPECT_EQ(engine.preparePlayback(), 1);
  glide::testing::refuseVideoMode(GR_RESOLUTION_1024x768, false);
  expectOneError(recorder, " Couldn't set 3dfx videomode 1024x768.");
  EXPECT_EQ(log.names(), std::vector<std::string>{"grSstWinOpen"});

  // The next mode is set as usual.
  engine.playSize = 600;
  EXPECT_EQ(engine.preparePlayback(), 0);
  engine.endPlayback();
}

TEST_F(DisplayTest, DitherSettingMapsToTheGlideModeOrToNoCall) {
  addPictures(engine, 2);
  struct Case {
    int32_t setting;
    std::vector<Args> calls;
  };
  const Case cases[] = {{0, {{GR_DITHER_2x2}}},
                        {1, {{GR_DITHER_4x4}}},
                        {2, {{GR_DITHER_DISABLE}}},
                        {3, {}},
                        {-1, {}},
                        {1000, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    engine.ditherMode = c.setting;
    log.clear();
    ASSERT_EQ(engine.preparePlayback(), 0);
    std::vector<Args> dithers;
    for (const GlideCall& call : callsNamed(log, "grDitherMode")) dithers.push_back(call.args);
    EXPECT_EQ(dithers, c.calls);
    if (!c.calls.empty()) {
      // Right after the render state, before the first texture goes down.
      const std::vector<std::string> names = log.names();
      const auto dither = std::find(names.begin(), names.end(), "grDitherMode");
      EXPECT_EQ(*(dither - 1), "guColorCombineFunction");
      EXPECT_EQ(*(dither + 1), "grTexDownloadMipMap");
    }
    engine.endPlayback();
  }
}

// Picture k goes to the lowest address plus k * 0x20000; ending a playback hands the memory
// back, so the next playback places its pictures from the bottom again.
TEST_F(DisplayTest, PicturesGoToConsecutiveBlocksFromTheLowestAddressEveryPlayback) {
  addPictures(engine, 3);
  const uint32_t lowest = grTexMinAddress(GR_TMU0);
  for (int playback = 0; playback < 2; ++playback) {
    SCOPED_TRACE(playback);
    log.clear();
    ASSERT_EQ(engine.preparePlayback(), 0);
    const std::vector<GlideCall> downloads = callsNamed(log, "grTexDownloadMipMap");
    ASSERT_EQ(downloads.size(), 3u);
    for (int k = 0; k < 3; ++k) {
      const double address = lowest + k * 0x20000;
      EXPECT_EQ(engine.pictures[k].texAddress, address);
      EXPECT_EQ(downloads[k].args,
                (Args{GR_TMU0, address, GR_MIPMAPLEVELMASK_BOTH, GR_LOD_256, GR_LOD_256,
                      GR_ASPECT_1x1, GR_TEXFMT_RGB_565, addressOf(engine.getPictureImage(k))}));
    }
    EXPECT_EQ(engine.textureBase, lowest + 3 * 0x20000);

    log.clear();
    engine.endPlayback();
    EXPECT_EQ(log.names(), (std::vector<std::string>{"grTexMinAddress", "grSstWinClose"}));
    EXPECT_EQ(engine.textureBase, lowest);
  }
}

class DrawQuadTest : public DisplayTest {
 protected:
  void SetUp() override {
    addPictures(engine, 2);
    ASSERT_EQ(engine.preparePlayback(), 0);  // play size 450: origin (95, 15)
    log.clear();
  }
  void TearDown() override { engine.endPlayback(); }

  void drawSquare(float left, float top, float alpha, int picture) {
    engine.drawQuad(left, top, left + 10.0f, top, left + 10.0f, top + 10.0f, left, top + 10.0f,
                    1.5f, 2.5f, 11.5f, 2.5f, 11.5f, 12.5f, 1.5f, 12.5f, alpha,
                    engine.pictures[picture]);
  }
};

TEST_F(DrawQuadTest, SelectsTheTextureSetsTheAlphaAndSplitsAlongCornerZeroToTwo) {
  drawSquare(0.0f, 0.0f, 127.9f, 1);
  ASSERT_EQ(log.names(),
            (std::vector<std::string>{"grTexSource", "grConstantColorValue",
                                      "guDrawTriangleWithClip", "guDrawTriangleWithClip"}));
  const PictureSlot& picture = engine.pictures[1];
  EXPECT_EQ(
      log.calls()[0].args,
      (Args{GR_TMU0, static_cast<double>(picture.texAddress), GR_MIPMAPLEVELMASK_BOTH, GR_LOD_256,
            GR_LOD_256, GR_ASPECT_1x1, GR_TEXFMT_RGB_565, addressOf(engine.getPictureImage(1))}));
  EXPECT_EQ(log.calls()[1].args, Args{127});

  // Corner (0, 0) of the play square lands exactly on screen pixel (95, 15).
  const double xs[4] = {95, 105, 105, 95};
  const double ys[4] = {15, 15, 25, 25};
  const double ss[4] = {1.5, 11.5, 11.5, 1.5};
  const double ts[4] = {2.5, 2.5, 12.5, 12.5};
  const int triangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
  for (int t = 0; t < 2; ++t) {
    for (int i = 0; i < 3; ++i) {
      const int corner = triangles[t][i];
      SCOPED_TRACE(corner);
      const Corner drawn = cornerOf(log.calls()[2 + t], i);
      EXPECT_EQ(drawn.x, xs[corner]);
      EXPECT_EQ(drawn.y, ys[corner]);
      EXPECT_EQ(drawn.oow, 1.0);
      EXPECT_EQ(drawn.s, ss[corner]);
      EXPECT_EQ(drawn.t, ts[corner]);
      EXPECT_EQ(drawn.tmuOow, 1.0);
    }
  }
}

// The alpha is truncated toward zero; a negative one (the end of an enormously long transition)
// draws as 0, never as the low byte of a negative number.
TEST_F(DrawQuadTest, AlphaIsTruncatedAndNeverNegative) {
  const std::pair<float, double> cases[] = {
      {255.0f, 255}, {254.99f, 254}, {127.9f, 127}, {2.55f, 2}, {1.0f, 1},     {0.99f, 0},
      {0.5f, 0},     {0.0f, 0},      {-0.5f, 0},    {-1.0f, 0}, {-1.4332f, 0}, {-3e5f, 0},
  };
  for (const auto& [alpha, constant] : cases) {
    SCOPED_TRACE(alpha);
    log.clear();
    drawSquare(0.0f, 0.0f, alpha, 0);
    const std::vector<GlideCall> constants = callsNamed(log, "grConstantColorValue");
    ASSERT_EQ(constants.size(), 1u);
    EXPECT_EQ(constants[0].args, Args{constant});
  }
}

// Corners land on the nearest 1/16 pixel, ties to even, from the play square's origin.
TEST_F(DrawQuadTest, CornersSnapToTheNearestSixteenthOfAPixel) {
  engine.originX = 0;
  engine.originY = 0;
  const std::pair<float, double> cases[] = {
      {195.03f, 195.0}, {195.05f, 195.0625}, {100.03125f, 100.0}, {100.09375f, 100.125},
      {-3.3f, -3.3125}, {0.0f, 0.0},         {1599.97f, 1600.0},  {7.96875f, 8.0},
  };
  for (const auto& [position, snapped] : cases) {
    SCOPED_TRACE(position);
    log.clear();
    engine.drawQuad(position, position, position, position, position, position, position, position,
                    0, 0, 0, 0, 0, 0, 0, 0, 255.0f, engine.pictures[0]);
    for (const GlideCall& triangle : callsNamed(log, "guDrawTriangleWithClip")) {
      for (int corner = 0; corner < 3; ++corner) {
        EXPECT_EQ(cornerOf(triangle, corner).x, snapped);
        EXPECT_EQ(cornerOf(triangle, corner).y, snapped);
      }
    }
  }
  // With the default origin the sum is rounded to a float first, then snapped.
  engine.originX = 95;
  engine.originY = 15;
  log.clear();
  drawSquare(0.03f, 0.0f, 255.0f, 0);
  EXPECT_EQ(cornerOf(callsNamed(log, "guDrawTriangleWithClip")[0], 0).x, 95.0);
  EXPECT_EQ(cornerOf(callsNamed(log, "guDrawTriangleWithClip")[0], 1).x, 105.0);
}

TEST_F(DrawQuadTest, SwapShowsTheBackBufferAtTheNextRefresh) {
  engine.swapBuffers();
  ASSERT_EQ(log.calls().size(), 1u);
  EXPECT_EQ(log.calls()[0].name, "grBufferSwap");
  EXPECT_EQ(log.calls()[0].args, Args{1});
}

// A saved frame is read back from the front buffer, the frame on display: the play square.
TEST_F(DrawQuadTest, ASavedFrameIsReadFromTheFrontBuffersPlaySquare) {
  const testing_support::TempDir directory;
  engine.saveFrameTga(directory.file("OUT00000.TGA"));
  const std::vector<GlideCall> reads = callsNamed(log, "grLfbReadRegion");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].args, (Args{GR_BUFFER_FRONTBUFFER, 95, 15, 450, 450, 900, 0}));
}

}  // namespace
