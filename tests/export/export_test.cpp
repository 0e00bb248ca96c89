// The export read back with real decoders and held against the board's own frames.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "decoded_files.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "export/morph_export.h"
#include "support/test_files.h"
#include "support/test_pictures.h"

namespace export_test {
namespace {

namespace fs = std::filesystem;
using morph_export::Settings;
using testing_support::TempDir;

using Pixels = std::vector<uint16_t>;

// Three gradient pictures whose one control point moves from picture to picture, so that the
// frames warp as well as fade.
void makeProject(MorphEngine& engine, int32_t speed, int32_t size, int32_t mode = 0) {
  engine.clearProject();
  for (int n = 0; n < 3; ++n) {
    engine.insertPicture(testing_support::gradientPicture(static_cast<uint32_t>(n + 1)), n);
  }
  engine.addPoint(0, 128, 128);
  engine.movePoint(1, 0, 90, 150);
  engine.movePoint(2, 0, 170, 100);
  engine.quality = 8;
  engine.speed = speed;
  engine.playSize = size;
  engine.playMode = mode;
}

// The board's frames as `kzmtool render` draws them.
std::vector<Pixels> boardFrames(MorphEngine& engine, const Settings& settings, int64_t count) {
  morph_export::FramePlayback playback;
  std::string why;
  EXPECT_TRUE(playback.start(engine, settings.dither, settings.seed, settings.size, why)) << why;
  std::vector<Pixels> frames(static_cast<size_t>(count));
  for (Pixels& frame : frames) EXPECT_TRUE(playback.next(frame, why)) << why;
  return frames;
}

// The TGA files' widening: each channel shifted up, low bits 0.
std::vector<uint8_t> rgbOf(const Pixels& frame) {
  std::vector<uint8_t> rgb;
  for (uint16_t p : frame) {
    rgb.push_back(static_cast<uint8_t>((p >> 11) << 3));
    rgb.push_back(static_cast<uint8_t>(((p >> 5) & 0x3F) << 2));
    rgb.push_back(static_cast<uint8_t>((p & 0x1F) << 3));
  }
  return rgb;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<double>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return psnr(a, std::vector<double>(b.begin(), b.end()));
}

// BT.709 luma in the video range, of the frame with its last row and column repeated to
// `even` pixels a side.
std::vector<double> lumaOf(const Pixels& frame, int side, int even) {
  const std::vector<uint8_t> rgb = rgbOf(frame);
  std::vector<double> luma;
  for (int y = 0; y < even; ++y) {
    for (int x = 0; x < even; ++x) {
      const uint8_t* p = &rgb[3 * (static_cast<size_t>(std::min(y, side - 1)) * side +
                                   static_cast<size_t>(std::min(x, side - 1)))];
      luma.push_back(16 + 219 * (0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]) / 255);
    }
  }
  return luma;
}

class Export : public ::testing::Test {
 protected:
  bool run(const std::string& target, const Settings& settings,
           const morph_export::Progress& progress = {}) {
    why_.clear();
    return morph_export::exportMorph(engine_, target, settings, progress, summary_, why_);
  }

  // Nothing but `expected` in the folder: no temporaries left behind.
  void expectOnly(const std::vector<std::string>& expected) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp_.path())) {
      names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
  }

  MorphEngine engine_;
  TempDir temp_;
  morph_export::Summary summary_;
  std::string why_;
};

