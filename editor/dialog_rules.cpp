#include "editor/dialog_rules.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "editor/editor_texts.h"
#include "editor/picture_pane.h"
#include "editor/settings_fields.h"
#include "editor/undo_history.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "engine/tga_export.h"
#include "faces/face_points.h"
#include "glide/platform.h"

namespace {

std::string FailureText(const char* headline, const std::string& path, const std::string& why,
                        const char* note) {
  return std::string(headline) + "\n" + path + "\n\n" + why + "\n" + note;
}

std::string TooManyChosenText(int32_t present, size_t chosen) {
  return "A project holds at most " + std::to_string(kMaxPictures) + " pictures.\nThis one has " +
         std::to_string(present) + "; the " + std::to_string(chosen) + " chosen would make " +
         std::to_string(present + chosen) + ". Nothing was added.";
}

}  // namespace

bool IsProjectFileName(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == std::string(".") + kProjectExtension;
}

EditorDialogRules::EditorDialogRules() {
  g_leftPicture = 0;
  g_history.SetChangeListener([this] { ProjectStateChanged(); });
}

EditorDialogRules::~EditorDialogRules() {
  g_history.SetChangeListener(nullptr);
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
  m_savedSettings = CurrentSettings();
  g_history.Reset();
}

// While a preview plays, the engine's settings must stay as the playback started with them (a
// speed of 0 would divide by zero); the fields are read again when the preview ends.
void EditorDialogRules::OnChangeQuality() {
  if (m_previewRunning) return;
  g_engine.quality = ReadFieldValue(GetControlText(kIdQuality));
  ProjectStateChanged();
}

void EditorDialogRules::OnChangeSpeed() {
  if (m_previewRunning) return;
  g_engine.speed = ReadFieldValue(GetControlText(kIdSpeed));
  ProjectStateChanged();
}

void EditorDialogRules::OnChangePlaySize() {
  if (m_previewRunning) return;
  g_engine.playSize = ReadFieldValue(GetControlText(kIdPlaySize));
  ProjectStateChanged();
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
  const std::vector<std::string> paths = RunOpenPicturesDialog();
  if (!paths.empty()) AddPictureFiles(position, paths);
}

void EditorDialogRules::OnAddPictures() {
  AddPicture(std::min(g_leftPicture + 1, g_engine.pictureCount));
}

std::vector<std::string> EditorDialogRules::RunOpenPicturesDialog() {
  if (std::optional<std::string> path = RunOpenDialog(kPictureFilter)) return {*path};
  return {};
}

int32_t EditorDialogRules::AddPictureFiles(int32_t position,
                                           const std::vector<std::string>& paths) {
  if (m_previewRunning || paths.empty()) return 0;
  const size_t count = paths.size();
  if (g_engine.pictureCount + count > static_cast<size_t>(kMaxPictures)) {
    platform::showMessage(g_engine.pictureCount >= kMaxPictures
                              ? std::string(kTooManyPicturesMessage)
                              : TooManyChosenText(g_engine.pictureCount, count),
                          kEngineErrorCaption);
    return 0;
  }
  // A position the table refuses (the left pane past the end) adds nothing.
  if (position < 0 || position > g_engine.pictureCount) return 0;
  // Every picture is read and fitted before the project changes: all of them come in, or none.
  SetBusy(true);
  std::vector<pictures::ImportResult> results = pictures::importPictures(paths, m_pictureFit);
  SetBusy(false);
  for (size_t n = 0; n < count; ++n) {
    if (results[n].imported) continue;
    platform::showMessage(
        FailureText(count == 1 ? kAddFailedOneMessage : kAddFailedManyMessage, paths[n],
                    results[n].whyNot, count == 1 ? kAddKeptNote : kAddNoneNote),
        kEngineErrorCaption);
    return 0;
  }
  for (size_t n = 0; n < count; ++n) {
    g_engine.insertPicture(std::move(results[n].picture.picture),
                           position + static_cast<int32_t>(n));
  }
  g_history.Record();  // one undo step for all of them
  RefreshPictures();
  std::string faceless;
  for (size_t n = 0; n < count; ++n) {
    if (results[n].picture.faceNotFound) {
      faceless += "\n" + paths[n];
    }
  }
  if (!faceless.empty()) platform::showMessage(kNoFaceFitMessage + faceless, kDialogCaption);
  return static_cast<int32_t>(count);
}

void EditorDialogRules::OnDeleteLeft() {
  if (m_previewRunning) return;
  g_engine.deletePicture(g_leftPicture);
  g_history.Record();
  RefreshPictures();
}

void EditorDialogRules::OnDeleteRight() {
  if (m_previewRunning) return;
  g_engine.deletePicture(g_leftPicture + 1);
  g_history.Record();
  RefreshPictures();
}

void EditorDialogRules::OnClearAll() {
  if (m_previewRunning) return;
  if (platform::showMessage(kClearAllQuestion, kConfirmCaption, platform::Buttons::OkCancel) !=
      platform::Answer::Ok) {
    return;
  }
  if (!SaveChangesIfWanted()) return;
  g_engine.clearProject();
  g_history.Record();
  RefreshPictures();
}

void EditorDialogRules::OnLoad() {
  if (m_previewRunning || !SaveChangesIfWanted()) return;
  const std::optional<std::string> path = RunOpenDialog(kProjectFilter);
  if (path) LoadProjectFile(*path);
}

