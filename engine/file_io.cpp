#include "engine/file_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>

enum class WriteMethod : uint8_t {
  create,   // nothing at the name: a new file beside it, renamed into place
  replace,  // a new file beside the old one, renamed over it
  inPlace,  // the file's own bytes overwritten: it has hard links or another owner
  direct,   // a pipe or a device, written to as it is
};

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

// A write's failure in a user's words; a missing permission is said plainly.
int32_t writeFailure(std::string* whyNot, int error) {
  if (whyNot) {
    *whyNot = std::string("cannot write: ") +
              (error == EACCES || error == EPERM ? "no permission" : std::strerror(error));
  }
  return 1;
}

// The folder part of a path, with its slash ("" for a bare name).
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// What a write to `path` will do, found before anything is written.
struct OutputPlan {
  std::string target;  // the name written: a symbolic link's file, or `path` itself
  WriteMethod method = WriteMethod::create;
  struct stat old {};  // what stands at the target
};

// The name at the end of a chain of symbolic links that leads nowhere yet: a save through a
// dangling link creates the file the link names and leaves the link a link.
std::string nameTheLinkLeadsTo(const std::string& path) {
  std::string name = path;
  for (int hop = 0; hop < 40; ++hop) {  // the kernel's own limit on a chain
    struct stat info {};
    if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    std::string next(PATH_MAX, '\0');
    const ssize_t length = ::readlink(name.c_str(), next.data(), next.size());
    if (length <= 0) break;
    next.resize(static_cast<size_t>(length));
    name = next[0] == '/' ? next : folderOf(name) + next;
  }
  return name;
}

int32_t planOutput(const std::string& path, OutputKind kind, OutputPlan& plan,
                   std::string* whyNot) {
  if (path.empty()) return writeFailure(whyNot, ENOENT);
  plan = OutputPlan{};
  plan.target = path;
  const bool followLinks = kind == OutputKind::userFile;
  if ((followLinks ? ::stat(path.c_str(), &plan.old) : ::lstat(path.c_str(), &plan.old)) != 0) {
    if (errno != ENOENT) return writeFailure(whyNot, errno);
    if (followLinks) plan.target = nameTheLinkLeadsTo(path);
    return 0;
  }
  if (S_ISDIR(plan.old.st_mode)) return writeFailure(whyNot, EISDIR);
  if (!S_ISREG(plan.old.st_mode)) {
    plan.method = followLinks ? WriteMethod::direct : WriteMethod::replace;
    return 0;
  }
  // The folder's permission would let a new file replace it; the file's own must count.
  if (::access(path.c_str(), W_OK) != 0) return writeFailure(whyNot, errno);
  plan.method = WriteMethod::replace;
  if (!followLinks) return 0;
  // A file reached through the system's own names (/dev/stdout sent to a file) is the stream the
  // caller holds open: written to, not replaced behind its back.
  if (path.starts_with("/dev/") || path.starts_with("/proc/")) {
    plan.method = WriteMethod::direct;
    return 0;
  }
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved) {
    plan.target = resolved;
    std::free(resolved);
  }
  // A rename would split hard links or hand another user's file to us; a name that cannot be
  // resolved might be a link, which must not be renamed over either.
  if (plan.old.st_nlink > 1 || plan.old.st_uid != ::geteuid() || !resolved) {
    plan.method = WriteMethod::inPlace;
  }
  return 0;
}

// Creates a new, empty file beside `target`, hidden and named after it, ending in ".tmp" or,
// with `keepExtension`, in the target's extension; returns its descriptor, or -1 with errno set.
int createTemporaryBeside(const std::string& target, bool keepExtension,
                          std::string& temporaryPath) {
  const std::string folder = folderOf(target);
  const std::string base = target.substr(folder.size());
  const size_t dot = base.rfind('.');
  const bool hasExtension =
      keepExtension && dot != std::string::npos && dot > 0 && base.size() - dot <= 16;
  // Shortened so that the temporary name stays within the file system's name limit.
  const std::string stem = base.substr(0, hasExtension ? dot : base.size()).substr(0, 180);
  const std::string extension = hasExtension ? base.substr(dot) : "";
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath = folder + "." + stem + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++) + ".tmp" + extension;
    // 0666: a new file gets the permissions the umask gives, as any program's new file does.
    const int fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Gives the new file the permissions and group of the regular file it replaces, before any byte
// is in it. Best effort: the content matters more than the mode.
void takeOverAttributes(int fd, const OutputPlan& plan) {
  if (plan.method != WriteMethod::replace || !S_ISREG(plan.old.st_mode)) return;
  if (::fchown(fd, static_cast<uid_t>(-1), plan.old.st_gid) != 0) {
    // Not a member of that group: the file gets ours, as any new file would.
  }
  ::fchmod(fd, plan.old.st_mode & 07777);
}

int flushFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

// Flushes the folder that holds `path`, after a rename that a power cut could otherwise undo.
int syncFolderOf(const std::string& path) {
  const std::string folder = folderOf(path);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;  // EINVAL: cannot be synced
  ::close(fd);
  return error;
}

int writeBeside(const OutputPlan& plan, const uint8_t* data, size_t size, bool flush) {
  std::string temporaryPath;
  const int fd = createTemporaryBeside(plan.target, false, temporaryPath);
  if (fd < 0) return errno;
  takeOverAttributes(fd, plan);
  int error = 0;
  if (!writeFully(fd, data, size) || (flush && ::fsync(fd) != 0)) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) {
    if (::rename(temporaryPath.c_str(), plan.target.c_str()) != 0) error = errno;
  }
  if (error != 0) {
    ::unlink(temporaryPath.c_str());
    return error;
  }
  return flush ? syncFolderOf(plan.target) : 0;
}

