// The main dialog's rules without Qt: settings fields and engine in step, and the sequence and
// file commands.
#include <cmath>
#include <fstream>

#include "editor/editor_texts.h"
#include "editor/file_filters.h"
#include "editor/settings_fields.h"
#include "editor/undo_history.h"
#include "editor_test_support.h"
#include "engine/messages.h"
#include "faces/face_fit.h"

namespace editor_test {
namespace {

using SettingsTest = EditorTest;
using CommandTest = EditorTest;

TEST(FieldReading, ReadsLikeAtoiAndSaturatesInsteadOfOverflowing) {
  EXPECT_EQ(ReadFieldValue(""), 0);
  EXPECT_EQ(ReadFieldValue("abc"), 0);
  EXPECT_EQ(ReadFieldValue("12abc"), 12);
  EXPECT_EQ(ReadFieldValue(" \t +7"), 7);
  EXPECT_EQ(ReadFieldValue("-5"), -5);
  EXPECT_EQ(ReadFieldValue("- 5"), 0);
  EXPECT_EQ(ReadFieldValue("1 2"), 1);
  EXPECT_EQ(ReadFieldValue("2147483647"), 2147483647);
  EXPECT_EQ(ReadFieldValue("99999999999"), 2147483647);
  EXPECT_EQ(ReadFieldValue("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ReadFieldValue("-99999999999"), -2147483647 - 1);
  // Only 75 characters are read: a digit in place 76 does not count.
  EXPECT_EQ(ReadFieldValue(std::string(74, ' ') + "12"), 1);
  EXPECT_EQ(ReadFieldValue(std::string(73, ' ') + "12"), 12);
}

TEST_F(SettingsTest, ControlsToSettingsClampsEveryFieldAndWritesTheValueBack) {
  struct Case {
    std::string playSize, speed, quality;
    int32_t wantPlaySize, wantSpeed, wantQuality;
  };
  const Case cases[] = {
      {"", "", "", 10, 1, 1},
      {"abc", "x1", "?", 10, 1, 1},
      {"12abc", "12abc", "12abc", 12, 12, 12},
      {"-300", "-1", "-64", 10, 1, 1},
      {"5000", "5000", "65", 1200, 1000, 64},
      {"1200", "1000", "64", 1200, 1000, 64},
      {"99999999999", "99999999999", "99999999999", 1200, 1000, 64},
  };
  for (const Case& c : cases) {
    dialog().Type(kIdPlaySize, c.playSize);
    dialog().Type(kIdSpeed, c.speed);
    dialog().Type(kIdQuality, c.quality);
    dialog().ControlsToSettings();
    EXPECT_EQ(g_engine.playSize, c.wantPlaySize) << c.playSize;
    EXPECT_EQ(g_engine.speed, c.wantSpeed) << c.speed;
    EXPECT_EQ(g_engine.quality, c.wantQuality) << c.quality;
    EXPECT_EQ(dialog().texts[kIdPlaySize], std::to_string(c.wantPlaySize));
    EXPECT_EQ(dialog().texts[kIdSpeed], std::to_string(c.wantSpeed));
    EXPECT_EQ(dialog().texts[kIdQuality], std::to_string(c.wantQuality));
  }
}

TEST_F(SettingsTest, TypingStoresTheValueUnclampedUntilTheNextRead) {
  dialog().Type(kIdSpeed, "5000");
  dialog().Type(kIdQuality, "");
  dialog().Type(kIdPlaySize, "-7x");
  EXPECT_EQ(g_engine.speed, 5000);
  EXPECT_EQ(g_engine.quality, 0);
  EXPECT_EQ(g_engine.playSize, -7);
  EXPECT_EQ(dialog().texts[kIdSpeed], "5000");
  dialog().OnPaint();  // every repaint reads the fields again
  EXPECT_EQ(g_engine.speed, 1000);
  EXPECT_EQ(g_engine.quality, 1);
  EXPECT_EQ(g_engine.playSize, 10);
  EXPECT_EQ(dialog().texts[kIdSpeed], "1000");
}

TEST_F(SettingsTest, ReadAndWriteOrders) {
  dialog().selections[kIdPlayMode] = 2;
  dialog().selections[kIdDither] = 1;
  dialog().saveTgaChecked = 1;
  dialog().ControlsToSettings();
  const std::vector<std::string> readOrder = {
      "read 1002",      "write 1002 450",    "read 1002",         "read 1001",
      "write 1001 100", "read 1001",         "read 1005",         "write 1005 28",
      "read 1005",      "selection of 1038", "selection of 1023", "check of 1039"};
  EXPECT_EQ(dialog().log, readOrder);
  EXPECT_EQ(g_engine.playMode, 2);
  EXPECT_EQ(g_engine.ditherMode, 1);
  EXPECT_EQ(dialog().m_saveTga, 1);

  dialog().log.clear();
  g_engine.playSize = 9;
  g_engine.speed = 0;
  g_engine.quality = 65;
  g_engine.playMode = 1;
  dialog().SettingsToControls();
  const std::vector<std::string> writeOrder = {"write 1002 10", "read 1002",     "write 1001 1",
                                               "read 1001",     "write 1005 64", "read 1005",
                                               "select 1038 1", "select 1023 0"};
  EXPECT_EQ(dialog().log, writeOrder);
  EXPECT_EQ(g_engine.playSize, 10);
  EXPECT_EQ(g_engine.speed, 1);
  EXPECT_EQ(g_engine.quality, 64);
  EXPECT_EQ(g_engine.ditherMode, 0);
  EXPECT_EQ(dialog().selections[kIdDither], 0);
}

TEST_F(SettingsTest, StartsWithTheDefaultsAndAnUnknownPlayModeBecomesMinusOne) {
  EXPECT_EQ(dialog().texts[kIdPlaySize], "450");
  EXPECT_EQ(dialog().texts[kIdSpeed], "100");
  EXPECT_EQ(dialog().texts[kIdQuality], "28");
  EXPECT_EQ(dialog().selections[kIdPlayMode], 0);
  EXPECT_EQ(dialog().selections[kIdDither], 0);

  g_engine.playMode = 7;  // only a project file can hold this
  dialog().SettingsToControls();
  EXPECT_EQ(dialog().selections[kIdPlayMode], -1);
  dialog().ControlsToSettings();
  EXPECT_EQ(g_engine.playMode, -1);
}

// ---- Commands -------------------------------------------------------------------------------

TEST_F(CommandTest, NavigationStaysWithinTheSequence) {
  dialog().OnNext();
  EXPECT_EQ(g_leftPicture, 0) << "no pictures";
  dialog().OnPrevious();
  EXPECT_EQ(g_leftPicture, 0);

  AppendPictures(3);
  dialog().OnNext();
  dialog().OnNext();
  EXPECT_EQ(g_leftPicture, 2);
  dialog().OnNext();
  EXPECT_EQ(g_leftPicture, 2) << "the last picture stays on the left";
  // The right pane is black, the left one shows picture 2.
  EXPECT_EQ(g_panes[1].Bits()[0], 0);
  EXPECT_EQ(g_panes[0].Bits()[0], 3);
  dialog().OnPrevious();
  dialog().OnPrevious();
  dialog().OnPrevious();
  EXPECT_EQ(g_leftPicture, 0);
}

TEST_F(CommandTest, DeletesThePictureUnderEitherPaneAndLeavesTheIndex) {
  AppendPictures(3);
  g_leftPicture = 2;
  dialog().OnDeleteRight();  // the right pane shows no picture: nothing to delete
  EXPECT_EQ(g_engine.pictureCount, 3);

  dialog().OnDeleteLeft();
  EXPECT_EQ(g_engine.pictureCount, 2);
  EXPECT_EQ(g_leftPicture, 2) << "past the end now";
  EXPECT_EQ(g_panes[0].Bits()[0], 0);
  EXPECT_EQ(g_panes[1].Bits()[0], 0);
  dialog().OnPrevious();
  EXPECT_EQ(g_panes[0].Bits()[0], 2);

  g_leftPicture = 0;
  dialog().OnDeleteRight();
  EXPECT_EQ(g_engine.pictureCount, 1);
  EXPECT_EQ(PictureColor(0), 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CommandTest, ClearAllAsksFirstAndKeepsTheIndex) {
  AppendPictures(5);
  g_leftPicture = 3;
  AnswerMessagesWith(platform::Answer::Cancel);
  dialog().OnClearAll();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Clear All ?");
  EXPECT_EQ(Messages()[0].caption, "Confirm");
  EXPECT_EQ(Messages()[0].buttons, platform::Buttons::OkCancel);
  EXPECT_EQ(g_engine.pictureCount, 5);

  AnswerMessagesWith(platform::Answer::Ok);
  dialog().OnClearAll();
  EXPECT_EQ(g_engine.pictureCount, 0);
  EXPECT_EQ(g_leftPicture, 3);
}

TEST_F(CommandTest, AFiftyFirstPictureIsRefusedBeforeAnyFileIsChosen) {
  AppendPictures(kMaxPictures);
  dialog().openAnswers.push_back("/nonexistent.bmp");
  dialog().OnAddLeft();
  dialog().OnAddRight();
  EXPECT_EQ(g_engine.pictureCount, kMaxPictures);
  EXPECT_TRUE(dialog().fileDialogs.empty());
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Messages()[0].text, kTooManyPicturesMessage);
}

TEST_F(CommandTest, FacePointsAreOneStepAndThePicturesWithoutAFaceAreNamed) {
  dialog().OnFindFacePoints();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text,
            "Could not add face points:\nthe project has no pictures\nThe project is unchanged.");

  ClearMessages();
  g_engine.insertPicture(testing_support::gradientPicture(1), 0);
  g_engine.insertPicture(g_engine.importBmp(MORPH_SOURCE_DATA "/astronaut_face.bmp"), 1);
  g_engine.insertPicture(testing_support::gradientPicture(2), 2);
  g_history.Record();
  dialog().OnFindFacePoints();
  EXPECT_GT(dialog().progressUpdates, 0);
  EXPECT_TRUE(dialog().progressEnded);
  ASSERT_EQ(g_engine.pointCount, 68);
  EXPECT_EQ(g_engine.getPoint(1, 30).inherited, 0);
  EXPECT_EQ(g_engine.getPoint(2, 30).inherited, 1);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text,
            "No face was found on pictures 1 and 3 (counting from 1).\nTheir 68 points are copies "
            "of the nearest face's points: drag them into place.");
  dialog().OnUndo();
  EXPECT_EQ(g_engine.pointCount, 0);
  EXPECT_EQ(g_engine.pictureCount, 3);
}

TEST_F(CommandTest, CancelledFileDialogsChangeNothing) {
  AppendPictures(2);
  dialog().OnAddLeft();
  dialog().OnLoad();
  dialog().Type(kIdSpeed, "5000");
  dialog().OnSave();
  EXPECT_EQ(g_engine.pictureCount, 2);
  EXPECT_EQ(g_engine.speed, 5000) << "Save reads the fields only after a file was chosen";
  EXPECT_TRUE(Messages().empty());
  const std::vector<std::string> asked = {std::string("open ") + kPictureFilter,
                                          std::string("open ") + kProjectFilter,
                                          std::string("save ") + kProjectFilter + " kzm"};
  EXPECT_EQ(dialog().fileDialogs, asked);
}

TEST_F(CommandTest, AFailedLoadSaysWhyAndKeepsTheProject) {
  AppendPictures(3);
  g_engine.addPoint(1, 40, 50);
  g_leftPicture = 1;
  dialog().Type(kIdSpeed, "5000");
  dialog().selections[kIdDither] = 2;
  g_engine.ditherMode = 2;
  const std::filesystem::path garbage = Scratch("garbage.kzm");
  std::ofstream(garbage) << "this is no project";
  dialog().openAnswers.push_back(garbage.string());
  dialog().OnLoad();

  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].text.find(garbage.string()), std::string::npos);
  EXPECT_EQ(Messages()[0].caption, kEngineErrorCaption);
  EXPECT_EQ(g_engine.pictureCount, 3);
  EXPECT_EQ(g_engine.pointCount, 1);
  EXPECT_EQ(PictureColor(2), 3);
  EXPECT_EQ(g_engine.speed, 5000) << "the settings are not pushed into the fields";
  EXPECT_EQ(g_engine.ditherMode, 2);
  EXPECT_EQ(dialog().selections[kIdDither], 2);
  EXPECT_EQ(g_leftPicture, 1);
}

