// The Qt binding of the main dialog on the offscreen platform: controls found by their ids,
// clicked and typed into; the mouse pressed and dragged over the panes; what the panes show.
#include "editor/qt/editor_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "editor/editor_texts.h"
#include "editor/qt/editor_app.h"
#include "editor/qt/pane_control.h"
#include "editor/undo_history.h"
#include "editor_test_support.h"
#include "engine/messages.h"
#include "support/test_photos.h"

namespace editor_test {
namespace {

// The main dialog with its file dialogs answered by the test (or, when asked, run for real).
class TestDialog : public CEditorDlg {
 public:
  std::deque<std::string> answers;
  bool realFileDialogs = false;

 protected:
  std::optional<std::string> RunOpenDialog(const char* filter) override {
    if (realFileDialogs) return CEditorDlg::RunOpenDialog(filter);
    return Next();
  }
  std::vector<std::string> RunOpenPicturesDialog() override {
    if (realFileDialogs) return CEditorDlg::RunOpenPicturesDialog();
    return EditorDialogRules::RunOpenPicturesDialog();
  }
  std::optional<std::string> RunSaveDialog(const char* filter, const char* extension) override {
    if (realFileDialogs) return CEditorDlg::RunSaveDialog(filter, extension);
    return Next();
  }
  std::optional<std::string> RunExportDialog() override {
    if (realFileDialogs) return CEditorDlg::RunExportDialog();
    return Next();
  }

 private:
  std::optional<std::string> Next() {
    if (answers.empty()) return std::nullopt;
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// Runs `action` on the modal window that the next step opens, once it is up.
void WhenModalOpens(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      WhenModalOpens(action);  // not up yet
      return;
    }
    action(modal);
  });
}

class DialogTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    window_ = std::make_unique<TestDialog>();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    QApplication::processEvents();
  }
  void TearDown() override {
    window_.reset();
    EditorTest::TearDown();
  }

  TestDialog& window() { return *window_; }
  template <typename Control>
  Control* Find(int id) {
    auto* control = window_->findChild<Control*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  void Click(int id) { QTest::mouseClick(Find<QPushButton>(id), Qt::LeftButton); }
  void TypeInto(int id, const QString& text) {
    QLineEdit* field = Find<QLineEdit>(id);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
  }
  PaneControl* Pane(int side) { return window_->PaneWindow(side); }
  // What the pane control paints on screen.
  QRgb Shown(int side, int x, int y) { return Pane(side)->grab().toImage().pixel(x, y) & 0xFFFFFF; }

 private:
  std::unique_ptr<TestDialog> window_;
};

