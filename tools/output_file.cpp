#include "tools/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool failWith(std::string* whyNot, int error) {
  if (whyNot) *whyNot = std::strerror(error);
  return false;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool writeFileWhole(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* whyNot) {
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    return failWith(whyNot, EISDIR);
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return failWith(whyNot, errno);
  // mkstemp makes the file private; an output file gets the usual permissions.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  bool written = ::fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, bytes.data(), bytes.size());
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && ::rename(temporary.c_str(), path.c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temporary.c_str());
    return failWith(whyNot, error);
  }
  return true;
}

bool readFileWhole(const std::string& path, std::string& contents, std::string* whyNot) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return failWith(whyNot, EISDIR);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return failWith(whyNot, errno);
  contents.clear();
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) return failWith(whyNot, error);
  return true;
}
