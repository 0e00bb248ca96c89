// ORVANTE, the morph editor. Its engine is built before main (see editor_globals.cpp): without
// a display the program has already ended with "No 3dfx hardware found." and exit code 1.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/command_line.h"
#include "editor/qt/editor_app.h"

namespace {

// `ORVANTE --help` and `ORVANTE --version` answer on standard output and end before any static
// object is built: the engine's construction needs a display. The C library hands init
// functions the program's arguments; priority 101 runs this one ahead of every C++ static
// constructor.
[[gnu::constructor(101)]] void answerInformationOptions(int argc, char** argv) {
  const std::string text = EditorInformationText(argc, argv);
  if (text.empty()) return;
  std::fputs(text.c_str(), stdout);
  std::exit(std::fflush(stdout) == 0 ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
  return theApp.Run(argc, argv);
}
