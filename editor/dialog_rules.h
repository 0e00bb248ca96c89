// The main dialog's rules, free of any toolkit: how the settings fields and the engine stay in
// step, what every command does to the engine, to g_leftPicture and to the panes, and the
// preview. The dialog class derives from this one and gives it its controls, its file dialogs
// and, through platform::showMessage, its message boxes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "editor/settings_fields.h"
#include "pictures/pictures.h"

// The controls' ids; the dialog's controls carry them as their object names.
enum ControlId : int {
  kIdExit = 1,
  kIdAddRight = 1000,
  kIdSpeed = 1001,
  kIdPlaySize = 1002,
  kIdPrevious = 1003,
  kIdNext = 1004,
  kIdQuality = 1005,
  kIdAddLeft = 1006,
  kIdPlay = 1007,
  kIdSave = 1010,
  kIdLoad = 1011,
  kIdAbout = 1013,
  kIdDeleteLeft = 1017,
  kIdDeleteRight = 1018,
  kIdDither = 1023,
  kIdRightPane = 1026,
  kIdLeftPane = 1029,
  kIdClearAll = 1036,
  kIdPlayMode = 1038,
  kIdSaveTga = 1039,
};

// True for a name that ends in ".kzm" (in any case): a project file, when dropped.
bool IsProjectFileName(const std::string& path);

class EditorDialogRules {
 public:
  // The answers to "The project has changes that are not saved. Save them first?".
  enum class SaveAnswer { Save, Discard, Cancel };

  // A new dialog shows pictures 0 and 1. It hears of every change of the undo history.
  EditorDialogRules();
  virtual ~EditorDialogRules();

  // Fields, combo boxes and check box into the engine, in this order: play size, speed and
  // quality (each read, clamped, written back into its field and stored), play mode, dither,
  // the "Save TGA files" box into m_saveTga.
  void ControlsToSettings();
  // The engine's settings into the controls: play size, speed and quality clamped into their
  // fields and back into the engine, the play mode selected, the dither reset to "Dither 2x2".
  void SettingsToControls();
  // Gives the panes the pictures g_leftPicture and g_leftPicture + 1 and redraws them.
  void RefreshPictures();
  // What every repaint of the dialog does besides drawing its controls: both panes are redrawn
  // and the settings fields read again.
  void OnPaint();
  // The start of the dialog, once its controls exist and the panes are bound to theirs: panes
  // initialised, settings shown, a new undo history, the project unmodified.
  void OnInitDialog();

  // A field's change notification stores its value as typed, unclamped.
  void OnChangeQuality();
  void OnChangeSpeed();
  void OnChangePlaySize();
  // Runs the change handler of the field with this id, if it is one of the three.
  void OnFieldChanged(int id);

  // The buttons.
  void OnPrevious();
  void OnNext();
  void OnAddLeft();
  void OnAddRight();
  void OnDeleteLeft();
  void OnDeleteRight();
  void OnClearAll();
  void OnLoad();
  void OnSave();  // the Save button and File > Save As...: always through the save dialog
  void OnPlay();
  // Asks for a file and exports the project being edited, with the dialog's settings, as a
  // video, an animated GIF or WebP, or PNG frames (editor/export_rules.cpp).
  void OnExport();

  // ---- Beyond the buttons: the menu, the undo history, unsaved changes, dropped files ----

  // File > Save: straight to the project's file when it has one, else as Save As. True when
  // the project was saved.
  bool OnSaveToProjectFile();
  // File > Add Pictures...: the pictures go into the right pane's place, or at the end when
  // that lies past it, so that the command also adds to an empty project.
  void OnAddPictures();
  // Edit > Undo and Redo: the panes show the project as it was at once.
  void OnUndo();
  void OnRedo();

  // Edit > Find Face Points: the 68 face points on every picture, as kzmtool faces adds them,
  // with the progress shown while it works (it may be cancelled). One undo step; one message
  // names the pictures without a face. A project that cannot take them, a missing face model or
  // no face on any picture says why and changes nothing.
  void OnFindFacePoints();

