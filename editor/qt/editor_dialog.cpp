#include "editor/qt/editor_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QExposeEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QWindow>

#include "editor/editor_texts.h"
#include "editor/file_filters.h"
#include "editor/qt/pane_control.h"

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
    {kIdSaveTga, Kind::Check, "Check1", 150, 170, 10, 10},  // its text is hidden by its size
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

int RoundedTimes(int value, int numerator, int denominator) {
  return (value * numerator * 2 + denominator) / (denominator * 2);
}

}  // namespace

QRect DialogUnitsToPixels(int x, int y, int width, int height) {
  return QRect(RoundedTimes(x, 3, 2), RoundedTimes(y, 13, 8), RoundedTimes(width, 3, 2),
               RoundedTimes(height, 13, 8));
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
  setFixedSize(DialogUnitsToPixels(0, 0, kDialogWidth, kDialogHeight).size());
  CreateControls();
  ConnectCommands();
  // What the dialog's start does once its controls exist.
  setWindowIcon(m_hIcon);
  OnInitDialog();
}

void CEditorDlg::CreateControls() {
  const QColor background = palette().color(QPalette::Window);
  for (const ControlEntry& entry : kControls) {
    const QRect place = DialogUnitsToPixels(entry.x, entry.y, entry.width, entry.height);
    QWidget* control = nullptr;
    switch (entry.kind) {
      case Kind::Button: {
        auto* button = new QPushButton(entry.text, this);
        button->setAutoDefault(true);                      // Enter on a focused button presses it
        if (entry.id == kIdExit) button->setDefault(true);  // Enter anywhere else means Exit
        control = button;
        break;
      }
      case Kind::Combo: {
        auto* box = new QComboBox(this);
        const auto& items = entry.id == kIdPlayMode ? kPlayModeItems : kDitherItems;
        for (const char* item : items) AddSorted(box, item);
        // The resource's height includes the dropped-down list; the closed box is one line.
        control = box;
        control->setGeometry(place.x(), place.y(), place.width(), box->sizeHint().height());
        break;
      }
      case Kind::Edit: {
        auto* field = new QLineEdit(this);
        const int id = entry.id;
        connect(field, &QLineEdit::textChanged, this, [this, id] { OnFieldChanged(id); });
        control = field;
        break;
      }
      case Kind::Check:
        control = new QCheckBox(entry.text, this);
        break;
      case Kind::Label:
        control = new QLabel(entry.text, this);
        break;
      case Kind::Pane: {
        const int side = entry.id == kIdLeftPane ? 0 : 1;
        auto* pane = new PaneControl(this, g_panes[side]);
        g_panes[side].Bind(pane, place.width(), place.height(), background.rgb() & 0xFFFFFF);
        m_paneControls[side] = pane;
        control = pane;
        break;
      }
    }
    if (entry.id != 0) control->setObjectName(QString::number(entry.id));
    if (entry.kind != Kind::Combo) control->setGeometry(place);
  }
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
  connect(findChild<QPushButton*>(QString::number(kIdPlay)), &QPushButton::clicked, this, [this] {
    OnPlay();
    RequestRepaint();  // the display window has gone from over the dialog
  });
  connect(findChild<QPushButton*>(QString::number(kIdAbout)), &QPushButton::clicked, this,
          [this] { OnAbout(); });
  connect(findChild<QPushButton*>(QString::number(kIdExit)), &QPushButton::clicked, this,
          &QDialog::accept);
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

void CEditorDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
  RequestRepaint();
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
