// Shared by the editor's tests: a dialog whose controls are plain values, a recorder for message
// boxes, and a fixture that returns the editor's globals to a freshly started editor.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "editor/dialog_rules.h"
#include "editor/picture_pane.h"
#include "engine/morph_engine.h"
#include "glide/platform.h"

namespace editor_test {

struct ShownMessage {
  std::string text;
  std::string caption;
  platform::Buttons buttons;
};

// Every message box shown, answered at once with `nextAnswer`.
inline std::vector<ShownMessage> shownMessages;
inline platform::Answer nextAnswer = platform::Answer::Ok;

inline platform::Answer RecordMessage(const std::string& text, const std::string& caption,
                                      platform::Buttons buttons) {
  shownMessages.push_back({text, caption, buttons});
  return nextAnswer;
}

// The dialog with its controls as plain values. Every access is logged, so that tests can see
// in which order the rules read and write the controls.
class FakeDialog : public EditorDialogRules {
 public:
  static constexpr int kComboItems = 3;

  // Types into a field as a user does: the text changes and the field's handler runs.
  void Type(int id, const std::string& text) {
    texts[id] = text;
    OnFieldChanged(id);
  }

  std::map<int, std::string> texts;
  std::map<int, int32_t> selections;
  int32_t saveTgaChecked = 0;
  mutable std::vector<std::string> log;
  // What the file dialogs answer, one per dialog; an empty queue cancels.
  std::deque<std::string> openAnswers;
  std::deque<std::string> saveAnswers;
  std::vector<std::string> fileDialogs;  // "open FILTER" or "save FILTER EXT", in order

 protected:
  std::string GetControlText(int id) const override {
    log.push_back("read " + std::to_string(id));
    const auto found = texts.find(id);
    return found == texts.end() ? std::string() : found->second;
  }
  void SetControlText(int id, const std::string& text) override {
    log.push_back("write " + std::to_string(id) + " " + text);
    texts[id] = text;
    OnFieldChanged(id);
  }
  int32_t GetComboSelection(int id) const override {
    log.push_back("selection of " + std::to_string(id));
    const auto found = selections.find(id);
    return found == selections.end() ? -1 : found->second;
  }
  void SetComboSelection(int id, int32_t index) override {
    log.push_back("select " + std::to_string(id) + " " + std::to_string(index));
    selections[id] = (index >= 0 && index < kComboItems) ? index : -1;
  }
  int32_t GetCheck(int id) const override {
    log.push_back("check of " + std::to_string(id));
    return saveTgaChecked;
  }
  std::optional<std::string> RunOpenDialog(const char* filter) override {
    fileDialogs.push_back(std::string("open ") + filter);
    return Answer(openAnswers);
  }
  std::optional<std::string> RunSaveDialog(const char* filter,
                                           const char* defaultExtension) override {
    fileDialogs.push_back(std::string("save ") + filter + " " + defaultExtension);
    return Answer(saveAnswers);
  }

 private:
  static std::optional<std::string> Answer(std::deque<std::string>& answers) {
    if (answers.empty()) return std::nullopt;
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// A picture of one colour.
inline std::unique_ptr<PictureImage> SolidPicture(uint16_t color) {
  auto image = std::make_unique<PictureImage>();
  std::fill(std::begin(image->pixels), std::end(image->pixels), color);
  return image;
}

// Appends pictures of distinct colours (1, 2, 3, ... in the blue bits) to g_engine.
inline void AppendPictures(int count) {
  for (int i = 0; i < count; ++i) {
    const auto color = static_cast<uint16_t>(g_engine.pictureCount + 1);
    g_engine.insertPicture(SolidPicture(color), g_engine.pictureCount);
  }
}

// The colour of picture n as AppendPictures made it, or -1 when there is none.
inline int PictureColor(int32_t picture) {
  const PictureImage* image = g_engine.getPictureImage(picture);
  return image ? image->pixels[0] : -1;
}

// Writes a 256 x 256 24-bit BMP of one colour.
inline void WriteBmp(const std::filesystem::path& path, uint8_t red, uint8_t green, uint8_t blue,
                     int width = 256) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t dataBytes = rowBytes * 256;
  auto put16 = [&](uint32_t v) {
    std::fputc(v & 0xFF, file);
    std::fputc((v >> 8) & 0xFF, file);
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  std::fputs("BM", file);
  put32(54 + dataBytes);
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<uint32_t>(width));
  put32(256);
  put16(1);
  put16(24);
  put32(0);
  put32(dataBytes);
  put32(2835);
  put32(2835);
  put32(0);
  put32(0);
  for (int row = 0; row < 256; ++row) {
    for (int x = 0; x < width; ++x) {
      std::fputc(blue, file);
      std::fputc(green, file);
      std::fputc(red, file);
    }
    for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < rowBytes; ++pad)
      std::fputc(0, file);
  }
  std::fclose(file);
}

// Where tests write their files: memory, when the machine has it, as the preview tests write
// thousands of frame files and every file written is flushed to the disk.
inline std::filesystem::path ScratchRoot() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) {
    return "/dev/shm";
  }
  return std::filesystem::temp_directory_path();
}

// Returns the editor's globals to a freshly started editor and records message boxes.
class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousHandler_ = platform::setMessageHandler(&RecordMessage);
    shownMessages.clear();
    nextAnswer = platform::Answer::Ok;
    g_engine.clearProject();
    g_engine.pointCount = 0;
    g_engine.quality = 28;
    g_engine.speed = 100;
    g_engine.playSize = 450;
    g_engine.playMode = 0;
    g_engine.ditherMode = 0;
    g_panes[0] = CPicturePane();
    g_panes[1] = CPicturePane();
    g_panes[0].Bind(nullptr, kLeftPaneWidth, kPaneHeight, kBackground);
    g_panes[1].Bind(nullptr, kRightPaneWidth, kPaneHeight, kBackground);
    dialog_ = std::make_unique<FakeDialog>();
    dialog_->OnInitDialog();
    dialog_->log.clear();
    scratch_ = ScratchRoot() / ("editor_test_" + std::to_string(::getpid()) + "_" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(scratch_);
    std::filesystem::create_directories(scratch_);
  }

  void TearDown() override {
    platform::setMessageHandler(previousHandler_);
    std::filesystem::remove_all(scratch_);
  }

  FakeDialog& dialog() { return *dialog_; }
  std::filesystem::path Scratch(const std::string& name) const { return scratch_ / name; }

  static constexpr int kLeftPaneWidth = 255;   // 170 dialog units
  static constexpr int kRightPaneWidth = 246;  // 164 dialog units
  static constexpr int kPaneHeight = 260;      // 160 dialog units
  static constexpr ScreenColor kBackground = 0xD4D0C8;

 private:
  platform::MessageHandler previousHandler_ = nullptr;
  std::unique_ptr<FakeDialog> dialog_;
  std::filesystem::path scratch_;
};

}  // namespace editor_test
