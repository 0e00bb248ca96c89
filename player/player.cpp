#include "player/player.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "engine/tga_export.h"
#include "glide/platform.h"

#ifndef KINORA_VERSION
#define KINORA_VERSION "unknown"
#endif

namespace player {

namespace {

// Shown instead of playing when the path exists but does not hold a project that can be
// played: a directory, a file without permission, a broken or truncated file.
constexpr const char* kUnreadableProjectMessage = "Cannot read this project file!";

constexpr const char* kHelpText =
    "\n\n Escape ends the playback; Space saves the frame on display as OUT00000.TGA,"
    "\n OUT00001.TGA, ... in the current directory."
    "\n\n kinora --window file.kzm"
    "\n   plays in an ordinary window instead of covering the desktop."
    "\n F11 switches between the window and the whole desktop.";

constexpr const char* kWindowOption = "--window";

// The existence test of the path: anything the file system can find, a directory included.
bool pathExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

}  // namespace

std::string commandLinePath(int argc, const char* const* argv) {
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) path += ' ';
    path += argv[i];
  }
  return path;
}

std::string informationText(int argc, const char* const* argv) {
  const std::string path = commandLinePath(argc, argv);
  if (path != "--help" && path != "--version") return "";
  if (pathExists(path)) return "";  // a project file that happens to carry that name
  if (path == "--version") return std::string("kinora ") + KINORA_VERSION + "\n";
  return std::string(kUsageMessage) + kHelpText + "\n";
}

PlayerOptions playerOptions(int argc, const char* const* argv) {
  const std::string whole = commandLinePath(argc, argv);
  if (argc < 2 || std::string(argv[1]) != kWindowOption || pathExists(whole)) return {whole};
  return {commandLinePath(argc - 1, argv + 1), true};
}

uint64_t playUntilEscape(MorphEngine& engine) {
  uint8_t key = 0;
  uint64_t savedFrames = 0;  // cannot run over: a frame a microsecond would take 500000 years
  while (key != kEscapeKey) {
    key = pollKey();
    engine.playFrame();
    if (key == kSpaceKey) {
      const std::string name = frameFileName(savedFrames);
      // A frame that cannot be written must not stop the playback; the terminal hears of it.
      std::string why;
      if (engine.writeTgaFile(name, 24, &why) != 0) {
        std::fprintf(stderr, "kinora: could not write %s: %s\n", name.c_str(), why.c_str());
      }
      ++savedFrames;
    }
  }
  return savedFrames;
}

int runPlayer(MorphEngine& engine, const std::string& path, bool window) {
  if (path.empty()) {
    platform::showMessage(kUsageMessage, kPlayerErrorCaption);
    return 1;
  }
  if (!pathExists(path)) {
    platform::showMessage(kCannotFindFileMessage, kPlayerErrorCaption);
    return 1;
  }
  std::string whyNot;
  if (engine.loadProject(path, &whyNot) != 0) {
    std::string text = kUnreadableProjectMessage;
    text += "\n\n" + path;
    if (!whyNot.empty()) text += ": " + whyNot;
    platform::showMessage(text, kPlayerErrorCaption);
    return 1;
  }
  if (engine.pictureCount < 2) {
    platform::showMessage(kTooFewPicturesMessage, kPlayerErrorCaption);
    return 1;
  }

  setDisplayWindowed(window, std::filesystem::path(path).filename().string());
  if (!createDisplayWindow()) {
    // Its message was shown; without a window nothing can be seen, nor a key pressed.
    destroyDisplayWindow();
    return 1;
  }
  if (engine.preparePlayback() != 0) {
    // The video mode was refused and its message shown: the run failed, so it says so.
    destroyDisplayWindow();
    return 1;
  }
  setPlaySquare(engine.originX, engine.originY, engine.viewSize);
  playUntilEscape(engine);
  engine.endPlayback();
  destroyDisplayWindow();
  return 0;
}

}  // namespace player
