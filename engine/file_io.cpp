#include "engine/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

int32_t fail(std::string* whyNot, const char* what, int error) {
  if (whyNot) *whyNot = std::string(what) + ": " + std::strerror(error);
  return 1;
}

// Reads until `size` bytes are in or the file ends; returns the count, or -1 with errno set.
ssize_t readFully(int fd, uint8_t* to, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, to + done, size - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

bool writeFully(int fd, const uint8_t* from, size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, from, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    from += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// The file that writing to `path` should replace: the target of a symbolic link, else the path.
std::string fileToReplace(const std::string& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;  // a dangling link is replaced by the file
  std::string target(resolved);
  std::free(resolved);
  return target;
}

// Creates a new, empty file beside `target`; returns its descriptor, or -1 with errno set.
int createTemporaryBeside(const std::string& target, std::string& temporaryPath) {
  const size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  // Shortened so that the temporary name stays within the file system's name limit.
  const std::string base =
      (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 180);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath = directory + "." + base + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++) + ".tmp";
    const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

int32_t readFileStart(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                      std::string* whyNot) {
  // Non-blocking only while opening, so that a named pipe without a writer cannot hang us.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(whyNot, "cannot open", errno);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return fail(whyNot, "cannot open", error);
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd);
    return fail(whyNot, "cannot open", EISDIR);
  }
  // A regular file is read in one go at its size; anything else (a pipe) in steps.
  const size_t expected =
      S_ISREG(info.st_mode) ? static_cast<size_t>(std::min<uint64_t>(info.st_size, maxBytes)) : 0;
  bytes.clear();
  while (bytes.size() < maxBytes) {
    const size_t done = bytes.size();
    const size_t want = std::min(maxBytes - done, expected > done ? expected - done : 65536);
    bytes.resize(done + want);
    const ssize_t got = readFully(fd, bytes.data() + done, want);
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      bytes.clear();
      return fail(whyNot, "cannot read", error);
    }
    bytes.resize(done + static_cast<size_t>(got));
    if (static_cast<size_t>(got) < want) break;  // the file ended
  }
  ::close(fd);
  return 0;
}

int32_t replaceFile(const std::string& path, const uint8_t* data, size_t size, std::string* whyNot,
                    bool flushToDisk) {
  if (path.empty()) return fail(whyNot, "cannot write", ENOENT);
  const std::string target = fileToReplace(path);
  std::string temporaryPath;
  const int fd = createTemporaryBeside(target, temporaryPath);
  if (fd < 0) return fail(whyNot, "cannot write", errno);
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);  // best effort: the content matters more than the mode
  }
  int error = 0;
  if (!writeFully(fd, data, size) || (flushToDisk && ::fsync(fd) != 0)) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporaryPath.c_str(), target.c_str()) != 0) error = errno;
  if (error == 0) return 0;
  ::unlink(temporaryPath.c_str());
  return fail(whyNot, "cannot write", error);
}
