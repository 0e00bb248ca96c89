#include "faces/face_points.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/morph_engine.h"

namespace {

int32_t wholePixel(float coordinate) {
  return static_cast<int32_t>(std::clamp(std::lround(coordinate), 0L, kPictureSide - 1L));
}

}  // namespace

std::string facePointsRefusal(const MorphEngine& engine) {
  if (engine.pictureCount == 0) return "the project has no pictures";
  if (engine.pointCount + kFacePointCount > kMaxPoints) {
    return "the project has " + std::to_string(engine.pointCount) + " points; " +
           std::to_string(kFacePointCount) + " more would pass the " + std::to_string(kMaxPoints) +
           " a project holds";
  }
  return "";
}

FaceSources placeFacePoints(MorphEngine& engine,
                            const std::vector<std::optional<FaceShape>>& shapes) {
  const int32_t count = engine.pictureCount;
  FaceSources sources(count, -1);
  int32_t first = -1;
  for (int32_t n = 0; n < count; ++n) {
    if (shapes[n]) {
      if (first < 0) first = n;
      continue;
    }
    int32_t nearest = -1;
    for (int32_t other = 0; other < count; ++other) {
      if (shapes[other] && (nearest < 0 || std::abs(other - n) < std::abs(nearest - n))) {
        nearest = other;
      }
    }
    sources[n] = nearest;
  }
  for (int k = 0; k < kFacePointCount; ++k) {
    const FacePoint& onFirst = (*shapes[first])[k];
    const int32_t t = engine.addPoint(first, wholePixel(onFirst.x), wholePixel(onFirst.y));
    for (int32_t n = 0; n < count; ++n) {
      const FacePoint& at = (*shapes[sources[n] < 0 ? n : sources[n]])[k];
      if (sources[n] < 0) {
        engine.movePoint(n, t, wholePixel(at.x), wholePixel(at.y));
      } else {
        // addPoint made it an inherited copy already; it only moves to the face's place.
        engine.pictures[n].points[t].x = static_cast<float>(wholePixel(at.x));
        engine.pictures[n].points[t].y = static_cast<float>(wholePixel(at.y));
      }
    }
  }
  return sources;
}

FaceSearch addFacePoints(MorphEngine& engine, const std::vector<bool>& chosen, FaceSources& sources,
                         std::string* whyNot, const FaceProgress& progress) {
  auto refuse = [&](const std::string& why) {
    if (whyNot) *whyNot = why;
    return FaceSearch::failed;
  };
  if (const std::string refusal = facePointsRefusal(engine); !refusal.empty()) {
    return refuse(refusal);
  }
  std::vector<const PictureImage*> pictures;
  for (int32_t n = 0; n < engine.pictureCount; ++n) {
    const bool wanted = chosen.empty() || (n < static_cast<int32_t>(chosen.size()) && chosen[n]);
    pictures.push_back(wanted ? engine.getPictureImage(n) : nullptr);
  }
  std::vector<std::optional<FaceShape>> shapes;
  const FaceSearch search = findFaceShapes(pictures, shapes, whyNot, progress);
  if (search != FaceSearch::done) return search;
  if (std::none_of(shapes.begin(), shapes.end(), [](const auto& shape) { return shape; })) {
    return refuse(chosen.empty() ? "no face found on any picture"
                                 : "no face found on any of the chosen pictures");
  }
  sources = placeFacePoints(engine, shapes);
  return FaceSearch::done;
}

std::string facePointsLine(int32_t picture, int32_t source) {
  const std::string name = "picture " + std::to_string(picture);
  if (source < 0) return name + ": face found";
  return name + ": no face found; its " + std::to_string(kFacePointCount) +
         " points are copies from picture " + std::to_string(source) + " to place by hand";
}