// A file may hold points off the picture or not a number: the load keeps them as stored and
// says once how many cannot be shown; the panes draw and take the mouse as before.
TEST_F(CommandTest, LoadSaysHowManyPointsCannotBeShown) {
  AppendPictures(2);
  for (int32_t t = 0; t < 3; ++t) g_engine.addPoint(0, 30 + 20 * t, 40);
  g_engine.pictures[1].points[1].x = -20.0f;
  g_engine.pictures[0].points[2].y = std::nanf("");
  g_engine.pictures[1].points[2].y = std::nanf("");
  const std::filesystem::path project = Scratch("odd.kzm");
  ASSERT_EQ(g_engine.saveProject(project.string()), 0);
  g_engine.clearProject();
  dialog().openAnswers = {project.string()};
  dialog().OnLoad();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text,
            "2 control points cannot be shown: on some pictures they lie outside the picture or "
            "are not numbers.");
  EXPECT_EQ(Messages()[0].caption, kDialogCaption);
  EXPECT_TRUE(std::isnan(g_engine.getPoint(0, 2).y));
  EXPECT_EQ(g_engine.getPoint(1, 1).x, -20.0f);
  g_panes[0].OnMouseMove(0, 26, 38);
  EXPECT_EQ(g_panes[0].m_selectedPoint, 0);
  g_panes[1].OnMouseMove(0, 0, 0);
  EXPECT_EQ(g_panes[1].m_selectedPoint, -1);
}

