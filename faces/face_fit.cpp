#include "faces/face_fit.h"

#include <cmath>
#include <string>

#include "faces/face_finder.h"
#include "pictures/pictures.h"

namespace {

// Where the eye centres go in the square, in pixels.
constexpr double kLeftEyeX = 88;
constexpr double kRightEyeX = 168;
constexpr double kEyesY = 112;
// The shorter side a photograph keeps when it is decoded for the face fit: enough pixels for a
// face that fills only part of it.
constexpr int32_t kDecodedShortSide = 2000;

// The square -> photograph map that puts the eyes in their places. Pixel centres: pixel i of
// either covers [i, i + 1), so its centre is i + 0.5.
pictures::SquareMap mapAroundEyes(const EyeCentres& eyes) {
  // Square (x, y) goes to left eye + c * (x - left x) - d * (y - eyes y), ... with (c, d) the
  // eye-to-eye vector of the photograph over that of the square: scale and rotation in one.
  const double c = (eyes.rightX - eyes.leftX) / (kRightEyeX - kLeftEyeX);
  const double d = (eyes.rightY - eyes.leftY) / (kRightEyeX - kLeftEyeX);
  const double squareX = kLeftEyeX + 0.5, squareY = kEyesY + 0.5;
  const double photoX = eyes.leftX + 0.5, photoY = eyes.leftY + 0.5;
  pictures::SquareMap map;
  map.xx = c;
  map.xy = -d;
  map.x0 = photoX - c * squareX + d * squareY;
  map.yx = d;
  map.yy = c;
  map.y0 = photoY - d * squareX - c * squareY;
  return map;
}

pictures::FaceFitOutcome fitFace(const pictures::Photo& photo, pictures::SquareMap& map,
                                 std::string& note, std::string& whyNot) {
  const pictures::RgbImage& image = photo.image;
  std::optional<EyeCentres> eyes;
  const RgbPixels pixels{image.pixels.data(), image.width, image.height,
                         static_cast<size_t>(image.width) * 3};
  if (findEyeCentres(pixels, eyes, &whyNot) == FaceSearch::failed) {
    return pictures::FaceFitOutcome::failed;
  }
  // Eyes less than a pixel apart make no square.
  if (!eyes || std::hypot(eyes->rightX - eyes->leftX, eyes->rightY - eyes->leftY) < 1) {
    return pictures::FaceFitOutcome::noFace;
  }
  map = mapAroundEyes(*eyes);
  note = std::to_string(photo.width) + " x " + std::to_string(photo.height) +
         ", cut around the face and scaled to 256 x 256";
  return pictures::FaceFitOutcome::fitted;
}

}  // namespace

void registerFaceFit() {
  pictures::setFaceFitter({kDecodedShortSide, fitFace});
}
