// kinora: plays a morph project full-screen until Escape; Space saves the frame on display.
#include <cstdio>
#include <cstdlib>

#include "engine/morph_engine.h"
#include "player/player.h"

namespace {

// `kinora --help` and `kinora --version` answer on standard output and end before any static
// object is built: the engine's construction needs a display and, without one, ends the process
// with "No 3dfx hardware found.". The C library hands init functions the program's arguments;
// priority 101 runs this one ahead of every C++ static constructor.
[[gnu::constructor(101)]] void answerInformationOptions(int argc, char** argv) {
  const std::string text = player::informationText(argc, argv);
  if (text.empty()) return;
  std::fputs(text.c_str(), stdout);
  std::exit(std::fflush(stdout) == 0 ? 0 : 1);
}

// The program's one engine: built before main runs (starting the board), destroyed after main
// returns (shutting it down).
MorphEngine engine;

}  // namespace

int main(int argc, char** argv) {
  const player::PlayerOptions options = player::playerOptions(argc, argv);
  return player::runPlayer(engine, options.path, options.window);
}