TEST_F(CommandTest, AFailedSaveSaysSo) {
  AppendPictures(2);
  const std::filesystem::path nowhere = Scratch("no such folder") / "project.kzm";
  dialog().saveAnswers.push_back(nowhere.string());
  dialog().OnSave();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].text.find(nowhere.string()), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

TEST_F(CommandTest, AddPutsTheNewPictureIntoThePanesPlace) {
  const std::filesystem::path red = Scratch("red.bmp");
  const std::filesystem::path green = Scratch("green.bmp");
  WriteBmp(red, 255, 0, 0);
  WriteBmp(green, 0, 255, 0);

  dialog().openAnswers = {red.string()};
  dialog().OnAddRight();  // position 1 of an empty sequence: refused, nothing shown
  EXPECT_EQ(g_engine.pictureCount, 0);
  EXPECT_TRUE(Messages().empty());

  dialog().openAnswers = {red.string(), green.string()};
  dialog().OnAddLeft();
  ASSERT_EQ(g_engine.pictureCount, 1);
  EXPECT_EQ(g_panes[0].Bits()[0], 0x7C00) << "the first picture shows on the left";
  dialog().OnAddLeft();  // in front of it: the red picture moves to the right pane
  ASSERT_EQ(g_engine.pictureCount, 2);
  EXPECT_EQ(PictureColor(0), 0x07E0);
  EXPECT_EQ(g_panes[0].Bits()[0], 0x03E0);
  EXPECT_EQ(g_panes[1].Bits()[0], 0x7C00);

  dialog().openAnswers = {green.string()};
  dialog().OnAddRight();  // between the two
  EXPECT_EQ(PictureColor(1), 0x07E0);
  EXPECT_EQ(PictureColor(2), 0xF800);

  // After Clear All with the left pane at 3, "<- Add" adds nothing until ">>".
  g_leftPicture = 3;
  dialog().OnClearAll();
  dialog().openAnswers = {red.string(), red.string()};
  dialog().OnAddLeft();
  EXPECT_EQ(g_engine.pictureCount, 0);
  dialog().OnNext();
  EXPECT_EQ(g_leftPicture, 0);
  dialog().OnAddLeft();
  EXPECT_EQ(g_engine.pictureCount, 1);
}

