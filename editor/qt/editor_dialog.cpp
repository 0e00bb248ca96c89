#include "editor/qt/editor_dialog.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QExposeEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "editor/editor_texts.h"
#include "editor/file_filters.h"
#include "editor/qt/pane_control.h"
#include "editor/undo_history.h"
#include "export/morph_export.h"

namespace {

enum class Kind { Button, Combo, Edit, Check, Label, Pane };

struct ControlEntry {
  int id;  // 0: a label without id
  Kind kind;
  const char* text;
  int x, y, width, height;  // dialog units
};

// The controls in creation order, which is also the tab order.
constexpr ControlEntry kControls[] = {
    {kIdPlay, Kind::Button, "Play with 3Dfx ", 180, 5, 65, 15},
    {kIdPrevious, Kind::Button, "<<", 180, 25, 30, 10},
    {kIdNext, Kind::Button, ">>", 215, 25, 30, 10},
    {kIdAddLeft, Kind::Button, "<- Add", 180, 40, 30, 15},
    {kIdAddRight, Kind::Button, "Add ->", 215, 40, 30, 15},
    {kIdLoad, Kind::Button, "Load", 180, 60, 30, 15},
    {kIdSave, Kind::Button, "Save", 215, 60, 30, 15},
    {kIdPlayMode, Kind::Combo, "", 180, 81, 65, 55},
    {kIdQuality, Kind::Edit, "", 215, 100, 30, 15},
    {kIdSpeed, Kind::Edit, "", 215, 115, 30, 15},
    {kIdPlaySize, Kind::Edit, "", 215, 130, 30, 15},
    {kIdDither, Kind::Combo, "", 180, 150, 65, 45},
    {kIdDeleteLeft, Kind::Button, "Delete", 5, 170, 40, 15},
    // The classic box's own text, "Check1", never showed (the box is too small for it); the
    // label beside it names it.
    {kIdSaveTga, Kind::Check, "", 150, 170, 10, 10},
    {kIdClearAll, Kind::Button, "Clear All", 180, 170, 65, 15},
    {kIdDeleteRight, Kind::Button, "Delete", 250, 170, 40, 15},
    {kIdAbout, Kind::Button, "About", 330, 170, 40, 15},
    {kIdExit, Kind::Button, "Exit", 375, 170, 40, 15},
    {0, Kind::Label, "Speed", 191, 118, 21, 8},
    {0, Kind::Label, "Play Size", 183, 132, 30, 10},
    {0, Kind::Label, "Quality", 190, 105, 23, 8},
    {kIdRightPane, Kind::Pane, "", 250, 5, 164, 160},
    {kIdLeftPane, Kind::Pane, "", 5, 5, 170, 160},
    {0, Kind::Label, "Save TGA files", 99, 170, 50, 10},
};

constexpr int kDialogWidth = 417;  // dialog units
constexpr int kDialogHeight = 188;
constexpr int kFontPoints = 8;

// The combo boxes' lists, in the order they are filled; the boxes sort them.
const char* const kPlayModeItems[] = {"Play Loop", "Play Ping-Pong", "Play Random"};
const char* const kDitherItems[] = {"Dither 4x4", "Dither 2x2", "No Dither"};

// Where the editor keeps what lasts between runs (~/.config/morphstudio/ORVANTE.conf).
constexpr const char* kSettingsOrganization = "morphstudio";
constexpr const char* kSettingsApplication = "ORVANTE";
constexpr const char* kFitSetting = "pictures/fit";

// Adds an item where a sorted list puts it (case does not count), so that list positions are
// the setting values: 0 "Dither 2x2", 1 "Dither 4x4", 2 "No Dither".
void AddSorted(QComboBox* box, const QString& item) {
  int position = 0;
  while (position < box->count() &&
         QString::compare(box->itemText(position), item, Qt::CaseInsensitive) <= 0) {
    ++position;
  }
  box->insertItem(position, item);
}

// The dialogs' font: 8 points of a sans face with the narrow metrics the layout was made for
// (Helvetica's and Arial's), where the desktop has one; otherwise its own sans face.
QFont DialogFont(const QFont& base) {
  QFont font = base;
  font.setFamilies({"Liberation Sans", "Arimo", "Nimbus Sans", "Arial", "Helvetica"});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(kFontPoints);
  return font;
}

// The pixels a control needs to show its whole text, across and down (0 where it has no text
// or the direction does not matter).
QSize TextRoom(QWidget* control) {
  const QFontMetrics metrics = control->fontMetrics();
  if (auto* button = qobject_cast<QPushButton*>(control)) {
    // Inside the frame, with a pixel to spare on either side.
    const int frame = control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
    return {metrics.horizontalAdvance(button->text()) + 2 * frame + 2,
            metrics.tightBoundingRect(button->text()).height() + 2 * frame};
  }
  if (auto* label = qobject_cast<QLabel*>(control)) {
    return {metrics.horizontalAdvance(label->text()), metrics.height()};
  }
  if (auto* box = qobject_cast<QComboBox*>(control)) {
    // The widest item in the box's text field, which the arrow and the frame leave.
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.frame = true;
    option.subControls = QStyle::SC_All;
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                     QStyle::SC_ComboBoxEditField, box);
    int widest = 0;
    for (int i = 0; i < box->count(); ++i) {
      widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    }
    return {widest + box->width() - field.width() + 2, 0};
  }
  return {0, 0};
}

}  // namespace

