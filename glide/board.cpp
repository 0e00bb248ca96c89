#include "glide/board.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <sys/mman.h>

#include "glide/raster/fast_rasterizer.h"
#include "glide/platform.h"

namespace glide {

namespace {

struct ModeSize {
  GrScreenResolution_t resolution;
  int32_t width;
  int32_t height;
};
constexpr ModeSize kModes[] = {
    {GR_RESOLUTION_512x384, 512, 384},     {GR_RESOLUTION_640x480, 640, 480},
    {GR_RESOLUTION_800x600, 800, 600},     {GR_RESOLUTION_1024x768, 1024, 768},
    {GR_RESOLUTION_1280x1024, 1280, 1024}, {GR_RESOLUTION_1600x1200, 1600, 1200},
};

const ModeSize* findMode(GrScreenResolution_t resolution) {
  for (const ModeSize& mode : kModes) {
    if (mode.resolution == resolution) return &mode;
  }
  return nullptr;
}

bool isTexture256Rgb565(const GrTexInfo* info) {
  return info && info->smallLod == GR_LOD_256 && info->largeLod == GR_LOD_256 &&
         info->aspectRatio == GR_ASPECT_1x1 && info->format == GR_TEXFMT_RGB_565;
}

// Both cores of the machine this was made for; more where they exist, within reason.
int drawingThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

bool fitsTextureMemory(uint32_t address) {
  return address >= kTextureMinAddress && address % 2 == 0 &&
         address <= kTextureMemoryBytes - kTextureBytes;
}

// The fastest path, unless MORPH_RASTER names another that this processor runs (for measuring
// and for working around a fault of one path).
RasterPath startingPath() {
  const RasterPath fastest = fastestRasterPath();
  const char* name = std::getenv("MORPH_RASTER");
  if (!name || !*name) return fastest;
  RasterPath chosen;
  if (!rasterPathNamed(name, chosen) || !runsRasterPath(chosen)) {
    std::fprintf(stderr, "MORPH_RASTER=%s: no such drawing path on this processor; drawing with %s\n",
                 name, rasterPathName(fastest));
    return fastest;
  }
  return chosen;
}

// Texture memory is followed by a page that may not be touched: a read past its end (a vector
// load reaching beyond the last texel) faults at once instead of reading whatever lies there.
// Mapped, not allocated: pages nobody downloads to are never touched, so they cost no memory.
constexpr size_t kGuardBytes = 64 * 1024;  // a page on every Linux system

uint16_t* mapTextureMemory() {
  void* memory = mmap(nullptr, kTextureMemoryBytes + kGuardBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return nullptr;
  if (mprotect(static_cast<uint8_t*>(memory) + kTextureMemoryBytes, kGuardBytes, PROT_NONE) != 0) {
    munmap(memory, kTextureMemoryBytes + kGuardBytes);
    return nullptr;
  }
  return static_cast<uint16_t*>(memory);
}

}  // namespace

void Board::TextureMemoryUnmapper::operator()(uint16_t* memory) const {
  munmap(memory, kTextureMemoryBytes + kGuardBytes);
}

Board::Board() : path_(startingPath()) {}

Board::~Board() {
  releaseAll();
}

Board& board() {
  static Board theBoard;
  return theBoard;
}

// ---- Start-up and shut-down --------------------------------------------------------------------

void Board::init() {
  if (users_++ == 0) startFresh();
}

void Board::startFresh() {
  releaseAll();
  textureMemory_.reset(mapTextureMemory());
  if (!textureMemory_) std::abort();  // 8 MiB at start-up; nothing sensible remains to do
  renderBuffer_ = GR_BUFFER_BACKBUFFER;
  textureSource_ = nullptr;
  fastStateCurrent_ = false;
}

bool Board::queryHardware() {
  if (!platform::startPresentation()) return false;
  ++presentationStarts_;
  return true;
}

void Board::shutdown() {
  if (users_ == 0) return;
  if (presentationStarts_ > 0) {
    platform::stopPresentation();
    --presentationStarts_;
  }
  if (--users_ == 0) releaseAll();
}

void Board::releaseAll() {
  finishDrawing();
  closeWindow();
  fast_.reset();  // its threads end with it
  textureMemory_.reset();
  wideTextures_.clear();
  textureSource_ = nullptr;
  sourcePlanes_ = nullptr;
}

// ---- Video mode --------------------------------------------------------------------------------

void Board::refuseVideoMode(GrScreenResolution_t resolution, bool refuse) {
  std::erase(refusedModes_, resolution);
  if (refuse) refusedModes_.push_back(resolution);
}

bool Board::openWindow(GrScreenResolution_t resolution, GrColorFormat_t colourFormat,
                       GrOriginLocation_t origin, int colourBuffers, int auxBuffers) {
  const ModeSize* mode = findMode(resolution);
  if (!running() || !mode || refuseAllModes_ ||
      std::find(refusedModes_.begin(), refusedModes_.end(), resolution) != refusedModes_.end()) {
    return false;
  }
  if (colourFormat != GR_COLORFORMAT_RGBA || origin != GR_ORIGIN_UPPER_LEFT || colourBuffers != 2 ||
      auxBuffers != 0) {
    return false;
  }
  closeWindow();
  width_ = mode->width;
  height_ = mode->height;
  for (std::vector<uint16_t>& buffer : colourBuffers_) buffer.assign(width_ * height_, 0);
  front_ = 0;
  renderBuffer_ = GR_BUFFER_BACKBUFFER;
  blendSource_ = GR_BLEND_ONE;
  blendDestination_ = GR_BLEND_ZERO;
  dither_ = GR_DITHER_4x4;
  constantColour_ = 0;
  textureSource_ = nullptr;
  fastStateCurrent_ = false;
  return true;
}

void Board::closeWindow() {
  finishDrawing();
  width_ = 0;
  height_ = 0;
  for (std::vector<uint16_t>& buffer : colourBuffers_) {
    buffer.clear();
    buffer.shrink_to_fit();
  }
}

// ---- Render state ------------------------------------------------------------------------------

void Board::setRenderBuffer(GrBuffer_t buffer) {
  if (buffer == GR_BUFFER_FRONTBUFFER || buffer == GR_BUFFER_BACKBUFFER) renderBuffer_ = buffer;
  fastStateCurrent_ = false;
}

void Board::setBlendFunction(GrAlphaBlendFnc_t rgbSource, GrAlphaBlendFnc_t rgbDestination) {
  blendSource_ = rgbSource;
  blendDestination_ = rgbDestination;
  fastStateCurrent_ = false;
}

void Board::setDitherMode(GrDitherMode_t mode) {
  if (mode == GR_DITHER_DISABLE || mode == GR_DITHER_2x2 || mode == GR_DITHER_4x4) dither_ = mode;
  fastStateCurrent_ = false;
}

void Board::setConstantColour(GrColor_t colour) {
  constantColour_ = colour;
  fastStateCurrent_ = false;
}

// ---- Textures ----------------------------------------------------------------------------------

uint16_t* Board::textureAt(uint32_t address, const GrTexInfo* info) const {
  if (!textureMemory_ || !isTexture256Rgb565(info) || !fitsTextureMemory(address)) return nullptr;
  return textureMemory_.get() + address / 2;
}

void Board::downloadTexture(uint32_t address, const GrTexInfo* info) {
  uint16_t* place = textureAt(address, info);
  if (!place || !info->data) return;
  finishDrawing();  // triangles recorded earlier sample what was there before
  std::memcpy(place, info->data, kTextureBytes);
  wideTextures_.forget(address);
  sourcePlanes_ = nullptr;
}

void Board::setTextureSource(uint32_t address, const GrTexInfo* info) {
  textureSource_ = textureAt(address, info);
  textureSourceAddress_ = address;
  sourcePlanes_ = nullptr;  // found when the fast path first draws with it
  fastStateCurrent_ = false;
}

const TexelPlanes* Board::sourcePlanes() {
  if (!sourcePlanes_) {
    // Each kept texture costs a quarter of a megabyte; an odd program could ask for any
    // number of addresses.
    if (wideTextures_.size() >= kMostWideTextures) {
      finishDrawing();
      wideTextures_.clear();
    }
    sourcePlanes_ = wideTextures_.planesFor(textureSourceAddress_, textureSource_);
  }
  return sourcePlanes_;
}

// ---- Drawing and the frame ---------------------------------------------------------------------

uint16_t* Board::bufferPixels(GrBuffer_t buffer) {
  if (width_ == 0) return nullptr;
  if (buffer == GR_BUFFER_FRONTBUFFER) return colourBuffers_[front_].data();
  if (buffer == GR_BUFFER_BACKBUFFER) return colourBuffers_[1 - front_].data();
  return nullptr;
}

DrawState Board::drawState() {
  DrawState state;
  state.texture = textureSource_;
  state.target = {bufferPixels(renderBuffer_), width_, height_};
  const uint32_t alpha = scaledAlpha(constantColour_ & 0xFF);
  state.srcFactor = blendFactor(blendSource_, alpha);
  state.dstFactor = blendFactor(blendDestination_, alpha);
  state.dither = &ditherMatrix(dither_);
  return state;
}

void Board::drawTriangle(const GrVertex& a, const GrVertex& b, const GrVertex& c) {
  if (width_ == 0 || !textureSource_) return;
  if (path_ == RasterPath::Reference) {
    TriangleSetup setup;
    if (setUpTriangle(a, b, c, width_, height_, setup)) drawTriangleReference(setup, drawState());
    return;
  }
  if (!fastStateCurrent_) {
    DrawState state = drawState();
    // Blending nothing in changes no pixel: the destination comes back exactly, and as an
    // RGB565 colour it passes the dither unchanged.
    fastBlendsNothing_ = state.srcFactor == 0 && state.dstFactor == 256;
    if (!fastBlendsNothing_) {
      if (!fast_) {
        const int threads = threads_ > 0 ? threads_ : drawingThreads();
        fast_ = std::make_unique<FastRasterizer>(fastPath(path_), threads);
      }
      state.planes = sourcePlanes();  // which may finish the drawing
      fast_->setState(state);
    }
    fastStateCurrent_ = true;
  }
  if (!fastBlendsNothing_) fast_->add(a, b, c);
}

void Board::finishDrawing() {
  if (fast_) fast_->finish();
  fastStateCurrent_ = false;  // the fast path has forgotten its states
}

void Board::swapBuffers() {
  if (width_ == 0) return;
  finishDrawing();
  front_ = 1 - front_;
  platform::presentFrame(colourBuffers_[front_].data(), width_, height_);
}

bool Board::readRegion(GrBuffer_t buffer, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                       uint32_t stride, void* destination) {
  if (!destination) return false;
  finishDrawing();
  const uint16_t* pixels = bufferPixels(buffer);
  auto* rows = static_cast<uint8_t*>(destination);
  for (uint32_t row = 0; row < height; ++row) {
    uint8_t* out = rows + static_cast<size_t>(row) * stride;
    const uint64_t sy = static_cast<uint64_t>(y) + row;
    for (uint32_t column = 0; column < width; ++column) {
      const uint64_t sx = static_cast<uint64_t>(x) + column;
      uint16_t pixel = 0;
      if (pixels && sx < static_cast<uint64_t>(width_) && sy < static_cast<uint64_t>(height_)) {
        pixel = pixels[sy * width_ + sx];
      }
      std::memcpy(out + static_cast<size_t>(column) * 2, &pixel, 2);
    }
  }
  return pixels != nullptr;
}

// ---- For the tests -----------------------------------------------------------------------------

Surface Board::buffer(GrBuffer_t buffer) {
  finishDrawing();
  uint16_t* pixels = bufferPixels(buffer);
  if (!pixels) return {};
  return {pixels, width_, height_};
}

void Board::setDrawingThreads(int threads) {
  finishDrawing();
  fast_.reset();
  threads_ = threads;
}

bool Board::setRasterPath(RasterPath path) {
  if (!runsRasterPath(path)) return false;
  finishDrawing();
  fast_.reset();
  path_ = path;
  return true;
}

}  // namespace glide
