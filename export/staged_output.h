// A file written beside its target and renamed into place when complete (a pipe or a device is
// written directly). Stands in until the engine's file layer offers the same.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

class StagedOutput {
 public:
  StagedOutput() = default;
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput() { discard(); }

  int32_t open(const std::string& path, std::string* whyNot) {
    discard();
    target_ = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
      writePath_ = path;
      direct_ = true;
      return 0;
    }
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      if (whyNot) *whyNot = "cannot write: Is a directory";
      return 1;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      writePath_ = folder + "." + name.substr(0, 180) + "." + std::to_string(::getpid()) + "-" +
                   std::to_string(counter++) + ".tmp" + extension;
      const int fd = ::open(writePath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        struct stat old {};
        if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
          ::fchmod(fd, old.st_mode & 07777);
        }
        ::close(fd);
        return 0;
      }
      if (errno != EEXIST) break;
    }
    if (whyNot) *whyNot = std::string("cannot write: ") + std::strerror(errno);
    writePath_.clear();
    return 1;
  }

  const std::string& writePath() const { return writePath_; }

  int32_t commit(std::string* whyNot) {
    if (!direct_ && ::rename(writePath_.c_str(), target_.c_str()) != 0) {
      if (whyNot) *whyNot = std::string("cannot write: ") + std::strerror(errno);
      discard();
      return 1;
    }
    writePath_.clear();
    return 0;
  }

  void discard() {
    if (!direct_ && !writePath_.empty()) ::unlink(writePath_.c_str());
    writePath_.clear();
    direct_ = false;
  }

 private:
  std::string target_;
  std::string writePath_;
  bool direct_ = false;
};
