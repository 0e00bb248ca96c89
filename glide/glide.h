// The Glide 2.x calls that this system makes, with the types and constant values they take.
// Nothing more: every other Glide name is deliberately absent. Behind these calls stands our
// software board (glide/board.h), which behaves like the 16-bit accelerator the programs were
// written for.
#pragma once

#include <cstdint>

using FxU8 = uint8_t;
using FxU32 = uint32_t;
using FxI32 = int32_t;
using FxBool = int32_t;
using FxFloat = float;

constexpr FxBool FXFALSE = 0;
constexpr FxBool FXTRUE = 1;

using GrChipID_t = FxI32;
using GrScreenResolution_t = FxI32;
using GrScreenRefresh_t = FxI32;
using GrColorFormat_t = FxI32;
using GrOriginLocation_t = FxI32;
using GrBuffer_t = FxI32;
using GrCullMode_t = FxI32;
using GrTextureFilterMode_t = FxI32;
using GrCombineFunction_t = FxI32;
using GrCombineFactor_t = FxI32;
using GrCombineLocal_t = FxI32;
using GrCombineOther_t = FxI32;
using GrAlphaBlendFnc_t = FxI32;
using GrColorCombineFnc_t = FxI32;
using GrDitherMode_t = FxI32;
using GrLOD_t = FxI32;
using GrAspectRatio_t = FxI32;
using GrTextureFormat_t = FxI32;
using GrColor_t = FxU32;

// Texture units
constexpr GrChipID_t GR_TMU0 = 0;

// Video modes (the board's buffer size)
constexpr GrScreenResolution_t GR_RESOLUTION_512x384 = 3;
constexpr GrScreenResolution_t GR_RESOLUTION_640x480 = 7;
constexpr GrScreenResolution_t GR_RESOLUTION_800x600 = 8;
constexpr GrScreenResolution_t GR_RESOLUTION_1024x768 = 12;
constexpr GrScreenResolution_t GR_RESOLUTION_1280x1024 = 13;
constexpr GrScreenResolution_t GR_RESOLUTION_1600x1200 = 14;
constexpr GrScreenRefresh_t GR_REFRESH_60Hz = 0;
constexpr GrColorFormat_t GR_COLORFORMAT_RGBA = 2;  // a colour reads 0xRRGGBBAA
constexpr GrOriginLocation_t GR_ORIGIN_UPPER_LEFT = 0;

// Buffers
constexpr GrBuffer_t GR_BUFFER_FRONTBUFFER = 0;
constexpr GrBuffer_t GR_BUFFER_BACKBUFFER = 1;

// Render state
constexpr GrCullMode_t GR_CULL_DISABLE = 0;
constexpr GrTextureFilterMode_t GR_TEXTUREFILTER_BILINEAR = 1;
constexpr GrCombineFunction_t GR_COMBINE_FUNCTION_LOCAL = 1;
constexpr GrCombineFunction_t GR_COMBINE_FUNCTION_SCALE_OTHER = 3;
constexpr GrCombineFactor_t GR_COMBINE_FACTOR_NONE = 0;
constexpr GrCombineFactor_t GR_COMBINE_FACTOR_ONE = 8;
constexpr GrCombineLocal_t GR_COMBINE_LOCAL_ITERATED = 0;
constexpr GrCombineLocal_t GR_COMBINE_LOCAL_CONSTANT = 1;
constexpr GrCombineOther_t GR_COMBINE_OTHER_TEXTURE = 1;
constexpr GrCombineOther_t GR_COMBINE_OTHER_CONSTANT = 2;
constexpr GrAlphaBlendFnc_t GR_BLEND_ZERO = 0;
constexpr GrAlphaBlendFnc_t GR_BLEND_SRC_ALPHA = 1;
constexpr GrAlphaBlendFnc_t GR_BLEND_ONE = 4;
constexpr GrAlphaBlendFnc_t GR_BLEND_ONE_MINUS_SRC_ALPHA = 5;
constexpr GrColorCombineFnc_t GR_COLORCOMBINE_DECAL_TEXTURE = 4;
constexpr GrDitherMode_t GR_DITHER_DISABLE = 0;
constexpr GrDitherMode_t GR_DITHER_2x2 = 1;
constexpr GrDitherMode_t GR_DITHER_4x4 = 2;