TEST_F(DialogTest, ControlsStandWhereTheResourcePutsThemInTabOrder) {
  EXPECT_EQ(window().windowTitle(), "orvante");
  // The classic factors turn dialog units into these pixels ...
  EXPECT_EQ(DialogUnitsToPixels(0, 0, 417, 188).size(), QSize(626, 306));
  EXPECT_EQ(DialogUnitsToPixels(180, 5, 65, 15), QRect(270, 8, 98, 24));
  EXPECT_EQ(DialogUnitsToPixels(375, 170, 40, 15), QRect(563, 276, 60, 24));
  EXPECT_EQ(DialogUnitsToPixels(250, 5, 164, 160), QRect(375, 8, 246, 260));
  // ... and the dialog uses them, or larger ones where its font needs more room, under its
  // menu bar.
  const double across = window().UnitsAcross();
  const double down = window().UnitsDown();
  EXPECT_GE(across, 1.5);
  EXPECT_GE(down, 1.625);
  const auto place = [&](int x, int y, int width, int height) {
    return DialogUnitsToPixels(x, y, width, height, across, down);
  };
  const int menuHeight = window().MenuBar()->height();
  EXPECT_GT(menuHeight, 0);
  EXPECT_EQ(window().Body()->geometry(),
            QRect(QPoint(0, menuHeight), place(0, 0, 417, 188).size()));
  EXPECT_EQ(window().size(), place(0, 0, 417, 188).size() + QSize(0, menuHeight));
  EXPECT_EQ(Find<QPushButton>(kIdPlay)->text(), "Play with 3Dfx ");
  EXPECT_EQ(Find<QPushButton>(kIdPlay)->geometry(), place(180, 5, 65, 15));
  EXPECT_EQ(Find<QPushButton>(kIdExit)->geometry(), place(375, 170, 40, 15));
  EXPECT_EQ(Pane(0)->geometry(), place(5, 5, 170, 160));
  EXPECT_EQ(Pane(1)->geometry(), place(250, 5, 164, 160));
  EXPECT_EQ(Pane(0)->objectName(), "1029");
  EXPECT_EQ(Find<QCheckBox>(kIdSaveTga)->geometry(), place(150, 170, 10, 10));

  const int tabOrder[] = {kIdPlay,        kIdPrevious, kIdNext,       kIdAddLeft, kIdAddRight,
                          kIdLoad,        kIdSave,     kIdPlayMode,   kIdQuality, kIdSpeed,
                          kIdPlaySize,    kIdDither,   kIdDeleteLeft, kIdSaveTga, kIdClearAll,
                          kIdDeleteRight, kIdAbout,    kIdExit};
  QWidget* control = Find<QWidget>(kIdPlay);
  for (int id : tabOrder) {
    EXPECT_EQ(control->objectName(), QString::number(id));
    control = control->nextInFocusChain();
    while (control->focusPolicy() == Qt::NoFocus) control = control->nextInFocusChain();
  }

  QComboBox* dither = Find<QComboBox>(kIdDither);
  ASSERT_EQ(dither->count(), 3);
  EXPECT_EQ(dither->itemText(0), "Dither 2x2");
  EXPECT_EQ(dither->itemText(1), "Dither 4x4");
  EXPECT_EQ(dither->itemText(2), "No Dither");
  EXPECT_EQ(Find<QComboBox>(kIdPlayMode)->itemText(1), "Play Ping-Pong");
  EXPECT_EQ(Find<QComboBox>(kIdPlayMode)->currentText(), "Play Loop");
  EXPECT_EQ(dither->currentText(), "Dither 2x2");
  EXPECT_EQ(Find<QLineEdit>(kIdPlaySize)->text(), "450");
  EXPECT_EQ(Find<QLineEdit>(kIdSpeed)->text(), "100");
  EXPECT_EQ(Find<QLineEdit>(kIdQuality)->text(), "28");
}

TEST_F(DialogTest, EveryControlShowsItsWholeText) {
  for (QWidget* control : window().Body()->findChildren<QWidget*>()) {
    const QFontMetrics metrics = control->fontMetrics();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
      const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
      EXPECT_LE(metrics.horizontalAdvance(button->text()) + 2 * frame, button->width())
          << button->text().toStdString();
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
      EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
      EXPECT_LE(metrics.height(), label->height()) << label->text().toStdString();
    } else if (auto* box = qobject_cast<QComboBox*>(control)) {
      // Each item in the closed box's text field ("Play Ping-Pong" was cut to "Play Ping-Pon").
      QStyleOptionComboBox option;
      option.initFrom(box);
      const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, box);
      for (int i = 0; i < box->count(); ++i) {
        EXPECT_LE(metrics.horizontalAdvance(box->itemText(i)), field.width())
            << box->itemText(i).toStdString();
      }
    }
  }
}

TEST_F(DialogTest, TypedValuesReachTheEngineAndARepaintClampsThem) {
  TypeInto(kIdSpeed, "5000");
  TypeInto(kIdQuality, "12abc");
  EXPECT_EQ(g_engine.speed, 5000);
  EXPECT_EQ(g_engine.quality, 12);
  Find<QComboBox>(kIdDither)->setCurrentIndex(2);
  Find<QCheckBox>(kIdSaveTga)->setChecked(true);

  // Uncovered, the window is exposed again: the repaint reads the fields.
  window().hide();
  window().show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Find<QLineEdit>(kIdSpeed)->text() == "1000"; }));
  EXPECT_EQ(Find<QLineEdit>(kIdQuality)->text(), "12");
  EXPECT_EQ(g_engine.speed, 1000);
  EXPECT_EQ(g_engine.ditherMode, 2);
  EXPECT_EQ(window().m_saveTga, 1);

  // The preview refuses a project of fewer than two pictures, after reading the fields.
  TypeInto(kIdPlaySize, "");
  Click(kIdPlay);
  EXPECT_EQ(g_engine.playSize, 10);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Cannot morph with less than two pictures!");
  EXPECT_EQ(Messages()[0].caption, "Error  ;-(");
}

