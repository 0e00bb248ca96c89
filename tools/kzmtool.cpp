// kzmtool: project files from the command line. Each command loads what it needs into the
// tool's one engine, does its work with the engine's own operations and exits with 0, or with 1
// after one line on standard error that says what went wrong.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "faces/face_fit.h"
#include "glide/platform.h"
#include "pictures/pictures.h"
#include "tools/commands.h"
#include "tools/output_guard.h"

namespace {

struct Command {
  const char* name;
  const char* arguments;  // the arguments other than options
  const char* synopsis;   // all arguments after the name
  const char* summary;
  std::span<const OptionRule> options;
  size_t minArguments;
  size_t maxArguments;
  int (*run)(const Arguments&);
};

constexpr OptionRule kInfoOptions[] = {{"--json", false}};
constexpr OptionRule kNewOptions[] = {{"--quality", true}, {"--speed", true},  {"--size", true},
                                      {"--mode", true},    {"--points", true}, {"--fit", true},
                                      {"--faces", false},  {"--force", false}};
constexpr OptionRule kAddOptions[] = {
    {"--at", true}, {"--fit", true}, {"-o", true}, {"--force", false}};
constexpr OptionRule kExtractOptions[] = {{"--force", false}};
constexpr OptionRule kSetOptions[] = {{"--quality", true}, {"--speed", true}, {"--size", true},
                                      {"--mode", true},    {"-o", true},      {"--force", false}};
constexpr OptionRule kMeshOptions[] = {{"-o", true}};
constexpr OptionRule kFacesOptions[] = {{"-o", true}, {"--pictures", true}, {"--force", false}};
constexpr OptionRule kRenderOptions[] = {
    {"--frames", true}, {"--dither", true}, {"--out", true}, {"--every", true}, {"--seed", true}};
constexpr OptionRule kExportOptions[] = {{"--cycles", true}, {"--fps", true},  {"--size", true},
                                         {"--dither", true}, {"--seed", true}, {"--quality", true},
                                         {"--quiet", false}};
constexpr size_t kAnyNumber = static_cast<size_t>(-1);

const Command kCommands[] = {
    {"info", "FILE.kzm", "[--json] FILE.kzm",
     "Shows the settings, the picture and point counts and every picture's points\n"
     "(x, y, placed or inherited). --json prints one JSON object instead.",
     kInfoOptions, 1, 1, runInfo},
    {"new", "OUT.kzm PICTURE...",
     "OUT.kzm PICTURE... [--fit crop|pad|stretch|face] [--points FILE] [--quality Q]\n"
     "            [--speed S] [--size P] [--mode loop|ping-pong|random] [--faces] [--force]",
     "Makes a project of the pictures in the order given. A picture may be a PNG, JPEG,\n"
     "WebP, TIFF, GIF, BMP or TGA file of any size; one that is not 256 x 256 is fitted to\n"
     "the square (--fit: crop, the default, takes the largest centred square; pad fits the\n"
     "whole picture inside, the rest black; stretch scales it regardless of its shape;\n"
     "face puts the eyes at the same place in every picture), and a line on standard\n"
     "output tells what was done. The points file has one line per control point with an\n"
     "x and y pair for every picture in order, as 'kzmtool info' prints them (12, 12.5,\n"
     "-3; separated by blanks; '#' starts a comment); each point is placed on every\n"
     "picture. Settings not given keep their defaults: quality 28, speed 100, size 450,\n"
     "loop. --faces adds the 68 face points as 'kzmtool faces' does before the project is\n"
     "saved. An existing OUT.kzm that is not a project is replaced only with --force; one\n"
     "of the pictures never.",
     kNewOptions, 1, kAnyNumber, runNew},
    {"add", "FILE.kzm PICTURE...",
     "FILE.kzm PICTURE... [--at N] [--fit crop|pad|stretch|face] [-o OUT.kzm] [--force]",
     "Inserts the pictures, in the order given, at position N (counted from 0; at the end\n"
     "unless given), as the editor's Add does: each new picture gets inherited copies of\n"
     "its neighbour's points. Pictures are read and fitted as 'kzmtool new' does. Saves\n"
     "to OUT.kzm, or in the project's own place (the old file stays whole until the new\n"
     "one is written). If one picture is refused, nothing is written. An existing OUT.kzm\n"
     "that is not a project is replaced only with --force; one of the pictures never.",
     kAddOptions, 2, kAnyNumber, runAdd},
    {"extract", "FILE.kzm N OUT", "FILE.kzm N OUT [--force]",
     "Writes picture N (counted from 0) as a 256 x 256 24-bit picture file that imports\n"
     "back to exactly the same picture: PNG when OUT ends in .png, BMP otherwise. An\n"
     "existing project file at OUT is replaced only with --force.",
     kExtractOptions, 3, 3, runExtract},
    {"set", "FILE.kzm",
     "FILE.kzm [--quality Q] [--speed S] [--size P] [--mode loop|ping-pong|random]\n"
     "            [-o OUT.kzm] [--force]",
     "Changes the settings given and saves the project to OUT.kzm, or in its own place\n"
     "(the old file stays whole until the new one is written). With no setting given\n"
     "it rewrites the file as the programs save it. An existing OUT.kzm that is not a\n"
     "project is replaced only with --force.",
     kSetOptions, 1, 1, runSet},
    {"mesh", "FILE.kzm", "FILE.kzm [-o OUT]",
     "Solves the warp field at the project's quality and writes the meshes: for each\n"
     "picture, for each grid vertex (rows from the top, columns from the left), x then y\n"
     "as little-endian 32-bit floats in picture pixels. Without -o, to standard output.",
     kMeshOptions, 1, 1, runMesh},
    {"render", "FILE.kzm",
     "FILE.kzm --frames N [--dither 0|1|2] [--out DIR] [--every K] [--seed S]",
     "Plays the project with no display and saves its frames as the editor's preview\n"
     "does with \"Save TGA files\" checked: OUT00000.TGA, OUT00001.TGA, ... in DIR (the\n"
     "current directory unless given), 24-bit TGA files of the play square. N frames are\n"
     "played; with --every K only frames 0, K, 2K, ... are saved (K = 0: none, for timing),\n"
     "the names still counting the saved frames from OUT00000.TGA. --dither chooses 2x2\n"
     "(0, the players' own), 4x4 (1) or none (2). Random play draws its pictures from\n"
     "--seed S (default 1), as export does. Long renders show their progress on\n"
     "standard error.",
     kRenderOptions, 1, 1, runRender},
    {"faces", "FILE.kzm", "FILE.kzm [-o OUT.kzm] [--pictures LIST] [--force]",
     "Finds the largest face on each picture (or on those of LIST, such as 0,2-4;\n"
     "pictures are counted from 0) and adds 68 control points after the existing ones,\n"
     "in the order of the common 68-point face annotation: 0-16 the jaw line from the\n"
     "picture's left to its right, 17-26 the brows, 27-30 the nose bridge, 31-35 the\n"
     "nostrils, 36-41 and 42-47 the eyes (left, right), 48-59 the outer lips, 60-67 the\n"
     "inner lips. They are placed where a face is found; a picture without a face (or\n"
     "left out of LIST) gets copies of the nearest face's points to move by hand. Saves\n"
     "the project to OUT.kzm or in its own place and prints one line per picture.\n"
     "The face model is the file that KZM_FACE_MODEL names, else Debian's (package\n"
     "libdlib-data) /usr/share/dlib/shape_predictor_68_face_landmarks.dat. An existing\n"
     "OUT.kzm that is not a project is replaced only with --force.",
     kFacesOptions, 1, 1, runFaces},
    {"export", "FILE.kzm OUT",
     "FILE.kzm OUT [--cycles N] [--fps F] [--size P] [--dither 0|1|2] [--seed S]\n"
     "            [--quality Q] [--quiet]",
     "Writes the morph for sharing, in the format OUT's name asks for:\n"
     "  .mp4   H.264 video (plays everywhere)      .webm  VP9 video\n"
     "  .gif   animated GIF, one palette made for the animation, looping\n"
     "  .webp  animated WebP, looping\n"
     "  OUT/   (or an existing folder) PNG frames frame00000.png, frame00001.png, ...\n"
     "The frames are the ones render gives: N cycles (default 1) of the project's play\n"
     "mode (loop and random: one transition per picture, ping-pong 2 (N - 1); random\n"
     "play drawn from --seed S, default 1), each transition speed frames long.\n"
     "--fps F: 1 to 120 (default 60; a GIF plays at most 50). --size P: 10 to 1200\n"
     "pixels (default the project's play size). --dither as for render; 2 (none) suits\n"
     "videos and GIFs best. --quality Q: 0 to 100 on the format's own scale (default:\n"
     "visually lossless videos, 256-colour GIFs, WebP at 90; 100 is lossless WebP).\n"
     "The file appears only when complete; an export that fails or is interrupted\n"
     "leaves no file, and any old file of that name as it was. A progress bar shows on\n"
     "a terminal, and a summary line at the end; --quiet shows only errors.",
     kExportOptions, 2, 2, runExport},
};

const char* const kSettingsHelp =
    "Settings: --quality 1 to 64 (grid cells per side), --speed 1 to 1000 (frames per\n"
    "transition), --size 10 to 1200 (side of the play square in pixels), --mode loop,\n"
    "ping-pong or random.\n";

void printUsage(std::FILE* out) {
  std::fprintf(
      out,
      "Usage: kzmtool COMMAND ARGUMENTS...\n\nProject files (.kzm) from the command line.\n\n");
  for (const Command& command : kCommands) {
    std::fprintf(out, "  kzmtool %s %s\n", command.name, command.synopsis);
  }
  std::fprintf(out, "\n%s\n", kSettingsHelp);
  std::fprintf(out,
               "'kzmtool COMMAND --help' tells more about one command. The exit status is 0 on\n"
               "success and 1 on failure, with the reason on standard error.\n");
}

void printCommandHelp(const Command& command) {
  std::printf("Usage: kzmtool %s %s\n\n%s\n", command.name, command.synopsis, command.summary);
  for (const OptionRule& option : command.options) {
    if (std::strcmp(option.name, "--speed") == 0) {  // not export's own --quality
      std::printf("\n%s", kSettingsHelp);
      break;
    }
  }
}

}  // namespace

