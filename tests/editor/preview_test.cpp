// The preview without a display: the headless board, keys injected, frames saved in a scratch
// directory.
#include <algorithm>

#include "editor_test_support.h"
#include "glide/board_testing.h"
#include "glide/call_log.h"

namespace editor_test {
namespace {

class PreviewTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    previousDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(Scratch(""));
    // The smallest play square and grid: the tests count frames, not pixels.
    dialog().Type(kIdPlaySize, "10");
    dialog().Type(kIdQuality, "1");
    dialog().selections[kIdPlayMode] = 0;
    dialog().selections[kIdDither] = 0;
  }
  void TearDown() override {
    while (pollKey() != 0) {
    }  // keys a test left unread
    setHostEventHook(nullptr);
    glide::testing::refuseVideoModes(false);
    std::filesystem::current_path(previousDirectory_);
    EditorTest::TearDown();
  }

  // The frame files in the working directory, sorted.
  static std::vector<std::string> FrameFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  static int Count(const glide::CallLog& log, const std::string& name) {
    const std::vector<std::string> names = log.names();
    return static_cast<int>(std::count(names.begin(), names.end(), name));
  }

 private:
  std::filesystem::path previousDirectory_;
};

TEST_F(PreviewTest, SavingEveryFrameStopsAfterSpeedTimesPicturesFiles) {
  AppendPictures(5);
  dialog().saveTgaChecked = 1;
  dialog().OnPlay();
  const std::vector<std::string> files = FrameFiles();
  ASSERT_EQ(files.size(), 500u);
  EXPECT_EQ(files.front(), "OUT00000.TGA");
  EXPECT_EQ(files.back(), "OUT00499.TGA");
  EXPECT_EQ(std::filesystem::file_size("OUT00000.TGA"), 18u + 3 * 10 * 10);

  // A second preview numbers its files from 0 again.
  for (const std::string& name : files) std::filesystem::remove(name);
  dialog().saveTgaChecked = 0;
  injectHeadlessKey(32);
  injectHeadlessKey(27);
  dialog().OnPlay();
  EXPECT_EQ(FrameFiles(), std::vector<std::string>{"OUT00000.TGA"});
}

TEST_F(PreviewTest, SpaceSavesTheFrameOfItsPassAndEscapesFrameIsStillDrawn) {
  AppendPictures(2);
  glide::CallLog log;
  for (uint8_t key : {0, 32, 0, 32, 27, 32}) injectHeadlessKey(key);
  dialog().OnPlay();
  EXPECT_EQ(Count(log, "grBufferSwap"), 5) << "the Space after Escape is never read";
  EXPECT_EQ(FrameFiles(), (std::vector<std::string>{"OUT00000.TGA", "OUT00001.TGA"}));
  const std::vector<std::string> names = log.names();
  EXPECT_EQ(names.back(), "grSstWinClose") << "the display closes at the end";
  EXPECT_EQ(pollKey(), 32);

  // Checked, the Escape frame is saved too.
  for (const std::string& name : FrameFiles()) std::filesystem::remove(name);
  dialog().saveTgaChecked = 1;
  injectHeadlessKey(27);
  dialog().OnPlay();
  EXPECT_EQ(FrameFiles(), std::vector<std::string>{"OUT00000.TGA"});
}

TEST_F(PreviewTest, FramesThatCannotBeWrittenAreToldOnceThePreviewEnds) {
  AppendPictures(2);
  dialog().Type(kIdSpeed, "2");
  dialog().saveTgaChecked = 1;
  // Directories in the way of two of the four names: those two frames cannot be written.
  std::filesystem::create_directory("OUT00001.TGA");
  std::filesystem::create_directory("OUT00003.TGA");
  dialog().OnPlay();
  EXPECT_TRUE(std::filesystem::is_regular_file("OUT00000.TGA"));
  EXPECT_TRUE(std::filesystem::is_regular_file("OUT00002.TGA"));
  ASSERT_EQ(Messages().size(), 1u) << "one message, after the preview, not one a frame";
  EXPECT_NE(Messages()[0].text.find("2 of them"), std::string::npos) << Messages()[0].text;
  EXPECT_NE(Messages()[0].text.find("OUT00001.TGA: cannot write"), std::string::npos)
      << Messages()[0].text;
  EXPECT_FALSE(dialog().PreviewRunning());
}

TEST_F(PreviewTest, TheFrameLimitUsesTheSpeedAsTypedAndPlaybackTheClampedOne) {
  AppendPictures(2);
  dialog().Type(kIdSpeed, "5000");
  dialog().saveTgaChecked = 1;
  dialog().OnPlay();
  // 5000 x 2 frames at 1000 frames a transition: ten transitions.
  const std::vector<std::string> files = FrameFiles();
  ASSERT_EQ(files.size(), 10000u);
  EXPECT_EQ(files.back(), "OUT09999.TGA");
  EXPECT_EQ(g_engine.speed, 1000);
  EXPECT_EQ(g_engine.frameInTransition, 0);
  EXPECT_EQ(g_engine.sequencePos, 11) << "ten transitions ended, the eleventh begun";
  EXPECT_EQ(dialog().texts[kIdSpeed], "1000");
}