// Overwrites the file at `path` with `size` bytes that `writeContent` puts through the
// descriptor, keeping the file itself (its links, owner and permissions).
int overwriteInPlace(const std::string& path, size_t size, bool flush,
                     const std::function<int(int fd)>& writeContent) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  // Space reserved first: a full disk fails here, before any old byte is touched.
  if (size > 0 && ::fallocate(fd, 0, 0, static_cast<off_t>(size)) != 0 && errno != EOPNOTSUPP &&
      errno != ENOSYS) {
    error = errno;
  }
  if (error == 0) error = writeContent(fd);
  if (error == 0 && ::ftruncate(fd, static_cast<off_t>(size)) != 0) error = errno;
  if (error == 0 && flush && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// Writes to a pipe or a device as it stands; a regular file behind /dev/stdout is appended to,
// as a shell's ">>" asks and its ">" has emptied. A reader that has gone away gives "Broken pipe"
// rather than the signal that would end the whole program.
int writeDirectly(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) ::lseek(fd, 0, SEEK_END);
  sigset_t brokenPipe, previous, pending;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &brokenPipe, &previous);
  const bool wasPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  int error = writeFully(fd, data, size) ? 0 : errno;
  if (error == EPIPE && !wasPending) {
    const timespec noWait{};
    sigtimedwait(&brokenPipe, nullptr, &noWait);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

int32_t writeOutput(const std::string& path, const uint8_t* data, size_t size, OutputKind kind,
                    bool flush, std::string* whyNot) {
  OutputPlan plan;
  if (planOutput(path, kind, plan, whyNot) != 0) return 1;
  const auto writeBytes = [&](int fd) { return writeFully(fd, data, size) ? 0 : errno; };
  int error = 0;
  switch (plan.method) {
    case WriteMethod::direct:
      error = writeDirectly(plan.target, data, size);
      break;
    case WriteMethod::inPlace:
      error = overwriteInPlace(plan.target, size, flush, writeBytes);
      break;
    case WriteMethod::create:
    case WriteMethod::replace:
      error = writeBeside(plan, data, size, flush);
      // A file the user may write in a folder they may not: written in place.
      if (error == EACCES && plan.method == WriteMethod::replace && kind == OutputKind::userFile) {
        error = overwriteInPlace(plan.target, size, flush, writeBytes);
      }
      break;
  }
  return error == 0 ? 0 : writeFailure(whyNot, error);
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

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int32_t replaceFile(const std::string& path, const uint8_t* data, size_t size, std::string* whyNot,
                    bool flushToDisk) {
  return writeOutput(path, data, size, OutputKind::userFile, flushToDisk, whyNot);
}

int32_t replaceFrameFile(const std::string& path, const uint8_t* data, size_t size,
                         std::string* whyNot) {
  return writeOutput(path, data, size, OutputKind::frame, /*flush=*/false, whyNot);
}

StagedOutput::~StagedOutput() {
  discard();
}

int32_t StagedOutput::open(const std::string& path, std::string* whyNot, OutputKind kind) {
  discard();
  OutputPlan plan;
  if (planOutput(path, kind, plan, whyNot) != 0) return 1;
  kind_ = kind;
  method_ = plan.method;
  target_ = plan.target;
  if (method_ == WriteMethod::direct) {
    writePath_ = target_;
    return 0;
  }
  const int fd = createTemporaryBeside(target_, true, writePath_);
  if (fd < 0) {
    const int error = errno;
    writePath_.clear();
    target_.clear();
    return writeFailure(whyNot, error);
  }
  takeOverAttributes(fd, plan);
  ::close(fd);
  return 0;
}

int32_t StagedOutput::commit(std::string* whyNot) {
  if (writePath_.empty()) return writeFailure(whyNot, EBADF);  // nothing open
  if (method_ == WriteMethod::direct) {
    writePath_.clear();
    target_.clear();
    return 0;
  }
  const bool flush = kind_ == OutputKind::userFile;
  int error = flush ? flushFile(writePath_) : 0;
  if (error == 0 && method_ == WriteMethod::inPlace) {
    struct stat written {};
    const int from = ::open(writePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0 || ::fstat(from, &written) != 0) {
      error = errno;
    } else {
      error = overwriteInPlace(target_, static_cast<size_t>(written.st_size), flush, [&](int to) {
        std::vector<uint8_t> chunk(1 << 20);
        for (;;) {
          const ssize_t got = readFully(from, chunk.data(), chunk.size());
          if (got < 0) return errno;
          if (!writeFully(to, chunk.data(), static_cast<size_t>(got))) return errno;
          if (static_cast<size_t>(got) < chunk.size()) return 0;
        }
      });
    }
    if (from >= 0) ::close(from);
  } else if (error == 0) {
    if (::rename(writePath_.c_str(), target_.c_str()) != 0) {
      error = errno;
    } else {
      writePath_.clear();
      if (flush) error = syncFolderOf(target_);
    }
  }
  discard();
  return error == 0 ? 0 : writeFailure(whyNot, error);
}

void StagedOutput::discard() {
  if (!writePath_.empty() && method_ != WriteMethod::direct) ::unlink(writePath_.c_str());
  writePath_.clear();
  target_.clear();
}
