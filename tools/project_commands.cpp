// kzmtool new, add and set: projects made from pictures, pictures added, settings changed.
#include <cstdio>
#include <utility>

#include "engine/morph_engine.h"
#include "faces/face_points.h"
#include "pictures/pictures.h"
#include "tools/commands.h"
#include "tools/output_guard.h"
#include "tools/points_file.h"

namespace {

// The --fit option; crop when it is not given.
bool fitOrReport(const Arguments& args, pictures::Fit& fit) {
  const std::optional<std::string> name = args.value("--fit");
  const std::optional<pictures::Fit> chosen = pictures::fitFromName(name.value_or("crop"));
  if (chosen) {
    fit = *chosen;
    return true;
  }
  fail(std::string("--fit takes ") + pictures::kFitNames + ", not '" + *name + "'");
  return false;
}

// The pictures of these files, read on every core; nothing when one is refused (reported).
struct Imported {
  std::vector<std::unique_ptr<PictureImage>> images;
  std::vector<std::string> notes;  // "PATH: what was done", for each picture that was fitted
};
bool importOrReport(const std::vector<std::string>& paths, pictures::Fit fit, Imported& imported) {
  std::vector<pictures::ImportResult> results = pictures::importPictures(paths, fit);
  for (size_t n = 0; n < paths.size(); ++n) {
    if (!results[n].imported) {
      fail("cannot import " + paths[n] + ": " + results[n].whyNot);
      return false;
    }
  }
  for (size_t n = 0; n < paths.size(); ++n) {
    imported.images.push_back(std::move(results[n].picture.picture));
    if (!results[n].picture.note.empty()) {
      imported.notes.push_back(paths[n] + ": " + results[n].picture.note);
    }
  }
  return true;
}

// What was done to fit each picture, told once the project is saved.
void printFitNotes(const Imported& imported) {
  for (const std::string& note : imported.notes) std::printf("%s\n", note.c_str());
}

}  // namespace

int runNew(const Arguments& args) {
  const std::string& output = args.positional[0];
  const std::vector<std::string> paths(args.positional.begin() + 1, args.positional.end());
  const int32_t pictureCount = static_cast<int32_t>(paths.size());
  if (pictureCount > kMaxPictures) {
    return fail("a project holds at most " + std::to_string(kMaxPictures) + " pictures, not " +
                std::to_string(pictureCount));
  }
  std::vector<std::string> inputs = paths;
  if (const std::optional<std::string> pointsPath = args.value("--points")) {
    inputs.push_back(*pointsPath);
  }
  const std::string refusal =
      outputRefusal(output, inputs, ExistingOutput::projectOnly, args.has("--force"));
  if (!refusal.empty()) return fail(refusal);
  MorphEngine& engine = toolEngine();
  std::string error;
  if (!applySettings(args, engine, error)) return fail(error);
  pictures::Fit fit = pictures::Fit::Crop;
  if (!fitOrReport(args, fit)) return 1;
  std::vector<std::vector<PointPlacement>> points;
  if (const std::optional<std::string> pointsPath = args.value("--points")) {
    if (!readPointsFile(*pointsPath, pictureCount, points, error)) return fail(error);
  }

  Imported imported;
  if (!importOrReport(paths, fit, imported)) return 1;
  for (std::unique_ptr<PictureImage>& image : imported.images) {
    engine.insertPicture(std::move(image), engine.pictureCount);
  }
  // Every point placed on every picture, at the position the file gives, fractions included.
  for (const std::vector<PointPlacement>& point : points) {
    const int32_t t = engine.addPoint(0, 0, 0);
    for (int32_t n = 0; n < pictureCount; ++n) {
      ControlPoint& placed = engine.pictures[n].points[t];
      placed.x = point[n].x;
      placed.y = point[n].y;
      placed.inherited = 0;
    }
  }
  FaceSources faceSources;
  if (args.has("--faces") && !addFacePointsOrReport(engine, output, {}, faceSources)) return 1;
  if (!saveOrReport(engine, output)) return 1;
  printFitNotes(imported);
  printFacePointsLines(faceSources);
  return 0;
}

int runAdd(const Arguments& args) {
  const std::string& project = args.positional[0];
  const std::vector<std::string> paths(args.positional.begin() + 1, args.positional.end());
  std::string output;
  if (!loadProjectToChange(args, paths, output)) return 1;  // a picture must not be replaced
  MorphEngine& engine = toolEngine();
  pictures::Fit fit = pictures::Fit::Crop;
  if (!fitOrReport(args, fit)) return 1;
  int32_t position = engine.pictureCount;
  if (const std::optional<std::string> at = args.value("--at")) {
    if (!parseWholeNumber(*at, 0, engine.pictureCount, position)) {
      return fail("--at takes a position from 0 to " + std::to_string(engine.pictureCount) +
                  " (the project has " + std::to_string(engine.pictureCount) + " pictures), not '" +
                  *at + "'");
    }
  }
  if (engine.pictureCount + paths.size() > static_cast<size_t>(kMaxPictures)) {
    return fail("a project holds at most " + std::to_string(kMaxPictures) + " pictures; " +
                project + " has " + std::to_string(engine.pictureCount) + ", and " +
                std::to_string(paths.size()) + " more would make " +
                std::to_string(engine.pictureCount + paths.size()));
  }
  Imported imported;
  if (!importOrReport(paths, fit, imported)) return 1;
  // As the editor's Add: each new picture gets inherited copies of its neighbour's points.
  for (std::unique_ptr<PictureImage>& image : imported.images) {
    engine.insertPicture(std::move(image), position++);
  }
  if (!saveOrReport(engine, output)) return 1;
  printFitNotes(imported);
  return 0;
}

int runSet(const Arguments& args) {
  std::string output;
  if (!loadProjectToChange(args, {}, output)) return 1;
  MorphEngine& engine = toolEngine();
  std::string error;
  if (!applySettings(args, engine, error)) return fail(error);
  return saveOrReport(engine, output) ? 0 : 1;
}