TEST_F(CommandTest, ARefusedPictureIsNamedAndNoneOfTheChosenComeIn) {
  AppendPictures(2);
  g_engine.addPoint(0, 10, 10);
  const std::filesystem::path narrow = Scratch("narrow.bmp");  // 255 x 256: fitted now
  WriteBmp(narrow, 1, 2, 3, 255);
  const std::filesystem::path notes = Scratch("notes.txt");
  std::ofstream(notes) << "no picture\n";
  dialog().openAnswers = {notes.string()};
  dialog().OnAddLeft();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text,
            "Could not add the picture\n" + notes.string() +
                "\n\nnot a picture this program reads (PNG, JPEG, WebP, TIFF, GIF, BMP or TGA)\n"
                "The project you are editing is unchanged.");
  EXPECT_EQ(Messages()[0].caption, "Error   ;-(");

  // Of several chosen, one refused: none comes in, and the message says which.
  ClearMessages();
  dialog().pictureAnswers = {{narrow.string(), notes.string(), narrow.string()}};
  dialog().OnAddRight();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text.rfind("Could not add the pictures\n" + notes.string() + "\n", 0),
            0u);
  EXPECT_NE(Messages()[0].text.find("None of the chosen pictures was added"), std::string::npos);
  // Nor when they would pass 50 pictures.
  AppendPictures(47);
  ClearMessages();
  dialog().pictureAnswers = {{narrow.string(), narrow.string()}};
  dialog().OnAddRight();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].text.find("This one has 49; the 2 chosen would make 51."),
            std::string::npos);
  EXPECT_EQ(g_engine.pictureCount, 49);
  EXPECT_EQ(g_engine.pointCount, 1);
  EXPECT_FALSE(g_history.CanUndo());
}

