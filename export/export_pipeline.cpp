// The export's frame pipeline: the board draws each frame on the calling thread (it is the
// engine's), while worker threads prepare and write the frames before it, so that drawing and
// encoding overlap on the processor's cores.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/file_io.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "export/frame_writer.h"
#include "glide/glide.h"

namespace morph_export {

namespace {

// How often the progress is told while the calling thread waits for the workers.
constexpr auto kProgressWait = std::chrono::milliseconds(40);
// The GIF's palette is made from this many frames spread over the first cycle.
constexpr int64_t kPaletteSamples = 48;
// Beyond any morph worth sharing (46 hours at 60 fps), and within every format's counters.
constexpr int64_t kMaxFrames = 10'000'000;

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The format's own default on the 0..100 scale: visually lossless for the videos, every colour a
// GIF can have, WebP's usual lossy setting.
int32_t defaultQuality(Format format) {
  switch (format) {
    case Format::Mp4:
    case Format::WebM:
      return 65;
    case Format::WebP:
      return 90;
    case Format::Gif:
    case Format::PngFrames:
      return 100;
  }
  return 100;
}

bool checkSettings(const Settings& settings, std::string& whyNot) {
  const auto outside = [](int32_t value, int32_t low, int32_t high) {
    return value < low || value > high;
  };
  if (outside(settings.cycles, 1, kMaxCycles)) {
    whyNot = "cycles must be 1 to " + std::to_string(kMaxCycles);
  } else if (outside(settings.fps, 1, kMaxFps)) {
    whyNot = "the frame rate must be 1 to " + std::to_string(kMaxFps);
  } else if (settings.size != 0 && outside(settings.size, kMinSize, kMaxSize)) {
    whyNot = "the size must be " + std::to_string(kMinSize) + " to " + std::to_string(kMaxSize);
  } else if (outside(settings.dither, 0, 2)) {
    whyNot = "the dither must be 0 (2x2), 1 (4x4) or 2 (none)";
  } else if (settings.quality != -1 && outside(settings.quality, 0, 100)) {
    whyNot = "the quality must be 0 to 100";
  } else {
    return true;
  }
  return false;
}

// Plays the first frames once more to pick `count` of them, spread evenly over `span` frames;
// only those are drawn.
bool sampleFrames(MorphEngine& engine, const Settings& settings, int64_t span, int64_t count,
                  const std::function<bool()>& keepGoing,
                  std::vector<std::vector<uint16_t>>& samples, std::string& whyNot) {
  FramePlayback playback;
  if (!playback.start(engine, settings.dither, settings.seed, settings.size, whyNot)) return false;
  std::vector<uint16_t> pixels;
  for (int64_t i = 0, frame = 0; i < count; ++i) {
    const int64_t wanted = (2 * i + 1) * span / (2 * count);  // the middle of its share
    for (; frame < wanted; ++frame) playback.skip();
    if (!playback.next(pixels, whyNot)) return false;
    ++frame;
    if (!keepGoing()) {
      whyNot = kCancelledReason;
      return false;
    }
    samples.push_back(pixels);
  }
  return true;
}

// The workers' side of the pipeline. Frames travel from the free pool to the ready queue (drawn,
// in order), through a worker's prepare, and are written when their turn comes.
class Pipeline {
 public:
  Pipeline(FrameWriter& writer, int32_t side) : writer_(writer) {
    const int workers = std::max(1, writer.preparers());
    frames_.resize(static_cast<size_t>(2 * workers + 2));
    for (Frame& frame : frames_) {
      frame.pixels.resize(static_cast<size_t>(side) * static_cast<size_t>(side));
      free_.push_back(&frame);
    }
    for (int w = 0; w < workers; ++w) threads_.emplace_back([this, w] { work(w); });
  }

