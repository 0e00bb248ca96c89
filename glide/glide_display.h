// The display part of the engine: Glide start-up and shut-down, the video mode, the render
// state, texture download and the drawing of one textured grid cell.
#pragma once

#include <cstdint>

#include "engine/picture.h"
#include "glide/glide.h"

class GlideDisplay {
 public:
  // Starts Glide and selects board 0. Without a board ("No 3dfx hardware found.") the process
  // ends here with exit code 1.
  GlideDisplay();
  // Shuts Glide down.
  ~GlideDisplay();
  GlideDisplay(const GlideDisplay&) = delete;
  GlideDisplay& operator=(const GlideDisplay&) = delete;

  // Opens the video mode that fits playSize, centres the play square and sets the render state.
  // 0 when open; 1 when the mode was refused (its message already shown).
  int32_t openDisplay(int32_t playSize);
  void setDitherMode(GrDitherMode_t mode);
  void resetTextureMemory();
  void closeDisplay();

  // Places the slot's picture at textureBase and advances textureBase by one picture.
  void downloadTexture(PictureSlot& slot);
  // Draws one grid cell: corners in play-square pixels, texture positions in picture pixels,
  // alpha 0..255 (truncated), the picture whose texture is drawn.
  void drawQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                float s0, float t0, float s1, float t1, float s2, float t2, float s3, float t3,
                float alpha, const PictureSlot& picture);
  void swapBuffers();

  uint32_t textureBase = 0;  // next free texture address on texture unit 0
  int32_t originX = 0;       // screen x of the play square's top-left corner
  int32_t originY = 0;       // screen y of that corner
  int32_t viewSize = 0;      // side of the play square on screen
};
