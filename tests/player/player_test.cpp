// The player's entry on a headless engine: its refusals (message, caption, exit code, no
// display), the frame loop driven by injected keys, and the names of saved frames.
#include "player/player.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e/kzm_writer.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "glide/board_testing.h"
#include "glide/call_log.h"
#include "glide/platform.h"

namespace {

namespace fs = std::filesystem;

struct ShownMessage {
  std::string text;
  std::string caption;
};
std::vector<ShownMessage> shownMessages;

platform::Answer recordMessage(const std::string& text, const std::string& caption,
                               platform::Buttons) {
  shownMessages.push_back({text, caption});
  return platform::Answer::Ok;
}

// Every test runs in a directory of its own (saved frames land in the current directory), with
// message boxes recorded instead of shown.
class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shownMessages.clear();
    previousHandler = platform::setMessageHandler(recordMessage);
    previousDirectory = fs::current_path();
    const std::string pattern = (fs::temp_directory_path() / "player_test.XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    directory = name.data();
    fs::current_path(directory);
  }
  void TearDown() override {
    fs::current_path(previousDirectory);
    fs::remove_all(directory);
    platform::setMessageHandler(previousHandler);
  }

  static std::string project(const std::string& name, const testing_kzm::ProjectRecipe& recipe) {
    EXPECT_TRUE(testing_kzm::writeProject(name, recipe));
    return name;
  }

  static size_t count(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<size_t>(std::count(names.begin(), names.end(), name));
  }

  // A refusal: exit code 1, exactly one message under the player's caption, no display opened.
  void expectRefused(const std::string& path, const std::string& messageStart) {
    shownMessages.clear();
    MorphEngine engine;
    glide::CallLog log;
    EXPECT_EQ(player::runPlayer(engine, path), 1) << path;
    ASSERT_EQ(shownMessages.size(), 1u) << path;
    EXPECT_EQ(shownMessages[0].text.rfind(messageStart, 0), 0u)
        << path << ": " << shownMessages[0].text;
    EXPECT_EQ(shownMessages[0].caption, kPlayerErrorCaption);
    EXPECT_EQ(count(log.names(), "grSstWinOpen"), 0u) << path;
  }

  platform::MessageHandler previousHandler = nullptr;
  fs::path previousDirectory;
  fs::path directory;
};

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(CommandLine, ArgumentsJoinedBySingleBlanksWithQuotesKept) {
  const char* none[] = {"kinora"};
  EXPECT_EQ(player::commandLinePath(1, none), "");
  const char* split[] = {"kinora", "my", "morph.kzm"};
  EXPECT_EQ(player::commandLinePath(3, split), "my morph.kzm");
  const char* quoted[] = {"kinora", "\"a b.kzm\" ", "x"};
  EXPECT_EQ(player::commandLinePath(3, quoted), "\"a b.kzm\"  x");
}

TEST_F(PlayerTest, HelpAndVersionAnswerUnlessAFileHasThatName) {
  const char* help[] = {"kinora", "--help"};
  const char* version[] = {"kinora", "--version"};
  const char* helpAndMore[] = {"kinora", "--help", "me"};
  EXPECT_EQ(player::informationText(2, help).rfind(kUsageMessage, 0), 0u);
  EXPECT_EQ(player::informationText(2, version).rfind("kinora ", 0), 0u);
  EXPECT_EQ(player::informationText(3, helpAndMore), "");
  std::ofstream("--help") << "a project";
  EXPECT_EQ(player::informationText(2, help), "");
  EXPECT_NE(player::informationText(2, version), "");
}