QRect DialogUnitsToPixels(int x, int y, int width, int height, double across, double down) {
  return QRect(qRound(x * across), qRound(y * down), qRound(width * across), qRound(height * down));
}

QIcon ApplicationIcon() {
  // Two pictures melting into each other.
  QIcon icon;
  for (int side : {16, 32, 48}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = side / 16.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 102, 255));
    painter.drawRoundedRect(QRectF(1 * unit, 1 * unit, 9 * unit, 9 * unit), unit, unit);
    painter.setBrush(QColor(255, 0, 255, 200));
    painter.drawEllipse(QRectF(6 * unit, 6 * unit, 9 * unit, 9 * unit));
    icon.addPixmap(pixmap);
  }
  return icon;
}

CEditorDlg::CEditorDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_hIcon(ApplicationIcon()) {
  setWindowTitle(kDialogCaption);
  setFont(DialogFont(font()));
  setAcceptDrops(true);
  m_body = new QWidget(this);
  CreateControls();
  LayOutControls();
  CreateMenus();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(m_menuBar);
  layout->addWidget(m_body);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  ConnectCommands();
  // What the dialog's start does once its controls exist.
  setWindowIcon(m_hIcon);
  OnInitDialog();
}

void CEditorDlg::CreateControls() {
  for (const ControlEntry& entry : kControls) {
    QWidget* control = nullptr;
    switch (entry.kind) {
      case Kind::Button: {
        auto* button = new QPushButton(entry.text, m_body);
        button->setAutoDefault(true);                       // Enter on a focused button presses it
        if (entry.id == kIdExit) button->setDefault(true);  // Enter anywhere else means Exit
        control = button;
        break;
      }
      case Kind::Combo: {
        auto* box = new QComboBox(m_body);
        const auto& items = entry.id == kIdPlayMode ? kPlayModeItems : kDitherItems;
        for (const char* item : items) AddSorted(box, item);
        connect(box, &QComboBox::currentIndexChanged, this, [this] { ProjectStateChanged(); });
        control = box;
        break;
      }
      case Kind::Edit: {
        auto* field = new QLineEdit(m_body);
        const int id = entry.id;
        connect(field, &QLineEdit::textChanged, this, [this, id] { OnFieldChanged(id); });
        control = field;
        break;
      }
      case Kind::Check:
        control = new QCheckBox(entry.text, m_body);
        control->setAccessibleName("Save TGA files");
        break;
      case Kind::Label:
        control = new QLabel(entry.text, m_body);
        break;
      case Kind::Pane: {
        const int side = entry.id == kIdLeftPane ? 0 : 1;
        m_paneControls[side] = new PaneControl(m_body, g_panes[side]);
        control = m_paneControls[side];
        break;
      }
    }
    if (entry.id != 0) control->setObjectName(QString::number(entry.id));
    control->setGeometry(DialogUnitsToPixels(entry.x, entry.y, entry.width, entry.height));
    m_controls.push_back(control);
  }
}