  ~Pipeline() {
    {
      std::lock_guard lock(mutex_);
      noMoreFrames_ = true;
      if (!failed_) fail(kCancelledReason);  // left early: the workers stop where they are
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  // A free frame to draw into; nullptr once the export failed or `keepGoing` said stop.
  Frame* takeFree(const std::function<bool()>& keepGoing) {
    std::unique_lock lock(mutex_);
    while (free_.empty() && !failed_) {
      changed_.wait_for(lock, kProgressWait);
      if (!callUnlocked(lock, keepGoing)) return nullptr;
    }
    if (failed_) return nullptr;
    Frame* frame = free_.front();
    free_.pop_front();
    return frame;
  }

  void pushReady(Frame* frame) {
    {
      std::lock_guard lock(mutex_);
      ready_.push_back(frame);
    }
    changed_.notify_all();
  }

  // Waits until every one of `total` frames is written; false when the export failed or
  // `keepGoing` said stop.
  bool waitForAll(int64_t total, const std::function<bool()>& keepGoing) {
    std::unique_lock lock(mutex_);
    while (written_ < total && !failed_) {
      changed_.wait_for(lock, kProgressWait);
      if (!callUnlocked(lock, keepGoing)) return false;
    }
    return !failed_;
  }

  int64_t written() {
    std::lock_guard lock(mutex_);
    return written_;
  }

  void stop(const std::string& why) {
    {
      std::lock_guard lock(mutex_);
      if (!failed_) fail(why);
    }
    changed_.notify_all();
  }

  // The first reason the export failed for, if it did.
  std::string failure() {
    std::lock_guard lock(mutex_);
    return failed_ ? why_ : std::string();
  }

 private:
  bool callUnlocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& keepGoing) {
    lock.unlock();
    const bool going = keepGoing();
    lock.lock();
    if (!going && !failed_) fail(kCancelledReason);
    return going && !failed_;
  }

  void fail(const std::string& why) {
    failed_ = true;
    why_ = why;
  }

  void work(int worker) {
    for (;;) {
      Frame* frame = nullptr;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return failed_ || !ready_.empty() || noMoreFrames_; });
        if (failed_ || ready_.empty()) return;
        frame = ready_.front();
        ready_.pop_front();
      }
      std::string why;
      bool done = false;
      try {
        done = writer_.prepare(worker, *frame, why);
        if (done) {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [&] { return failed_ || nextToWrite_ == frame->index; });
          if (failed_) return;
        }
        // Only the frame whose turn it is gets here, so writes never overlap.
        if (done) done = writer_.write(*frame, why);
      } catch (const std::exception& error) {
        done = false;
        why = error.what();
      }
      {
        std::lock_guard lock(mutex_);
        if (!done) {
          if (!failed_) fail(why);
        } else {
          ++nextToWrite_;
          ++written_;
          free_.push_back(frame);
        }
      }
      changed_.notify_all();
      if (!done) return;
    }
  }

  FrameWriter& writer_;
  std::vector<Frame> frames_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Frame*> free_;
  std::deque<Frame*> ready_;
  int64_t nextToWrite_ = 0;
  int64_t written_ = 0;
  bool noMoreFrames_ = false;
  bool failed_ = false;
  std::string why_;
};

bool runFrames(FramePlayback& playback, FrameWriter& writer, int64_t total,
               const std::function<bool(int64_t)>& tell, std::string& whyNot) {
  Pipeline pipeline(writer, playback.side());
  const auto keepGoing = [&] { return tell(pipeline.written()); };
  for (int64_t index = 0; index < total; ++index) {
    Frame* frame = pipeline.takeFree(keepGoing);
    if (!frame) break;
    frame->index = index;
    std::string why;
    if (!playback.next(frame->pixels, why)) {
      pipeline.stop(why);
      break;
    }
    pipeline.pushReady(frame);
    if (!keepGoing()) {
      pipeline.stop(kCancelledReason);
      break;
    }
  }
  if (pipeline.waitForAll(total, keepGoing)) return true;
  whyNot = pipeline.failure();
  return false;
}

}  // namespace

std::optional<Format> formatForPath(const std::string& path) {
  if (path.empty()) return std::nullopt;
  if (path.back() == '/' || isDirectory(path)) return Format::PngFrames;
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  const std::string extension = lowerCase(path.substr(dot + 1));
  if (extension == "mp4") return Format::Mp4;
  if (extension == "webm") return Format::WebM;
  if (extension == "gif") return Format::Gif;
  if (extension == "webp") return Format::WebP;
  return std::nullopt;
}

