// Project files: the exact bytes, round trips, refusal of broken files, safe replacement.
#include "engine/project_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engine/morph_engine.h"
#include "support/test_files.h"
#include "support/test_pictures.h"

using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

void putU32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A project header followed by `rest`.
Bytes projectFile(int32_t pictures, int32_t points, const Bytes& rest = {}) {
  // Sized whole up front: GCC 12 at -O3 takes an insert behind a freshly sized vector for an
  // overflow (a false -Warray-bounds).
  Bytes bytes(kProjectHeaderBytes + rest.size());
  std::memcpy(bytes.data(), "VOVirud", 8);
  putU32(bytes, 8, static_cast<uint32_t>(pictures));
  putU32(bytes, 12, static_cast<uint32_t>(points));
  putU32(bytes, 16, 1);    // ping-pong
  putU32(bytes, 20, 16);   // quality
  putU32(bytes, 24, 40);   // speed
  putU32(bytes, 28, 300);  // play size
  std::copy(rest.begin(), rest.end(), bytes.begin() + kProjectHeaderBytes);
  return bytes;
}

// An image block with these packets.
Bytes block(const Bytes& packets, uint32_t unitSize = 2) {
  Bytes bytes(8 + packets.size());
  putU32(bytes, 0, unitSize);
  putU32(bytes, 4, static_cast<uint32_t>(packets.size()));
  std::copy(packets.begin(), packets.end(), bytes.begin() + 8);
  return bytes;
}

// `count` run packets of 128 units of `unit`.
Bytes fullRuns(int count, uint16_t unit = 0x00AA) {
  Bytes packets;
  for (int i = 0; i < count; ++i) {
    packets.insert(packets.end(),
                   {0xFF, static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
  }
  return packets;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Three photograph-like pictures, two points with mixed flags, settings off their defaults.
void makeProject(MorphEngine& engine) {
  for (int n = 0; n < 3; ++n) engine.insertPicture(photoLikePicture(n + 1), n);
  engine.addPoint(1, 10, 20);
  engine.addPoint(2, 200, 100);
  engine.movePoint(0, 1, 190, 90);
  engine.quality = 12;
  engine.speed = 33;
  engine.playSize = 640;
  engine.playMode = 2;
}

class ProjectFileTest : public ::testing::Test {
 protected:
  // Loads `bytes` as a file into `engine`; returns loadProject's result and keeps the reason.
  int32_t load(MorphEngine& engine, const Bytes& bytes) {
    writeBytes(dir.file("in.kzm"), bytes);
    return engine.loadProject(dir.file("in.kzm"), &reason);
  }
  TempDir dir;
  std::string reason;
};

}  // namespace

TEST_F(ProjectFileTest, WritesTheDocumentedBytes) {
  MorphEngine engine;
  engine.insertPicture(solidPicture(0x1234), 0);
  engine.insertPicture(noRepeatPicture(), 1);
  engine.addPoint(1, 3, 250);
  const Bytes bytes = projectFileBytes(engine);

  const Bytes header = {'V', 'O', 'V', 'i', 'r', 'u', 'd', 0, 2,   0, 0, 0, 1,    0, 0, 0,
                        0,   0,   0,   0,   28,  0,   0,   0, 100, 0, 0, 0, 0xC2, 1, 0, 0};
  ASSERT_EQ(bytes.size(), 32u + 2 * (8 + 12) + 1536 + 131584);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 32), header);
  const Bytes solidBlock = block(fullRuns(512, 0x1234));
  EXPECT_TRUE(std::equal(solidBlock.begin(), solidBlock.end(), bytes.begin() + 32));
  // Picture 0's point: inherited copy at (3, 250), its three spare bytes 0.
  const Bytes record = {0, 0, 0x40, 0x40, 0, 0, 0x7A, 0x43, 1, 0, 0, 0};
  EXPECT_TRUE(std::equal(record.begin(), record.end(), bytes.begin() + 32 + 8 + 1536));
  // Picture 1: the longest block, its length field equal to the bytes that follow.
  const size_t second = 32 + 8 + 1536 + 12;
  EXPECT_EQ(bytes[second], 2);
  EXPECT_EQ(bytes[second + 4] | bytes[second + 5] << 8 | bytes[second + 6] << 16, 131584);
  EXPECT_EQ(bytes[bytes.size() - 4], 0);  // placed on picture 1
}

