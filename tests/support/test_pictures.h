// Pictures and picture files for tests: solid, smooth, photograph-like and never-repeating
// pictures, and BMP files made from them or from raw pixel rows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/picture.h"

namespace testing_support {

std::unique_ptr<PictureImage> solidPicture(uint16_t colour);
// Smooth diagonal gradients; different seeds give different pictures.
std::unique_ptr<PictureImage> gradientPicture(uint32_t seed);
// Smooth gradients plus a little noise in every channel: packs as a photograph does, mostly in
// literal packets.
std::unique_ptr<PictureImage> photoLikePicture(uint32_t seed);
// No two neighbouring pixels (in file order, across row ends too) are equal: the longest block.
std::unique_ptr<PictureImage> noRepeatPicture();

// A BMP file with a 14-byte file header, a 40-byte information header and no palette, so that
// the pixels start at offset 54. `pixelData` is written as it stands (bottom row first for a
// positive height).
std::vector<uint8_t> bmpFile(int32_t width, int32_t height, uint16_t bitsPerPixel,
                             const std::vector<uint8_t>& pixelData);
// A 256 x 256 24-bit BMP of the picture, each channel widened with its low bits 0, so that
// importing it gives back exactly the same picture.
std::vector<uint8_t> bmpFileOf(const PictureImage& picture);

}  // namespace testing_support