// Textures
constexpr GrLOD_t GR_LOD_256 = 0;
constexpr GrAspectRatio_t GR_ASPECT_1x1 = 3;
constexpr GrTextureFormat_t GR_TEXFMT_RGB_565 = 10;
constexpr FxU32 GR_MIPMAPLEVELMASK_BOTH = 3;

struct GrTexInfo {
  GrLOD_t smallLod;
  GrLOD_t largeLod;
  GrAspectRatio_t aspectRatio;
  GrTextureFormat_t format;
  void* data;
};

// Per texture unit: texture coordinates divided by w, and 1/w.
struct GrTmuVertex {
  float sow;
  float tow;
  float oow;
};

// 15 floats. Under our render state only x, y, oow and tmuvtx[0] are read.
struct GrVertex {
  float x, y, z;
  float r, g, b;
  float ooz;
  float a;
  float oow;
  GrTmuVertex tmuvtx[2];
};

// What grSstQueryHardware fills in. Nothing of it is relied on beyond the call's result.
struct GrHwConfiguration {
  int num_sst;
};

void grGlideInit();
FxBool grSstQueryHardware(GrHwConfiguration* hwconfig);
void grSstSelect(int whichSst);
FxU32 grTexMinAddress(GrChipID_t tmu);
FxBool grSstWinOpen(FxU32 hWnd, GrScreenResolution_t resolution, GrScreenRefresh_t refresh,
                    GrColorFormat_t colorFormat, GrOriginLocation_t origin, int nColBuffers,
                    int nAuxBuffers);
FxU32 grSstScreenWidth();
FxU32 grSstScreenHeight();
void grRenderBuffer(GrBuffer_t buffer);
void grCullMode(GrCullMode_t mode);
void grTexFilterMode(GrChipID_t tmu, GrTextureFilterMode_t minFilter,
                     GrTextureFilterMode_t magFilter);
void grTexCombine(GrChipID_t tmu, GrCombineFunction_t rgbFunction, GrCombineFactor_t rgbFactor,
                  GrCombineFunction_t alphaFunction, GrCombineFactor_t alphaFactor,
                  FxBool rgbInvert, FxBool alphaInvert);
void grAlphaCombine(GrCombineFunction_t function, GrCombineFactor_t factor, GrCombineLocal_t local,
                    GrCombineOther_t other, FxBool invert);
void grColorCombine(GrCombineFunction_t function, GrCombineFactor_t factor, GrCombineLocal_t local,
                    GrCombineOther_t other, FxBool invert);
void grAlphaBlendFunction(GrAlphaBlendFnc_t rgbSrc, GrAlphaBlendFnc_t rgbDst,
                          GrAlphaBlendFnc_t alphaSrc, GrAlphaBlendFnc_t alphaDst);
void guColorCombineFunction(GrColorCombineFnc_t function);
void grDitherMode(GrDitherMode_t mode);
void grTexDownloadMipMap(GrChipID_t tmu, FxU32 startAddress, FxU32 evenOdd, GrTexInfo* info);
void grTexSource(GrChipID_t tmu, FxU32 startAddress, FxU32 evenOdd, GrTexInfo* info);
void grConstantColorValue(GrColor_t value);
void guDrawTriangleWithClip(const GrVertex* a, const GrVertex* b, const GrVertex* c);
void grBufferSwap(int swapInterval);
FxBool grLfbReadRegion(GrBuffer_t srcBuffer, FxU32 srcX, FxU32 srcY, FxU32 srcWidth,
                       FxU32 srcHeight, FxU32 dstStride, void* dstData);
void grSstWinClose();
void grGlideShutdown();
