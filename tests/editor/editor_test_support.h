// Shared by the editor's tests: a dialog whose controls are plain values, and a fixture that
// returns the editor's globals to a freshly started editor.
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
#include "editor/editor_texts.h"
#include "editor/picture_pane.h"
#include "engine/morph_engine.h"
#include "glide/platform.h"
#include "support/message_recorder.h"
#include "support/test_files.h"
#include "support/test_pictures.h"

namespace editor_test {

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
  std::deque<std::vector<std::string>> pictureAnswers;  // the pictures dialog's choices
  std::deque<std::string> saveAnswers;
  std::vector<std::string> fileDialogs;  // "open FILTER" or "save FILTER EXT", in order
  // What the question about unsaved changes answers, one per question; an empty queue
  // discards (the tests of the commands themselves do not care about it).
  std::deque<SaveAnswer> saveQuestionAnswers;
  int saveQuestions = 0;
  // The progress display of a long command: how often it was updated, whether it was closed.
  int progressUpdates = 0;
  bool progressEnded = false;

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
  SaveAnswer AskToSaveChanges() override {
    ++saveQuestions;
    if (saveQuestionAnswers.empty()) return SaveAnswer::Discard;
    const SaveAnswer answer = saveQuestionAnswers.front();
    saveQuestionAnswers.pop_front();
    return answer;
  }
  bool ShowProgress(const char*, const char*, int64_t, int64_t) override {
    ++progressUpdates;
    return true;
  }
  void EndProgress() override { progressEnded = true; }
  std::optional<std::string> RunOpenDialog(const char* filter) override {
    fileDialogs.push_back(std::string("open ") + filter);
    return Answer(openAnswers);
  }
  // Several files at once when `pictureAnswers` has a choice, else one as RunOpenDialog.
  std::vector<std::string> RunOpenPicturesDialog() override {
    if (pictureAnswers.empty()) return EditorDialogRules::RunOpenPicturesDialog();
    fileDialogs.push_back(std::string("open ") + kPictureFilter);
    std::vector<std::string> chosen = pictureAnswers.front();
    pictureAnswers.pop_front();
    return chosen;
  }
  std::optional<std::string> RunSaveDialog(const char* filter,
                                           const char* defaultExtension) override {
    fileDialogs.push_back(std::string("save ") + filter + " " + defaultExtension);
    return Answer(saveAnswers);
  }
  std::optional<std::string> RunExportDialog() override {
    fileDialogs.push_back("export");
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

// Appends pictures of distinct colours (1, 2, 3, ... in the blue bits) to g_engine.
inline void AppendPictures(int count) {
  for (int i = 0; i < count; ++i) {
    const auto color = static_cast<uint16_t>(g_engine.pictureCount + 1);
    g_engine.insertPicture(testing_support::solidPicture(color), g_engine.pictureCount);
  }
}

// The colour of picture n as AppendPictures made it, or -1 when there is none.
inline int PictureColor(int32_t picture) {
  const PictureImage* image = g_engine.getPictureImage(picture);
  return image ? image->pixels[0] : -1;
}

// Writes a 24-bit BMP of 256 rows and `width` columns in one colour.
inline void WriteBmp(const std::filesystem::path& path, uint8_t red, uint8_t green, uint8_t blue,
                     int width = 256) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<uint8_t> rows(rowBytes * kPictureSide, 0);
  for (int y = 0; y < kPictureSide; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &rows[y * rowBytes + x * 3];
      pixel[0] = blue;
      pixel[1] = green;
      pixel[2] = red;
    }
  }
  testing_support::writeBytes(path.string(),
                              testing_support::bmpFile(width, kPictureSide, 24, rows));
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
    recorder_.emplace();
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
    recorder_.reset();
    std::filesystem::remove_all(scratch_);
  }

  FakeDialog& dialog() { return *dialog_; }
  // The message boxes shown so far, each answered at once.
  const std::vector<testing_support::ShownMessage>& Messages() const {
    return recorder_->messages();
  }
  void ClearMessages() { recorder_->clear(); }
  // Message boxes from now on are answered with `answer` (and the record starts afresh).
  void AnswerMessagesWith(platform::Answer answer) {
    recorder_.reset();
    recorder_.emplace(answer);
  }
  std::filesystem::path Scratch(const std::string& name) const { return scratch_ / name; }

  static constexpr int kLeftPaneWidth = 255;   // 170 dialog units
  static constexpr int kRightPaneWidth = 246;  // 164 dialog units
  static constexpr int kPaneHeight = 260;      // 160 dialog units
  static constexpr ScreenColor kBackground = 0xD4D0C8;

 private:
  std::optional<testing_support::MessageRecorder> recorder_;
  std::unique_ptr<FakeDialog> dialog_;
  std::filesystem::path scratch_;
};

}  // namespace editor_test
