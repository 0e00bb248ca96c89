// The main dialog's rules, free of any toolkit: how the settings fields and the engine stay in
// step, what every command does to the engine, to g_leftPicture and to the panes, and the
// preview. The dialog class derives from this one and gives it its controls, its file dialogs
// and, through platform::showMessage, its message boxes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "editor/settings_fields.h"

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

class EditorDialogRules {
 public:
  // A new dialog shows pictures 0 and 1.
  EditorDialogRules();
  virtual ~EditorDialogRules() = default;

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
  // initialised, settings shown.
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
  void OnSave();
  void OnPlay();

  // True while a preview plays; the commands then do nothing (see OnPlay).
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

  // ---- ... and its file dialogs: the chosen path, or nothing when cancelled ----
  // `filter` is a list of description|pattern pairs (see editor_texts.h).
  virtual std::optional<std::string> RunOpenDialog(const char* filter) = 0;
  // Names typed without an extension get `defaultExtension`; an existing file is replaced only
  // after the user confirmed it.
  virtual std::optional<std::string> RunSaveDialog(const char* filter,
                                                   const char* defaultExtension) = 0;

 private:
  void AddPicture(int32_t position);
  void ReadField(int id, int32_t& setting, SettingRange range);
  void ShowField(int id, int32_t& setting, SettingRange range);

  bool m_previewRunning = false;
};
