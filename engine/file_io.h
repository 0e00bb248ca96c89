// Whole-file reading and the safe writing of outputs, shared by the project file, the BMP
// import, the TGA export and the tools. Failures come back as short reasons a user can read,
// such as "cannot open: No such file or directory" or "cannot write: no permission".
//
// How an output is written depends on what stands at its name:
// - nothing: a new file (permissions from the umask) is written beside it and renamed into place
//   once complete; a dangling symbolic link gets the file it names created;
// - a regular file: it must be writable by the user ("cannot write: no permission" otherwise).
//   It is replaced by a new file written beside it and renamed over it, keeping its permissions
//   and group; a symbolic link keeps pointing at it. A file with more than one hard link, or
//   owned by someone else, keeps its identity instead: its bytes are overwritten in place once
//   the new content is complete in memory (space is reserved first, so a full disk leaves it
//   as it was);
// - a pipe, a device or a socket: the bytes are written to it directly, never renamed over;
// - a directory: refused ("cannot write: Is a directory").
// Where the bytes are flushed to disk, the folder is flushed after the rename too, so that even
// a power cut leaves either the old file or the new one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the file's first `maxBytes` bytes (all of it when shorter) into `bytes`. Returns 0, or
// nonzero with *whyNot set when the file cannot be opened or read (a directory cannot be read).
int32_t readFileStart(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                      std::string* whyNot);

// Whether both names lead to the same existing file (the same device and inode, symbolic links
// followed), so that another spelling of a name or a hard link of the file is caught. False when
// either cannot be found.
bool sameFile(const std::string& a, const std::string& b);

// How an output is written (a new file beside it, in place, directly); see file_io.cpp.
enum class WriteMethod : uint8_t;

// What a write may do with the name it writes to.
enum class OutputKind {
  // A file the user named, written by the rules above and flushed to disk.
  userFile,
  // A frame file under a fixed name (OUT00000.TGA, ...), up to 60 a second, in a folder others
  // may write to: a symbolic link, pipe or other entry at the name is replaced by the new file,
  // never followed or written through, and a regular file is always replaced, never written in
  // place (a hard link there may have been planted). The bytes are not flushed to disk.
  frame,
};

// Writes `size` bytes to `path` as a whole: an existing file is either left as it was or wholly
// replaced, and on failure nothing is left behind. `flushToDisk` false skips the waits for the
// disk (the rules are otherwise those of a user's file). Returns 0, or nonzero with *whyNot set.
int32_t replaceFile(const std::string& path, const uint8_t* data, size_t size, std::string* whyNot,
                    bool flushToDisk = true);

// The same for a frame file (OutputKind::frame).
int32_t replaceFrameFile(const std::string& path, const uint8_t* data, size_t size,
                         std::string* whyNot);

// An output that a library writes as a stream by its own name (a video encoder, a PNG writer).
// open() checks the name by the rules above and chooses where the library writes: a new file
// beside the target (with the permissions and group of the file it replaces, or those the umask
// gives a new file), named like it and ending in its extension, so that a library that picks a
// format by the name picks the same one; or the target itself when that is a pipe or a device.
// commit() puts the written file in place: flushed to disk (not for frames), renamed over the
// target (or copied into it in place, for a file with hard links or another owner), the folder
// flushed. Anything not committed is removed by discard() or the destructor.
//
// Neither call is safe inside a signal handler: on Ctrl+C a handler should only set a flag; the
// writing loop then stops and discards (or lets the destructor do it). A temporary survives
// only a kill no program can handle; it is a hidden file (".NAME.PID-N.tmp.EXT") beside the
// target, so no registry of temporaries is kept.
class StagedOutput {
 public:
  StagedOutput() = default;
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput();

  // Returns 0 with writePath() ready to be written, or nonzero with *whyNot set. An output
  // still open is discarded first.
  int32_t open(const std::string& path, std::string* whyNot,
               OutputKind kind = OutputKind::userFile);
  // Where the library writes: a temporary beside the target, or the target itself when that
  // is a pipe or a device. Empty before open().
  const std::string& writePath() const { return writePath_; }
  // Call once the library has closed the file. Returns 0, or nonzero with *whyNot set (the
  // temporary is then removed and the target left as it was).
  int32_t commit(std::string* whyNot);
  // Removes the temporary, leaving the target as it was (a pipe keeps what was written to it).
  void discard();

 private:
  std::string target_;     // the file that commit() replaces, a symbolic link resolved
  std::string writePath_;  // the temporary, or the target itself when it is written directly
  WriteMethod method_{};   // how commit() puts the temporary in place
  OutputKind kind_ = OutputKind::userFile;
};