TEST_F(CommandTest, SeveralPicturesComeInInTheOrderChosenFittedAsSetAsOneStep) {
  AppendPictures(2);
  g_history.Reset();
  const std::filesystem::path green = Scratch("green.bmp"), narrow = Scratch("narrow.bmp");
  WriteBmp(green, 0, 255, 0);
  WriteBmp(narrow, 255, 0, 0, 128);  // 128 x 256
  EXPECT_EQ(dialog().PictureFit(), pictures::Fit::Crop);
  dialog().SetPictureFit(pictures::Fit::Pad);
  dialog().pictureAnswers = {{narrow.string(), green.string()}};
  dialog().OnAddRight();  // at 1: pictures 0, narrow, green, 1
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(g_engine.pictureCount, 4);
  EXPECT_EQ(PictureColor(1), 0) << "padded: black on the left";
  EXPECT_EQ(g_engine.getPictureImage(1)->pixels[128], 0xF800);
  EXPECT_EQ(PictureColor(2), 0x07E0);
  EXPECT_EQ(PictureColor(3), 2);
  EXPECT_TRUE(g_history.Undo());
  EXPECT_EQ(g_engine.pictureCount, 2);
}

TEST_F(CommandTest, PicturesAddedWithTheFaceFitThatShowNoFaceAreNamed) {
  registerFaceFit();
  const std::filesystem::path narrow = Scratch("narrow.bmp");
  WriteBmp(narrow, 255, 0, 0, 128);
  dialog().SetPictureFit(pictures::Fit::Face);
  EXPECT_EQ(dialog().AddPictureFiles(0, {MORPH_SOURCE_DATA "/astronaut_photo.jpg", narrow}), 2);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, std::string(kNoFaceFitMessage) + "\n" + narrow.string());
}