TEST_F(DialogTest, EnterInAFieldEndsTheDialogLikeExit) {
  QTest::keyClick(Find<QLineEdit>(kIdSpeed), Qt::Key_Return);
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(window().result(), QDialog::Accepted);
}

TEST_F(DialogTest, ButtonsBrowseAndDeletePictures) {
  AppendPictures(3);
  Click(kIdNext);
  EXPECT_EQ(g_leftPicture, 1);
  EXPECT_EQ(Shown(0, 100, 100), 0x000010u) << "picture 1, colour 2 in the blue bits";
  Click(kIdDeleteRight);
  EXPECT_EQ(g_engine.pictureCount, 2);
  EXPECT_EQ(Shown(1, 100, 100), 0x000000u);
  Click(kIdPrevious);
  EXPECT_EQ(g_leftPicture, 0);
}

TEST_F(DialogTest, ClearAllAsksInARealMessageBox) {
  AppendPictures(2);
  platform::setMessageHandler(&CEditorDlg::ShowMessageBox);
  QString text, title;
  WhenModalOpens([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    text = box->text();
    title = box->windowTitle();
    EXPECT_NE(box->button(QMessageBox::Ok), nullptr);
    box->button(QMessageBox::Cancel)->click();
  });
  Click(kIdClearAll);
  EXPECT_EQ(text, "Clear All ?");
  EXPECT_EQ(title, "Confirm");
  EXPECT_EQ(g_engine.pictureCount, 2);

  WhenModalOpens([](QWidget* modal) {
    QTest::keyClick(modal, Qt::Key_Return);  // OK is the default button
  });
  Click(kIdClearAll);
  EXPECT_EQ(g_engine.pictureCount, 0);
}

TEST_F(DialogTest, TheSaveDialogOffersProjectsAndAddsTheExtension) {
  window().realFileDialogs = true;
  const std::filesystem::path typed = Scratch("morph");
  QStringList filters;
  QString suffix;
  WhenModalOpens([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    suffix = dialog->defaultSuffix();
    // Typed into the file-name field and confirmed with Return, as a user does.
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(typed.string()));
    QTest::keyClick(name, Qt::Key_Return);
  });
  AppendPictures(2);
  Click(kIdSave);
  // (Qt shows the descriptions with their blanks collapsed.)
  EXPECT_EQ(filters, QStringList({"KZ Morph Files [ KZM ] (*.kzm *.KZM)", "All Files (*.*) (*)"}));
  EXPECT_EQ(suffix, "kzm");
  // Whatever the saver made of it, the message names the path with the extension added.
  if (!Messages().empty()) {
    EXPECT_NE(Messages()[0].text.find(typed.string() + ".kzm"), std::string::npos);
  } else {
    EXPECT_TRUE(std::filesystem::exists(typed.string() + ".kzm"));
  }
}