  // Loads a project file without asking (the editor's start argument, a drop, Load). True when
  // loaded: the project then has that file, a new undo history and no changes. A file that
  // cannot be read says why and changes nothing.
  bool LoadProjectFile(const std::string& path);
  // Imports picture files (any format the pictures library reads, fitted with PictureFit())
  // and inserts them in order from `position` on, as the Add buttons do. All or nothing: a file
  // that is refused is named with its reason, and so is a choice that would pass 50 pictures;
  // the project then stays as it was. All of them are one undo step. Returns how many were
  // inserted.
  int32_t AddPictureFiles(int32_t position, const std::vector<std::string>& paths);
  // How pictures that are not 256 x 256 are fitted when they are added (crop at first; the
  // dialog remembers the choice between runs).
  pictures::Fit PictureFit() const { return m_pictureFit; }
  void SetPictureFit(pictures::Fit fit) { m_pictureFit = fit; }
  // Files dropped onto the dialog (side -1) or onto a pane (side 0 left, 1 right): one project
  // file opens (after asking about unsaved changes); picture files dropped onto a pane go into
  // its place as that side's Add would put them. False when the drop is not taken.
  bool DropFiles(const std::vector<std::string>& paths, int side);
  // Whether DropFiles would take these files there (while they are dragged over the dialog).
  static bool TakesDrop(const std::vector<std::string>& paths, int side);

  // True when the project differs from the one last loaded or saved (at the start: from the
  // empty project): its pictures or points, or the settings a save would write.
  bool IsModified() const;
  // "holiday.kzm* - orvante" while modified, "holiday.kzm - orvante" when not; a project
  // without a file is "orvante", and "Untitled* - orvante" once changed.
  std::string WindowTitle() const;
  // The file the project was last loaded from or saved to; empty when none.
  const std::string& ProjectPath() const { return m_projectPath; }
  // Asks "The project has changes that are not saved. Save them first?" when the project is
  // modified. True when the caller may go on: nothing to save, Discard, or Save and the save
  // succeeded (through the project's file, or the save dialog when it has none).
  bool SaveChangesIfWanted();
  // Whether the dialog may close now (Exit, Escape, Enter, the close box, Quit): asks about
  // unsaved changes; never while a preview plays.
  bool OkToClose();

  // True while a preview plays or an export runs; the commands then do nothing (see OnPlay).
  bool PreviewRunning() const { return m_previewRunning; }

  int32_t m_saveTga = 0;  // the "Save TGA files" box as ControlsToSettings last read it

 protected:
  // ---- What the dialog gives: its controls ----
  virtual std::string GetControlText(int id) const = 0;
  // Setting a field's text runs its change handler, as an edit control's notification does.
  virtual void SetControlText(int id, const std::string& text) = 0;
  // The selected item of a combo box, -1 when none.
  virtual int32_t GetComboSelection(int id) const = 0;
  // Selects an item; an index outside the list leaves the box without a selection.
  virtual void SetComboSelection(int id, int32_t index) = 0;
  // 1 when the check box is checked, else 0.
  virtual int32_t GetCheck(int id) const = 0;

  // ---- ... its question about unsaved changes ----
  virtual SaveAnswer AskToSaveChanges() = 0;
  // Told whenever the title, the modified state or what Undo and Redo can do may have changed.
  virtual void ProjectStateChanged() {}

  // ---- ... a progress display for a long command ----
  // Shows in a window titled `title` that `done` of `total` steps are done; false when the user
  // asked to stop. Told often while an export or Find Face Points runs.
  virtual bool ShowProgress(const char* /*title*/, const char* /*text*/, int64_t /*done*/,
                            int64_t /*total*/) {
    return true;
  }
  // The long command ended, however it ended.
  virtual void EndProgress() {}

  // ---- ... and its file dialogs: the chosen path, or nothing when cancelled ----
  // `filter` is a list of description|pattern pairs (see editor_texts.h).
  virtual std::optional<std::string> RunOpenDialog(const char* filter) = 0;
  // Names typed without an extension get `defaultExtension`; an existing file is replaced only
  // after the user confirmed it.
  virtual std::optional<std::string> RunSaveDialog(const char* filter,
                                                   const char* defaultExtension) = 0;
  // The pictures dialog: every file chosen, in the order chosen; nothing when cancelled. Unless
  // the dialog offers more, one file through RunOpenDialog(kPictureFilter).
  virtual std::vector<std::string> RunOpenPicturesDialog();
  // Told before and after work that makes the user wait (reading large pictures).
  virtual void SetBusy(bool /*busy*/) {}
  // The export's target: a file whose extension names the format, or a folder ending in '/'
  // for PNG frames.
  virtual std::optional<std::string> RunExportDialog() = 0;

 private:
  // What a save writes besides the pictures and points, as the controls show it.
  struct SavedSettings {
    int32_t playSize, speed, quality, playMode;
    bool operator==(const SavedSettings&) const = default;
  };
  SavedSettings CurrentSettings() const;
  void AddPicture(int32_t position);
  bool SaveAs();
  bool SaveTo(const std::string& path);
  void ReadField(int id, int32_t& setting, SettingRange range);
  void ShowField(int id, int32_t& setting, SettingRange range);

  bool m_previewRunning = false;
  pictures::Fit m_pictureFit = pictures::Fit::Crop;
  std::string m_projectPath;
  SavedSettings m_savedSettings{};
};
