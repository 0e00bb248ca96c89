// Inside the pictures library: one decoder per family of formats, the reasons they give, and
// what they share. Each decoder checks the size its header declares before it decodes anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/pictures.h"

namespace pictures {

// The reasons, named once.
inline constexpr const char* kEndsEarlyReason = "the file ends inside the picture data";
inline constexpr const char* kDamagedReason = "the picture data is damaged";
inline constexpr const char* kNotAPictureReason =
    "not a picture this program reads (PNG, JPEG, WebP, TIFF, GIF, BMP or TGA)";

enum class Format { Unknown, Png, Jpeg, Gif, WebP, Tiff, Bmp, Tga };

// The format the bytes start like; TGA, which has no signature, only when its header is
// plausible.
Format sniffFormat(const uint8_t* data, size_t size);

// True when a picture of this size may be decoded; false with the reason otherwise (a side of 0,
// more pixels than `maxPixels`).
bool checkDeclaredSize(int64_t width, int64_t height, int64_t maxPixels, std::string& whyNot);

// The largest power of two up to 8 that the options allow for a photograph of this size.
int32_t chooseReduction(const DecodeOptions& options, int32_t width, int32_t height);

bool decodeJpeg(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
                std::string& whyNot);
bool decodePng(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
               std::string& whyNot);
bool decodeGif(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
               std::string& whyNot);
bool decodeTga(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
               std::string& whyNot);
// WebP, TIFF and BMP, through Qt's image readers.
bool decodeWithQt(const uint8_t* data, size_t size, Format format, const DecodeOptions& options,
                  Photo& photo, std::string& whyNot);

// Converts the image from the colour space an ICC profile describes to sRGB, where the profile
// is one of RGB that can be read; any other profile leaves the image as it is.
void convertProfileToSrgb(const uint8_t* profile, size_t size, RgbImage& image);

// ---- EXIF orientation ----

// The orientation (1 to 8) that an EXIF block ("Exif\0\0" and a TIFF structure, as a JPEG's
// APP1 segment holds it) gives; 1 (upright) when it gives none or cannot be read.
int32_t exifOrientation(const uint8_t* data, size_t size);
// Turns the image by an EXIF orientation (2 to 8 mirror and rotate; anything else: unchanged).
void applyOrientation(int32_t orientation, RgbImage& image);
// True when the orientation swaps width and height (5 to 8).
inline bool orientationSwapsSides(int32_t orientation) {
  return orientation >= 5 && orientation <= 8;
}

}  // namespace pictures