TEST_F(DialogTest, AddTakesSeveralPicturesOfAnyFormatAndTheFitIsRemembered) {
  using testing_support::encodePhoto;
  const std::filesystem::path folder = Scratch("photos");
  std::filesystem::create_directories(folder);
  testing_support::writeBytes((folder / "wide.JPG").string(),
                              encodePhoto(testing_support::quadrantPhoto(400, 200), "jpg"));
  testing_support::writeBytes((folder / "small.png").string(),
                              encodePhoto(testing_support::quadrantPhoto(64, 64), "png"));
  window().realFileDialogs = true;
  QStringList filters;
  WhenModalOpens([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    filters = dialog->nameFilters();
    dialog->setDirectory(QString::fromStdString(folder.string()));
    // Two files chosen at once, the second first, as the file-name field lists them.
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText("\"small.png\" \"wide.JPG\"");
    QTest::keyClick(name, Qt::Key_Return);
  });
  Click(kIdAddLeft);
  EXPECT_EQ(filters,
            QStringList({"Pictures (*.png *.jpg *.jpeg *.webp *.tif *.tiff *.gif *.bmp *.tga)",
                         "All files (*)"}));
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(g_engine.pictureCount, 2);
  EXPECT_EQ(PictureColor(0), 0xF800) << "small.png first, red at its top left";
  EXPECT_EQ(g_engine.getPictureImage(1)->pixels[0], 0xF800) << "the centre square of wide.JPG";
  EXPECT_EQ(g_engine.getPictureImage(1)->pixels[255], 0x07E0);
  EXPECT_TRUE(g_history.Undo());
  EXPECT_EQ(g_engine.pictureCount, 0) << "one undo step";

  // Edit > Fit New Pictures: crop at first; a choice holds for the next start too.
  EXPECT_EQ(window().PictureFit(), pictures::Fit::Crop);
  auto* pad = window().findChild<QAction*>("fit-pad");
  ASSERT_NE(pad, nullptr);
  EXPECT_TRUE(window().findChild<QAction*>("fit-crop")->isChecked());
  pad->trigger();
  EXPECT_EQ(window().PictureFit(), pictures::Fit::Pad);
  {
    TestDialog again;
    EXPECT_EQ(again.PictureFit(), pictures::Fit::Pad);
    EXPECT_TRUE(again.findChild<QAction*>("fit-pad")->isChecked());
  }
  window().findChild<QAction*>("fit-crop")->trigger();
}

TEST_F(DialogTest, AboutShowsTheVersion) {
  QString text;
  WhenModalOpens([&](QWidget* modal) {
    text = modal->findChild<QLabel*>()->text();
    QTest::mouseClick(modal->findChild<QPushButton*>("1"), Qt::LeftButton);
  });
  Click(kIdAbout);
  EXPECT_TRUE(text.contains("v1.0"));
  EXPECT_TRUE(window().isVisible());
}

TEST_F(DialogTest, MouseGesturesOnThePanes) {
  g_engine.insertPicture(testing_support::solidPicture(0x8410), 0);
  g_engine.insertPicture(testing_support::solidPicture(0x8410), 1);
  window().RefreshPictures();
  const QRgb grey = 0x848484, red = 0xFF3333, blue = 0x0066FF, magenta = 0xFF00FF;

  // Control and a left press at window pixel (51, 41), client (50, 40): picture (54, 42).
  QTest::mousePress(Pane(0), Qt::LeftButton, Qt::ControlModifier, QPoint(51, 41));
  ASSERT_EQ(g_engine.pointCount, 1);
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 54.0f);
  EXPECT_EQ(g_engine.getPoint(0, 0).y, 42.0f);
  EXPECT_EQ(Shown(0, 51, 41), red);
  EXPECT_EQ(Shown(0, 53, 43), red);
  EXPECT_EQ(Shown(0, 54, 43), grey);
  // Dragged with the button held: the point follows on the left picture only.
  QTest::mouseMove(Pane(0), QPoint(101, 91));
  QTest::mouseRelease(Pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(101, 91));
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 104.0f);
  EXPECT_EQ(g_engine.getPoint(1, 0).x, 54.0f);

  // Hovering away clears the highlight; the right pane shows the inherited marker.
  QTest::mouseMove(Pane(1), QPoint(200, 200));
  EXPECT_EQ(Pane(1)->Pane().m_selectedPoint, -1);
  EXPECT_EQ(Shown(1, 50, 40), magenta);
  EXPECT_EQ(Shown(0, 101, 91), blue);

  // A right press on the right pane adds point 1; moving over it moves the left copy.
  QTest::mousePress(Pane(1), Qt::RightButton, Qt::NoModifier, QPoint(151, 151));
  QTest::mouseMove(Pane(1), QPoint(161, 171));
  QTest::mouseRelease(Pane(1), Qt::RightButton, Qt::NoModifier, QPoint(161, 171));
  ASSERT_EQ(g_engine.pointCount, 2);
  EXPECT_EQ(g_engine.getPoint(1, 1).x, 154.0f);
  EXPECT_EQ(g_engine.getPoint(0, 1).x, 164.0f);
  EXPECT_EQ(g_engine.getPoint(0, 1).y, 172.0f);
  EXPECT_EQ(Shown(0, 161, 171), red);

  // Shift and a left press delete the highlighted point from every picture.
  QTest::mousePress(Pane(0), Qt::LeftButton, Qt::ShiftModifier, QPoint(161, 171));
  QTest::mouseRelease(Pane(0), Qt::LeftButton, Qt::ShiftModifier, QPoint(161, 171));
  EXPECT_EQ(g_engine.pointCount, 1);
  EXPECT_EQ(Shown(0, 161, 171), grey);

  // The border takes no mouse input.
  QTest::mousePress(Pane(0), Qt::RightButton, Qt::NoModifier, QPoint(0, 30));
  QTest::mouseRelease(Pane(0), Qt::RightButton, Qt::NoModifier, QPoint(0, 30));
  EXPECT_EQ(g_engine.pointCount, 1);
}

