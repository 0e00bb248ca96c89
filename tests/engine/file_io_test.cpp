// Writing outputs: pipes and folders, permissions, hard links and owners, symbolic links, frame
// files, staged outputs and saves that last through a power cut.
#include "engine/file_io.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "engine/tga_export.h"
#include "support/test_files.h"

using namespace testing_support;
using ::testing::Contains;

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kOld = {'o', 'l', 'd'};
const Bytes kNew = {'n', 'e', 'w', ' ', 'b', 'y', 't', 'e', 's'};
constexpr uid_t kNobody = 65534;

// The inodes of everything flushed to disk since the test cleared it.
std::vector<ino_t> g_flushed;

struct stat statOf(const std::string& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return info;
}

int32_t write(const std::string& path, const Bytes& bytes, std::string* why) {
  return replaceFile(path, bytes.data(), bytes.size(), why);
}

size_t entriesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

}  // namespace

// Stands in front of the C library's fsync (the engine is linked into this program) to see what
// a save flushes.
extern "C" int fsync(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) == 0) g_flushed.push_back(info.st_ino);
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

TEST(WritingFiles, PipesAreWrittenToAndFoldersRefused) {
  TempDir dir;
  std::string why;
  const std::string pipe = dir.file("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(write(pipe, kNew, &why), 0) << why;
  StagedOutput staged;
  ASSERT_EQ(staged.open(pipe, &why), 0) << why;
  EXPECT_EQ(staged.writePath(), pipe);
  EXPECT_EQ(staged.commit(&why), 0);
  Bytes got(64);
  got.resize(static_cast<size_t>(std::max<ssize_t>(::read(reader, got.data(), got.size()), 0)));
  ::close(reader);
  EXPECT_EQ(got, kNew);
  EXPECT_TRUE(S_ISFIFO(statOf(pipe).st_mode));

  // A file behind /dev/stdout (here a descriptor's name) is the caller's stream: appended to.
  writeBytes(dir.file("log"), kOld);
  const int log = ::open(dir.file("log").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(log, 0);
  EXPECT_EQ(write("/proc/self/fd/" + std::to_string(log), kNew, &why), 0) << why;
  ::close(log);
  Bytes both = kOld;
  both.insert(both.end(), kNew.begin(), kNew.end());
  EXPECT_EQ(readBytes(dir.file("log")), both);

  EXPECT_NE(write(dir.path(), kNew, &why), 0);
  EXPECT_EQ(why, "cannot write: Is a directory");
  EXPECT_NE(staged.open(dir.path(), &why), 0);
  EXPECT_EQ(entriesIn(dir.path()), 2u);
}

TEST(WritingFiles, AFileTheUserMayNotWriteIsRefused) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // the folder would let anyone replace it
  const std::string path = dir.file("ro.kzm");
  writeBytes(path, kOld);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  // Root may write any file, so the refusal is shown by an ordinary user, in a child.
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(2);
    }
    std::string why;
    StagedOutput staged;
    const bool refused = write(path, kNew, &why) != 0 && why == "cannot write: no permission" &&
                         staged.open(path, nullptr) != 0;
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(readBytes(path), kOld);
}