// The classic positions, scaled up evenly where the font needs more room than the classic
// factors give: so no text is cut off, and every control keeps its place among the others.
void CEditorDlg::LayOutControls() {
  const std::vector<QWidget*>& controls = m_controls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlEntry& entry = kControls[i];
    const QSize room = TextRoom(controls[i]);
    m_across = std::max(m_across, static_cast<double>(room.width()) / entry.width);
    m_down = std::max(m_down, static_cast<double>(room.height()) / entry.height);
  }
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlEntry& entry = kControls[i];
    QRect place =
        DialogUnitsToPixels(entry.x, entry.y, entry.width, entry.height, m_across, m_down);
    // The resource's height of a combo box includes its dropped-down list; closed it is one line.
    if (entry.kind == Kind::Combo) place.setHeight(controls[i]->sizeHint().height());
    controls[i]->setGeometry(place);
  }
  m_body->setFixedSize(
      DialogUnitsToPixels(0, 0, kDialogWidth, kDialogHeight, m_across, m_down).size());
  const QColor background = palette().color(QPalette::Window);
  for (int side : {0, 1}) {
    const QSize size = m_paneControls[side]->size();
    g_panes[side].Bind(m_paneControls[side], size.width(), size.height(),
                       background.rgb() & 0xFFFFFF);
  }
}

void CEditorDlg::CreateMenus() {
  m_menuBar = new QMenuBar(this);
  m_menuBar->setNativeMenuBar(false);  // always in the dialog, above its controls
  const char* const titles[] = {"&File", "&Edit", "&Play", "&Help"};
  for (int i = 0; i < 4; ++i) m_menus[i] = m_menuBar->addMenu(titles[i]);

  m_quitSeparator = m_menus[0]->addSeparator();
  QAction* quit = m_menus[0]->addAction("&Quit", this, [this] { close(); });
  quit->setShortcut(QKeySequence("Ctrl+Q"));
  AddMenuEntry(Menu::File, "&Open...", QKeySequence("Ctrl+O"), [this] { OnLoad(); });
  AddMenuEntry(Menu::File, "&Save", QKeySequence("Ctrl+S"), [this] { OnSaveToProjectFile(); });
  AddMenuEntry(Menu::File, "Save &As...", QKeySequence("Ctrl+Shift+S"), [this] { OnSave(); });
  AddMenuEntry(Menu::File, "&Add Pictures...", QKeySequence(), [this] { OnAddPictures(); });
  AddMenuEntry(Menu::File, "&Export...", QKeySequence("Ctrl+E"), [this] { OnExport(); });

  m_undoAction = AddMenuEntry(Menu::Edit, "&Undo", QKeySequence("Ctrl+Z"), [this] { OnUndo(); });
  m_redoAction =
      AddMenuEntry(Menu::Edit, "&Redo", QKeySequence("Ctrl+Shift+Z"), [this] { OnRedo(); });
  m_redoAction->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
  m_menus[1]->addSeparator();  // hidden until entries follow it
  AddMenuEntry(Menu::Edit, "Find &Face Points", QKeySequence(), [this] { OnFindFacePoints(); });
  CreateFitMenu();

  AddMenuEntry(Menu::Play, "Play with &3Dfx", QKeySequence("F5"), [this] { Play(); });
  AddMenuEntry(Menu::Help, "&About", QKeySequence(), [this] { OnAbout(); });
}