TEST_F(PreviewTest, AnEmptiedSpeedFieldOpensAndClosesAtOnce) {
  AppendPictures(3);
  glide::CallLog log;
  dialog().Type(kIdSpeed, "");
  dialog().saveTgaChecked = 1;
  dialog().OnPlay();
  EXPECT_EQ(Count(log, "grSstWinOpen"), 1);
  EXPECT_EQ(Count(log, "grSstWinClose"), 1);
  EXPECT_EQ(Count(log, "grBufferSwap"), 0);
  EXPECT_TRUE(FrameFiles().empty());
  EXPECT_EQ(g_engine.speed, 1);
}

TEST_F(PreviewTest, AHugeTypedSpeedPlaysUntilEscape) {
  AppendPictures(2);
  glide::CallLog log;
  dialog().Type(kIdSpeed, "2147483647");  // times two does not fit 32 bits
  injectHeadlessKey(0);
  injectHeadlessKey(27);
  dialog().OnPlay();
  EXPECT_EQ(Count(log, "grBufferSwap"), 2);
}

TEST_F(PreviewTest, TheDitherBoxReachesTheBoard) {
  AppendPictures(2);
  glide::CallLog log;
  const std::pair<int32_t, double> choices[] = {{0, 1.0}, {1, 2.0}, {2, 0.0}};
  for (const auto& [selection, glideMode] : choices) {
    log.clear();
    dialog().selections[kIdDither] = selection;
    injectHeadlessKey(27);
    dialog().OnPlay();
    const auto dither =
        std::find_if(log.calls().begin(), log.calls().end(),
                     [](const glide::GlideCall& c) { return c.name == "grDitherMode"; });
    ASSERT_NE(dither, log.calls().end());
    EXPECT_EQ(dither->args, std::vector<double>{glideMode}) << "dither box item " << selection;
  }
}

TEST_F(PreviewTest, FewerThanTwoPicturesOrARefusedModeOrWindowEndTheCommand) {
  AppendPictures(1);
  glide::CallLog log;
  dialog().Type(kIdSpeed, "5000");
  dialog().OnPlay();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Cannot morph with less than two pictures!");
  EXPECT_EQ(Messages()[0].caption, "Error  ;-(");
  EXPECT_EQ(g_engine.speed, 1000) << "the fields were read first";
  EXPECT_EQ(Count(log, "grSstWinOpen"), 0);

  AppendPictures(1);
  ClearMessages();
  glide::testing::refuseVideoModes(true);
  dialog().OnPlay();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, " Couldn't set 3dfx videomode 512x384.");
  EXPECT_EQ(Count(log, "grSstWinClose"), 0);
  EXPECT_FALSE(dialog().PreviewRunning());

  glide::testing::refuseVideoModes(false);
  ClearMessages();
  const int opened = Count(log, "grSstWinOpen");
  refuseHeadlessDisplayWindow(true);
  dialog().OnPlay();
  refuseHeadlessDisplayWindow(false);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Cannot open the display window.");
  EXPECT_EQ(Count(log, "grSstWinOpen"), opened) << "no window, no playback";
  EXPECT_FALSE(dialog().PreviewRunning());

  injectHeadlessKey(27);
  dialog().OnPlay();
  EXPECT_EQ(Count(log, "grBufferSwap"), 1) << "the next preview plays";
}

// While the preview plays, the dialog handles its events between frames; the commands and the
// fields must not change what the playback draws from.
FakeDialog* previewDialog = nullptr;
int hookCalls = 0;
void UseTheDialogDuringThePreview() {
  if (++hookCalls != 2) return;
  previewDialog->OnDeleteLeft();
  previewDialog->OnClearAll();
  previewDialog->OnNext();
  previewDialog->Type(kIdSpeed, "0");
  previewDialog->openAnswers = {"/nonexistent.kzm"};
  previewDialog->OnLoad();
  previewDialog->OnPlay();
}

TEST_F(PreviewTest, CommandsWaitUntilThePreviewHasEnded) {
  AppendPictures(3);
  previewDialog = &dialog();
  hookCalls = 0;
  setHostEventHook(&UseTheDialogDuringThePreview);
  glide::CallLog log;
  for (uint8_t key : {0, 0, 0, 27}) injectHeadlessKey(key);
  dialog().OnPlay();
  EXPECT_EQ(Count(log, "grSstWinOpen"), 1);
  EXPECT_EQ(Count(log, "grBufferSwap"), 4);
  EXPECT_EQ(g_engine.pictureCount, 3);
  EXPECT_EQ(g_leftPicture, 0);
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(g_engine.speed, 100);
  EXPECT_EQ(dialog().texts[kIdSpeed], "0");
  dialog().OnPaint();  // the repaint when the display window has gone reads the field
  EXPECT_EQ(g_engine.speed, 1);
}

}  // namespace
}  // namespace editor_test
