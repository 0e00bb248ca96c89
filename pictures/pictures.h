// Pictures from photographs: any common image file in, a 256 x 256 RGB565 project picture out.
//
// The programs call importPicture. It tries the classic reader of 256 x 256 24-bit BMP files
// first, so that every file that reader takes comes in bit for bit as it always did; anything
// else is decoded by its format (PNG, JPEG, WebP, TIFF, GIF, BMP, TGA, told by the content, not
// the name), turned upright by its EXIF orientation, converted to sRGB, laid over black and
// fitted to the square: crop, pad, stretch, or face.
//
// The lower layers are open to other libraries (the face fit plugs in here):
//   decodePhoto      a file's bytes -> Photo (8-bit RGB, upright, maybe reduced while decoding)
//   resampleToSquare Photo's image + SquareMap (square pixel -> source position) -> 256 x 256
//   setFaceFitter    the face library registers how it finds the SquareMap of a photograph
//
// Every function here may be called from several threads at once (on different data), except
// setFaceFitter, which belongs to start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/picture.h"

namespace pictures {

// A picture with more pixels than this, or whose header declares more, is refused before
// anything is decoded.
inline constexpr int64_t kMaxPhotoPixels = 100'000'000;

// 8-bit RGB, rows from the top, each row width * 3 bytes (red, green, blue), no padding.
struct RgbImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;

  void resize(int32_t newWidth, int32_t newHeight);
  uint8_t* row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * width * 3; }
  const uint8_t* row(int32_t y) const { return pixels.data() + static_cast<size_t>(y) * width * 3; }
};

// A decoded photograph. `image` is the photograph upright (EXIF orientation applied), in sRGB,
// transparency laid over black. Large JPEG files may be decoded at a reduced scale: the point
// (x, y) of the full photograph is then the point (x / reduction, y / reduction) of `image`
// (positions as continuous coordinates: pixel (i, j) covers [i, i + 1) x [j, j + 1)).
struct Photo {
  RgbImage image;
  int32_t width = 0;  // the full photograph's upright size
  int32_t height = 0;
  int32_t reduction = 1;  // 1, 2, 4 or 8
};

// How far a decoder may reduce a photograph while decoding, told its full upright size: the
// largest factor by which both sides may be divided (1 or less: decode at full size).
using ReductionLimit = std::function<double(int32_t width, int32_t height)>;

struct DecodeOptions {
  int64_t maxPixels = kMaxPhotoPixels;
  ReductionLimit reductionLimit;  // empty: full size
};

// Decodes a picture file held in memory (any supported format, the classic BMP reader not
// tried). False with a reason a user can read ("the file ends inside the picture data", "30000 x
// 30000 pixels, more than this program takes (100 megapixels)") otherwise.
bool decodePhoto(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
                 std::string& whyNot);

// ---- Fitting to the square ----------------------------------------------------------------------

enum class Fit { Crop, Pad, Stretch, Face };

// "crop", "pad", "stretch", "face": the names every program shows and takes.
const char* fitName(Fit fit);
std::optional<Fit> fitFromName(std::string_view name);
inline constexpr const char* kFitNames = "crop, pad, stretch or face";

// Where each point of the 256 x 256 square is taken from in the source image, in continuous
// coordinates (square pixel (x, y) covers [x, x + 1) x [y, y + 1); so does source pixel (i, j)):
//   sourceX = xx * x + xy * y + x0,   sourceY = yx * x + yy * y + y0.
// A similarity transform (scale, rotation, shift) or any other affine map.
struct SquareMap {
  double xx = 1, xy = 0, x0 = 0;
  double yx = 0, yy = 1, y0 = 0;

  // The map of a square placed over the source: square point (0, 0) at (left, top), the
  // square's width `width` and its height `height` source pixels, no rotation.
  static SquareMap rectangle(double left, double top, double width, double height);
};

inline constexpr int kSquareSide = kPictureSide;                                  // 256
inline constexpr size_t kSquareRgbBytes = size_t{kSquareSide} * kSquareSide * 3;  // 196608

// Fills the square (`squareRgb`: 256 rows of 256 RGB pixels) from `source` through `map`.
// Where one square pixel covers more than one source pixel, it gets the average over the area it
// covers (so fine stripes do not turn into moire); where it covers less, the source is sampled
// bilinearly. Whatever falls outside the source is black.
void resampleToSquare(const RgbImage& source, const SquareMap& map, uint8_t* squareRgb);

// The project picture of a filled square: each channel keeps its top bits, as the BMP import
// does.
void squareToPicture(const uint8_t* squareRgb, PictureImage& picture);

// The face fit, registered by the face library. Until one is registered, the face fit is
// refused with a message.
enum class FaceFitOutcome { fitted, noFace, failed };
struct FaceFitter {
  // The photograph is decoded with at least this many pixels on its shorter side (0: at full
  // size).
  int32_t minimumShortSide = 0;
  // Finds the face on `photo`: `fitted` with `map` (square -> photo.image, see SquareMap) and
  // `note` (what was done, for example "4032 x 3024, cut around the face"); `noFace` when the
  // photograph shows none (it is then cropped as the crop fit does, and its note says so);
  // `failed` with `whyNot` when the search itself cannot run (no face model).
  std::function<FaceFitOutcome(const Photo& photo, SquareMap& map, std::string& note,
                               std::string& whyNot)>
      fit;
};
void setFaceFitter(FaceFitter fitter);

// ---- Importing a picture file -------------------------------------------------------------------

struct ImportedPicture {
  std::unique_ptr<PictureImage> picture;
  // What was done to fit the picture, for example "4032 x 3024, centre square cropped and scaled
  // to 256 x 256"; empty when the picture was 256 x 256 and came in as it is.
  std::string note;
  // The face fit found no face on the photograph and cropped it to its centre square instead.
  bool faceNotFound = false;
};

// Reads the picture file at `path` and fits it to the square (see the top of this file). False
// with a reason a user can read (without the path) otherwise: the file cannot be read, is a
// directory, is no picture, is cut short or damaged, has a side of 0, is too large, or the fit
// failed.
bool importPicture(const std::string& path, Fit fit, ImportedPicture& imported,
                   std::string& whyNot);
// Imports the files on every core at once; one result per path, in the same order.
struct ImportResult {
  bool imported = false;
  ImportedPicture picture;
  std::string whyNot;
};
std::vector<ImportResult> importPictures(const std::vector<std::string>& paths, Fit fit);
// The same for a file's bytes held in memory.
bool importPictureBytes(const uint8_t* data, size_t size, Fit fit, ImportedPicture& imported,
                        std::string& whyNot, int64_t maxPixels = kMaxPhotoPixels);

// Qt's image readers write their warnings ("libpng warning: ...") to standard error. A program
// that speaks only through its own messages turns them off once at start.
void silenceReaderWarnings();

// ---- Writing -----------------------------------------------------------------------------------

// The picture as a 24-bit PNG file, each channel widened with its low bits 0 (as the BMP export
// does), so that importing it gives back exactly the same picture.
std::vector<uint8_t> encodePicturePng(const PictureImage& picture);

}  // namespace pictures