TEST_F(CommandTest, SaveWritesTheClampedFieldsAndLoadBringsEverythingBack) {
  AppendPictures(3);
  g_engine.addPoint(1, 30, 40);
  g_engine.movePoint(2, 0, 50, 60);
  dialog().Type(kIdSpeed, "5000");
  dialog().selections[kIdPlayMode] = 1;
  const std::filesystem::path project = Scratch("saved.kzm");
  dialog().saveAnswers = {project.string()};
  dialog().OnSave();
  ASSERT_TRUE(Messages().empty());
  EXPECT_EQ(dialog().texts[kIdSpeed], "1000");
  std::ifstream file(project, std::ios::binary);
  char header[32] = {};
  file.read(header, sizeof header);
  EXPECT_EQ(std::string(header, 7), "VOVirud");
  EXPECT_EQ(static_cast<uint8_t>(header[24]) | static_cast<uint8_t>(header[25]) << 8, 1000);
  EXPECT_EQ(header[16], 1) << "ping-pong";

  // Load into a changed editor: a different project, the left pane past its end, another
  // dither.
  g_engine.clearProject();
  AppendPictures(1);
  g_engine.speed = 7;
  dialog().selections[kIdPlayMode] = 0;
  dialog().selections[kIdDither] = 2;
  g_engine.ditherMode = 2;
  g_leftPicture = 4;
  dialog().openAnswers = {project.string()};
  dialog().OnLoad();
  ASSERT_TRUE(Messages().empty());
  ASSERT_EQ(g_engine.pictureCount, 3);
  EXPECT_EQ(PictureColor(2), 3);
  EXPECT_EQ(g_engine.getPoint(1, 0).x, 30.0f);
  EXPECT_EQ(g_engine.getPoint(1, 0).inherited, 0);
  EXPECT_EQ(g_engine.getPoint(0, 0).inherited, 1);
  EXPECT_EQ(g_engine.getPoint(2, 0).x, 50.0f);
  EXPECT_EQ(g_engine.speed, 1000);
  EXPECT_EQ(dialog().texts[kIdSpeed], "1000");
  EXPECT_EQ(dialog().selections[kIdPlayMode], 1);
  EXPECT_EQ(dialog().selections[kIdDither], 0) << "a load returns the dither to 2x2";
  EXPECT_EQ(g_engine.ditherMode, 0);
  EXPECT_EQ(g_leftPicture, 4) << "Load leaves the index";
  EXPECT_EQ(g_panes[0].Bits()[0], 0);
  dialog().OnPrevious();
  EXPECT_EQ(g_panes[0].Bits()[0], 0);
  dialog().OnPrevious();
  EXPECT_EQ(g_panes[0].Bits()[0], 3) << "picture 2";
}

TEST(FileFilters, ClassicFiltersBecomeQtFilters) {
  EXPECT_EQ(QtFilterFromClassic(kPictureFilter, false),
            "Pictures (*.png *.jpg *.jpeg *.webp *.tif *.tiff *.gif *.bmp *.tga);;All files (*)");
  EXPECT_EQ(QtFilterFromClassic(kProjectFilter),
            "KZ Morph Files  [ KZM ] (*.kzm *.KZM);;All Files (*.*) (*)");
  EXPECT_EQ(QtFilterFromClassic("Both|*.a;*.b||"), "Both (*.a *.A *.b *.B)");
}

}  // namespace
}  // namespace editor_test
