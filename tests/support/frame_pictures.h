// Pictures, meshes and frame comparisons for the board's tests and benchmarks: photograph-like
// pictures (smooth shading, fine grain and a few hard edges), warped grids, and a way to keep
// a failed comparison as TGA files that a person can open.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/picture.h"

namespace frames {

inline uint16_t rgb565(uint32_t r, uint32_t g, uint32_t b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

inline std::unique_ptr<PictureImage> uniformPicture(uint16_t colour) {
  auto picture = std::make_unique<PictureImage>();
  for (uint16_t& pixel : picture->pixels) pixel = colour;
  return picture;
}

// Smooth shading with grain and hard-edged shapes, different for every seed.
inline std::unique_ptr<PictureImage> photoPicture(uint32_t seed) {
  auto picture = std::make_unique<PictureImage>();
  uint32_t noise = seed * 2654435761u + 12345u;
  const double phase = seed * 0.7;
  for (int y = 0; y < kPictureSide; ++y) {
    for (int x = 0; x < kPictureSide; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = static_cast<int>((noise >> 24) % 9) - 4;
      double r = 128 + 90 * std::sin(x * 0.031 + phase) * std::cos(y * 0.017);
      double g = 120 + 80 * std::sin((x + y) * 0.021 + phase * 2);
      double b = 100 + 70 * std::cos(y * 0.043 - phase);
      const double dx = x - (80 + 13 * seed % 97);
      const double dy = y - (140 - 7 * seed % 61);
      if (dx * dx + dy * dy < 45 * 45) {  // a disc with a sharp rim
        r = 235;
        g = 40 + (seed * 37) % 60;
        b = 30;
      }
      if ((x / 32 + y / 32 + seed) % 7 == 0) {  // a few dark tiles
        r *= 0.3;
        g *= 0.3;
        b *= 0.3;
      }
      auto channel = [grain](double value) {
        const int v = static_cast<int>(value) + grain;
        return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      };
      picture->pixels[y * kPictureSide + x] = rgb565(channel(r), channel(g), channel(b));
    }
  }
  return picture;
}

// The regular grid of a quality: vertex (i, j) at (i, j) x 255 / quality, row by row.
inline std::vector<MeshPoint> regularGrid(int quality) {
  std::vector<MeshPoint> grid;
  for (int j = 0; j <= quality; ++j) {
    for (int i = 0; i <= quality; ++i) {
      grid.push_back({static_cast<float>(i) * 255.0f / static_cast<float>(quality),
                      static_cast<float>(j) * 255.0f / static_cast<float>(quality)});
    }
  }
  return grid;
}

// The grid pushed around smoothly inside the picture (the border stays), never folding.
inline std::vector<MeshPoint> warpedGrid(int quality, double strength, double phase) {
  std::vector<MeshPoint> grid = regularGrid(quality);
  const double amplitude = strength * 255.0 / quality / 3.0;
  for (int j = 1; j < quality; ++j) {
    for (int i = 1; i < quality; ++i) {
      MeshPoint& point = grid[j * (quality + 1) + i];
      point.x += static_cast<float>(amplitude * std::sin(j * 0.9 + phase));
      point.y += static_cast<float>(amplitude * std::cos(i * 1.3 + phase));
    }
  }
  return grid;
}

// Cells in the grid's corner order: top-left, top-right, bottom-right, bottom-left.
inline std::vector<MeshQuad> gridQuads(int quality) {
  std::vector<MeshQuad> quads;
  for (int j = 0; j < quality; ++j) {
    for (int i = 0; i < quality; ++i) {
      const int topLeft = j * (quality + 1) + i;
      quads.push_back({{topLeft, topLeft + 1, topLeft + quality + 2, topLeft + quality + 1}});
    }
  }
  return quads;
}

// True when the cell's corners turn the same way all round: then its two triangles, split
// along corner 0 to corner 2, do not overlap.
inline bool isConvex(const MeshQuad& quad, const std::vector<MeshPoint>& points) {
  int positive = 0;
  int negative = 0;
  for (int k = 0; k < 4; ++k) {
    const MeshPoint& a = points[quad.v[k]];
    const MeshPoint& b = points[quad.v[(k + 1) % 4]];
    const MeshPoint& c = points[quad.v[(k + 2) % 4]];
    const double turn =
        (double(b.x) - a.x) * (double(c.y) - b.y) - (double(b.y) - a.y) * (double(c.x) - b.x);
    positive += turn > 0;
    negative += turn < 0;
  }
  return positive == 4 || negative == 4;
}

// A 24-bit TGA (bottom row first) of RGB565 pixels, for a person to look at.
inline void writeTga(const std::string& path, const uint16_t* pixels, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  const uint8_t header[18] = {0,
                              0,
                              2,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              static_cast<uint8_t>(width),
                              static_cast<uint8_t>(width >> 8),
                              static_cast<uint8_t>(height),
                              static_cast<uint8_t>(height >> 8),
                              24,
                              0};
  std::fwrite(header, 1, sizeof header, file);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const uint16_t p = pixels[y * width + x];
      const uint8_t bgr[3] = {static_cast<uint8_t>((p & 0x1F) << 3),
                              static_cast<uint8_t>(((p >> 5) & 0x3F) << 2),
                              static_cast<uint8_t>((p >> 11) << 3)};
      std::fwrite(bgr, 1, 3, file);
    }
  }
  std::fclose(file);
}

// Where failed comparisons are kept: the test's build folder, or the working directory.
inline std::string artefactPath(const std::string& name) {
  const char* folder = std::getenv("MORPH_TEST_DATA");
  return (folder ? std::string(folder) + "/" : std::string()) + name;
}

// Keeps both frames as NAME.actual.tga and NAME.expected.tga and says where.
inline std::string keepForInspection(const std::string& name, const uint16_t* actual,
                                     const uint16_t* expected, int width, int height) {
  const std::string base = artefactPath(name);
  writeTga(base + ".actual.tga", actual, width, height);
  writeTga(base + ".expected.tga", expected, width, height);
  return "frames kept as " + base + ".actual.tga and " + base + ".expected.tga";
}

}  // namespace frames