TEST_F(Export, EveryFormatHoldsTheBoardsFrames) {
  makeProject(engine_, 4, 450);
  Settings settings;
  settings.size = 63;  // odd: the videos get a 64th row and column
  const std::vector<Pixels> board = boardFrames(engine_, settings, 12);

  ASSERT_TRUE(run(temp_.file("frames/"), settings)) << why_;
  EXPECT_EQ(summary_.frames, 12);
  for (int k = 0; k < 12; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "frames/frame%05d.png", k);
    const DecodedFrame png = readPng(temp_.file(name));
    ASSERT_EQ(png.width, 63);
    EXPECT_EQ(png.rgb, rgbOf(board[k])) << "frame " << k;
  }
  EXPECT_FALSE(fs::exists(temp_.file("frames/frame00012.png")));

  for (const char* name : {"morph.mp4", "morph.webm"}) {
    ASSERT_TRUE(run(temp_.file(name), settings)) << why_;
    const DecodedFile video = decodeWithFfmpeg(temp_.file(name));
    ASSERT_EQ(video.frames.size(), 12u) << name << video.error;
    EXPECT_EQ(video.fps, 60);
    for (int k = 0; k < 12; ++k) {
      ASSERT_EQ(video.frames[k].width, 64);
      EXPECT_GE(psnr(video.frames[k].luma, lumaOf(board[k], 63, 64)), 38) << name << k;
    }
  }

  settings.quality = 100;  // lossless
  ASSERT_TRUE(run(temp_.file("morph.webp"), settings)) << why_;
  DecodedFile webp = decodeWebp(temp_.file("morph.webp"));
  ASSERT_EQ(webp.frames.size(), 12u) << webp.error;
  EXPECT_EQ(webp.loopCount, 0);
  for (int k = 0; k < 12; ++k) {
    EXPECT_EQ(webp.frames[k].rgb, rgbOf(board[k])) << "frame " << k;
    EXPECT_EQ(webp.frames[k].duration, std::llround((k + 1) * 1000 / 60.0) - std::llround(k * 1000 / 60.0));
  }
  settings.quality = -1;
  ASSERT_TRUE(run(temp_.file("lossy.webp"), settings)) << why_;
  webp = decodeWebp(temp_.file("lossy.webp"));
  ASSERT_EQ(webp.frames.size(), 12u) << webp.error;
  for (int k = 0; k < 12; ++k) EXPECT_GE(psnr(webp.frames[k].rgb, rgbOf(board[k])), 30) << k;
}

TEST_F(Export, GifHasOnePaletteWholeHundredthsAndLoops) {
  makeProject(engine_, 5, 40);
  Settings settings;
  settings.fps = 30;
  const std::vector<Pixels> board = boardFrames(engine_, settings, 15);
  ASSERT_TRUE(run(temp_.file("morph.gif"), settings)) << why_;
  EXPECT_EQ(summary_.fps, 30);
  DecodedFile gif = decodeWithFfmpeg(temp_.file("morph.gif"));
  ASSERT_EQ(gif.frames.size(), 15u) << gif.error;
  int64_t hundredths = 0;
  for (int k = 0; k < 15; ++k) {
    EXPECT_GE(psnr(gif.frames[k].rgb, rgbOf(board[k])), 28) << k;
    EXPECT_GE(gif.frames[k].duration, 3);
    hundredths += gif.frames[k].duration;
  }
  EXPECT_EQ(hundredths, 50);  // 15 frames at 30 fps, no rounding piled up
  // Players repeat it for ever: the NETSCAPE2.0 extension with a count of 0.
  const std::vector<uint8_t> bytes = testing_support::readBytes(temp_.file("morph.gif"));
  const std::string loop = std::string("NETSCAPE2.0\x03\x01") + '\0' + '\0';
  EXPECT_NE(std::string(bytes.begin(), bytes.end()).find(loop), std::string::npos);

  settings.fps = 120;  // a GIF plays at most 50 frames a second
  ASSERT_TRUE(run(temp_.file("fast.gif"), settings)) << why_;
  EXPECT_EQ(summary_.fps, 50);
  gif = decodeWithFfmpeg(temp_.file("fast.gif"));
  ASSERT_EQ(gif.frames.size(), 15u);
  for (const DecodedFrame& frame : gif.frames) EXPECT_EQ(frame.duration, 2);
}

TEST_F(Export, ACycleIsEveryTransitionOfThePlayMode) {
  makeProject(engine_, 3, 20, 0);
  EXPECT_EQ(morph_export::framesPerCycle(engine_), 9);  // loop: back to the first picture
  engine_.playMode = 1;
  EXPECT_EQ(morph_export::framesPerCycle(engine_), 12);  // ping-pong: there and back
  engine_.playMode = 2;
  EXPECT_EQ(morph_export::framesPerCycle(engine_), 9);
  engine_.speed = 0;  // plays as 1
  EXPECT_EQ(morph_export::framesPerCycle(engine_), 3);

  engine_.speed = 3;
  Settings settings;
  settings.cycles = 2;
  settings.seed = 7;
  const std::vector<Pixels> board = boardFrames(engine_, settings, 18);
  ASSERT_TRUE(run(temp_.file("frames/"), settings)) << why_;
  EXPECT_EQ(summary_.frames, 18);
  // Random play draws from the seed: the same frames as a playback with that seed.
  EXPECT_EQ(readPng(temp_.file("frames/frame00017.png")).rgb, rgbOf(board[17]));
  EXPECT_FALSE(fs::exists(temp_.file("frames/frame00018.png")));
}

