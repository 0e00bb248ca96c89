// kzmtool faces, and the face points of kzmtool new --faces.
#include <cstdio>

#include "engine/morph_engine.h"
#include "faces/face_points.h"
#include "tools/commands.h"

namespace {

// Reads "0,2-4": pictures and ranges of pictures, counted from 0, separated by commas.
bool parsePictureList(const std::string& text, int32_t pictureCount, std::vector<bool>& chosen,
                      std::string& error) {
  chosen.assign(pictureCount, false);
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string item = text.substr(start, comma - start);
    const size_t dash = item.find('-', 1);
    int32_t first = 0;
    int32_t last = 0;
    if (!parseWholeNumber(item.substr(0, dash), 0, pictureCount - 1, first) ||
        !parseWholeNumber(dash == std::string::npos ? item.substr(0, dash) : item.substr(dash + 1),
                          first, pictureCount - 1, last)) {
      error = "--pictures takes pictures from 0 to " + std::to_string(pictureCount - 1) +
              " and ranges of them such as 0,2-4, not '" + text + "'";
      return false;
    }
    for (int32_t n = first; n <= last; ++n) chosen[n] = true;
    start = comma + 1;
  }
  return true;
}

}  // namespace

bool addFacePointsOrReport(MorphEngine& engine, const std::string& project,
                           const std::vector<bool>& chosen, FaceSources& sources) {
  std::string why;
  if (addFacePoints(engine, chosen, sources, &why) == FaceSearch::done) return true;
  fail("cannot add face points to " + project + ": " + why);
  return false;
}

void printFacePointsLines(const FaceSources& sources) {
  for (size_t n = 0; n < sources.size(); ++n) {
    std::printf("%s\n", facePointsLine(static_cast<int32_t>(n), sources[n]).c_str());
  }
}

int runFaces(const Arguments& args) {
  const std::string& path = args.positional[0];
  std::string output;
  if (!loadProjectToChange(args, {}, output)) return 1;
  MorphEngine& engine = toolEngine();
  // The project's own refusals come before any complaint about the list.
  if (const std::string refusal = facePointsRefusal(engine); !refusal.empty()) {
    return fail("cannot add face points to " + path + ": " + refusal);
  }
  std::vector<bool> chosen;
  std::string error;
  if (const std::optional<std::string> list = args.value("--pictures")) {
    if (!parsePictureList(*list, engine.pictureCount, chosen, error)) return fail(error);
  }
  FaceSources sources;
  if (!addFacePointsOrReport(engine, path, chosen, sources)) return 1;
  if (!saveOrReport(engine, output)) return 1;
  printFacePointsLines(sources);
  return 0;
}
