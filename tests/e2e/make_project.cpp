// make_project FILE [pictures=N] [points=N] [mode=N] [quality=N] [speed=N] [size=N] [busy]
// Writes a project file for the end-to-end tests: solid pictures in distinct colours (or busy
// patterns with "busy") and the settings given; everything not given keeps the editor's default.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "e2e/kzm_writer.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: make_project FILE [pictures=N] [points=N] [mode=N] "
                 "[quality=N] [speed=N] [size=N] [busy]\n");
    return 2;
  }
  testing_kzm::ProjectRecipe recipe;
  struct Setting {
    const char* key;
    int32_t* field;
  };
  const Setting settings[] = {{"pictures=", &recipe.pictureCount}, {"points=", &recipe.pointCount},
                              {"mode=", &recipe.playMode},         {"quality=", &recipe.quality},
                              {"speed=", &recipe.speed},           {"size=", &recipe.playSize}};
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    bool known = argument == "busy";
    if (known) recipe.solid = false;
    for (const Setting& setting : settings) {
      const size_t length = std::strlen(setting.key);
      if (argument.compare(0, length, setting.key) == 0) {
        *setting.field = std::atoi(argument.c_str() + length);
        known = true;
      }
    }
    if (!known) {
      std::fprintf(stderr, "make_project: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (!testing_kzm::writeProject(argv[1], recipe)) {
    std::fprintf(stderr, "make_project: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