TEST_F(ProjectFileTest, SaveAndLoadGiveBackTheSameProject) {
  MorphEngine saved;
  makeProject(saved);
  ASSERT_EQ(saved.saveProject(dir.file("p.kzm"), &reason), 0) << reason;

  MorphEngine loaded;
  loaded.insertPicture(solidPicture(1), 0);  // released by the load
  loaded.ditherMode = 2;
  ASSERT_EQ(loaded.loadProject(dir.file("p.kzm"), &reason), 0) << reason;
  EXPECT_EQ(loaded.ditherMode, 2);
  EXPECT_EQ(loaded.pictureCount, 3);
  EXPECT_EQ(loaded.pointCount, 2);
  EXPECT_EQ(loaded.quality, 12);
  EXPECT_EQ(loaded.speed, 33);
  EXPECT_EQ(loaded.playSize, 640);
  EXPECT_EQ(loaded.playMode, 2);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(std::memcmp(loaded.getPictureImage(n), saved.getPictureImage(n), kPictureBytes), 0);
    for (int t = 0; t < 2; ++t) {
      EXPECT_EQ(loaded.getPoint(n, t).x, saved.getPoint(n, t).x);
      EXPECT_EQ(loaded.getPoint(n, t).y, saved.getPoint(n, t).y);
      EXPECT_EQ(loaded.getPoint(n, t).inherited, saved.getPoint(n, t).inherited);
    }
  }
  EXPECT_EQ(projectFileBytes(loaded), readBytes(dir.file("p.kzm")));
}

TEST_F(ProjectFileTest, OldFilesKeepTheirSpareBytesAndSettingsOutOfRange) {
  // As an old program may have written it: a stray reserved byte, odd spare bytes in the
  // records, settings outside the editor's ranges, and bytes after the last picture.
  const Bytes record = {0, 0, 0x20, 0x41, 0, 0, 0x80, 0x3F, 1, 0xDE, 0xAD, 0xBE};
  Bytes old = projectFile(2, 1, block(fullRuns(512)) + record + block(fullRuns(512)) + record);
  old[7] = 0x5A;
  putU32(old, 20, 0);                          // quality 0
  putU32(old, 24, static_cast<uint32_t>(-5));  // speed -5
  putU32(old, 16, 7);                          // play mode 7
  MorphEngine engine;
  ASSERT_EQ(load(engine, old + Bytes{1, 2, 3}), 0) << reason;
  EXPECT_EQ(engine.quality, 0);
  EXPECT_EQ(engine.speed, -5);
  EXPECT_EQ(engine.playMode, 7);
  EXPECT_EQ(engine.getPoint(1, 0).x, 10.0f);
  Bytes expected = old;
  expected[7] = 0;
  EXPECT_EQ(projectFileBytes(engine), expected);
}

TEST_F(ProjectFileTest, UneconomicPacketsLoadAndAreSavedCanonically) {
  Bytes singles;  // every pixel its own run packet, then bytes that fill the whole work area
  for (int i = 0; i < kPicturePixels; ++i) singles.insert(singles.end(), {0x80, 0xAA, 0x00});
  singles.resize(kPackedWorkArea, 0x55);
  MorphEngine engine;
  ASSERT_EQ(load(engine, projectFile(1, 0, block(singles))), 0) << reason;
  EXPECT_EQ(projectFileBytes(engine), projectFile(1, 0, block(fullRuns(512))));
}

TEST_F(ProjectFileTest, AFileWithoutPicturesKeepsItsPointCountUntilAPictureArrives) {
  MorphEngine engine;
  ASSERT_EQ(load(engine, projectFile(0, 5)), 0) << reason;
  EXPECT_EQ(engine.pictureCount, 0);
  EXPECT_EQ(engine.pointCount, 5);
  EXPECT_EQ(engine.quality, 16);
  engine.insertPicture(solidPicture(0), 0);
  EXPECT_EQ(engine.pointCount, 0);
}

