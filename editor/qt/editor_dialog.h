// The main dialog "orvante" on Qt Widgets: the controls of the classic resource at their
// positions (dialog units converted to pixels), each with its id as object name, bound to the
// dialog's rules.
#pragma once

#include <QDialog>
#include <QIcon>

#include "editor/dialog_rules.h"
#include "glide/platform.h"

class QComboBox;
class QLineEdit;
class PaneControl;

// Dialog units to pixels for the 8-point sans font: x and widths times 1.5, y and heights
// times 1.625, each rounded to the nearest pixel.
QRect DialogUnitsToPixels(int x, int y, int width, int height);

class CEditorDlg : public QDialog, public EditorDialogRules {
 public:
  explicit CEditorDlg(QWidget* parent = nullptr);

  // A repaint of the dialog, once the event loop is free again: the panes are redrawn and the
  // fields read again. The window system's exposures ask for it, and so do closing a file
  // dialog or message box over the dialog and the end of a preview.
  void RequestRepaint();

  PaneControl* PaneWindow(int side) const { return m_paneControls[side]; }

  // Shows a message box over the running dialog; the editor's handler for platform::showMessage.
  static platform::Answer ShowMessageBox(const std::string& text, const std::string& caption,
                                         platform::Buttons buttons);

 protected:
  std::string GetControlText(int id) const override;
  void SetControlText(int id, const std::string& text) override;
  int32_t GetComboSelection(int id) const override;
  void SetComboSelection(int id, int32_t index) override;
  int32_t GetCheck(int id) const override;
  std::optional<std::string> RunOpenDialog(const char* filter) override;
  std::optional<std::string> RunSaveDialog(const char* filter,
                                           const char* defaultExtension) override;

  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void ConnectCommands();
  QLineEdit* Field(int id) const;
  QComboBox* Combo(int id) const;
  std::optional<std::string> RunFileDialog(const char* filter, const char* defaultExtension);
  void OnAbout();

  QIcon m_hIcon;
  PaneControl* m_paneControls[2] = {nullptr, nullptr};
  bool m_repaintPending = false;
  bool m_watchingExposures = false;
};

// The About box: the program's title, version and maker, and an OK button.
class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent);
};

// The application icon.
QIcon ApplicationIcon();
