// kzmtool render: a project played on the board with no display, its frames saved as the
// editor's preview saves them with "Save TGA files" checked.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/morph_engine.h"
#include "engine/tga_export.h"
#include "export/morph_export.h"
#include "tools/commands.h"

namespace {

using Clock = std::chrono::steady_clock;

// Renders that take longer than this show how far they are.
constexpr auto kQuietTime = std::chrono::seconds(1);
// How often the progress line changes: on a terminal it is rewritten in place; elsewhere (a log
// file) a new line is written now and then.
constexpr auto kTerminalUpdate = std::chrono::milliseconds(250);
constexpr auto kLogUpdate = std::chrono::seconds(10);

class Progress {
 public:
  explicit Progress(int64_t frames) : frames_(frames), terminal_(::isatty(STDERR_FILENO) != 0) {}

  void frameDone(int64_t frame, int64_t saved) {
    const Clock::time_point now = Clock::now();
    if (now - start_ < kQuietTime ||
        now - lastShown_ < (terminal_ ? kTerminalUpdate : kLogUpdate)) {
      return;
    }
    show(frame, saved);
    lastShown_ = now;
  }

  void finish(int64_t frame, int64_t saved) {
    if (lastShown_ == Clock::time_point{}) return;  // quick enough to need no progress
    show(frame, saved);
    if (terminal_) std::fputc('\n', stderr);
  }

 private:
  void show(int64_t frame, int64_t saved) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    std::fprintf(stderr, "%skzmtool: render: frame %lld of %lld, %lld saved, %.1f s%s",
                 terminal_ ? "\r" : "", static_cast<long long>(frame),
                 static_cast<long long>(frames_), static_cast<long long>(saved), seconds,
                 terminal_ ? "" : "\n");
    std::fflush(stderr);
  }

  const int64_t frames_;
  const bool terminal_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point lastShown_{};
};

bool isDirectory(const std::string& path, std::string& why) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    why = std::strerror(ENOTDIR);
    return false;
  }
  return true;
}

}  // namespace

int runRender(const Arguments& args) {
  const std::string& path = args.positional[0];
  int32_t frames = 0;
  int32_t dither = 0;
  int32_t every = 1;
  int32_t seed = 1;
  const std::optional<std::string> framesText = args.value("--frames");
  if (!framesText) return fail("render: --frames N is needed");
  if (!parseWholeNumber(*framesText, 1, INT32_MAX, frames)) {
    return fail("--frames takes a whole number from 1 up, not '" + *framesText + "'");
  }
  if (const auto text = args.value("--dither"); text && !parseWholeNumber(*text, 0, 2, dither)) {
    return fail("--dither takes 0 (2x2), 1 (4x4) or 2 (none), not '" + *text + "'");
  }
  if (const auto text = args.value("--every");
      text && !parseWholeNumber(*text, 0, INT32_MAX, every)) {
    return fail("--every takes a whole number from 0 up, not '" + *text + "'");
  }
  if (const auto text = args.value("--seed");
      text && !parseWholeNumber(*text, 0, INT32_MAX, seed)) {
    return fail("--seed takes a whole number from 0 to " + std::to_string(INT32_MAX) + ", not '" +
                *text + "'");
  }
  const std::string directory = args.value("--out").value_or(".");
  std::string why;
  if (!isDirectory(directory, why)) return fail(directory + ": " + why);

  if (!loadPlayableProjectOrReport(path)) return 1;
  MorphEngine& engine = toolEngine();

  // The frames that export encodes, drawn the same way.
  morph_export::FramePlayback playback;
  if (!playback.start(engine, dither, static_cast<uint32_t>(seed), 0, why)) {
    return fail("render: " + why);
  }
  Progress progress(frames);
  std::vector<uint16_t> pixels;
  int64_t saved = 0;
  int status = 0;
  for (int64_t frame = 0; frame < frames; ++frame) {
    if (!playback.next(pixels, why)) {
      status = fail("render: " + why);
      break;
    }
    if (every > 0 && frame % every == 0) {
      const std::string name = directory + "/" + frameFileName(static_cast<uint64_t>(saved));
      // A frame that cannot be written ends the run.
      if (writeTga(name, pixels.data(), playback.side(), playback.side(), &why) != 0) {
        status = fail(name + ": " + why);
        break;
      }
      ++saved;
    }
    progress.frameDone(frame + 1, saved);
  }
  progress.finish(frames, saved);
  return status;
}
