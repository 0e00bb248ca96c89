// The player's entry logic: the checks of its command line, the loading of the project, the
// frame loop and the naming of saved frames. The program itself (main.cpp) only holds the
// engine and hands it over, so that everything here runs in tests on a headless engine.
#pragma once

#include <cstdint>
#include <string>

class MorphEngine;

namespace player {

// Key codes that pollKey reports.
inline constexpr uint8_t kEscapeKey = 27;
inline constexpr uint8_t kSpaceKey = 32;

// The project path: the arguments joined by single blanks, so that an unquoted path with blanks
// works as typed. Quotes that reach the program stay part of the path. No argument: "".
std::string commandLinePath(int argc, const char* const* argv);

// The text that `kinora --help` or `kinora --version` prints on standard output; empty for any
// other command line, and when a file of that name exists (it is then a project to play).
std::string informationText(int argc, const char* const* argv);

// The name a saved frame gets: "OUT00000.TGA" with the counter's decimal digits written over
// its zeros from the right (42: OUT00042.TGA, 123456: OU123456.TGA). Nine digits or more no
// longer fit the eight places; such a name is the digits followed by ".TGA".
std::string frameFileName(int32_t counter);

// Plays until Escape: one key poll, one frame, and on Space the frame just shown saved under
// the next frame name. The frame of the pass that saw Escape is still drawn. Returns the number
// of frames saved. The playback must be prepared.
int32_t playUntilEscape(MorphEngine& engine);

// The whole run of the player for one command-line path: the checks, the loading, the window,
// the playback and the teardown. Returns the process exit code: 0 after a playback ended with
// Escape, 1 when the run stopped with a message.
int runPlayer(MorphEngine& engine, const std::string& path);

}  // namespace player
