// ORVANTE, the morph editor. Its engine is built before main (see editor_globals.cpp): without
// a display the program has already ended with "No 3dfx hardware found." and exit code 1.
#include "editor/qt/editor_app.h"

int main(int argc, char** argv) {
  return theApp.Run(argc, argv);
}
