// Picture files: BMP import and the TGA frame writer with its file names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "engine/bmp_import.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "engine/tga_export.h"
#include "support/message_recorder.h"
#include "support/test_files.h"
#include "support/test_pictures.h"

using namespace testing_support;
using ::testing::ElementsAreArray;

namespace {

using Bytes = std::vector<uint8_t>;

// Stored rows of a 256 x 256 24-bit BMP, all black, with `rgb` triples put at (stored row, x).
Bytes blackRows() {
  return Bytes(kBmpPixelBytes, 0);
}
void put(Bytes& rows, int storedRow, int x, uint8_t red, uint8_t green, uint8_t blue) {
  uint8_t* at = &rows[static_cast<size_t>((storedRow * 256 + x) * 3)];
  at[0] = blue;
  at[1] = green;
  at[2] = red;
}

class PictureFilesTest : public ::testing::Test {
 protected:
  std::unique_ptr<PictureImage> import(const Bytes& file) {
    writeBytes(dir.file("in.bmp"), file);
    return engine.importBmp(dir.file("in.bmp"));
  }
  TempDir dir;
  MessageRecorder messages;
  MorphEngine engine;
};

}  // namespace

TEST_F(PictureFilesTest, BmpImportKeepsTheTopBitsAndTurnsTheRowsOver) {
  Bytes rows = blackRows();
  put(rows, 255, 0, 255, 255, 255);  // the last stored row is the top row
  put(rows, 255, 1, 255, 0, 0);
  put(rows, 255, 2, 0, 255, 0);
  put(rows, 255, 3, 0, 0, 255);
  put(rows, 255, 4, 7, 3, 7);
  put(rows, 255, 5, 8, 4, 8);
  put(rows, 0, 255, 0x12, 0x34, 0x56);  // the first stored row is the bottom row
  const auto picture = import(bmpFile(256, 256, 24, rows));
  ASSERT_NE(picture, nullptr);
  EXPECT_THAT(std::vector<uint16_t>(picture->pixels, picture->pixels + 7),
              ElementsAreArray({0xFFFF, 0xF800, 0x07E0, 0x001F, 0x0000, 0x0821, 0x0000}));
  EXPECT_EQ(picture->pixels[kPicturePixels - 1], rgb565FromRgb(0x12, 0x34, 0x56));
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(PictureFilesTest, BmpOfAPictureImportsAsThatPictureAndExtraBytesAreIgnored) {
  const auto original = photoLikePicture(9);
  Bytes file = bmpFileOf(*original);
  file.resize(file.size() + 100, 0x77);
  const auto picture = import(file);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(std::memcmp(picture.get(), original.get(), kPictureBytes), 0);
}

TEST_F(PictureFilesTest, OtherFilesAreRefusedWithTheMessage) {
  const Bytes rows = blackRows();
  Bytes cutShort = bmpFile(256, 256, 24, rows);
  cutShort.pop_back();  // ends inside the pixels
  const std::vector<Bytes> refused = {
      bmpFile(256, 256, 32, Bytes(256 * 256 * 4)),
      bmpFile(256, 256, 8, Bytes(256 * 256 + 1024)),
      bmpFile(255, 256, 24, rows),
      bmpFile(256, -256, 24, rows),
      cutShort,
      bmpFile(256, 256, 24, {}),
      Bytes(20, 0),
  };
  for (const Bytes& file : refused) {
    messages.clear();
    EXPECT_EQ(import(file), nullptr);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "Sorry!\n Image must be 256x256x24");
    EXPECT_EQ(messages.messages()[0].caption, kEngineErrorCaption);
  }
  std::unique_ptr<PictureImage> picture;
  EXPECT_EQ(readPictureFile(dir.file("missing.bmp"), picture), kPictureCannotOpen);
  EXPECT_EQ(readPictureFile(dir.path(), picture), kPictureCannotOpen);
  EXPECT_EQ(picture, nullptr);
}

TEST_F(PictureFilesTest, BmpImportLooksAtNoOtherHeaderField) {
  Bytes file = bmpFile(256 + 65536, 256, 24, blackRows());  // only the width's low half counts
  file[0] = 'X';                                            // signature
  file[10] = 99;                                            // pixel offset
  file[30] = 1;                                             // compression
  EXPECT_NE(import(file), nullptr);
}

TEST(TgaFile, HeaderAndPixelsBottomRowFirst) {
  const std::vector<uint16_t> pixels = {0xF800, 0x07E0, 0x001F,   // top row
                                        0xFFFF, 0x0000, 0x0821};  // bottom row
  EXPECT_THAT(
      tgaFileBytes(pixels.data(), 3, 2),
      ElementsAreArray({0,    0,    2,    0, 0,    0, 0,    0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0,  //
                        0xF8, 0xFC, 0xF8, 0, 0,    0, 8,    4, 8,                              //
                        0,    0,    0xF8, 0, 0xFC, 0, 0xF8, 0, 0}));
  const std::vector<uint16_t> square(450 * 450);
  const Bytes big = tgaFileBytes(square.data(), 450, 450);
  EXPECT_EQ(big.size(), 607518u);
  EXPECT_THAT(Bytes(big.begin() + 12, big.begin() + 18),
              ElementsAreArray({0xC2, 0x01, 0xC2, 0x01, 0x18, 0x00}));
}

TEST(TgaFile, WritingReplacesWholeFilesAndReportsFailures) {
  TempDir dir;
  const std::string path = dir.file(frameFileName(0));
  const std::vector<uint16_t> first(4, 0xFFFF);
  const std::vector<uint16_t> second(9, 0x001F);
  ASSERT_EQ(writeTga(path, first.data(), 2, 2), 0);
  ASSERT_EQ(writeTga(path, second.data(), 3, 3), 0);
  EXPECT_EQ(readBytes(path), tgaFileBytes(second.data(), 3, 3));

  std::string reason;
  EXPECT_NE(writeTga(dir.file("no/dir.tga"), first.data(), 2, 2, &reason), 0);
  EXPECT_EQ(reason, "cannot write: No such file or directory");
  EXPECT_NE(writeTga(dir.file("empty.tga"), first.data(), 0, 2), 0);
  MorphEngine engine;  // no display open: no play square to save
  EXPECT_NE(engine.writeTgaFile(dir.file("frame.tga"), 24), 0);
  EXPECT_FALSE(fileExists(dir.file("frame.tga")));
}

TEST(TgaFile, FrameNamesCountInTheEightPlacesAndThenGrow) {
  EXPECT_EQ(frameFileName(0), "OUT00000.TGA");
  EXPECT_EQ(frameFileName(11), "OUT00011.TGA");
  EXPECT_EQ(frameFileName(99999), "OUT99999.TGA");
  EXPECT_EQ(frameFileName(100000), "OU100000.TGA");
  EXPECT_EQ(frameFileName(2345678), "O2345678.TGA");
  EXPECT_EQ(frameFileName(99999999), "99999999.TGA");
  EXPECT_EQ(frameFileName(100000000), "100000000.TGA");
  EXPECT_EQ(frameFileName(18446744073709551615u), "18446744073709551615.TGA");
}
