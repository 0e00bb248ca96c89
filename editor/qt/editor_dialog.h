// The main dialog "orvante" on Qt Widgets: a menu bar, and under it the controls of the classic
// resource at their positions (dialog units converted to pixels), each with its id as object
// name, bound to the dialog's rules.
//
// The menus: File (Open..., Save, Save As..., Add Pictures..., Export..., Quit), Edit (Undo,
// Redo, Find Face Points), Play (Play with 3Dfx), Help (About). A new command takes one line in
// CreateMenus:
//
//     AddMenuEntry(Menu::File, "&Export...", QKeySequence("Ctrl+E"), [this] { OnExport(); });
//
// File entries go before Quit, the others after the menu's last entry. A command that changes
// pictures or points records its undo step with g_history.Record() (editor/undo_history.h).
#pragma once

#include <QDialog>
#include <QIcon>
#include <QKeySequence>
#include <functional>
#include <vector>

#include "editor/dialog_rules.h"
#include "glide/platform.h"

class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressDialog;
class PaneControl;

// Dialog units to pixels: x and widths times `across`, y and heights times `down`, each rounded
// to the nearest pixel. The classic factors, 1.5 and 1.625, fit the 8-point sans font.
QRect DialogUnitsToPixels(int x, int y, int width, int height, double across = 1.5,
                          double down = 1.625);

class CEditorDlg : public QDialog, public EditorDialogRules {
 public:
  enum class Menu { File, Edit, Play, Help };

  explicit CEditorDlg(QWidget* parent = nullptr);

  // Adds a command to a menu (see the top of this file) and returns its action.
  QAction* AddMenuEntry(Menu menu, const QString& text, const QKeySequence& shortcut,
                        std::function<void()> command);
  QMenuBar* MenuBar() const { return m_menuBar; }
  // The controls' parent, right under the menu bar: the classic dialog's client area.
  QWidget* Body() const { return m_body; }
  // Pixels per dialog unit across and down: the classic 1.5 and 1.625, or more where the
  // desktop's font needs more room for a control's text.
  double UnitsAcross() const { return m_across; }
  double UnitsDown() const { return m_down; }

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
  // Several pictures at once, of every format the editor reads.
  std::vector<std::string> RunOpenPicturesDialog() override;
  void SetBusy(bool busy) override;
  SaveAnswer AskToSaveChanges() override;
  bool ShowProgress(const char* title, const char* text, int64_t done, int64_t total) override;
  void EndProgress() override;
  void ProjectStateChanged() override;
  std::optional<std::string> RunExportDialog() override;

  // Exit, Enter, Escape, the close box and Quit all end here: not before unsaved changes were
  // saved or discarded.
  void done(int result) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void LayOutControls();
  void CreateMenus();
  void CreateFitMenu();
  void ConnectCommands();
  void Play();
  // The pane under a drop position of the dialog: 0, 1, or -1 for none.
  int PaneAt(const QPoint& position) const;
  QLineEdit* Field(int id) const;
  QComboBox* Combo(int id) const;
  std::optional<std::string> RunFileDialog(const char* filter, const char* defaultExtension);
  void OnAbout();

  QIcon m_hIcon;
  QMenuBar* m_menuBar = nullptr;
  QWidget* m_body = nullptr;
  QMenu* m_menus[4] = {nullptr, nullptr, nullptr, nullptr};
  QAction* m_quitSeparator = nullptr;  // File entries go before it
  QAction* m_undoAction = nullptr;
  QAction* m_redoAction = nullptr;
  double m_across = 1.5;
  double m_down = 1.625;
  PaneControl* m_paneControls[2] = {nullptr, nullptr};
  std::vector<QWidget*> m_controls;  // in the order of the classic table
  bool m_repaintPending = false;
  bool m_watchingExposures = false;
  QProgressDialog* m_progress = nullptr;  // while an export or another long command runs
};

// The About box: the program's title, version and maker, and an OK button.
class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent);
};

// The application icon.
QIcon ApplicationIcon();
