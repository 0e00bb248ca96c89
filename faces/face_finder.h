// Faces on pictures: the largest face of a picture and its 68 landmarks, found with dlib's
// frontal face detector and its 68-point shape model. dlib stays inside face_finder.cpp.
//
// The points come in the order of the common 68-point face annotation: 0-16 the jaw line from
// the picture's left to its right, 17-21 and 22-26 the brows, 27-30 the nose bridge, 31-35 the
// nostrils, 36-41 the eye on the picture's left, 42-47 the eye on its right, 48-59 the outer
// lips, 60-67 the inner lips.
//
// The model file (about 100 MB) is loaded once per process, the first time faces are asked for;
// KZM_FACE_MODEL names another file than the one Debian's libdlib-data installs. The detector
// itself needs no file. Every function here may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/picture.h"

constexpr int kFacePointCount = 68;

struct FacePoint {
  float x;
  float y;
};
using FaceShape = std::array<FacePoint, kFacePointCount>;

// The model file looked for: $KZM_FACE_MODEL when set and not empty, else Debian's place.
std::string faceModelPath();

// Loads the model now unless it is loaded already. 0 when it is there; nonzero with a message
// in *whyNot that names the file looked for and the package that provides it.
int32_t loadFaceModel(std::string* whyNot);

// Reads and checks the model file anew without keeping it (what loading costs; the benchmark
// times it). 0, or nonzero with *whyNot as loadFaceModel says it.
int32_t readFaceModelAnew(std::string* whyNot);

// Called on the caller's thread while a search runs, with the work done so far and in all;
// returning false cancels the search.
using FaceProgress = std::function<bool(int32_t done, int32_t total)>;

enum class FaceSearch { done, failed, cancelled };

// Finds the largest face on each picture (on the picture upsampled once, as faces on a 256 x 256
// picture are often smaller than the detector's window) and fits its 68 points, in picture
// pixels. A null picture counts as one without a face. While the model loads on one core the
// faces are found on the others; then the points are fitted on all of them. `shapes` gets one
// entry per picture, empty where no face was found. On failure (the model cannot be loaded)
// *whyNot says why and `shapes` is left empty.
FaceSearch findFaceShapes(std::span<const PictureImage* const> pictures,
                          std::vector<std::optional<FaceShape>>& shapes, std::string* whyNot,
                          const FaceProgress& progress = {});

// A photograph in memory: 3 bytes per pixel (red, green, blue), rows from the top.
struct RgbPixels {
  const uint8_t* data;
  int32_t width;
  int32_t height;
  size_t rowBytes;
};

// The centres of the two eyes of a face, in the pixels of the picture it was found on.
struct EyeCentres {
  double leftX, leftY;    // the eye on the picture's left
  double rightX, rightY;  // the eye on the picture's right
};

// The eye centres of the largest face on the photograph, which is scaled for the detector
// as needed; `eyes` is left empty when it shows no face. FaceSearch::failed with *whyNot when
// the model cannot be loaded.
FaceSearch findEyeCentres(const RgbPixels& photo, std::optional<EyeCentres>& eyes,
                          std::string* whyNot);
