// kzmtool new and set: projects made from BMP pictures, and settings changed in place.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/morph_engine.h"
#include "faces/face_points.h"
#include "tools/commands.h"
#include "tools/output_guard.h"
#include "tools/points_file.h"

namespace {

// Why a picture the import refused could not be taken, in a user's words.
std::string refusalReason(const std::string& path) {
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
    return "not a 256 x 256 24-bit BMP picture";
  }
  return std::strerror(errno);
}

}  // namespace

int runNew(const Arguments& args) {
  const std::string& output = args.positional[0];
  const int32_t pictureCount = static_cast<int32_t>(args.positional.size()) - 1;
  if (pictureCount > kMaxPictures) {
    return fail("a project holds at most " + std::to_string(kMaxPictures) + " pictures, not " +
                std::to_string(pictureCount));
  }
  std::vector<std::string> inputs(args.positional.begin() + 1, args.positional.end());
  if (const std::optional<std::string> pointsPath = args.value("--points")) {
    inputs.push_back(*pointsPath);
  }
  const std::string refusal =
      outputRefusal(output, inputs, ExistingOutput::projectOnly, args.has("--force"));
  if (!refusal.empty()) return fail(refusal);
  MorphEngine& engine = toolEngine();
  std::string error;
  if (!applySettings(args, engine, error)) return fail(error);
  std::vector<std::vector<PointPlacement>> points;
  if (const std::optional<std::string> pointsPath = args.value("--points")) {
    if (!readPointsFile(*pointsPath, pictureCount, points, error)) return fail(error);
  }

  // Each picture is imported as the editor imports it and appended to the sequence.
  for (int32_t n = 0; n < pictureCount; ++n) {
    const std::string& path = args.positional[n + 1];
    std::unique_ptr<PictureImage> image = engine.importBmp(path);
    if (!image) return fail("cannot import " + path + ": " + refusalReason(path));
    engine.insertPicture(std::move(image), engine.pictureCount);
  }
  // Every point placed on every picture: added on the first, moved on each of the others.
  for (const std::vector<PointPlacement>& point : points) {
    const int32_t t = engine.addPoint(0, point[0].x, point[0].y);
    for (int32_t n = 1; n < pictureCount; ++n) engine.movePoint(n, t, point[n].x, point[n].y);
  }
  FaceSources faceSources;
  if (args.has("--faces") && !addFacePointsOrReport(engine, output, {}, faceSources)) return 1;
  if (!saveOrReport(engine, output)) return 1;
  printFacePointsLines(faceSources);
  return 0;
}

int runSet(const Arguments& args) {
  const std::string& path = args.positional[0];
  const std::string output = args.value("-o").value_or(path);
  // Written in its own place, the project is its own input: it is in memory before the write.
  const std::string refusal =
      outputRefusal(output, {}, ExistingOutput::projectOnly, args.has("--force"));
  if (!refusal.empty()) return fail(refusal);
  MorphEngine& engine = toolEngine();
  if (!loadProjectOrReport(engine, path)) return 1;
  std::string error;
  if (!applySettings(args, engine, error)) return fail(error);
  return saveOrReport(engine, output) ? 0 : 1;
}