TEST_F(DialogTest, MovementsAndReleasesGoToThePaneUnderTheCursor) {
  g_engine.insertPicture(testing_support::solidPicture(0x8410), 0);
  g_engine.insertPicture(testing_support::solidPicture(0x8410), 1);
  g_engine.addPoint(0, 100, 100);
  window().RefreshPictures();

  // Grab point 0 on the left pane, then move and release over the right pane: Qt hands both
  // to the left pane, which passes them on, so the left drag neither moves nor ends.
  QTest::mouseMove(Pane(0), QPoint(97, 99));
  QTest::mousePress(Pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(97, 99));
  ASSERT_EQ(Pane(0)->Pane().m_dragPoint, 0);
  QTest::mouseMove(Pane(1), QPoint(20, 20));
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 100.0f);
  EXPECT_EQ(Pane(1)->Pane().m_selectedPoint, -1) << "the right pane hovered";
  QTest::mouseRelease(Pane(1), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_EQ(Pane(0)->Pane().m_dragPoint, 0);

  // Back over the left pane, with no button held, the drag goes on.
  QTest::mouseMove(Pane(0), QPoint(31, 41));
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 34.0f);
  EXPECT_EQ(g_engine.getPoint(0, 0).y, 42.0f);
}

// Answers the next question about unsaved changes with `button`, and counts the questions.
void AnswerSaveQuestion(QMessageBox::StandardButton button, int& questions) {
  WhenModalOpens([button, &questions](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), kUnsavedChangesQuestion);
    ++questions;
    box->button(button)->click();
  });
}

