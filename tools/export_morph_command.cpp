// kzmtool export: the morph as a video, an animated GIF or WebP, or PNG frames.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>

#include "engine/morph_engine.h"
#include "export/morph_export.h"
#include "tools/commands.h"
#include "tools/output_guard.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kBarUpdate = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) {
  stopSignal = signal;
}

// Ctrl+C, SIGTERM and a closed terminal only ask the export to stop; it then removes what it
// wrote, and the program ends by the signal as it would have.
class StopSignals {
 public:
  StopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &old_[i]);
  }
  ~StopSignals() {
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &old_[i], nullptr);
  }
  // Ends the program by the signal that stopped the export, now that nothing is left behind.
  static void endByIt() {
    if (stopSignal == 0) return;
    std::signal(stopSignal, SIG_DFL);
    std::raise(stopSignal);
  }

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[std::size(kSignals)] {};
};

// "[##########--------------------]  250 of 500 frames  50%  1.2 s left", rewritten in place on
// a terminal; nothing elsewhere.
class ProgressBar {
 public:
  explicit ProgressBar(bool show) : show_(show && ::isatty(STDERR_FILENO) != 0) {}

  void update(int64_t done, int64_t total) {
    if (!show_ || total <= 0) return;
    const Clock::time_point now = Clock::now();
    if (now - lastShown_ < kBarUpdate && done < total) return;
    lastShown_ = now;
    const double part = static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(part * kBarWidth);
    char bar[kBarWidth + 1];
    std::fill_n(bar, kBarWidth, '-');
    std::fill_n(bar, filled, '#');
    bar[kBarWidth] = '\0';
    // The pace since the first frame was done: the set-up before it (a GIF's palette) is over.
    if (done > 0 && firstDone_ == 0) {
      firstDone_ = done;
      firstDoneAt_ = now;
    }
    char left[32] = "";
    if (done > firstDone_ && done < total) {
      const double seconds = std::chrono::duration<double>(now - firstDoneAt_).count();
      std::snprintf(left, sizeof left, "  %.1f s left",
                    seconds / static_cast<double>(done - firstDone_) *
                        static_cast<double>(total - done));
    }
    std::fprintf(stderr, "\r[%s] %lld of %lld frames  %3d%%%s\033[K", bar,
                 static_cast<long long>(done), static_cast<long long>(total),
                 static_cast<int>(part * 100), left);
    std::fflush(stderr);
    shown_ = true;
  }

  // Clears the bar's line, for the summary or a message.
  void clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  const bool show_;
  bool shown_ = false;
  int64_t firstDone_ = 0;
  Clock::time_point firstDoneAt_{};
  Clock::time_point lastShown_{};
};

struct NumberOption {
  const char* name;
  int64_t low;
  int64_t high;
  int32_t* value;
};

}  // namespace

int runExport(const Arguments& args) {
  const std::string& path = args.positional[0];
  const std::string& target = args.positional[1];
  morph_export::Settings settings;
  int32_t seed = static_cast<int32_t>(settings.seed);
  const NumberOption numbers[] = {
      {"--cycles", 1, morph_export::kMaxCycles, &settings.cycles},
      {"--fps", 1, morph_export::kMaxFps, &settings.fps},
      {"--size", morph_export::kMinSize, morph_export::kMaxSize, &settings.size},
      {"--dither", 0, 2, &settings.dither},
      {"--seed", 0, INT32_MAX, &seed},
      {"--quality", 0, 100, &settings.quality},
  };
  for (const NumberOption& option : numbers) {
    const std::optional<std::string> text = args.value(option.name);
    if (text && !parseWholeNumber(*text, option.low, option.high, *option.value)) {
      return fail(std::string(option.name) + " takes a whole number from " +
                  std::to_string(option.low) + " to " + std::to_string(option.high) + ", not '" +
                  *text + "'");
    }
  }
  settings.seed = static_cast<uint32_t>(seed);
  if (!morph_export::formatForPath(target)) {
    return fail("export: cannot tell the format of '" + target + "'; the name must end in " +
                morph_export::kFormatList);
  }
  const std::string inputs[] = {path};
  if (const std::string refusal = outputRefusal(target, inputs, ExistingOutput::anyFile, false);
      !refusal.empty()) {
    return fail("export: " + refusal);
  }

  if (!loadPlayableProjectOrReport(path)) return 1;
  MorphEngine& engine = toolEngine();

  const bool quiet = args.has("--quiet");
  ProgressBar bar(!quiet);
  StopSignals signals;
  const auto progress = [&bar](int64_t done, int64_t total) {
    bar.update(done, total);
    return stopSignal == 0;
  };
  morph_export::Summary summary;
  std::string why;
  const bool exported = morph_export::exportMorph(engine, target, settings, progress, summary, why);
  bar.clear();
  if (!exported) {
    if (stopSignal != 0) why = "interrupted";
    fail("export: " + target + ": " + why + "; nothing was written");
    StopSignals::endByIt();
    return 1;
  }
  if (!quiet) std::fprintf(stderr, "%s\n", morph_export::summaryLine(target, summary).c_str());
  return 0;
}
