// kzmtool extract and mesh: a project's pictures and warp meshes as files of their own.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/file_io.h"
#include "engine/morph_engine.h"
#include "pictures/pictures.h"
#include "tools/bmp_file.h"
#include "tools/commands.h"
#include "tools/output_guard.h"

namespace {

bool writeOrReport(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string why;
  if (replaceFile(path, bytes.data(), bytes.size(), &why) == 0) return true;
  fail(path + ": " + why);
  return false;
}

// True when the name ends in ".png", in any case.
bool namesPng(const std::string& path) {
  constexpr std::string_view kExtension = ".png";
  return path.size() >= kExtension.size() &&
         std::equal(kExtension.rbegin(), kExtension.rend(), path.rbegin(), [](char a, char b) {
           return a == std::tolower(static_cast<unsigned char>(b));
         });
}

void appendFloat(std::vector<uint8_t>& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

}  // namespace

int runExtract(const Arguments& args) {
  const std::string refusal = outputRefusal(args.positional[2], std::span(args.positional).first(1),
                                            ExistingOutput::notAProject, args.has("--force"));
  if (!refusal.empty()) return fail(refusal);
  MorphEngine& engine = toolEngine();
  if (!loadProjectOrReport(engine, args.positional[0])) return 1;
  const std::string& indexText = args.positional[1];
  if (engine.pictureCount == 0) return fail("the project has no pictures");
  int32_t picture = 0;
  if (!parseWholeNumber(indexText, 0, engine.pictureCount - 1, picture)) {
    return fail("no picture '" + indexText + "': the project has pictures 0 to " +
                std::to_string(engine.pictureCount - 1));
  }
  const std::string& output = args.positional[2];
  const PictureImage& image = *engine.getPictureImage(picture);
  const std::vector<uint8_t> bytes =
      namesPng(output) ? pictures::encodePicturePng(image) : encodeBmp(image);
  if (bytes.empty()) return fail(output + ": the PNG encoder failed");
  return writeOrReport(output, bytes) ? 0 : 1;
}

int runMesh(const Arguments& args) {
  MorphEngine& engine = toolEngine();
  if (!loadProjectOrReport(engine, args.positional[0])) return 1;
  const int32_t q = engine.quality;
  if (q < 1 || q > kMaxQuality) {
    return fail("the project's quality " + std::to_string(q) + " is outside 1 to " +
                std::to_string(kMaxQuality));
  }
  const std::optional<std::string> output = args.value("-o");
  if (!output && ::isatty(STDOUT_FILENO)) {
    return fail("the mesh is binary: give -o FILE or send standard output to a file or a pipe");
  }
  if (output) {
    const std::string refusal =
        outputRefusal(*output, std::span(args.positional).first(1), ExistingOutput::anyFile, false);
    if (!refusal.empty()) return fail(refusal);
  }
  // What playback does before it solves.
  engine.quadCount = q * q;
  engine.vertexCount = (q + 1) * (q + 1);
  engine.solveWarpField();
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(engine.pictureCount) * engine.vertexCount * 8);
  for (int32_t n = 0; n < engine.pictureCount; ++n) {
    for (int32_t v = 0; v < engine.vertexCount; ++v) {
      appendFloat(bytes, engine.pictures[n].mesh[v].x);
      appendFloat(bytes, engine.pictures[n].mesh[v].y);
    }
  }
  if (output) return writeOrReport(*output, bytes) ? 0 : 1;
  return writeToStandardOutput(bytes.data(), bytes.size()) ? 0 : 1;
}