TEST_F(PlayerTest, WindowOptionComesFirstUnlessTheWholeLineNamesAFile) {
  const char* windowed[] = {"kinora", "--window", "my", "morph.kzm"};
  const player::PlayerOptions options = player::playerOptions(4, windowed);
  EXPECT_TRUE(options.window);
  EXPECT_EQ(options.path, "my morph.kzm");
  const char* later[] = {"kinora", "morph.kzm", "--window"};
  EXPECT_FALSE(player::playerOptions(3, later).window);
  EXPECT_EQ(player::playerOptions(3, later).path, "morph.kzm --window");
  const char* alone[] = {"kinora", "--window"};
  EXPECT_EQ(player::playerOptions(2, alone).path, "") << "gives the usage message";
  std::ofstream("--window my morph.kzm") << "a project";
  EXPECT_FALSE(player::playerOptions(4, windowed).window);
  EXPECT_EQ(player::playerOptions(4, windowed).path, "--window my morph.kzm");
}

TEST_F(PlayerTest, RefusesWhatItCannotPlayWithAMessageAndWithoutADisplay) {
  testing_kzm::ProjectRecipe two;
  const std::string good = project("two.kzm", two);

  expectRefused("", kUsageMessage);
  expectRefused("missing.kzm", kCannotFindFileMessage);
  expectRefused("\"" + good + "\"", kCannotFindFileMessage);
  expectRefused(good + " ", kCannotFindFileMessage);

  testing_kzm::ProjectRecipe one;
  one.pictureCount = 1;
  expectRefused(project("one.kzm", one), kTooFewPicturesMessage);
  testing_kzm::ProjectRecipe none;
  none.pictureCount = 0;
  expectRefused(project("none.kzm", none), kTooFewPicturesMessage);

  // Paths that exist but hold no readable project: the message gives the loader's reason.
  fs::create_directory("folder.kzm");
  expectRefused("folder.kzm", "Cannot read this project file!\n\nfolder.kzm: ");
  EXPECT_GT(shownMessages[0].text.size(),
            std::string("Cannot read this project file!\n\nfolder.kzm: ").size())
      << "the loader's reason is missing";
  const std::vector<uint8_t> bytes = fileBytes(good);
  std::ofstream("truncated.kzm", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), 5000);
  expectRefused("truncated.kzm", "Cannot read this project file!\n\ntruncated.kzm: ");
}

TEST_F(PlayerTest, ARefusedVideoModeOrDisplayWindowEndsTheRunAsAFailure) {
  testing_kzm::ProjectRecipe recipe;
  const std::string path = project("two.kzm", recipe);
  MorphEngine engine;
  glide::testing::refuseVideoModes(true);
  const int exitCode = player::runPlayer(engine, path);
  glide::testing::refuseVideoModes(false);
  EXPECT_EQ(exitCode, 1);
  ASSERT_EQ(shownMessages.size(), 1u);
  EXPECT_EQ(shownMessages[0].text, " Couldn't set 3dfx videomode 640x480.");
  EXPECT_EQ(shownMessages[0].caption, kEngineErrorCaption);

  // No window: nothing is played, not even one frame into nothing.
  shownMessages.clear();
  glide::CallLog log;
  refuseHeadlessDisplayWindow(true);
  const int noWindowExitCode = player::runPlayer(engine, path);
  refuseHeadlessDisplayWindow(false);
  EXPECT_EQ(noWindowExitCode, 1);
  ASSERT_EQ(shownMessages.size(), 1u);
  EXPECT_EQ(shownMessages[0].text, "Cannot open the display window.");
  EXPECT_EQ(shownMessages[0].caption, kEngineErrorCaption);
  EXPECT_EQ(count(log.names(), "grSstWinOpen"), 0u);
  EXPECT_EQ(count(log.names(), "grBufferSwap"), 0u);
}

// Two solid pictures at speed 1: every frame shows one picture whole, picture 0 (red) in the
// first frame, picture 1 (blue) in the second, and so on.
class FrameLoopTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    testing_kzm::ProjectRecipe recipe;
    recipe.speed = 1;
    recipe.playSize = 256;
    recipe.quality = 5;
    ASSERT_EQ(engine.loadProject(project("two.kzm", recipe)), 0);
  }
  // The blue, green and red bytes of the saved frame's middle pixel.
  static std::vector<uint8_t> middlePixel(const std::string& path) {
    const std::vector<uint8_t> bytes = fileBytes(path);
    const size_t at = 18 + 3 * (128 * 256 + 128);
    if (bytes.size() < at + 3) return {};
    return {bytes[at], bytes[at + 1], bytes[at + 2]};
  }

  MorphEngine engine;
  const std::vector<uint8_t> red = {0x00, 0x00, 0xF8};
  const std::vector<uint8_t> blue = {0xF8, 0x00, 0x00};
};

