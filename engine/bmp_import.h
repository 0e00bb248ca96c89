// Picture import from 24-bit BMP files of 256 x 256 pixels.
//
// Only three header fields are looked at, at fixed offsets: the low halves of the width (18) and
// height (22) fields, which must be 256, and the low byte of the bit count (28), which must be 24.
// The pixels are always taken from offset 54 (the place after the 40-byte information header):
// 256 rows of 768 bytes, the bottom row first, each pixel blue, green, red. Each channel keeps
// its top bits (5, 6, 5): nothing is rounded. A file too short to hold all the pixels is refused;
// bytes after the pixels are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/picture.h"

// Results of reading a picture file.
constexpr int32_t kPictureRead = 0;
constexpr int32_t kPictureNoMemory = 1;
constexpr int32_t kPictureWrongFormat = 2;  // not 256 x 256 x 24, or the pixels are cut short
constexpr int32_t kPictureCannotOpen = 3;

constexpr size_t kBmpPixelOffset = 54;
constexpr size_t kBmpPixelBytes = kPicturePixels * 3;               // 196608
constexpr size_t kBmpFileBytes = kBmpPixelOffset + kBmpPixelBytes;  // 196662

// The RGB565 value of a 24-bit colour: the top bits of each channel.
constexpr uint16_t rgb565FromRgb(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<uint16_t>((blue >> 3) + ((green & 0xFC) << 3) + ((red & 0xF8) << 8));
}

// Reads a BMP file held in memory into `picture`: kPictureRead or kPictureWrongFormat.
int32_t decodePictureFile(const uint8_t* data, size_t size, PictureImage& picture);

// Reads the BMP file at `path`; with kPictureRead, `picture` holds the new picture.
int32_t readPictureFile(const std::string& path, std::unique_ptr<PictureImage>& picture);