TEST_F(DialogTest, KeysUndoAndRedoAGestureAndTheTitleMarksChanges) {
  g_engine.insertPicture(testing_support::solidPicture(0x8410), 0);
  g_engine.insertPicture(testing_support::solidPicture(0x8410), 1);
  g_history.Reset();
  window().RefreshPictures();
  EXPECT_EQ(window().windowTitle(), "orvante");

  // Control and a press add a point; the drag that follows belongs to the same step.
  QTest::mousePress(Pane(0), Qt::LeftButton, Qt::ControlModifier, QPoint(51, 41));
  QTest::mouseMove(Pane(0), QPoint(101, 91));
  QTest::mouseRelease(Pane(0), Qt::LeftButton, Qt::NoModifier, QPoint(101, 91));
  EXPECT_EQ(window().windowTitle(), "Untitled* - orvante");
  QTest::keyClick(&window(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(g_engine.pointCount, 0);
  EXPECT_EQ(Shown(0, 101, 91), 0x848484u) << "the pane shows it at once";
  EXPECT_EQ(window().windowTitle(), "orvante") << "back where it started";
  QTest::keyClick(&window(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(g_engine.pointCount, 1);
  EXPECT_EQ(g_engine.getPoint(0, 0).x, 104.0f);
  EXPECT_EQ(g_engine.getPoint(1, 0).inherited, 1);
  QTest::keyClick(&window(), Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(&window(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(g_engine.pointCount, 1);

  // A settings field keeps its own text undo, and a changed setting marks the project too.
  TypeInto(kIdSpeed, "250");
  EXPECT_EQ(window().windowTitle(), "Untitled* - orvante");
  QTest::keyClick(Find<QLineEdit>(kIdSpeed), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_NE(Find<QLineEdit>(kIdSpeed)->text(), "250");
  EXPECT_EQ(g_engine.pointCount, 1);
}

TEST_F(DialogTest, UnsavedChangesAreAskedForBeforeCloseLoadAndClearAll) {
  AppendPictures(2);
  g_history.Reset();
  window().RefreshPictures();
  QTest::mousePress(Pane(1), Qt::LeftButton, Qt::ControlModifier, QPoint(30, 30));
  QTest::mouseRelease(Pane(1), Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
  ASSERT_TRUE(window().IsModified());
  int questions = 0;

  // Cancel: Escape, Clear All and Load leave everything as it was.
  AnswerSaveQuestion(QMessageBox::Cancel, questions);
  QTest::keyClick(&window(), Qt::Key_Escape);
  EXPECT_TRUE(window().isVisible());
  AnswerSaveQuestion(QMessageBox::Cancel, questions);
  Click(kIdClearAll);  // "Clear All ?" is answered OK by the recorder
  EXPECT_EQ(g_engine.pictureCount, 2);
  window().answers = {Scratch("never.kzm").string()};
  AnswerSaveQuestion(QMessageBox::Cancel, questions);
  Click(kIdLoad);
  EXPECT_EQ(window().answers.size(), 1u) << "no file dialog after Cancel";
  EXPECT_EQ(questions, 3);

  // Save, when the save fails, keeps the editor open.
  window().answers = {(Scratch("no such folder") / "x.kzm").string()};
  AnswerSaveQuestion(QMessageBox::Save, questions);
  window().close();
  EXPECT_TRUE(window().isVisible());
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_NE(Messages()[1].text.find("Could not save"), std::string::npos);

  // Save through the save dialog, then Load goes on to its own dialog.
  const std::string saved = Scratch("kept.kzm").string();
  window().answers = {saved, saved};
  AnswerSaveQuestion(QMessageBox::Save, questions);
  Click(kIdLoad);
  EXPECT_EQ(questions, 5);
  EXPECT_TRUE(window().answers.empty());
  EXPECT_EQ(window().windowTitle(), "kept.kzm - orvante");
  EXPECT_EQ(g_engine.pointCount, 1);

  // An unmodified project closes at once; Discard closes a modified one.
  Click(kIdDeleteLeft);
  EXPECT_EQ(window().windowTitle(), "kept.kzm* - orvante");
  window().OnUndo();
  EXPECT_EQ(window().windowTitle(), "kept.kzm - orvante");
  QTest::keyClick(&window(), Qt::Key_Return);
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(questions, 5);
  window().show();
  Click(kIdDeleteLeft);
  AnswerSaveQuestion(QMessageBox::Discard, questions);
  Click(kIdExit);
  EXPECT_FALSE(window().isVisible());
  EXPECT_EQ(g_engine.pictureCount, 1) << "discarded, not undone";
}

TEST_F(DialogTest, DroppedPicturesGoIntoThePanesPlaceAndADroppedProjectOpens) {
  AppendPictures(1);
  g_history.Reset();
  window().RefreshPictures();
  const std::filesystem::path red = Scratch("red.bmp"), green = Scratch("green.bmp");
  WriteBmp(red, 255, 0, 0);
  WriteBmp(green, 0, 255, 0);
  const auto drop = [&](const std::vector<std::filesystem::path>& files, QPoint at) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& file : files) urls.append(QUrl::fromLocalFile(QString::fromStdString(file)));
    data.setUrls(urls);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window(), &enter);
    QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window(), &event);
    QApplication::processEvents();  // the drop is taken once it has ended
  };
  const QPoint rightPane = Pane(1)->mapTo(&window(), QPoint(100, 100));
  drop({red, green}, rightPane);
  ASSERT_EQ(g_engine.pictureCount, 3);
  EXPECT_EQ(PictureColor(0), 1);
  EXPECT_EQ(PictureColor(1), 0xF800) << "red first, in the right pane's place";
  EXPECT_EQ(PictureColor(2), 0x07E0);
  Click(kIdNext);
  EXPECT_EQ(Shown(1, 100, 100), 0x00FF00u) << "the panes show the new pictures";
  window().OnUndo();
  EXPECT_EQ(g_engine.pictureCount, 1) << "both in one step";

  // Pictures dropped beside the panes, or with a project, are not taken.
  drop({red}, QPoint(2, window().height() - 2));
  drop({red, Scratch("x.kzm")}, rightPane);
  EXPECT_EQ(g_engine.pictureCount, 1);

  // A project file dropped anywhere opens, after the question about unsaved changes.
  window().OnRedo();
  const std::string project = Scratch("dropped.kzm").string();
  ASSERT_EQ(g_engine.saveProject(project), 0);
  g_engine.deletePicture(0);
  g_history.Record();
  int questions = 0;
  AnswerSaveQuestion(QMessageBox::Discard, questions);
  drop({project}, QPoint(2, window().height() - 2));
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(g_engine.pictureCount, 3);
  EXPECT_EQ(window().windowTitle(), "dropped.kzm - orvante");
}

TEST_F(DialogTest, TheDialogHandlesItsEventsDuringAPreviewAndRepaintsAfterIt) {
  AppendPictures(2);
  TypeInto(kIdPlaySize, "10");
  TypeInto(kIdQuality, "1");
  setHostEventHook(&ProcessPendingQtEvents);
  bool ranDuringPreview = false;
  QTimer::singleShot(0, [&] {
    ranDuringPreview = window().PreviewRunning();
    TypeInto(kIdSpeed, "0");  // stays in the field; the engine keeps its speed meanwhile
  });
  for (uint8_t key : {0, 0, 0, 27}) injectHeadlessKey(key);
  Click(kIdPlay);
  setHostEventHook(nullptr);
  EXPECT_TRUE(ranDuringPreview);
  EXPECT_EQ(g_engine.speed, 100);
  QApplication::processEvents();  // the repaint after the preview reads the fields
  EXPECT_EQ(Find<QLineEdit>(kIdSpeed)->text(), "1");
  EXPECT_EQ(g_engine.speed, 1);
}

TEST_F(DialogTest, ExportShowsItsProgressAndCancelLeavesNoFile) {
  QAction* exportEntry = nullptr;
  for (QAction* entry : window().MenuBar()->actions()[0]->menu()->actions()) {
    if (entry->text() == "&Export...") exportEntry = entry;
  }
  ASSERT_NE(exportEntry, nullptr);
  AppendPictures(3);
  TypeInto(kIdSpeed, "1000");
  TypeInto(kIdPlaySize, "200");
  testing_support::TempDir folder;
  const std::string target = folder.file("morph.gif");
  window().answers = {target};
  bool cancelled = false;
  // Cancel once the export is well under way; until then the export must go on between looks.
  std::function<void(QWidget*)> cancelLater = [&](QWidget* modal) {
    auto* progress = qobject_cast<QProgressDialog*>(modal);
    ASSERT_NE(progress, nullptr);
    if (progress->value() <= 10) {
      QTimer::singleShot(10, [&, modal] { cancelLater(modal); });
      return;
    }
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    cancelled = true;
  };
  WhenModalOpens(cancelLater);
  exportEntry->trigger();
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(Messages().empty());
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));

  // The dialog goes on working: the next export runs to its end, with the fields' settings.
  TypeInto(kIdSpeed, "3");
  window().answers = {target};
  exportEntry->trigger();
  EXPECT_TRUE(Messages().empty());
  EXPECT_GT(std::filesystem::file_size(target), 0u);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  Click(kIdNext);
  EXPECT_EQ(g_leftPicture, 1);

  // A failure is told with the reason.
  window().answers = {folder.file("missing/morph.mp4")};
  exportEntry->trigger();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].text.find("No such file or directory"), std::string::npos);
}

}  // namespace
}  // namespace editor_test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The editor's remembered settings go to a folder of the test's own, not the user's.
  const std::filesystem::path settings =
      editor_test::ScratchRoot() / ("editor_settings_" + std::to_string(::getpid()));
  std::filesystem::create_directories(settings);
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(settings.string()));
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove_all(settings);
  return result;
}