TEST_F(FrameLoopTest, EscapesFrameIsStillDrawnAndOneKeyIsTakenPerPoll) {
  ASSERT_EQ(engine.preparePlayback(), 0);
  glide::CallLog log;
  for (uint8_t key : {kSpaceKey, kSpaceKey, kEscapeKey}) {
    injectHeadlessKey(key);
  }
  EXPECT_EQ(player::playUntilEscape(engine), 2u);
  EXPECT_EQ(count(log.names(), "grBufferSwap"), 3u);
  EXPECT_EQ(count(log.names(), "grLfbReadRegion"), 2u);
  EXPECT_TRUE(fs::exists("OUT00000.TGA"));
  EXPECT_TRUE(fs::exists("OUT00001.TGA"));
  EXPECT_FALSE(fs::exists("OUT00002.TGA"));

  log.clear();
  injectHeadlessKey(kEscapeKey);
  EXPECT_EQ(player::playUntilEscape(engine), 0u);
  EXPECT_EQ(count(log.names(), "grBufferSwap"), 1u);
  engine.endPlayback();
}

TEST_F(FrameLoopTest, SpaceSavesTheFrameDrawnInTheSamePass) {
  ASSERT_EQ(engine.preparePlayback(), 0);
  for (uint8_t key :
       {uint8_t{0}, kSpaceKey, uint8_t{0}, kSpaceKey, kEscapeKey}) {
    injectHeadlessKey(key);
  }
  EXPECT_EQ(player::playUntilEscape(engine), 2u);
  engine.endPlayback();
  EXPECT_EQ(fs::file_size("OUT00000.TGA"), 18u + 3u * 256u * 256u);
  EXPECT_EQ(middlePixel("OUT00000.TGA"), blue);  // the second frame
  EXPECT_EQ(middlePixel("OUT00001.TGA"), blue);  // the fourth
}

TEST_F(FrameLoopTest, EveryRunNamesItsFramesFromZeroAndOverwritesTheOldOnes) {
  std::ofstream("OUT00000.TGA") << "an older frame";
  for (int run = 0; run < 2; ++run) {
    MorphEngine fresh;
    glide::CallLog log;
    injectHeadlessKey(kSpaceKey);
    injectHeadlessKey(kEscapeKey);
    EXPECT_EQ(player::runPlayer(fresh, "two.kzm"), 0);
    EXPECT_TRUE(shownMessages.empty());
    EXPECT_EQ(middlePixel("OUT00000.TGA"), red);
    EXPECT_FALSE(fs::exists("OUT00001.TGA"));
    // The display opens once, shows two frames, and closes after the loop.
    const std::vector<std::string> names = log.names();
    EXPECT_EQ(count(names, "grSstWinOpen"), 1u);
    EXPECT_EQ(count(names, "grBufferSwap"), 2u);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.back(), "grSstWinClose");
  }
}

TEST_F(FrameLoopTest, SettingsTheEditorNeverStoresStillPlay) {
  for (const auto& [quality, speed] : {std::pair{0, 1}, std::pair{65, 1}, std::pair{28, 0}}) {
    testing_kzm::ProjectRecipe recipe;
    recipe.quality = quality;
    recipe.speed = speed;
    MorphEngine fresh;
    injectHeadlessKey(kSpaceKey);
    injectHeadlessKey(kEscapeKey);
    EXPECT_EQ(player::runPlayer(fresh, project("odd.kzm", recipe)), 0) << quality << " " << speed;
    EXPECT_TRUE(shownMessages.empty());
    EXPECT_EQ(fs::file_size("OUT00000.TGA"), 18u + 3u * 450u * 450u);
  }
}

}  // namespace
