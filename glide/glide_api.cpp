// The Glide entry points: each records itself in the call log when one lives, then hands its
// work to the software board (board.h).
#include <type_traits>

#include "glide/board.h"
#include "glide/call_recording.h"
#include "glide/glide.h"

namespace {

using glide::board;

template <typename Number>
requires std::is_arithmetic_v<Number>
void appendArgument(std::vector<double>& args, Number value) {
  args.push_back(static_cast<double>(value));
}
// A pointer that is not a record (an output area, a window) is logged as 0.
void appendArgument(std::vector<double>& args, const void*) {
  args.push_back(0);
}
using glide::appendArgument;

template <typename... Args>
void record(const char* name, const Args&... args) {
  if (!glide::recordingCalls()) return;
  glide::GlideCall call{name, {}};
  (appendArgument(call.args, args), ...);
  glide::recordCall(std::move(call));
}

}  // namespace

void grGlideInit() {
  record("grGlideInit");
  board().init();
}

FxBool grSstQueryHardware(GrHwConfiguration* hwconfig) {
  record("grSstQueryHardware", static_cast<const void*>(hwconfig));
  const bool present = board().queryHardware();
  if (hwconfig) hwconfig->num_sst = present ? 1 : 0;
  return present ? FXTRUE : FXFALSE;
}

// There is one board; selecting it changes nothing.
void grSstSelect(int whichSst) {
  record("grSstSelect", whichSst);
}

FxU32 grTexMinAddress(GrChipID_t tmu) {
  record("grTexMinAddress", tmu);
  return glide::kTextureMinAddress;
}

FxBool grSstWinOpen(FxU32 hWnd, GrScreenResolution_t resolution, GrScreenRefresh_t refresh,
                    GrColorFormat_t colorFormat, GrOriginLocation_t origin, int nColBuffers,
                    int nAuxBuffers) {
  record("grSstWinOpen", hWnd, resolution, refresh, colorFormat, origin, nColBuffers, nAuxBuffers);
  return board().openWindow(resolution, colorFormat, origin, nColBuffers, nAuxBuffers) ? FXTRUE
                                                                                       : FXFALSE;
}

FxU32 grSstScreenWidth() {
  record("grSstScreenWidth");
  return static_cast<FxU32>(board().screenWidth());
}

FxU32 grSstScreenHeight() {
  record("grSstScreenHeight");
  return static_cast<FxU32>(board().screenHeight());
}

void grRenderBuffer(GrBuffer_t buffer) {
  record("grRenderBuffer", buffer);
  board().setRenderBuffer(buffer);
}

// Only "no culling" exists here, and the board never culls.
void grCullMode(GrCullMode_t mode) {
  record("grCullMode", mode);
}

// Only bilinear filtering exists here, and the board always filters so.
void grTexFilterMode(GrChipID_t tmu, GrTextureFilterMode_t minFilter,
                     GrTextureFilterMode_t magFilter) {
  record("grTexFilterMode", tmu, minFilter, magFilter);
}

// The combine units are fixed on the board: colour from the texture, alpha from the constant
// colour. The calls that set them up are accepted and recorded.
void grTexCombine(GrChipID_t tmu, GrCombineFunction_t rgbFunction, GrCombineFactor_t rgbFactor,
                  GrCombineFunction_t alphaFunction, GrCombineFactor_t alphaFactor,
                  FxBool rgbInvert, FxBool alphaInvert) {
  record("grTexCombine", tmu, rgbFunction, rgbFactor, alphaFunction, alphaFactor, rgbInvert,
         alphaInvert);
}

void grAlphaCombine(GrCombineFunction_t function, GrCombineFactor_t factor, GrCombineLocal_t local,
                    GrCombineOther_t other, FxBool invert) {
  record("grAlphaCombine", function, factor, local, other, invert);
}

void grColorCombine(GrCombineFunction_t function, GrCombineFactor_t factor, GrCombineLocal_t local,
                    GrCombineOther_t other, FxBool invert) {
  record("grColorCombine", function, factor, local, other, invert);
}

void guColorCombineFunction(GrColorCombineFnc_t function) {
  record("guColorCombineFunction", function);
}

// The board has no alpha buffer, so the alpha factors have nothing to act on.
void grAlphaBlendFunction(GrAlphaBlendFnc_t rgbSrc, GrAlphaBlendFnc_t rgbDst,
                          GrAlphaBlendFnc_t alphaSrc, GrAlphaBlendFnc_t alphaDst) {
  record("grAlphaBlendFunction", rgbSrc, rgbDst, alphaSrc, alphaDst);
  board().setBlendFunction(rgbSrc, rgbDst);
}

void grDitherMode(GrDitherMode_t mode) {
  record("grDitherMode", mode);
  board().setDitherMode(mode);
}

// Texture unit 0 is the only one, and a 256 x 256 texture has one level: the unit and the
// level mask change nothing.
void grTexDownloadMipMap(GrChipID_t tmu, FxU32 startAddress, FxU32 evenOdd, GrTexInfo* info) {
  record("grTexDownloadMipMap", tmu, startAddress, evenOdd, static_cast<const GrTexInfo*>(info));
  board().downloadTexture(startAddress, info);
}

void grTexSource(GrChipID_t tmu, FxU32 startAddress, FxU32 evenOdd, GrTexInfo* info) {
  record("grTexSource", tmu, startAddress, evenOdd, static_cast<const GrTexInfo*>(info));
  board().setTextureSource(startAddress, info);
}

void grConstantColorValue(GrColor_t value) {
  record("grConstantColorValue", value);
  board().setConstantColour(value);
}

// The clip window is the whole screen: the board clips every triangle to it.
void guDrawTriangleWithClip(const GrVertex* a, const GrVertex* b, const GrVertex* c) {
  record("guDrawTriangleWithClip", a, b, c);
  if (a && b && c) board().drawTriangle(*a, *b, *c);
}

// The wait for the display's refresh, if any, is the platform's (presentFrame).
void grBufferSwap(int swapInterval) {
  record("grBufferSwap", swapInterval);
  board().swapBuffers();
}

FxBool grLfbReadRegion(GrBuffer_t srcBuffer, FxU32 srcX, FxU32 srcY, FxU32 srcWidth,
                       FxU32 srcHeight, FxU32 dstStride, void* dstData) {
  record("grLfbReadRegion", srcBuffer, srcX, srcY, srcWidth, srcHeight, dstStride,
         static_cast<const void*>(dstData));
  return board().readRegion(srcBuffer, srcX, srcY, srcWidth, srcHeight, dstStride, dstData)
             ? FXTRUE
             : FXFALSE;
}

void grSstWinClose() {
  record("grSstWinClose");
  board().closeWindow();
}

void grGlideShutdown() {
  record("grGlideShutdown");
  board().shutdown();
}
