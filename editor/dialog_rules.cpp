#include "editor/dialog_rules.h"

#include "editor/editor_texts.h"
#include "editor/picture_pane.h"
#include "editor/settings_fields.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "engine/tga_export.h"
#include "glide/platform.h"

namespace {

std::string FailureText(const char* headline, const std::string& path, const std::string& why,
                        const char* note) {
  return std::string(headline) + "\n" + path + "\n\n" + why + "\n" + note;
}

}  // namespace

EditorDialogRules::EditorDialogRules() {
  g_leftPicture = 0;
}

void EditorDialogRules::ReadField(int id, int32_t& setting, SettingRange range) {
  const int32_t value = ClampSetting(ReadFieldValue(GetControlText(id)), range);
  SetControlText(id, FieldText(value));
  setting = value;
}

void EditorDialogRules::ShowField(int id, int32_t& setting, SettingRange range) {
  const int32_t value = ClampSetting(setting, range);
  SetControlText(id, FieldText(value));
  setting = value;
}

void EditorDialogRules::ControlsToSettings() {
  ReadField(kIdPlaySize, g_engine.playSize, kPlaySizeRange);
  ReadField(kIdSpeed, g_engine.speed, kSpeedRange);
  ReadField(kIdQuality, g_engine.quality, kQualityRange);
  g_engine.playMode = GetComboSelection(kIdPlayMode);
  g_engine.ditherMode = GetComboSelection(kIdDither);
  m_saveTga = GetCheck(kIdSaveTga);
}

void EditorDialogRules::SettingsToControls() {
  ShowField(kIdPlaySize, g_engine.playSize, kPlaySizeRange);
  ShowField(kIdSpeed, g_engine.speed, kSpeedRange);
  ShowField(kIdQuality, g_engine.quality, kQualityRange);
  SetComboSelection(kIdPlayMode, g_engine.playMode);
  // The dither is not stored in project files: every start and every load returns it to 2x2.
  g_engine.ditherMode = 0;
  SetComboSelection(kIdDither, 0);
}

void EditorDialogRules::RefreshPictures() {
  g_panes[0].SetPicture(g_engine.getPictureImage(g_leftPicture));
  g_panes[1].SetPicture(g_engine.getPictureImage(g_leftPicture + 1));
  RedrawPanes();
}

void EditorDialogRules::OnPaint() {
  RedrawPanes();
  ControlsToSettings();
}

void EditorDialogRules::OnInitDialog() {
  g_panes[0].Init(0);
  g_panes[1].Init(1);
  SettingsToControls();
}

// While a preview plays, the engine's settings must stay as the playback started with them (a
// speed of 0 would divide by zero); the fields are read again when the preview ends.
void EditorDialogRules::OnChangeQuality() {
  if (!m_previewRunning) g_engine.quality = ReadFieldValue(GetControlText(kIdQuality));
}

void EditorDialogRules::OnChangeSpeed() {
  if (!m_previewRunning) g_engine.speed = ReadFieldValue(GetControlText(kIdSpeed));
}

void EditorDialogRules::OnChangePlaySize() {
  if (!m_previewRunning) g_engine.playSize = ReadFieldValue(GetControlText(kIdPlaySize));
}

void EditorDialogRules::OnFieldChanged(int id) {
  if (id == kIdQuality) OnChangeQuality();
  if (id == kIdSpeed) OnChangeSpeed();
  if (id == kIdPlaySize) OnChangePlaySize();
}

// ---- Sequence and file commands ----------------------------------------------------------------
// None of them runs while a preview plays: the playback draws from the pictures and their
// textures as they were when it started, and a picture deleted or moved under it would leave it
// drawing from released memory.

void EditorDialogRules::OnPrevious() {
  if (m_previewRunning) return;
  if (--g_leftPicture < 0) g_leftPicture = 0;
  RefreshPictures();
}

void EditorDialogRules::OnNext() {
  if (m_previewRunning) return;
  ++g_leftPicture;
  if (g_leftPicture > g_engine.pictureCount - 1) g_leftPicture = g_engine.pictureCount - 1;
  if (g_leftPicture < 0) g_leftPicture = 0;
  RefreshPictures();
}

void EditorDialogRules::OnAddLeft() {
  AddPicture(g_leftPicture);
}

void EditorDialogRules::OnAddRight() {
  AddPicture(g_leftPicture + 1);
}