int64_t framesPerCycle(const MorphEngine& engine) {
  const int64_t pictures = engine.pictureCount;
  const int64_t transitions = engine.playMode == 1 ? 2 * (pictures - 1) : pictures;
  // A speed below 1 plays as 1.
  return transitions * std::max<int64_t>(engine.speed, 1);
}

void widenPixels(const uint16_t* pixels, int32_t columns, int32_t rows, uint8_t* out,
                 int32_t outColumns, int32_t outRows, PixelLayout layout) {
  const bool bgra = layout == PixelLayout::Bgra;
  const size_t channels = bgra ? 4 : 3;
  const int red = bgra ? 2 : 0;
  const int blue = bgra ? 0 : 2;
  for (int32_t y = 0; y < outRows; ++y) {
    const uint16_t* from = pixels + static_cast<size_t>(std::min(y, rows - 1)) * columns;
    uint8_t* to = out + static_cast<size_t>(y) * static_cast<size_t>(outColumns) * channels;
    for (int32_t x = 0; x < outColumns; ++x) {
      const uint16_t p = from[std::min(x, columns - 1)];
      to[red] = static_cast<uint8_t>((p >> 11) << 3);
      to[1] = static_cast<uint8_t>(((p >> 5) & 0x3F) << 2);
      to[blue] = static_cast<uint8_t>((p & 0x1F) << 3);
      if (bgra) to[3] = 255;
      to += channels;
    }
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::open(const std::string& path, int flags, std::string& whyNot) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0666);
  if (fd_ >= 0) return true;
  whyNot = "cannot write: " + std::string(std::strerror(errno));
  return false;
}

bool OutputFile::write(const void* data, size_t size) {
  constexpr size_t kBufferBytes = 1 << 16;
  const auto* bytes = static_cast<const uint8_t*>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  return buffer_.size() < kBufferBytes ? error_ == 0 : flush();
}

bool OutputFile::flush() {
  size_t done = 0;
  while (error_ == 0 && done < buffer_.size()) {
    const ssize_t put = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (put < 0 && errno != EINTR) error_ = errno;
    if (put > 0) done += static_cast<size_t>(put);
  }
  buffer_.clear();
  return error_ == 0;
}

bool OutputFile::close(std::string& whyNot) {
  if (fd_ < 0) {
    whyNot = "cannot write: the file is closed";
    return false;
  }
  flush();
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  if (error_ == 0) return true;
  whyNot = "cannot write: " + std::string(std::strerror(error_));
  return false;
}

bool FramePlayback::start(MorphEngine& engine, int32_t dither, uint32_t seed, int32_t size,
                          std::string& whyNot) {
  stop();
  if (engine.pictureCount < 2) {
    whyNot = kTooFewPicturesMessage;
    return false;
  }
  engine_ = &engine;
  savedPlaySize_ = engine.playSize;
  if (size != 0) engine.playSize = size;
  engine.ditherMode = dither;
  // Random play draws from the C library's generator.
  std::srand(seed);
  if (engine.preparePlayback() != 0) {
    engine.playSize = savedPlaySize_;
    engine_ = nullptr;
    whyNot = "the board could not open a frame of that size";
    return false;
  }
  side_ = engine.viewSize;
  return true;
}

bool FramePlayback::next(std::vector<uint16_t>& pixels, std::string& whyNot) {
  engine_->playFrame();
  const auto side = static_cast<uint32_t>(side_);
  pixels.resize(static_cast<size_t>(side) * side);
  if (grLfbReadRegion(GR_BUFFER_FRONTBUFFER, static_cast<uint32_t>(engine_->originX),
                      static_cast<uint32_t>(engine_->originY), side, side, side * 2,
                      pixels.data())) {
    return true;
  }
  whyNot = "cannot read the frame back from the board";
  return false;
}

void FramePlayback::skip() {
  engine_->skipFrame();
}

void FramePlayback::stop() {
  if (!engine_) return;
  engine_->endPlayback();
  engine_->playSize = savedPlaySize_;
  engine_ = nullptr;
}