// Edit > Fit New Pictures: how Add fits pictures that are not 256 x 256, by the names kzmtool
// takes too; the choice lasts between runs.
void CEditorDlg::CreateFitMenu() {
  QMenu* menu = m_menus[1]->addMenu("&Fit New Pictures");
  menu->setObjectName("fitMenu");
  const QSettings settings(kSettingsOrganization, kSettingsApplication);
  const std::string saved = settings.value(kFitSetting, "crop").toString().toStdString();
  SetPictureFit(pictures::fitFromName(saved).value_or(pictures::Fit::Crop));
  auto* choices = new QActionGroup(menu);
  for (pictures::Fit fit :
       {pictures::Fit::Crop, pictures::Fit::Pad, pictures::Fit::Stretch, pictures::Fit::Face}) {
    QAction* action = menu->addAction(pictures::fitName(fit));
    action->setObjectName(QString("fit-") + pictures::fitName(fit));
    action->setCheckable(true);
    action->setChecked(fit == PictureFit());
    choices->addAction(action);
    connect(action, &QAction::triggered, this, [this, fit] {
      SetPictureFit(fit);
      QSettings(kSettingsOrganization, kSettingsApplication)
          .setValue(kFitSetting, pictures::fitName(fit));
    });
  }
}

QAction* CEditorDlg::AddMenuEntry(Menu menu, const QString& text, const QKeySequence& shortcut,
                                  std::function<void()> command) {
  QMenu* target = m_menus[static_cast<int>(menu)];
  auto* action = new QAction(text, target);
  action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this, [command = std::move(command)] { command(); });
  if (menu == Menu::File) {
    target->insertAction(m_quitSeparator, action);
  } else {
    target->addAction(action);
  }
  return action;
}

void CEditorDlg::ConnectCommands() {
  const std::pair<int, void (EditorDialogRules::*)()> commands[] = {
      {kIdLoad, &EditorDialogRules::OnLoad},
      {kIdSave, &EditorDialogRules::OnSave},
      {kIdAddLeft, &EditorDialogRules::OnAddLeft},
      {kIdPrevious, &EditorDialogRules::OnPrevious},
      {kIdNext, &EditorDialogRules::OnNext},
      {kIdDeleteRight, &EditorDialogRules::OnDeleteRight},
      {kIdDeleteLeft, &EditorDialogRules::OnDeleteLeft},
      {kIdClearAll, &EditorDialogRules::OnClearAll},
      {kIdAddRight, &EditorDialogRules::OnAddRight},
  };
  EditorDialogRules* rules = this;
  for (const auto& [id, handler] : commands) {
    connect(findChild<QPushButton*>(QString::number(id)), &QPushButton::clicked, this,
            [rules, handler = handler] { (rules->*handler)(); });
  }
  connect(findChild<QPushButton*>(QString::number(kIdPlay)), &QPushButton::clicked, this,
          [this] { Play(); });
  connect(findChild<QPushButton*>(QString::number(kIdAbout)), &QPushButton::clicked, this,
          [this] { OnAbout(); });
  connect(findChild<QPushButton*>(QString::number(kIdExit)), &QPushButton::clicked, this,
          &QDialog::accept);
}

void CEditorDlg::Play() {
  OnPlay();
  RequestRepaint();  // the display window has gone from over the dialog
}

QLineEdit* CEditorDlg::Field(int id) const {
  return findChild<QLineEdit*>(QString::number(id));
}

QComboBox* CEditorDlg::Combo(int id) const {
  return findChild<QComboBox*>(QString::number(id));
}

std::string CEditorDlg::GetControlText(int id) const {
  return Field(id)->text().toStdString();
}

void CEditorDlg::SetControlText(int id, const std::string& text) {
  QLineEdit* field = Field(id);
  const QString newText = QString::fromStdString(text);
  // An edit control notifies every change of its text, even to the same text.
  if (field->text() == newText) {
    OnFieldChanged(id);
  } else {
    field->setText(newText);
  }
}

int32_t CEditorDlg::GetComboSelection(int id) const {
  return Combo(id)->currentIndex();
}