bool EditorDialogRules::LoadProjectFile(const std::string& path) {
  if (m_previewRunning) return false;
  std::string why;
  if (g_engine.loadProject(path, &why) != 0) {
    // The loader reads and checks the whole file before it touches the project.
    platform::showMessage(FailureText(kLoadFailedMessage, path, why, kLoadKeptNote),
                          kEngineErrorCaption);
    return false;
  }
  m_projectPath = path;
  EndPaneGestures();
  RefreshPictures();
  SettingsToControls();
  m_savedSettings = CurrentSettings();
  g_history.Reset();  // tells ProjectStateChanged
  // Said once, so that the user knows of points no pane will show.
  if (const int32_t hidden = CountPointsNotShown(); hidden > 0) {
    platform::showMessage(
        std::to_string(hidden) + (hidden == 1 ? kPointsNotShownOne : kPointsNotShownMany),
        kDialogCaption);
  }
  return true;
}

void EditorDialogRules::OnSave() {
  if (!m_previewRunning) SaveAs();
}

bool EditorDialogRules::OnSaveToProjectFile() {
  if (m_previewRunning) return false;
  return m_projectPath.empty() ? SaveAs() : SaveTo(m_projectPath);
}

bool EditorDialogRules::SaveAs() {
  const std::optional<std::string> path = RunSaveDialog(kProjectFilter, kProjectExtension);
  return path && SaveTo(*path);
}

bool EditorDialogRules::SaveTo(const std::string& path) {
  ControlsToSettings();  // the file gets the clamped values that the fields show
  g_history.Record();    // a drag still under way is saved too
  std::string why;
  const bool saved = g_engine.saveProject(path, &why) == 0;
  if (saved) {
    m_projectPath = path;
    m_savedSettings = CurrentSettings();
    g_history.MarkSaved();  // tells ProjectStateChanged
  } else {
    platform::showMessage(FailureText(kSaveFailedMessage, path, why, kSaveKeptNote),
                          kEngineErrorCaption);
  }
  RefreshPictures();
  return saved;
}

void EditorDialogRules::OnUndo() {
  if (m_previewRunning) return;
  EndPaneGestures();
  if (g_history.Undo()) RefreshPictures();
}

void EditorDialogRules::OnRedo() {
  if (m_previewRunning) return;
  EndPaneGestures();
  if (g_history.Redo()) RefreshPictures();
}

void EditorDialogRules::OnFindFacePoints() {
  if (m_previewRunning) return;
  EndPaneGestures();
  FaceSources sources;
  std::string why;
  const FaceSearch search = addFacePoints(
      g_engine, {}, sources, &why,
      [this](int32_t done, int32_t total) {
        return ShowProgress(kDialogCaption, kFindingFacesText, done, total);
      });
  EndProgress();
  if (search == FaceSearch::failed) {
    platform::showMessage(
        std::string(kFacePointsFailedMessage) + ":\n" + why + "\n" + kFacePointsKeptNote,
        kDialogCaption);
  }
  if (search != FaceSearch::done) return;
  g_history.Record();
  RefreshPictures();
  std::vector<int32_t> withoutFace;
  for (int32_t n = 0; n < static_cast<int32_t>(sources.size()); ++n) {
    if (sources[n] >= 0) withoutFace.push_back(n + 1);
  }
  if (withoutFace.empty()) return;
  std::string list;
  for (size_t i = 0; i < withoutFace.size(); ++i) {
    if (i > 0) list += i + 1 == withoutFace.size() ? " and " : ", ";
    list += std::to_string(withoutFace[i]);
  }
  const bool one = withoutFace.size() == 1;
  platform::showMessage(std::string(kNoFaceMessage) + (one ? " " : "s ") + list +
                            " (counting from 1).\n" + (one ? kNoFaceNote : kNoFacesNote),
                        kDialogCaption);
}

bool EditorDialogRules::TakesDrop(const std::vector<std::string>& paths, int side) {
  if (paths.size() == 1 && IsProjectFileName(paths.front())) return true;
  return !paths.empty() && (side == 0 || side == 1) &&
         std::none_of(paths.begin(), paths.end(), IsProjectFileName);
}

bool EditorDialogRules::DropFiles(const std::vector<std::string>& paths, int side) {
  if (m_previewRunning || !TakesDrop(paths, side)) return false;
  if (IsProjectFileName(paths.front())) {
    return SaveChangesIfWanted() && LoadProjectFile(paths.front());
  }
  AddPictureFiles(g_leftPicture + side, paths);
  return true;
}

// ---- Unsaved changes ---------------------------------------------------------------------------

EditorDialogRules::SavedSettings EditorDialogRules::CurrentSettings() const {
  return {ClampSetting(g_engine.playSize, kPlaySizeRange),
          ClampSetting(g_engine.speed, kSpeedRange), ClampSetting(g_engine.quality, kQualityRange),
          GetComboSelection(kIdPlayMode)};
}

bool EditorDialogRules::IsModified() const {
  return !g_history.AtSavedState() || !(CurrentSettings() == m_savedSettings);
}

std::string EditorDialogRules::WindowTitle() const {
  const std::string name = std::filesystem::path(m_projectPath).filename().string();
  const bool modified = IsModified();
  if (name.empty() && !modified) return kDialogCaption;
  return (name.empty() ? kUntitledName : name) + (modified ? "*" : "") + " - " + kDialogCaption;
}

bool EditorDialogRules::SaveChangesIfWanted() {
  if (!IsModified()) return true;
  switch (AskToSaveChanges()) {
    case SaveAnswer::Save:
      return OnSaveToProjectFile();
    case SaveAnswer::Discard:
      return true;
    case SaveAnswer::Cancel:
      break;
  }
  return false;
}

bool EditorDialogRules::OkToClose() {
  return !m_previewRunning && SaveChangesIfWanted();
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
    setPlaySquare(g_engine.originX, g_engine.originY, g_engine.viewSize);  // for F11
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
