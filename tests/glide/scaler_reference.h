// The window surface's bilinear scaling done the plain way, one output pixel and one channel at
// a time: across first, rounded to 8 bits, then down, rounded again. The fast scaler must give
// the same bytes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "glide/sdl/frame_scaler.h"

namespace scaler_reference {

// The 8-bit channels of an RGB565 pixel, widened by bit replication: red, green, blue.
inline void widen(uint16_t pixel, int channels[3]) {
  const int red = pixel >> 11;
  const int green = (pixel >> 5) & 63;
  const int blue = pixel & 31;
  channels[0] = (red << 3) | (red >> 2);
  channels[1] = (green << 2) | (green >> 4);
  channels[2] = (blue << 3) | (blue >> 2);
}

// Where output pixel `at` of `outputs` samples `sources` pixels: the pixel at or left of its
// centre, the next one (the same at the edge) and the weight of the next in 1/256.
struct Sample {
  int first, second, weight;
};
inline Sample sample(int at, int outputs, int sources) {
  const double centre = (at + 0.5) * sources / outputs - 0.5;
  const double inUnits = std::floor(std::max(centre, 0.0) * 256.0);
  Sample result{static_cast<int>(inUnits) / 256, 0, static_cast<int>(inUnits) % 256};
  if (result.first >= sources - 1) result = {sources - 1, 0, 0};
  result.second = std::min(result.first + 1, sources - 1);
  return result;
}

inline void scale(const uint16_t* frame, int width, int height, const PixelCanvas& canvas) {
  for (int y = 0; y < canvas.height; ++y) {
    const Sample down = sample(y, canvas.height, height);
    for (int x = 0; x < canvas.width; ++x) {
      const Sample across = sample(x, canvas.width, width);
      int corners[4][3];
      widen(frame[down.first * width + across.first], corners[0]);
      widen(frame[down.first * width + across.second], corners[1]);
      widen(frame[down.second * width + across.first], corners[2]);
      widen(frame[down.second * width + across.second], corners[3]);
      uint8_t* pixel = canvas.pixels + y * canvas.pitch + x * 4;
      const int bytes[3] = {canvas.redByte, canvas.greenByte, canvas.blueByte};
      pixel[6 - bytes[0] - bytes[1] - bytes[2]] = 255;
      for (int c = 0; c < 3; ++c) {
        const int top =
            (corners[0][c] * (256 - across.weight) + corners[1][c] * across.weight + 128) >> 8;
        const int bottom =
            (corners[2][c] * (256 - across.weight) + corners[3][c] * across.weight + 128) >> 8;
        pixel[bytes[c]] =
            static_cast<uint8_t>((top * (256 - down.weight) + bottom * down.weight + 128) >> 8);
      }
    }
  }
}

}  // namespace scaler_reference
