// The editor's command line: `ORVANTE [FILE.kzm]` opens that project at start; `ORVANTE --help`
// and `ORVANTE --version` answer on standard output and end, without a display.
#pragma once

#include <string>

// The text that --help or --version prints; empty for any other command line, and when a file
// of that name exists (it is then a project to open).
std::string EditorInformationText(int argc, const char* const* argv);

// The project to open at start: the arguments joined by single blanks (as the player takes its
// path), so that an unquoted path with blanks works as typed. Empty when there is none.
std::string EditorStartProject(int argc, const char* const* argv);