// Every kind of broken file is refused with its reason, and the project loaded before stays.
TEST_F(ProjectFileTest, BrokenFilesAreRefusedAndLeaveTheProjectAlone) {
  const Bytes good =
      projectFile(2, 1, block(fullRuns(512)) + Bytes(12) + block(fullRuns(512)) + Bytes(12));
  auto changed = [&](size_t at, uint32_t value) {
    Bytes bytes = good;
    putU32(bytes, at, value);
    return bytes;
  };
  const size_t second = 32 + 8 + 1536 + 12;
  struct Case {
    Bytes file;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {{}, "file is empty"},
      {{'V', 'O', 'V'}, "file ends early"},
      {Bytes(good.begin(), good.begin() + 31), "file ends early"},
      {Bytes{'B', 'M'} + good, "not a project file"},
      {changed(8, 51), "picture count 51 is outside 0 to 50"},
      {changed(8, static_cast<uint32_t>(-1)), "picture count -1 is outside 0 to 50"},
      {changed(12, 501), "point count 501 is outside 0 to 500"},
      {changed(12, static_cast<uint32_t>(-3)), "point count -3 is outside 0 to 500"},
      {changed(32, 4), "picture 1: unit size 4 is not 2"},
      {changed(36, 262145), "picture 1: packed length 262145 is over 262144"},
      {changed(second + 4, 1537), "picture 2: file ends early"},
      {Bytes(good.begin(), good.end() - 1), "picture 2: file ends early"},
      {projectFile(1, 0, block(fullRuns(511))),
       "picture 1: packets end before the picture is complete"},
      {projectFile(1, 0, block(fullRuns(511) + Bytes{0x80, 1, 1} + fullRuns(1))),
       "picture 1: packets run past the picture"},
      {projectFile(1, 0, block(fullRuns(511) + Bytes{0x7F, 1})),
       "picture 1: packets end before the picture is complete"},
  };
  MorphEngine engine;
  makeProject(engine);
  engine.ditherMode = 1;
  const Bytes before = projectFileBytes(engine);
  for (const Case& c : cases) {
    reason.clear();
    EXPECT_NE(load(engine, c.file), 0) << c.reason;
    EXPECT_EQ(reason, c.reason);
    ASSERT_EQ(projectFileBytes(engine), before) << c.reason;
  }
  EXPECT_NE(engine.loadProject(dir.file("missing.kzm"), &reason), 0);
  EXPECT_EQ(reason, "cannot open: No such file or directory");
  EXPECT_NE(engine.loadProject(dir.path(), &reason), 0);
  EXPECT_EQ(reason, "cannot open: Is a directory");
  EXPECT_EQ(projectFileBytes(engine), before);
  EXPECT_EQ(engine.ditherMode, 1);
  EXPECT_EQ(load(engine, good), 0);  // and the good file it was made from loads
}

TEST_F(ProjectFileTest, AFailedSaveLeavesTheOldFileAsItWas) {
  MorphEngine engine;
  const std::string path = dir.file("p.kzm");
  ASSERT_EQ(engine.saveProject(path), 0);  // a small file: no pictures
  const Bytes old = readBytes(path);
  makeProject(engine);

  // A disk that fills up: writes beyond 64 KiB fail.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 65536;
  setrlimit(RLIMIT_FSIZE, &small);
  const int32_t result = engine.saveProject(path, &reason);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);

  EXPECT_NE(result, 0);
  EXPECT_EQ(reason, "cannot write: File too large");
  EXPECT_EQ(readBytes(path), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_NE(engine.saveProject(dir.file("no/such/dir.kzm"), &reason), 0);
  EXPECT_EQ(reason, "cannot write: No such file or directory");
}

TEST_F(ProjectFileTest, ReplacingKeepsPermissionsAndSymbolicLinks) {
  MorphEngine engine;
  const std::string real = dir.file("real.kzm");
  const std::string link = dir.file("link.kzm");
  ASSERT_EQ(engine.saveProject(real), 0);
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink("real.kzm", link.c_str()), 0);
  makeProject(engine);
  ASSERT_EQ(engine.saveProject(link, &reason), 0) << reason;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readBytes(real), projectFileBytes(engine));
  struct stat info {};
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}
