// Filling the square from a source image through an affine map.
//
// Maps without rotation (every plain fit) are resampled one axis at a time with exact area
// weights: each square pixel averages the source pixels under it, weighted by how much of each
// it covers (a box filter), or, where it covers less than one source pixel, samples bilinearly
// between the nearest source pixel centres. Any other map takes, for each square pixel, a grid
// of bilinear samples spaced at most one source pixel apart across the parallelogram it covers.
#include <algorithm>
#include <cmath>

#include "pictures/pictures.h"

namespace pictures {

namespace {

// One source pixel's share of one square pixel along one axis.
struct Tap {
  int32_t index;
  float weight;
};

// For each of the square's 256 pixels along one axis: its taps, taps[first[o] .. first[o + 1]).
struct AxisTaps {
  std::vector<Tap> taps;
  int32_t first[kSquareSide + 1] = {};
};

// The taps of the square pixels [o, o + 1) that lie at source [scale * o + offset, ...).
AxisTaps axisTaps(double scale, double offset, int32_t sourceSize) {
  AxisTaps axis;
  const double length = std::fabs(scale);
  for (int o = 0; o < kSquareSide; ++o) {
    axis.first[o] = static_cast<int32_t>(axis.taps.size());
    const double a = scale * o + offset;
    const double b = scale * (o + 1) + offset;
    const double start = std::min(a, b), end = std::max(a, b);
    if (!(end > 0 && start < sourceSize)) continue;  // wholly outside (or not a number): black
    if (length >= 1.0) {
      // Area average; the part outside the source counts as black.
      const int32_t from = static_cast<int32_t>(std::max(0.0, std::floor(start)));
      const int32_t to = static_cast<int32_t>(std::min<double>(sourceSize, std::ceil(end)));
      for (int32_t i = from; i < to; ++i) {
        const double covered = std::min<double>(end, i + 1) - std::max<double>(start, i);
        if (covered > 0) axis.taps.push_back({i, static_cast<float>(covered / length)});
      }
    } else {
      // Bilinear between the two nearest pixel centres; held at the outermost centres.
      const double centre = (start + end) / 2;
      const double position = std::clamp(centre - 0.5, 0.0, sourceSize - 1.0);
      const int32_t i = static_cast<int32_t>(position);
      const float fraction = static_cast<float>(position - i);
      axis.taps.push_back({i, 1.0f - fraction});
      if (fraction > 0) axis.taps.push_back({i + 1, fraction});
    }
  }
  axis.first[kSquareSide] = static_cast<int32_t>(axis.taps.size());
  return axis;
}

uint8_t toByte(float value) {
  return static_cast<uint8_t>(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

constexpr int kRowFloats = kSquareSide * 3;

// Source rows resampled across, the last two kept: neighbouring square rows share at most a
// row or two of the source when it is reduced, and an enlarged source is small.
class AcrossRows {
 public:
  AcrossRows(const RgbImage& source, const AxisTaps& across) : source_(source), across_(across) {}

  const float* row(int32_t y) {
    for (Slot& slot : slots_) {
      if (slot.y == y) return slot.values;
    }
    Slot& slot = slots_[next_];
    next_ ^= 1;
    slot.y = y;
    const uint8_t* from = source_.row(y);
    for (int x = 0; x < kSquareSide; ++x) {
      float r = 0, g = 0, b = 0;
      for (int32_t t = across_.first[x]; t < across_.first[x + 1]; ++t) {
        const uint8_t* pixel = from + across_.taps[t].index * 3;
        const float w = across_.taps[t].weight;
        r += w * pixel[0], g += w * pixel[1], b += w * pixel[2];
      }
      slot.values[3 * x] = r, slot.values[3 * x + 1] = g, slot.values[3 * x + 2] = b;
    }
    return slot.values;
  }

 private:
  struct Slot {
    int32_t y = -1;
    float values[kRowFloats];
  };
  const RgbImage& source_;
  const AxisTaps& across_;
  Slot slots_[2];
  int next_ = 0;
};

void resampleSeparable(const RgbImage& source, const SquareMap& map, uint8_t* out) {
  const AxisTaps across = axisTaps(map.xx, map.x0, source.width);
  const AxisTaps down = axisTaps(map.yy, map.y0, source.height);
  AcrossRows rows(source, across);
  float sums[kRowFloats];
  for (int y = 0; y < kSquareSide; ++y) {
    std::fill(std::begin(sums), std::end(sums), 0.0f);
    for (int32_t t = down.first[y]; t < down.first[y + 1]; ++t) {
      const float* row = rows.row(down.taps[t].index);
      const float w = down.taps[t].weight;
      for (int i = 0; i < kRowFloats; ++i) sums[i] += w * row[i];
    }
    uint8_t* to = out + static_cast<size_t>(y) * kRowFloats;
    for (int i = 0; i < kRowFloats; ++i) to[i] = toByte(sums[i]);
  }
}

// The colour at a source position (continuous coordinates), bilinear between pixel centres and
// held at the outermost ones; black outside the source.
void sampleBilinear(const RgbImage& source, double x, double y, float* rgb) {
  if (!(x >= 0 && x <= source.width && y >= 0 && y <= source.height)) return;
  const double px = std::clamp(x - 0.5, 0.0, source.width - 1.0);
  const double py = std::clamp(y - 0.5, 0.0, source.height - 1.0);
  const int32_t x0 = static_cast<int32_t>(px), y0 = static_cast<int32_t>(py);
  const int32_t x1 = std::min(x0 + 1, source.width - 1), y1 = std::min(y0 + 1, source.height - 1);
  const float fx = static_cast<float>(px - x0), fy = static_cast<float>(py - y0);
  const uint8_t* top = source.row(y0);
  const uint8_t* bottom = source.row(y1);
  for (int c = 0; c < 3; ++c) {
    const float upper = top[3 * x0 + c] + fx * (top[3 * x1 + c] - top[3 * x0 + c]);
    const float lower = bottom[3 * x0 + c] + fx * (bottom[3 * x1 + c] - bottom[3 * x0 + c]);
    rgb[c] += upper + fy * (lower - upper);
  }
}

void resampleGeneral(const RgbImage& source, const SquareMap& map, uint8_t* out) {
  // Samples per square pixel along each of its sides: one per source pixel the side spans, so
  // that every source pixel under the square pixel counts; at most 32 each way.
  const auto samplesAlong = [](double dx, double dy) {
    const double length = std::hypot(dx, dy);
    return static_cast<int>(std::clamp(std::ceil(length), 1.0, 32.0));
  };
  const int nx = samplesAlong(map.xx, map.yx);
  const int ny = samplesAlong(map.xy, map.yy);
  const float scale = 1.0f / static_cast<float>(nx * ny);
  for (int y = 0; y < kSquareSide; ++y) {
    for (int x = 0; x < kSquareSide; ++x) {
      float rgb[3] = {0, 0, 0};
      for (int j = 0; j < ny; ++j) {
        const double sy = y + (j + 0.5) / ny;
        for (int i = 0; i < nx; ++i) {
          const double sx = x + (i + 0.5) / nx;
          sampleBilinear(source, map.xx * sx + map.xy * sy + map.x0,
                         map.yx * sx + map.yy * sy + map.y0, rgb);
        }
      }
      uint8_t* to = out + (static_cast<size_t>(y) * kSquareSide + x) * 3;
      for (int c = 0; c < 3; ++c) to[c] = toByte(rgb[c] * scale);
    }
  }
}

}  // namespace

void resampleToSquare(const RgbImage& source, const SquareMap& map, uint8_t* squareRgb) {
  if (source.width <= 0 || source.height <= 0) {
    std::fill(squareRgb, squareRgb + kSquareRgbBytes, uint8_t{0});
    return;
  }
  if (map.xy == 0 && map.yx == 0) {
    resampleSeparable(source, map, squareRgb);
  } else {
    resampleGeneral(source, map, squareRgb);
  }
}

}  // namespace pictures
