// What the tests may do to the software board beyond the Glide calls: refuse video modes,
// look at its buffers and texture memory, and choose the rasteriser.
#pragma once

#include <cstdint>

#include "glide/board.h"

namespace glide::testing {

// While set, every grSstWinOpen fails, as a board that cannot set the mode.
inline void refuseVideoModes(bool refuse) {
  board().refuseVideoModes(refuse);
}
// Makes grSstWinOpen fail (or work again) for one resolution.
inline void refuseVideoMode(GrScreenResolution_t resolution, bool refuse) {
  board().refuseVideoMode(resolution, refuse);
}

// The buffer's pixels after everything drawn so far (RGB565, rows from the top). Empty
// (nullptr, 0 x 0) while no mode is open. Valid until the next Glide call.
inline Surface frontBuffer() {
  return board().buffer(GR_BUFFER_FRONTBUFFER);
}
inline Surface backBuffer() {
  return board().buffer(GR_BUFFER_BACKBUFFER);
}

// The texture memory of texture unit 0 (kTextureMemoryBytes, byte address a at element a / 2);
// nullptr while the board is stopped.
inline const uint16_t* textureMemory() {
  return board().textureMemory();
}

// Chooses how triangles are drawn from now on; false (and no change) when this CPU cannot.
// The board starts with the fastest path the CPU has.
inline bool setRasterPath(RasterPath path) {
  return board().setRasterPath(path);
}
inline RasterPath rasterPath() {
  return board().rasterPath();
}
// How many threads the fast paths draw with; 0 (the default) for the machine's cores.
inline void setDrawingThreads(int threads) {
  board().setDrawingThreads(threads);
}

}  // namespace glide::testing