TEST_F(Export, AFailureOrCancelLeavesNothingAndTheOldFileAsItWas) {
  makeProject(engine_, 30, 32);
  Settings settings;
  EXPECT_FALSE(run(temp_.file("morph.avi"), settings));
  EXPECT_NE(why_.find(".mp4"), std::string::npos) << why_;
  EXPECT_FALSE(run(temp_.file("missing/morph.mp4"), settings));
  EXPECT_NE(why_.find("No such file"), std::string::npos) << why_;
  settings.fps = 0;
  EXPECT_FALSE(run(temp_.file("morph.mp4"), settings));
  settings.fps = 60;

  testing_support::writeBytes(temp_.file("morph.gif"), {'o', 'l', 'd'});
  ::chmod(temp_.file("morph.gif").c_str(), 0640);
  const auto cancelHalfway = [](int64_t done, int64_t total) { return done < total / 2; };
  for (const char* name : {"morph.gif", "morph.mp4", "morph.webp", "frames/"}) {
    EXPECT_FALSE(run(temp_.file(name), settings, cancelHalfway)) << name;
    EXPECT_EQ(why_, morph_export::kCancelledReason);
  }
  expectOnly({"morph.gif"});
  EXPECT_EQ(testing_support::readBytes(temp_.file("morph.gif")), (std::vector<uint8_t>{'o', 'l', 'd'}));

  // A full disk: the error, and no temporary beside the link.
  if (fs::exists("/dev/full")) {
    fs::create_symlink("/dev/full", temp_.file("full.mp4"));
    EXPECT_FALSE(run(temp_.file("full.mp4"), settings));
    EXPECT_NE(why_.find("No space left"), std::string::npos) << why_;
    expectOnly({"full.mp4", "morph.gif"});
    fs::remove(temp_.file("full.mp4"));
  }

  // Once complete, a replaced file keeps its permissions and a new one gets the umask's.
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(run(temp_.file("morph.gif"), settings)) << why_;
  ASSERT_TRUE(run(temp_.file("new.webm"), settings)) << why_;
  ASSERT_TRUE(run(temp_.file("frames/"), settings)) << why_;
  ::umask(mask);
  struct stat info {};
  ::stat(temp_.file("morph.gif").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  ::stat(temp_.file("new.webm").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  ::stat(temp_.file("frames").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
  ::stat(temp_.file("frames/frame00000.png").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0644u);

  // Into an existing folder: a cancel leaves its frames as they were.
  testing_support::writeBytes(temp_.file("frames/frame00000.png"), {'x'});
  EXPECT_FALSE(run(temp_.file("frames"), settings, cancelHalfway));
  EXPECT_EQ(testing_support::readBytes(temp_.file("frames/frame00000.png")),
            std::vector<uint8_t>{'x'});
  EXPECT_EQ(std::distance(fs::directory_iterator(temp_.file("frames")), {}), 90);

  engine_.deletePicture(0);
  engine_.deletePicture(0);
  EXPECT_FALSE(run(temp_.file("one.mp4"), settings));
  EXPECT_EQ(why_, kTooFewPicturesMessage);
}

// At the default quality, every frame of the demo keeps a luma PSNR of 38 dB in H.264 (4:2:0
// chroma alone holds RGB near 31 to 35 dB on dithered frames, so luma is what is measured).
TEST_F(Export, DemoMp4AtTheDefaultQuality) {
#ifdef MORPH_SKIP_LONG_TESTS
  GTEST_SKIP() << "the demo's whole video is checked in the normal build";
#endif
  std::string why;
  ASSERT_EQ(engine_.loadProject(DEMO_PROJECT, &why), 0) << why;
  Settings settings;
  const int64_t frames = morph_export::framesPerCycle(engine_);
  ASSERT_TRUE(run(temp_.file("demo.mp4"), settings)) << why_;
  const DecodedFile video = decodeWithFfmpeg(temp_.file("demo.mp4"));
  ASSERT_EQ(static_cast<int64_t>(video.frames.size()), frames) << video.error;
  const std::vector<Pixels> board = boardFrames(engine_, settings, frames);
  const int side = engine_.playSize;
  double worst = 99;
  for (int64_t k = 0; k < frames; ++k) {
    worst = std::min(worst, psnr(video.frames[k].luma, lumaOf(board[k], side, side)));
  }
  EXPECT_GE(worst, 38.0);
}

}  // namespace
}  // namespace export_test
