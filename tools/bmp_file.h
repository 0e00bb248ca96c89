// Writing 256 x 256 24-bit BMP files, the only kind of picture a project imports.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/picture.h"

// 24-bit colour of one pixel.
struct Rgb {
  uint8_t r;
  uint8_t g;
  uint8_t b;
};

// The bytes of an uncompressed bottom-up BMP (54-byte header, no palette) of 256 x 256 pixels
// given row by row from the top.
std::vector<uint8_t> encodeBmp(const Rgb* pixelsTopDown);

// The colour a 16-bit pixel stands for, each channel widened with its low bits 0, so that
// importing it again cuts off exactly what was added.
Rgb widenPixel(uint16_t pixel);

// The picture as a BMP that imports back to exactly the same pixels.
std::vector<uint8_t> encodeBmp(const PictureImage& picture);