void EditorDialogRules::AddPicture(int32_t position) {
  if (m_previewRunning) return;
  if (g_engine.pictureCount >= kMaxPictures) {
    platform::showMessage(kTooManyPicturesMessage, kEngineErrorCaption);
    return;
  }
  const std::optional<std::string> path = RunOpenDialog(kPictureFilter);
  if (!path) return;
  std::unique_ptr<PictureImage> image = g_engine.importBmp(*path);
  if (!image) {
    platform::showMessage(kAddFailedMessage, kEngineErrorCaption);
    return;
  }
  // A position the table refuses (the left pane past the end) adds nothing; the image goes.
  g_engine.insertPicture(std::move(image), position);
  RefreshPictures();
}

void EditorDialogRules::OnDeleteLeft() {
  if (m_previewRunning) return;
  g_engine.deletePicture(g_leftPicture);
  RefreshPictures();
}

void EditorDialogRules::OnDeleteRight() {
  if (m_previewRunning) return;
  g_engine.deletePicture(g_leftPicture + 1);
  RefreshPictures();
}

void EditorDialogRules::OnClearAll() {
  if (m_previewRunning) return;
  if (platform::showMessage(kClearAllQuestion, kConfirmCaption, platform::Buttons::OkCancel) !=
      platform::Answer::Ok) {
    return;
  }
  g_engine.clearProject();
  RefreshPictures();
}

void EditorDialogRules::OnLoad() {
  if (m_previewRunning) return;
  const std::optional<std::string> path = RunOpenDialog(kProjectFilter);
  if (!path) return;
  std::string why;
  if (g_engine.loadProject(*path, &why) != 0) {
    // The loader reads and checks the whole file before it touches the project.
    platform::showMessage(FailureText(kLoadFailedMessage, *path, why, kLoadKeptNote),
                          kEngineErrorCaption);
    return;
  }
  RefreshPictures();
  SettingsToControls();
}

void EditorDialogRules::OnSave() {
  if (m_previewRunning) return;
  const std::optional<std::string> path = RunSaveDialog(kProjectFilter, kProjectExtension);
  if (!path) return;
  ControlsToSettings();  // the file gets the clamped values that the fields show
  std::string why;
  if (g_engine.saveProject(*path, &why) != 0) {
    platform::showMessage(FailureText(kSaveFailedMessage, *path, why, kSaveKeptNote),
                          kEngineErrorCaption);
  }
  RefreshPictures();
}

// ---- Preview ------------------------------------------------------------------------------------

void EditorDialogRules::OnPlay() {
  if (m_previewRunning) return;
  // Taken before the fields are read: a speed typed as 5000 plays at 1000 frames a transition
  // but may save up to 5000 x pictureCount frames. In 64 bits, so a huge typed speed cannot
  // overflow into a negative limit.
  const int64_t frameLimit = int64_t{g_engine.speed} * g_engine.pictureCount;
  ControlsToSettings();
  if (g_engine.pictureCount < 2) {
    platform::showMessage(kTooFewPicturesMessage, kPlayerErrorCaption);
    return;
  }
  m_previewRunning = true;
  int64_t unwrittenFrames = 0;
  std::string firstUnwritten;
  // Without a window (its message was shown) the preview ends here and the dialog goes on.
  if (createDisplayWindow() && g_engine.preparePlayback() == 0) {
    int64_t savedFrames = 0;
    uint8_t key = 0;
    while (key != kEscapeKey && savedFrames < frameLimit) {
      key = pollKey();  // also lets the dialog handle its pending events
      g_engine.playFrame();
      if (m_saveTga || key == kSpaceKey) {
        const std::string name = frameFileName(static_cast<uint64_t>(savedFrames));
        std::string why;
        // The preview goes on; the user hears of frames that were not written when it ends.
        if (g_engine.writeTgaFile(name, 24, &why) != 0) {
          if (unwrittenFrames++ == 0) firstUnwritten = name + ": " + why;
        }
        ++savedFrames;
      }
    }
    g_engine.endPlayback();
  }
  destroyDisplayWindow();
  m_previewRunning = false;
  if (unwrittenFrames > 0) {
    platform::showMessage(std::string(kFramesNotWrittenMessage) + "\n" +
                              std::to_string(unwrittenFrames) + " of them, the first:\n" +
                              firstUnwritten,
                          kEngineErrorCaption);
  }
}