void CEditorDlg::SetComboSelection(int id, int32_t index) {
  QComboBox* box = Combo(id);
  box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

int32_t CEditorDlg::GetCheck(int id) const {
  return findChild<QCheckBox*>(QString::number(id))->isChecked() ? 1 : 0;
}

std::optional<std::string> CEditorDlg::RunOpenDialog(const char* filter) {
  return RunFileDialog(filter, nullptr);
}

std::optional<std::string> CEditorDlg::RunSaveDialog(const char* filter,
                                                     const char* defaultExtension) {
  return RunFileDialog(filter, defaultExtension);
}

std::optional<std::string> CEditorDlg::RunFileDialog(const char* filter,
                                                     const char* defaultExtension) {
  QFileDialog dialog(this, QString(), QString(),
                     QString::fromStdString(QtFilterFromClassic(filter)));
  // An open dialog takes names of files that do not exist as well; the command says what is
  // wrong with them. A save dialog asks before it replaces a file.
  dialog.setFileMode(QFileDialog::AnyFile);
  if (defaultExtension) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultExtension);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
  }
  const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  RequestRepaint();
  if (!chosen) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

namespace {

// The export's file types; the last one makes a folder of PNG frames.
struct ExportType {
  const char* filter;
  const char* extension;
};
constexpr ExportType kExportTypes[] = {
    {"MP4 video (*.mp4)", "mp4"},           {"WebM video (*.webm)", "webm"},
    {"Animated GIF (*.gif)", "gif"},        {"Animated WebP (*.webp)", "webp"},
    {"PNG frames in a new folder (*)", ""},
};

}  // namespace

std::optional<std::string> CEditorDlg::RunExportDialog() {
  QStringList filters;
  for (const ExportType& type : kExportTypes) filters << type.filter;
  QFileDialog dialog(this, "Export", QString(), filters.join(";;"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(kExportTypes[0].extension);
  // A name typed without an extension gets the chosen type's.
  connect(&dialog, &QFileDialog::filterSelected, &dialog,
          [&dialog, filters](const QString& chosen) {
            dialog.setDefaultSuffix(kExportTypes[filters.indexOf(chosen)].extension);
          });
  const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  RequestRepaint();
  if (!chosen) return std::nullopt;
  std::string path = QFile::encodeName(dialog.selectedFiles().first()).toStdString();
  const bool frames = filters.indexOf(dialog.selectedNameFilter()) == filters.size() - 1;
  if (frames && !morph_export::formatForPath(path)) path += "/";
  return path;
}

// The progress window is made at the first step, in thousandths (an export's frames may pass
// what an int holds).
bool CEditorDlg::ShowProgress(const char* title, const char* text, int64_t done, int64_t total) {
  constexpr int kSteps = 1000;
  if (!m_progress) {
    m_progress = new QProgressDialog(text, "Cancel", 0, kSteps, this);
    m_progress->setWindowTitle(title);
    // Modal from the start: while the command works on the project, nothing else may change it.
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoReset(false);
    m_progress->show();
  }
  m_progress->setValue(total > 0 ? static_cast<int>(done * kSteps / total) : 0);
  // The dialog's own events (Cancel, repaints) are handled between steps.
  QApplication::processEvents();
  return !m_progress->wasCanceled();
}

void CEditorDlg::EndProgress() {
  delete m_progress;
  m_progress = nullptr;
  RequestRepaint();
}

std::vector<std::string> CEditorDlg::RunOpenPicturesDialog() {
  QFileDialog dialog(this, QString(), QString(),
                     QString::fromStdString(QtFilterFromClassic(kPictureFilter, false)));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  const bool chosen = dialog.exec() == QDialog::Accepted;
  RequestRepaint();
  std::vector<std::string> paths;
  if (!chosen) return paths;
  for (const QString& file : dialog.selectedFiles()) {
    paths.push_back(QFile::encodeName(file).toStdString());
  }
  return paths;
}

void CEditorDlg::SetBusy(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void CEditorDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
  RequestRepaint();
}

CEditorDlg::SaveAnswer CEditorDlg::AskToSaveChanges() {
  QMessageBox box(QMessageBox::Warning, kDialogCaption, kUnsavedChangesQuestion,
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  // Return saves, Escape cancels, S and D (also with Alt) choose Save and Discard.
  box.button(QMessageBox::Save)->setText("&Save");
  box.button(QMessageBox::Discard)->setText("&Discard");
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  const int answer = box.exec();
  RequestRepaint();
  if (answer == QMessageBox::Save) return SaveAnswer::Save;
  if (answer == QMessageBox::Discard) return SaveAnswer::Discard;
  return SaveAnswer::Cancel;
}

void CEditorDlg::ProjectStateChanged() {
  setWindowTitle(QFile::decodeName(QByteArray::fromStdString(WindowTitle())));
  if (m_undoAction) m_undoAction->setEnabled(g_history.CanUndo());
  if (m_redoAction) m_redoAction->setEnabled(g_history.CanRedo());
}

void CEditorDlg::done(int result) {
  if (OkToClose()) QDialog::done(result);
}

namespace {

// The local files a drag carries; none when it carries anything else as well.
std::vector<std::string> DraggedFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  }
  return paths;
}

}  // namespace

int CEditorDlg::PaneAt(const QPoint& position) const {
  for (int side : {0, 1}) {
    const PaneControl* pane = m_paneControls[side];
    if (pane->rect().contains(pane->mapFrom(this, position))) return side;
  }
  return -1;
}

void CEditorDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!DraggedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void CEditorDlg::dragMoveEvent(QDragMoveEvent* event) {
  const QPoint at = event->position().toPoint();
  if (TakesDrop(DraggedFiles(event->mimeData()), PaneAt(at))) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void CEditorDlg::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DraggedFiles(event->mimeData());
  const int side = PaneAt(event->position().toPoint());
  if (!TakesDrop(paths, side)) return;
  event->acceptProposedAction();
  // After the drop has ended: the file manager need not wait while a question is answered.
  QMetaObject::invokeMethod(
      this, [this, paths, side] { DropFiles(paths, side); }, Qt::QueuedConnection);
}

void CEditorDlg::RequestRepaint() {
  if (m_repaintPending) return;
  m_repaintPending = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        m_repaintPending = false;
        OnPaint();
      },
      Qt::QueuedConnection);
}

void CEditorDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_watchingExposures && windowHandle()) {
    windowHandle()->installEventFilter(this);
    m_watchingExposures = true;
  }
}

bool CEditorDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && windowHandle() && windowHandle()->isExposed()) {
    RequestRepaint();  // uncovered: the window system asks for a repaint
  }
  return QDialog::eventFilter(watched, event);
}

platform::Answer CEditorDlg::ShowMessageBox(const std::string& text, const std::string& caption,
                                            platform::Buttons buttons) {
  QWidget* owner = QApplication::activeModalWidget();
  if (!owner) owner = QApplication::activeWindow();
  QMessageBox box(
      QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
      buttons == platform::Buttons::Ok ? QMessageBox::Ok : QMessageBox::Ok | QMessageBox::Cancel,
      owner);
  box.setDefaultButton(QMessageBox::Ok);
  // Above everything, the preview's full-screen window included: a box that cannot be seen
  // could not be answered.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  const int answer = box.exec();
  // The dialog under the box repaints when the box goes.
  if (auto* dialog = dynamic_cast<CEditorDlg*>(owner)) dialog->RequestRepaint();
  return answer == QMessageBox::Ok ? platform::Answer::Ok : platform::Answer::Cancel;
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setFont(DialogFont(font()));
  setWindowTitle(QString());
  setFixedSize(DialogUnitsToPixels(0, 0, 186, 79).size());
  auto* text = new QLabel("ORVANTE\nPicture morphing editor\nv1.0\n\nmorph studio", this);
  text->setAlignment(Qt::AlignCenter);
  text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  text->setGeometry(DialogUnitsToPixels(7, 7, 172, 48));
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName(QString::number(kIdExit));
  ok->setDefault(true);
  ok->setGeometry(DialogUnitsToPixels(68, 58, 50, 14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