TEST(WritingFiles, LinkedAndForeignFilesKeepTheirIdentityAndDanglingLinksGetTheirFile) {
  TempDir dir;
  std::string why;
  const std::string path = dir.file("p.kzm");
  const std::string other = dir.file("q.kzm");
  writeBytes(path, kOld);
  ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
  EXPECT_TRUE(sameFile(path, other));
  EXPECT_TRUE(sameFile(path, dir.path() + "/./p.kzm"));
  EXPECT_FALSE(sameFile(path, dir.file("missing")));
  const ino_t inode = statOf(path).st_ino;
  ASSERT_EQ(write(path, kNew, &why), 0) << why;
  EXPECT_EQ(statOf(path).st_ino, inode);
  EXPECT_EQ(readBytes(other), kNew);
  ASSERT_EQ(write(path, kOld, &why), 0) << why;  // shorter: the rest is cut off
  EXPECT_EQ(readBytes(other), kOld);

  // A link to a link to a file not made yet.
  ASSERT_EQ(::symlink("middle.kzm", dir.file("link.kzm").c_str()), 0);
  ASSERT_EQ(::symlink("made.kzm", dir.file("middle.kzm").c_str()), 0);
  ASSERT_EQ(write(dir.file("link.kzm"), kNew, &why), 0) << why;
  EXPECT_TRUE(S_ISLNK(statOf(dir.file("link.kzm")).st_mode));
  EXPECT_EQ(readBytes(dir.file("made.kzm")), kNew);

  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  ASSERT_EQ(::unlink(other.c_str()), 0);
  ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(write(path, kNew, &why), 0) << why;
  EXPECT_EQ(statOf(path).st_uid, kNobody);
  EXPECT_EQ(readBytes(path), kNew);
}

TEST(WritingFiles, FramesReplaceALinkAtTheirNameAndAreNotFlushed) {
  TempDir dir;
  const std::string victim = dir.file("victim");
  const std::string frame = dir.file(frameFileName(0));
  writeBytes(victim, kOld);
  ASSERT_EQ(::symlink(victim.c_str(), frame.c_str()), 0);
  const std::vector<uint16_t> pixels(4, 0xFFFF);
  g_flushed.clear();
  std::string why;
  ASSERT_EQ(writeTga(frame, pixels.data(), 2, 2, &why), 0) << why;
  EXPECT_TRUE(g_flushed.empty());
  EXPECT_EQ(readBytes(victim), kOld);
  EXPECT_TRUE(S_ISREG(statOf(frame).st_mode));
  EXPECT_EQ(readBytes(frame), tgaFileBytes(pixels.data(), 2, 2));
}

TEST(WritingFiles, ASaveFlushesTheFileAndItsFolder) {
  TempDir dir;
  const std::string path = dir.file("p.kzm");
  for (int round = 0; round < 2; ++round) {  // a new file, then one replaced
    g_flushed.clear();
    std::string why;
    ASSERT_EQ(write(path, kNew, &why), 0) << why;
    EXPECT_THAT(g_flushed, Contains(statOf(path).st_ino));
    EXPECT_THAT(g_flushed, Contains(statOf(dir.path()).st_ino));
  }
}

TEST(WritingFiles, AStagedOutputReplacesTheTargetOnlyWhenCommitted) {
  TempDir dir;
  std::string why;
  const std::string path = dir.file("clip.mp4");
  writeBytes(path, kOld);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  {
    StagedOutput staged;
    ASSERT_EQ(staged.open(path, &why), 0) << why;
    EXPECT_NE(staged.writePath(), path);
    EXPECT_TRUE(staged.writePath().ends_with(".mp4"));
    writeBytes(staged.writePath(), kNew);
  }  // never committed
  EXPECT_EQ(readBytes(path), kOld);
  EXPECT_EQ(entriesIn(dir.path()), 1u);

  StagedOutput staged;
  ASSERT_EQ(staged.open(path, &why), 0) << why;
  writeBytes(staged.writePath(), kNew);
  g_flushed.clear();
  ASSERT_EQ(staged.commit(&why), 0) << why;
  EXPECT_EQ(readBytes(path), kNew);
  EXPECT_EQ(statOf(path).st_mode & 0777, 0640u);
  EXPECT_THAT(g_flushed, Contains(statOf(dir.path()).st_ino));

  // With a second link the result is copied into the file itself.
  ASSERT_EQ(::link(path.c_str(), dir.file("other.mp4").c_str()), 0);
  ASSERT_EQ(staged.open(path, &why), 0) << why;
  writeBytes(staged.writePath(), kOld);
  ASSERT_EQ(staged.commit(&why), 0) << why;
  EXPECT_EQ(readBytes(dir.file("other.mp4")), kOld);
  EXPECT_EQ(entriesIn(dir.path()), 2u);
}
