#include "engine/morph_engine.h"

#include <cstdlib>
#include <ctime>

#include "engine/messages.h"
#include "glide/platform.h"

MorphEngine::MorphEngine() : GlideDisplay() {
  noPoint.x = -20.0f;
  noPoint.y = -20.0f;
  noPoint.inherited = 0;
  // The random play mode draws from rand(); every run takes a different sequence.
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  speed = 100;
  playSize = 450;
  quality = 28;
  playMode = 0;
  pictureCount = 0;
  pointCount = 0;
  quadCount = 0;
  vertexCount = 0;
  pictures = std::make_unique<PictureSlot[]>(kMaxPictures);
  vertexStates = std::make_unique<MeshVertexState[]>(kMaxVertices);
  quads = std::make_unique<MeshQuad[]>(kMaxQuads);
  for (int s = 0; s < kMaxPictures; ++s) pictures[s].index = s;
  for (int v = 0; v < kMaxVertices; ++v) {
    vertexStates[v].x = 40.0f;
    vertexStates[v].y = 40.0f;
  }
  for (int q = 0; q < kMaxQuads; ++q) quads[q] = MeshQuad{{0, 1, 2, 3}};
}

int32_t MorphEngine::insertPicture(std::unique_ptr<PictureImage>&& image, int32_t position) {
  // The table has room for 50 pictures; a 51st is refused and stays with the caller.
  if (position < 0 || position > pictureCount || pictureCount >= kMaxPictures) return 1;
  for (int k = pictureCount; k > position; --k) {
    pictures[k].mesh = std::move(pictures[k - 1].mesh);
    pictures[k].points = std::move(pictures[k - 1].points);
    pictures[k].image = std::move(pictures[k - 1].image);
  }
  ++pictureCount;
  PictureSlot& slot = pictures[position];
  slot.image = std::move(image);
  slot.mesh = std::make_unique<MeshPoint[]>(kMaxVertices);
  slot.points = std::make_unique<ControlPoint[]>(kMaxPoints);  // zeroed: no stray bytes saved
  if (pictureCount == 1) {
    // The first picture of an empty project starts without points, whatever pointCount an
    // emptied project or a file without pictures left behind: those points were never stored.
    pointCount = 0;
    return 0;
  }
  const PictureSlot& neighbour = pictures[position == 0 ? 1 : position - 1];
  for (int t = 0; t < pointCount; ++t) {
    slot.points[t].x = neighbour.points[t].x;
    slot.points[t].y = neighbour.points[t].y;
    slot.points[t].inherited = 1;
  }
  return 0;
}

void MorphEngine::deletePicture(int32_t picture) {
  if (picture < 0 || picture >= pictureCount) return;
  if (!pictures[picture].image) platform::showMessage("MEMORY2", kEngineErrorCaption);
  pictures[picture].image.reset();
  pictures[picture].mesh.reset();
  pictures[picture].points.reset();
  --pictureCount;
  if (pictureCount == 0) {
    pointCount = 0;
    return;
  }
  for (int k = picture; k < pictureCount; ++k) {
    pictures[k].mesh = std::move(pictures[k + 1].mesh);
    pictures[k].points = std::move(pictures[k + 1].points);
    pictures[k].image = std::move(pictures[k + 1].image);
  }
}

void MorphEngine::clearProject() {
  while (pictureCount > 0) deletePicture(0);
}

int32_t MorphEngine::addPoint(int32_t picture, int32_t x, int32_t y) {
  if (picture < 0 || picture >= pictureCount) return -1;
  if (pointCount >= kMaxPoints) return -1;  // the point tables hold 500
  const int32_t n = pointCount;
  for (int p = 0; p < pictureCount; ++p) {
    ControlPoint& point = pictures[p].points[n];
    point.x = static_cast<float>(x);
    point.y = static_cast<float>(y);
    point.inherited = (p == picture) ? 0 : 1;
    // A new record: no bytes left over from a point that stood here before are saved.
    point.undefinedBytes[0] = point.undefinedBytes[1] = point.undefinedBytes[2] = 0;
  }
  pointCount = n + 1;
  return n;
}

void MorphEngine::movePoint(int32_t picture, int32_t point, int32_t x, int32_t y) {
  if (point < 0 || point >= pointCount || picture < 0 || picture >= pictureCount) return;
  ControlPoint& moved = pictures[picture].points[point];
  moved.x = static_cast<float>(x);
  moved.y = static_cast<float>(y);
  moved.inherited = 0;
}

void MorphEngine::deletePoint(int32_t point) {
  if (pointCount <= 0 || point < 0 || point >= pointCount) return;
  --pointCount;
  for (int p = 0; p < pictureCount; ++p) {
    ControlPoint* points = pictures[p].points.get();
    for (int t = point; t < pointCount; ++t) points[t] = points[t + 1];
  }
}

int32_t MorphEngine::findPointNear(int32_t picture, int32_t x, int32_t y) const {
  if (picture < 0 || picture >= pictureCount) return -1;
  const ControlPoint* points = pictures[picture].points.get();
  // Open bounds, formed in double from the stored floats: exactly 4 away does not count.
  const double px = x;
  const double py = y;
  for (int t = 0; t < pointCount; ++t) {
    const double cx = points[t].x;
    const double cy = points[t].y;
    if (cx - 4.0 < px && px < cx + 4.0 && cy - 4.0 < py && py < cy + 4.0) return t;
  }
  return -1;
}

const ControlPoint& MorphEngine::getPoint(int32_t picture, int32_t point) const {
  if (point < 0 || point >= pointCount || picture < 0 || picture >= pictureCount) return noPoint;
  return pictures[picture].points[point];
}

const PictureImage* MorphEngine::getPictureImage(int32_t picture) const {
  if (picture < 0 || picture >= pictureCount) return nullptr;
  return pictures[picture].image.get();
}
