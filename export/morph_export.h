// A morph as something to share: the board's frames of a playback, in the order it draws them,
// written as an H.264 video (.mp4), a VP9 video (.webm), an animated GIF or WebP, or a folder of
// PNG frames. Nothing of the encoders shows here; they stay inside this folder's .cpp files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class MorphEngine;

namespace morph_export {

enum class Format { Mp4, WebM, Gif, WebP, PngFrames };

// The format that a target asks for: PNG frames for a path that ends in '/' or names an
// existing directory, otherwise the extension (in any case). Nothing for any other name.
std::optional<Format> formatForPath(const std::string& path);
// The formats as a message lists them.
inline constexpr const char* kFormatList =
    ".mp4 (H.264), .webm (VP9), .gif, .webp, or a folder (ending in /) for PNG frames";

struct Settings {
  int32_t cycles = 1;     // times the whole sequence plays
  int32_t fps = 60;       // frames a second; a GIF plays at most 50
  int32_t size = 0;       // side of the frames in pixels; 0: the project's play size
  int32_t dither = 0;     // the board's dither: 0 2x2, 1 4x4, 2 none
  uint32_t seed = 1;      // where random play starts its choices
  int32_t quality = -1;   // 0..100 on the format's own scale; -1: the format's default
};

// The ranges the settings take (inclusive); kzmtool and the editor check against them.
inline constexpr int32_t kMaxCycles = 1000;
inline constexpr int32_t kMaxFps = 120;
inline constexpr int32_t kMinSize = 10;
inline constexpr int32_t kMaxSize = 1200;

// The frames of one cycle of the project's play mode: loop, random (and any other mode) take
// one transition per picture, ping-pong 2 (N - 1); each transition is `speed` frames.
int64_t framesPerCycle(const MorphEngine& engine);

// The board's frames of a playback of the engine's project, one after another: what
// `kzmtool render` saves and every export encodes. Random play draws its choices from `seed`,
// so the same settings give the same frames.
class FramePlayback {
 public:
  FramePlayback() = default;
  FramePlayback(const FramePlayback&) = delete;
  FramePlayback& operator=(const FramePlayback&) = delete;
  ~FramePlayback() { stop(); }

  // Starts the playback with this dither and, unless `size` is 0, this play size (the
  // project's own comes back at stop). False, with the reason, when it cannot start.
  bool start(MorphEngine& engine, int32_t dither, uint32_t seed, int32_t size,
             std::string& whyNot);
  // Draws the next frame and reads it back: side() x side() RGB565 pixels, rows from the top.
  bool next(std::vector<uint16_t>& pixels, std::string& whyNot);
  // Passes over the next frame without drawing it.
  void skip();
  void stop();
  int32_t side() const { return side_; }

 private:
  MorphEngine* engine_ = nullptr;
  int32_t savedPlaySize_ = 0;
  int32_t side_ = 0;
};

// What an export wrote.
struct Summary {
  int64_t frames = 0;
  int32_t width = 0;   // the frames as written, after any padding to even sides
  int32_t height = 0;
  double fps = 0;      // as the file plays
  uint64_t bytes = 0;  // the file, or all frame files together
};

// Told how many frames are written, of how many; returning false cancels the export. Runs on
// the exporting thread, often enough for a progress dialog to stay responsive.
using Progress = std::function<bool(int64_t done, int64_t total)>;

inline constexpr const char* kCancelledReason = "cancelled";

// Exports the engine's project with its own speed, quality and play mode. The target appears
// only complete: it is written beside its place and moved there at the end, so a failure or a
// cancel leaves no file behind and whatever had that name before untouched. False with the
// reason (kCancelledReason when `progress` cancelled).
bool exportMorph(MorphEngine& engine, const std::string& target, const Settings& settings,
                 const Progress& progress, Summary& summary, std::string& whyNot);

// "wrote morph.mp4: 500 frames, 450 x 450, 60 fps, 8.3 s, 1.2 MB"
std::string summaryLine(const std::string& target, const Summary& summary);

}  // namespace morph_export
