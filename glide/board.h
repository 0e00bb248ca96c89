// The software board behind the Glide calls: a 16-bit accelerator with two RGB565 colour
// buffers, one texture unit and the one pixel pipeline the programs use. No display here: a
// finished frame goes to platform::presentFrame, which shows it or not.
//
// What it draws, and the rules the tests hold it to:
//   - Video modes 512x384 up to 1600x1200; grSstWinOpen makes two colour buffers of that size
//     (front and back), both black. Nothing is ever cleared after that: each frame is drawn over
//     whatever the back buffer holds. grBufferSwap exchanges the two and presents the new front
//     buffer. grLfbReadRegion reads either buffer (the programs read the front one, the frame on
//     display); pixels outside the buffer read as 0.
//   - Texture memory: kTextureMemoryBytes for texture unit 0, usable from kTextureMinAddress.
//     It holds 256 x 256 RGB565 textures (one level of detail, the only kind the programs make)
//     at any even address where the whole texture fits; a download elsewhere is ignored, and a
//     texture source elsewhere draws nothing. Downloads copy the pixels at once.
//   - Vertices lie on a grid of 1/16 pixel; pixel centres at (x + 0.5, y + 0.5); a pixel is
//     drawn when its centre lies inside the triangle, or on its top or left edge (the top-left
//     rule): triangles that share an edge cover each pixel along it exactly once, so the two
//     triangles of a cell and neighbouring cells tile without gaps and without blending any
//     pixel twice. Either winding is drawn (no culling). Everything is clipped to the screen:
//     a vertex off the screen cuts the triangle at the screen's edge, it never wraps.
//   - Texture coordinates arrive as sow/tow in texel units with oow = 1.0 (no perspective):
//     they are interpolated affinely and evaluated at each pixel centre. Texel i covers
//     [i, i + 1) with its centre at i + 0.5; the colour is filtered bilinearly between the four
//     nearest texel centres (weights in 1/256), and coordinates outside 0..256 wrap.
//   - Colour comes from the texture, alpha from the constant colour's low byte (the render
//     state the programs set; the combine calls are accepted and change nothing else). Colours
//     are worked on 8 bits per channel, RGB565 widened by bit replication. The blend is
//     source x srcFactor + destination x dstFactor with alpha a scaled to 0..256 as
//     a + (a >> 7): alpha 255 gives exactly the source, alpha 0 exactly the destination.
//   - The result is dithered to RGB565 with an ordered 2x2 or 4x4 matrix by screen position,
//     or rounded without dither; a colour that came exactly from an RGB565 value is written
//     back unchanged in every mode (raster/pixel_pipeline.h shows why).
//   - A mode opens with the board's defaults: drawing to the back buffer, blend source only,
//     dither 4x4, constant colour 0, no texture source.
//
// Start-up: grGlideInit starts the board fresh when it is not running (empty texture memory,
// no mode open) and otherwise only counts the caller; each grGlideShutdown uncounts one, and
// the last one stops the board and releases its memory. So engines may be made one after
// another and nested: a shutdown while another engine still lives leaves the board running for
// it. A call that reaches a stopped board does nothing (grSstWinOpen fails, grLfbReadRegion
// reads zeros).
//
// Speed: triangles are drawn either at once by the plain reference rasteriser, or recorded and
// drawn by the fast path (raster/fast_rasterizer.h) in bands of rows on every core, with the
// vector units, when the frame is needed (swap, read-back, a texture download, closing). Every
// pixel still sees its triangles in the order they were issued, and the fast path's pixels
// equal the reference's. A triangle that blends nothing in (alpha 0 over the destination)
// changes no pixel, so the fast path leaves it out. The board starts with the fastest path the
// processor runs (raster/raster.h); the environment variable MORPH_RASTER (reference, scalar,
// sse4, avx2, avx512, neon) chooses another.
//
// Texture memory is followed by a page that may not be touched: a read past its end faults at
// once rather than reading whatever lies there.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "glide/glide.h"
#include "glide/raster/raster.h"
#include "glide/raster/texel_planes.h"

