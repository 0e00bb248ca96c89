// Placeholder entry points until the software board lands: enough to start and stop.
#include "glide/glide.h"
#include "glide/platform.h"

void grGlideInit() {}
FxBool grSstQueryHardware(GrHwConfiguration* hw) {
  hw->num_sst = 1;
  return platform::startPresentation() ? FXTRUE : FXFALSE;
}
void grSstSelect(int) {}
FxU32 grTexMinAddress(GrChipID_t) { return 0; }
FxBool grSstWinOpen(FxU32, GrScreenResolution_t, GrScreenRefresh_t, GrColorFormat_t,
                    GrOriginLocation_t, int, int) {
  return FXFALSE;
}
FxU32 grSstScreenWidth() { return 0; }
FxU32 grSstScreenHeight() { return 0; }
void grRenderBuffer(GrBuffer_t) {}
void grCullMode(GrCullMode_t) {}
void grTexFilterMode(GrChipID_t, GrTextureFilterMode_t, GrTextureFilterMode_t) {}
void grTexCombine(GrChipID_t, GrCombineFunction_t, GrCombineFactor_t, GrCombineFunction_t,
                  GrCombineFactor_t, FxBool, FxBool) {}
void grAlphaCombine(GrCombineFunction_t, GrCombineFactor_t, GrCombineLocal_t, GrCombineOther_t,
                    FxBool) {}
void grColorCombine(GrCombineFunction_t, GrCombineFactor_t, GrCombineLocal_t, GrCombineOther_t,
                    FxBool) {}
void grAlphaBlendFunction(GrAlphaBlendFnc_t, GrAlphaBlendFnc_t, GrAlphaBlendFnc_t,
                          GrAlphaBlendFnc_t) {}
void guColorCombineFunction(GrColorCombineFnc_t) {}
void grDitherMode(GrDitherMode_t) {}
void grTexDownloadMipMap(GrChipID_t, FxU32, FxU32, GrTexInfo*) {}
void grTexSource(GrChipID_t, FxU32, FxU32, GrTexInfo*) {}
void grConstantColorValue(GrColor_t) {}
void guDrawTriangleWithClip(const GrVertex*, const GrVertex*, const GrVertex*) {}
void grBufferSwap(int) {}
FxBool grLfbReadRegion(GrBuffer_t, FxU32, FxU32, FxU32, FxU32, FxU32, void*) { return FXFALSE; }
void grSstWinClose() {}
void grGlideShutdown() {}
