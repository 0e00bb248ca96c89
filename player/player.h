// The player's entry logic: the checks of its command line, the loading of the project, the
// frame loop and the naming of saved frames. The program itself (main.cpp) only holds the
// engine and hands it over, so that everything here runs in tests on a headless engine.
#pragma once

#include <cstdint>
#include <string>

class MorphEngine;

namespace player {

// The project path: the arguments joined by single blanks, so that an unquoted path with blanks
// works as typed. Quotes that reach the program stay part of the path. No argument: "".
std::string commandLinePath(int argc, const char* const* argv);

// The text that `kinora --help` or `kinora --version` prints on standard output; empty for any
// other command line, and when a file of that name exists (it is then a project to play).
std::string informationText(int argc, const char* const* argv);

// What the command line asks for: the project, and whether to play it in an ordinary window.
struct PlayerOptions {
  std::string path;
  bool window = false;
};
// `kinora --window FILE.kzm` plays in an ordinary window: "--window" counts as the first
// argument only, and not when the whole command line names an existing file. The path is the
// remaining arguments, joined as commandLinePath joins them.
PlayerOptions playerOptions(int argc, const char* const* argv);

// Plays until Escape: one key poll, one frame, and on Space the frame just shown saved under
// the next frame name (frameFileName: OUT00000.TGA, OUT00001.TGA, ...). The frame of the pass
// that saw Escape is still drawn. Returns the number of frames saved. The playback must be
// prepared.
uint64_t playUntilEscape(MorphEngine& engine);

// The whole run of the player for one command-line path: the checks, the loading, the window
// (covering the desktop, or an ordinary window titled with the file's name), the playback and
// the teardown. Returns the process exit code: 0 after a playback ended with Escape, 1 when the
// run stopped with a message.
int runPlayer(MorphEngine& engine, const std::string& path, bool window = false);

}  // namespace player