namespace glide {

constexpr uint32_t kTextureMemoryBytes = 8u << 20;  // 8 MiB: 63 pictures above the minimum
// Not 0, so that code which assumes 0 instead of asking grTexMinAddress shows in the tests.
constexpr uint32_t kTextureMinAddress = 0x10000;
constexpr uint32_t kTextureBytes = 256 * 256 * 2;  // one 256 x 256 RGB565 texture

class FastRasterizer;

class Board {
 public:
  Board();
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // ---- Start-up and shut-down ----
  void init();
  bool queryHardware();
  void shutdown();
  bool running() const { return users_ > 0; }

  // ---- Video mode ----
  // Fails for a mode the board does not have or has been told to refuse, and for anything but
  // RGBA colours, the origin at the upper left, two colour buffers and no auxiliary buffer.
  bool openWindow(GrScreenResolution_t resolution, GrColorFormat_t colourFormat,
                  GrOriginLocation_t origin, int colourBuffers, int auxBuffers);
  void closeWindow();
  int32_t screenWidth() const { return width_; }
  int32_t screenHeight() const { return height_; }

  // ---- Render state ----
  void setRenderBuffer(GrBuffer_t buffer);
  void setBlendFunction(GrAlphaBlendFnc_t rgbSource, GrAlphaBlendFnc_t rgbDestination);
  void setDitherMode(GrDitherMode_t mode);
  void setConstantColour(GrColor_t colour);

  // ---- Textures ----
  void downloadTexture(uint32_t address, const GrTexInfo* info);
  void setTextureSource(uint32_t address, const GrTexInfo* info);

  // ---- Drawing and the frame ----
  void drawTriangle(const GrVertex& a, const GrVertex& b, const GrVertex& c);
  void swapBuffers();
  bool readRegion(GrBuffer_t buffer, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                  uint32_t stride, void* destination);

  // ---- For the tests (board_testing.h) ----
  void refuseVideoModes(bool refuse) { refuseAllModes_ = refuse; }
  void refuseVideoMode(GrScreenResolution_t resolution, bool refuse);
  Surface buffer(GrBuffer_t buffer);  // draws what is pending first
  const uint16_t* textureMemory() const { return textureMemory_.get(); }
  // The board starts with the fastest path this CPU has, or the one MORPH_RASTER names.
  bool setRasterPath(RasterPath path);
  RasterPath rasterPath() const { return path_; }
  // How many threads the fast paths draw with; 0 for the machine's cores.
  void setDrawingThreads(int threads);

 private:
  struct TextureMemoryUnmapper {
    void operator()(uint16_t* memory) const;
  };

  void startFresh();
  void releaseAll();
  void finishDrawing();  // draws what the fast path has recorded
  uint16_t* bufferPixels(GrBuffer_t buffer);
  uint16_t* textureAt(uint32_t address, const GrTexInfo* info) const;
  const TexelPlanes* sourcePlanes();  // the texture source widened, for the fast path
  DrawState drawState();

  int32_t users_ = 0;
  int32_t presentationStarts_ = 0;

  // The open mode; width_ is 0 while no mode is open.
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint16_t> colourBuffers_[2];
  int32_t front_ = 0;  // which of colourBuffers_ is on display

  std::unique_ptr<uint16_t[], TextureMemoryUnmapper> textureMemory_;

  GrBuffer_t renderBuffer_ = GR_BUFFER_BACKBUFFER;
  GrAlphaBlendFnc_t blendSource_ = GR_BLEND_ONE;
  GrAlphaBlendFnc_t blendDestination_ = GR_BLEND_ZERO;
  GrDitherMode_t dither_ = GR_DITHER_4x4;
  GrColor_t constantColour_ = 0;
  const uint16_t* textureSource_ = nullptr;
  uint32_t textureSourceAddress_ = 0;
  const TexelPlanes* sourcePlanes_ = nullptr;
  static constexpr size_t kMostWideTextures = 96;
  WideTextures wideTextures_;

  bool refuseAllModes_ = false;
  std::vector<GrScreenResolution_t> refusedModes_;

  RasterPath path_ = RasterPath::Reference;
  int threads_ = 0;
  std::unique_ptr<FastRasterizer> fast_;  // made on first use for any path but the reference
  // Whether fast_ has the state the render state gives (set on the first triangle after any
  // change, then kept), and whether that state blends nothing in.
  bool fastStateCurrent_ = false;
  bool fastBlendsNothing_ = false;
};

// The one board of the process.
Board& board();

}  // namespace glide