MorphEngine& toolEngine() {
  static MorphEngine engine;
  return engine;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "kzmtool: %s\n", message.c_str());
  return 1;
}

bool loadProjectOrReport(MorphEngine& engine, const std::string& path) {
  std::string why;
  if (engine.loadProject(path, &why) == 0) return true;
  fail("cannot load " + path + ": " + why);
  return false;
}

bool loadPlayableProjectOrReport(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    platform::showMessage(kCannotFindFileMessage, kPlayerErrorCaption);
    return false;
  }
  MorphEngine& engine = toolEngine();
  if (!loadProjectOrReport(engine, path)) return false;
  if (engine.pictureCount < 2) {
    platform::showMessage(kTooFewPicturesMessage, kPlayerErrorCaption);
    return false;
  }
  return true;
}

bool loadProjectToChange(const Arguments& args, std::span<const std::string> inputs,
                         std::string& output) {
  const std::string& project = args.positional[0];
  output = args.value("-o").value_or(project);
  const std::string refusal =
      outputRefusal(output, inputs, ExistingOutput::projectOnly, args.has("--force"));
  if (!refusal.empty()) {
    fail(refusal);
    return false;
  }
  return loadProjectOrReport(toolEngine(), project);
}

bool saveOrReport(const MorphEngine& engine, const std::string& path) {
  std::string why;
  if (engine.saveProject(path, &why) == 0) return true;
  fail(path + ": " + why);
  return false;
}

bool writeToStandardOutput(const void* data, size_t size) {
  if (std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0) return true;
  fail(std::string("cannot write to standard output: ") + std::strerror(errno));
  return false;
}

int main(int argc, char** argv) {
  if (argc < 2) return fail("no command given; 'kzmtool --help' lists the commands");
  pictures::silenceReaderWarnings();  // the tool says what went wrong in its own words
  registerFaceFit();
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    printUsage(stdout);
    return 0;
  }
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    Arguments args;
    std::string error;
    if (!parseArguments(std::span<char* const>(argv + 2, argc - 2), command.options, args, error)) {
      return fail(name + ": " + error);
    }
    if (args.help) {
      printCommandHelp(command);
      return 0;
    }
    if (args.positional.size() < command.minArguments ||
        args.positional.size() > command.maxArguments) {
      return fail(name + ": expected " + command.arguments + "; see 'kzmtool " + name + " --help'");
    }
    toolEngine();
    return command.run(args);
  }
  return fail("unknown command '" + name + "'; 'kzmtool --help' lists the commands");
}
