// The plain records of a morph project: pictures, control points, grid positions.
// Both the engine and the Glide display part use them, so they live apart from either.
#pragma once

#include <cstdint>
#include <memory>

#include "glide/glide.h"

// Limits of the model. The tables are allocated at these sizes once and never grow.
constexpr int kMaxPictures = 50;
constexpr int kMaxPoints = 500;
constexpr int kMaxQuality = 64;
constexpr int kMaxVertices = (kMaxQuality + 1) * (kMaxQuality + 1);  // 4225
constexpr int kMaxQuads = kMaxQuality * kMaxQuality;                 // 4096
constexpr int kPictureSide = 256;
constexpr int kPicturePixels = kPictureSide * kPictureSide;  // 65536
constexpr int kPictureBytes = kPicturePixels * 2;            // 131072

// 256 x 256 pixels of RGB565 (red bits 15-11, green 10-5, blue 4-0), row 0 at the top.
struct PictureImage {
  uint16_t pixels[kPicturePixels];
};

// One control point of one picture: the 12-byte record that the project file stores.
struct ControlPoint {
  float x;
  float y;
  uint8_t inherited;  // 0: placed on this picture, 1: copied from another picture
  // No meaning. Records read from a file keep the bytes as read, so that old files
  // round-trip byte for byte; records made here carry zeros.
  uint8_t undefinedBytes[3];
};
static_assert(sizeof(ControlPoint) == 12);

// Where one warp-grid vertex lies inside one picture, in picture pixels.
struct MeshPoint {
  float x;
  float y;
};

// A grid vertex during playback: screen position relative to the play square, and its step.
struct MeshVertexState {
  float x;
  float y;
  float dx;
  float dy;
};

// One grid cell: vertex indices top-left, top-right, bottom-right, bottom-left.
struct MeshQuad {
  int32_t v[4];
};

// One entry of the picture table. image, points and mesh move from slot to slot when
// pictures are inserted or deleted; index, texInfo and texAddress stay with the position.
struct PictureSlot {
  int32_t index = 0;
  std::unique_ptr<PictureImage> image;
  GrTexInfo texInfo{};
  uint32_t texAddress = 0;
  std::unique_ptr<ControlPoint[]> points;  // kMaxPoints entries
  std::unique_ptr<MeshPoint[]> mesh;       // kMaxVertices entries
};
