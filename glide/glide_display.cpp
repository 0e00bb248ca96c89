#include "glide/glide_display.h"

#include <cfenv>
#include <cstdlib>
#include <iterator>

#include "engine/messages.h"
#include "glide/platform.h"

namespace {

// The video mode for a play square: the smallest mode whose height holds it.
struct VideoMode {
  int32_t maxViewSize;
  GrScreenResolution_t resolution;
  const char* failureText;
};
constexpr VideoMode kVideoModes[] = {
    {384, GR_RESOLUTION_512x384, " Couldn't set 3dfx videomode 512x384."},
    {480, GR_RESOLUTION_640x480, " Couldn't set 3dfx videomode 640x480."},
    {600, GR_RESOLUTION_800x600, " Couldn't set 3dfx videomode 800x600."},
    {768, GR_RESOLUTION_1024x768, " Couldn't set 3dfx videomode 1024x768."},
    {1024, GR_RESOLUTION_1280x1024, " Couldn't set 3dfx videomode 1280x1024."},
    {1200, GR_RESOLUTION_1600x1200, " Couldn't set 3dfx videomode 1600x1200."},
};
constexpr int32_t kMinViewSize = 10;
constexpr int32_t kMaxViewSize = 1200;

// 3 * 2^18: a float of this magnitude has a step of exactly 1/16, so adding and subtracting it
// leaves a coordinate on the nearest 1/16 pixel (ties to even), as the board's vertex snapping
// expects. Holds for |x| up to 262144.
constexpr float kSnapBias = 786432.0f;

// Two float operations, each rounded on its own (no fast-math: the compiler keeps both).
float snapToSixteenth(float coordinate) {
  return (coordinate + kSnapBias) - kSnapBias;
}

// The board's accelerator wanted the FPU in single precision, rounding to nearest, every
// exception masked. SSE float arithmetic is single precision by nature; what is left to make
// sure of is the rounding and the masks, which a library loaded into the process may have
// changed. Like the original, this is not undone when the display closes.
void setFpuSinglePrecision() {
  std::fesetround(FE_TONEAREST);
  fedisableexcept(FE_ALL_EXCEPT);
}

// The constant colour for an alpha of 0..255: the alpha truncated toward zero (254.99 gives
// 254, anything below 1 gives 0). A negative alpha draws as 0: a transition of hundreds of
// thousands of frames can end its running sum below 0, and the low byte of -1 would make the
// source picture opaque for a frame. Above 255 it draws as 255, which also keeps the conversion
// defined for any float.
GrColor_t constantAlpha(float alpha) {
  if (!(alpha >= 1.0f)) return 0;  // also NaN
  if (alpha >= 255.0f) return 255;
  return static_cast<GrColor_t>(static_cast<int32_t>(alpha));
}

}  // namespace

GlideDisplay::GlideDisplay() {
  grGlideInit();
  GrHwConfiguration hardware{};
  if (!grSstQueryHardware(&hardware)) {
    platform::showMessage(kNoHardwareMessage, kEngineErrorCaption);
    std::exit(1);
  }
  grSstSelect(0);
  textureBase = grTexMinAddress(GR_TMU0);
}

GlideDisplay::~GlideDisplay() {
  grGlideShutdown();
}

int32_t GlideDisplay::openDisplay(int32_t playSize) {
  viewSize = playSize < kMinViewSize ? kMinViewSize : playSize;
  const VideoMode* mode = &kVideoModes[std::size(kVideoModes) - 1];
  for (const VideoMode& candidate : kVideoModes) {
    if (viewSize <= candidate.maxViewSize) {
      mode = &candidate;
      break;
    }
  }
  if (viewSize > kMaxViewSize) viewSize = kMaxViewSize;

  if (!grSstWinOpen(0, mode->resolution, GR_REFRESH_60Hz, GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT,
                    2, 0)) {
    platform::showMessage(mode->failureText, kEngineErrorCaption);
    return 1;
  }
  setFpuSinglePrecision();
  originX = (static_cast<int32_t>(grSstScreenWidth()) - viewSize) >> 1;
  originY = (static_cast<int32_t>(grSstScreenHeight()) - viewSize) >> 1;

  grRenderBuffer(GR_BUFFER_BACKBUFFER);
  grCullMode(GR_CULL_DISABLE);
  grTexFilterMode(GR_TMU0, GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR);
  grTexCombine(GR_TMU0, GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_NONE,
               GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_NONE, FXFALSE, FXFALSE);
  grAlphaCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_CONSTANT,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_NONE, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO,
                       GR_BLEND_ZERO);
  guColorCombineFunction(GR_COLORCOMBINE_DECAL_TEXTURE);
  return 0;
}

void GlideDisplay::setDitherMode(GrDitherMode_t mode) {
  grDitherMode(mode);
}

void GlideDisplay::resetTextureMemory() {
  textureBase = grTexMinAddress(GR_TMU0);
}

void GlideDisplay::closeDisplay() {
  grSstWinClose();
}

void GlideDisplay::downloadTexture(PictureSlot& slot) {
  slot.texAddress = textureBase;
  textureBase += kPictureBytes;
  slot.texInfo.smallLod = GR_LOD_256;
  slot.texInfo.largeLod = GR_LOD_256;
  slot.texInfo.aspectRatio = GR_ASPECT_1x1;
  slot.texInfo.format = GR_TEXFMT_RGB_565;
  slot.texInfo.data = slot.image ? slot.image->pixels : nullptr;
  grTexDownloadMipMap(GR_TMU0, slot.texAddress, GR_MIPMAPLEVELMASK_BOTH, &slot.texInfo);
}

void GlideDisplay::drawQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                            float y3, float s0, float t0, float s1, float t1, float s2, float t2,
                            float s3, float t3, float alpha, const PictureSlot& picture) {
  GrTexInfo texInfo = picture.texInfo;
  grTexSource(GR_TMU0, picture.texAddress, GR_MIPMAPLEVELMASK_BOTH, &texInfo);
  grConstantColorValue(constantAlpha(alpha));

  const float xs[4] = {x0, x1, x2, x3};
  const float ys[4] = {y0, y1, y2, y3};
  const float ss[4] = {s0, s1, s2, s3};
  const float ts[4] = {t0, t1, t2, t3};
  const float left = static_cast<float>(originX);
  const float top = static_cast<float>(originY);
  // Every field given, the unused ones zero: clearing the four vertices first and then
  // filling them in cost more than the rest of this function.
  GrVertex corners[4];
  for (int i = 0; i < 4; ++i) {
    corners[i] = {.x = snapToSixteenth(left + xs[i]),
                  .y = snapToSixteenth(top + ys[i]),
                  .z = 0.0f,
                  .r = 0.0f,
                  .g = 0.0f,
                  .b = 0.0f,
                  .ooz = 0.0f,
                  .a = 0.0f,
                  .oow = 1.0f,
                  .tmuvtx = {{.sow = ss[i], .tow = ts[i], .oow = 1.0f},
                             {.sow = 0.0f, .tow = 0.0f, .oow = 0.0f}}};
  }
  guDrawTriangleWithClip(&corners[0], &corners[1], &corners[2]);
  guDrawTriangleWithClip(&corners[0], &corners[2], &corners[3]);
}

void GlideDisplay::swapBuffers() {
  grBufferSwap(1);
}
