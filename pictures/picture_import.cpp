// The front end: which reader takes a file, the size checks, the fits and what they tell.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>

#include "engine/bmp_import.h"
#include "engine/file_io.h"
#include "pictures/decoders.h"

namespace pictures {

namespace {

// Files are read whole; none of the formats needs more for 100 megapixels.
constexpr size_t kMaxFileBytes = size_t{1} << 30;
// Enough to tell the format and to try the classic BMP reader, which needs 196662 bytes.
constexpr size_t kHeadBytes = size_t{1} << 20;

FaceFitter& faceFitter() {
  static FaceFitter fitter;
  return fitter;
}

bool startsWith(const uint8_t* data, size_t size, const char* text, size_t length) {
  return size >= length && std::memcmp(data, text, length) == 0;
}

// A TGA header a writer could have made: no colour map (and its fields empty), true colour
// (uncompressed or RLE) at 24 or 32 bits, attribute bits that fit the depth.
bool plausibleTga(const uint8_t* data, size_t size) {
  if (size < 18) return false;
  const uint8_t colourMapType = data[1], imageType = data[2], depth = data[16];
  const uint8_t descriptor = data[17];
  const bool noColourMap =
      colourMapType == 0 && std::all_of(data + 3, data + 8, [](uint8_t b) { return b == 0; });
  return noColourMap && (imageType == 2 || imageType == 10) && (depth == 24 || depth == 32) &&
         (descriptor & 0xC0) == 0 && (descriptor & 0x0F) <= (depth == 32 ? 8 : 0);
}

std::string sizeText(int64_t width, int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// How far a photograph may be reduced while decoding for a fit: the fitted square should still
// take at least two decoded pixels per square pixel, so that the reduction loses nothing the
// square can show.
ReductionLimit reductionFor(Fit fit) {
  constexpr double kDecodedPerSquarePixel = 2.0 * kSquareSide;
  switch (fit) {
    case Fit::Crop:
      return [](int32_t w, int32_t h) { return std::min(w, h) / kDecodedPerSquarePixel; };
    case Fit::Pad:
      return [](int32_t w, int32_t h) { return std::max(w, h) / kDecodedPerSquarePixel; };
    case Fit::Stretch:
      return [](int32_t w, int32_t h) { return std::min(w, h) / kDecodedPerSquarePixel; };
    case Fit::Face:
      break;
  }
  const int32_t shortSide = faceFitter().minimumShortSide;
  if (shortSide <= 0) return {};
  return [shortSide](int32_t w, int32_t h) { return std::min(w, h) / double(shortSide); };
}

// The map of a fit other than face, in the photograph's own pixels, and what it does.
SquareMap plainFitMap(Fit fit, int32_t width, int32_t height, std::string& note) {
  const double w = width, h = height;
  note = sizeText(width, height) + ", ";
  if (fit == Fit::Stretch) {
    note += "stretched to 256 x 256";
    return SquareMap::rectangle(0, 0, w, h);
  }
  if (width == height) {
    note += "scaled to 256 x 256";
    return SquareMap::rectangle(0, 0, w, h);
  }
  if (fit == Fit::Crop) {
    note += "centre square cropped and scaled to 256 x 256";
    const double side = std::min(w, h);
    return SquareMap::rectangle((w - side) / 2, (h - side) / 2, side, side);
  }
  // Pad: the square reaches beyond the shorter side equally on both ends.
  note += "scaled to fit 256 x 256 and padded with black";
  const double side = std::max(w, h);
  return SquareMap::rectangle((w - side) / 2, (h - side) / 2, side, side);
}

SquareMap reduced(SquareMap map, int32_t reduction) {
  const double r = reduction;
  map.xx /= r, map.xy /= r, map.x0 /= r;
  map.yx /= r, map.yy /= r, map.y0 /= r;
  return map;
}

}  // namespace

void RgbImage::resize(int32_t newWidth, int32_t newHeight) {
  width = newWidth;
  height = newHeight;
  pixels.resize(static_cast<size_t>(newWidth) * newHeight * 3);
}

SquareMap SquareMap::rectangle(double left, double top, double width, double height) {
  SquareMap map;
  map.xx = width / kSquareSide;
  map.x0 = left;
  map.yy = height / kSquareSide;
  map.y0 = top;
  return map;
}

const char* fitName(Fit fit) {
  switch (fit) {
    case Fit::Crop:
      return "crop";
    case Fit::Pad:
      return "pad";
    case Fit::Stretch:
      return "stretch";
    case Fit::Face:
      return "face";
  }
  return "crop";
}

std::optional<Fit> fitFromName(std::string_view name) {
  for (Fit fit : {Fit::Crop, Fit::Pad, Fit::Stretch, Fit::Face}) {
    if (name == fitName(fit)) return fit;
  }
  return std::nullopt;
}

void setFaceFitter(FaceFitter fitter) {
  faceFitter() = std::move(fitter);
}

Format sniffFormat(const uint8_t* data, size_t size) {
  if (startsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return Format::Png;
  if (startsWith(data, size, "\xff\xd8\xff", 3)) return Format::Jpeg;
  if (startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6)) {
    return Format::Gif;
  }
  if (size >= 12 && startsWith(data, size, "RIFF", 4) && std::memcmp(data + 8, "WEBP", 4) == 0) {
    return Format::WebP;
  }
  if (startsWith(data, size, "II*\0", 4) || startsWith(data, size, "MM\0*", 4) ||
      startsWith(data, size, "II+\0", 4) || startsWith(data, size, "MM\0+", 4)) {
    return Format::Tiff;
  }
  if (startsWith(data, size, "BM", 2)) return Format::Bmp;
  if (plausibleTga(data, size)) return Format::Tga;
  return Format::Unknown;
}

bool checkDeclaredSize(int64_t width, int64_t height, int64_t maxPixels, std::string& whyNot) {
  if (width <= 0 || height <= 0) {
    whyNot = sizeText(width, height) + " pixels: a picture needs at least one pixel each way";
    return false;
  }
  if (width > maxPixels || height > maxPixels || width * height > maxPixels) {
    whyNot = sizeText(width, height) + " pixels, more than this program takes (" +
             std::to_string(maxPixels / 1'000'000) + " megapixels)";
    return false;
  }
  return true;
}

int32_t chooseReduction(const DecodeOptions& options, int32_t width, int32_t height) {
  const double limit = options.reductionLimit ? options.reductionLimit(width, height) : 1.0;
  int32_t reduction = 1;
  while (reduction < 8 && reduction * 2 <= limit) reduction *= 2;
  return reduction;
}

bool decodePhoto(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
                 std::string& whyNot) {
  photo = Photo{};
  if (size == 0) {
    whyNot = "the file is empty";
    return false;
  }
  try {
    switch (const Format format = sniffFormat(data, size)) {
      case Format::Jpeg:
        return decodeJpeg(data, size, options, photo, whyNot);
      case Format::Png:
        return decodePng(data, size, options, photo, whyNot);
      case Format::Gif:
        return decodeGif(data, size, options, photo, whyNot);
      case Format::Tga:
        return decodeTga(data, size, options, photo, whyNot);
      case Format::WebP:
      case Format::Tiff:
      case Format::Bmp:
        return decodeWithQt(data, size, format, options, photo, whyNot);
      case Format::Unknown:
        break;
    }
  } catch (const std::bad_alloc&) {
    photo = Photo{};
    whyNot = "not enough memory to decode the picture";
    return false;
  }
  whyNot = kNotAPictureReason;
  return false;
}

void squareToPicture(const uint8_t* squareRgb, PictureImage& picture) {
  for (int i = 0; i < kPicturePixels; ++i, squareRgb += 3) {
    picture.pixels[i] = rgb565FromRgb(squareRgb[0], squareRgb[1], squareRgb[2]);
  }
}

bool importPictureBytes(const uint8_t* data, size_t size, Fit fit, ImportedPicture& imported,
                        std::string& whyNot, int64_t maxPixels) {
  imported = ImportedPicture{};
  std::unique_ptr<PictureImage> picture(new (std::nothrow) PictureImage);
  if (!picture) {
    whyNot = "not enough memory";
    return false;
  }
  // What the classic reader takes comes in exactly as it always did, whatever the fit.
  if (decodePictureFile(data, size, *picture) == kPictureRead) {
    imported.picture = std::move(picture);
    return true;
  }
  const FaceFitter& faces = faceFitter();
  if (fit == Fit::Face && !faces.fit) {
    whyNot = "the face fit is not available in this version; choose crop, pad or stretch";
    return false;
  }
  DecodeOptions options;
  options.maxPixels = maxPixels;
  options.reductionLimit = reductionFor(fit);
  Photo photo;
  if (!decodePhoto(data, size, options, photo, whyNot)) return false;

  SquareMap map;
  std::string note;
  if (fit == Fit::Face) {
    const FaceFitOutcome outcome = faces.fit(photo, map, note, whyNot);
    if (outcome == FaceFitOutcome::failed) return false;
    if (outcome == FaceFitOutcome::noFace) {
      // As the crop fit, and the note says why: "300 x 200, no face found: centre square ...".
      map = reduced(plainFitMap(Fit::Crop, photo.width, photo.height, note), photo.reduction);
      note.insert(sizeText(photo.width, photo.height).size() + 2, "no face found: ");
      imported.faceNotFound = true;
    }
  } else if (photo.width == kSquareSide && photo.height == kSquareSide && photo.reduction == 1) {
    squareToPicture(photo.image.pixels.data(), *picture);  // nothing to fit
    imported.picture = std::move(picture);
    return true;
  } else {
    map = reduced(plainFitMap(fit, photo.width, photo.height, note), photo.reduction);
  }
  std::vector<uint8_t> square(kSquareRgbBytes);
  resampleToSquare(photo.image, map, square.data());
  squareToPicture(square.data(), *picture);
  imported.picture = std::move(picture);
  imported.note = std::move(note);
  return true;
}

bool importPicture(const std::string& path, Fit fit, ImportedPicture& imported,
                   std::string& whyNot) {
  imported = ImportedPicture{};
  // A pipe (such as a shell's <(...)) can be read only once: all of it at once.
  struct stat info {};
  const bool regular = ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  std::vector<uint8_t> bytes;
  if (readFileStart(path, regular ? kHeadBytes : kMaxFileBytes + 1, bytes, &whyNot) != 0) {
    return false;
  }
  if (regular && bytes.size() == kHeadBytes) {
    // A large file: read it whole only when it may be a picture.
    PictureImage classic;
    if (decodePictureFile(bytes.data(), bytes.size(), classic) != kPictureRead &&
        sniffFormat(bytes.data(), bytes.size()) == Format::Unknown) {
      whyNot = kNotAPictureReason;
      return false;
    }
    if (readFileStart(path, kMaxFileBytes + 1, bytes, &whyNot) != 0) return false;
  }
  if (bytes.size() > kMaxFileBytes) {
    whyNot = "the file is larger than this program takes (1 GiB)";
    return false;
  }
  return importPictureBytes(bytes.data(), bytes.size(), fit, imported, whyNot);
}

std::vector<ImportResult> importPictures(const std::vector<std::string>& paths, Fit fit) {
  std::vector<ImportResult> results(paths.size());
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t n; (n = next++) < paths.size();) {
      ImportResult& result = results[n];
      try {
        result.imported = importPicture(paths[n], fit, result.picture, result.whyNot);
      } catch (const std::bad_alloc&) {
        result.picture = ImportedPicture{};
        result.whyNot = "not enough memory";
      }
    }
  };
  const size_t threads =
      std::min<size_t>(paths.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> helpers;
  for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  return results;
}

}  // namespace pictures
