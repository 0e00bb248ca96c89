#include "editor/command_line.h"

#include <filesystem>
#include <system_error>

#ifndef ORVANTE_VERSION
#define ORVANTE_VERSION "unknown"
#endif

namespace {

constexpr const char* kHelpText =
    "Usage: ORVANTE [FILE.kzm]\n"
    "\n"
    "The morph editor: pictures, their control points and the playback settings of a morph\n"
    "project. With FILE.kzm it opens that project at start.\n"
    "\n"
    "  --help     show this text and end\n"
    "  --version  show the version and end\n"
    "\n"
    "Keys: Ctrl+O open, Ctrl+S save, Ctrl+Shift+S save as, Ctrl+Z undo, Ctrl+Shift+Z or\n"
    "Ctrl+Y redo, F5 play, Ctrl+Q quit.\n";

}  // namespace

std::string EditorStartProject(int argc, const char* const* argv) {
  std::string path;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) path += ' ';
    path += argv[i];
  }
  return path;
}

std::string EditorInformationText(int argc, const char* const* argv) {
  const std::string argument = EditorStartProject(argc, argv);
  if (argument != "--help" && argument != "--version") return "";
  std::error_code error;
  if (std::filesystem::exists(argument, error)) return "";
  if (argument == "--version") return std::string("ORVANTE ") + ORVANTE_VERSION + "\n";
  return kHelpText;
}