bool exportMorph(MorphEngine& engine, const std::string& target, const Settings& settings,
                 const Progress& progress, Summary& summary, std::string& whyNot) {
  const std::optional<Format> format = formatForPath(target);
  if (!format) {
    whyNot = "unknown format; the name must end in " + std::string(kFormatList);
    return false;
  }
  if (engine.pictureCount < 2) {
    whyNot = kTooFewPicturesMessage;
    return false;
  }
  if (!checkSettings(settings, whyNot)) return false;

  FrameShape shape;
  shape.fps = settings.fps;
  shape.quality = settings.quality < 0 ? defaultQuality(*format) : settings.quality;
  const int64_t cycle = framesPerCycle(engine);
  shape.frames = cycle * settings.cycles;
  if (shape.frames > kMaxFrames) {
    whyNot = std::to_string(shape.frames) + " frames are too many; at most " +
             std::to_string(kMaxFrames) + " (fewer cycles or a lower speed)";
    return false;
  }

  const auto tell = [&](int64_t done) { return !progress || progress(done, shape.frames); };
  if (!tell(0)) {
    whyNot = kCancelledReason;
    return false;
  }
  // The target is checked before any frame is drawn.
  StagedOutput staged;
  if (*format != Format::PngFrames && staged.open(target, &whyNot) != 0) return false;
  // A GIF first plays through the first cycle for the frames its palette is made from.
  std::vector<std::vector<uint16_t>> samples;
  if (*format == Format::Gif &&
      !sampleFrames(engine, settings, cycle, std::min(cycle, kPaletteSamples),
                    [&] { return tell(0); }, samples, whyNot)) {
    return false;
  }

  FramePlayback playback;
  if (!playback.start(engine, settings.dither, settings.seed, settings.size, whyNot)) {
    return false;
  }
  shape.side = playback.side();
  std::unique_ptr<FrameWriter> writer;
  switch (*format) {
    case Format::PngFrames:
      writer = openPngFrameWriter(target, shape, whyNot);
      break;
    case Format::Gif:
      writer = openGifWriter(staged.writePath(), shape, samples, whyNot);
      break;
    case Format::WebP:
      writer = openWebpWriter(staged.writePath(), shape, whyNot);
      break;
    case Format::Mp4:
    case Format::WebM:
      writer = openVideoWriter(*format, staged.writePath(), shape, whyNot);
      break;
  }
  if (!writer) return false;
  samples = {};

  if (!runFrames(playback, *writer, shape.frames, tell, whyNot)) return false;
  playback.stop();
  if (!writer->finish(whyNot)) return false;
  if (*format != Format::PngFrames) {
    struct stat written {};
    const bool sized = ::stat(staged.writePath().c_str(), &written) == 0;
    if (staged.commit(&whyNot) != 0) return false;
    summary.bytes = sized && S_ISREG(written.st_mode) ? static_cast<uint64_t>(written.st_size) : 0;
  }
  summary.frames = shape.frames;
  summary.width = writer->width();
  summary.height = writer->height();
  summary.fps = writer->playedFps();
  if (*format == Format::PngFrames) summary.bytes = writer->bytes();
  tell(shape.frames);
  return true;
}

std::string summaryLine(const std::string& target, const Summary& summary) {
  char size[32];
  const double bytes = static_cast<double>(summary.bytes);
  if (bytes >= 1e6) {
    std::snprintf(size, sizeof size, "%.1f MB", bytes / 1e6);
  } else if (bytes >= 1e3) {
    std::snprintf(size, sizeof size, "%.1f kB", bytes / 1e3);
  } else {
    std::snprintf(size, sizeof size, "%llu bytes", static_cast<unsigned long long>(summary.bytes));
  }
  char line[160];
  std::snprintf(line, sizeof line, ": %lld frames, %d x %d, %g fps, %.1f s, %s",
                static_cast<long long>(summary.frames), summary.width, summary.height,
                summary.fps, summary.fps > 0 ? static_cast<double>(summary.frames) / summary.fps : 0.0,
                size);
  return "wrote " + target + line;
}

}  // namespace morph_export
