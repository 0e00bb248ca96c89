// The software board under any sequence of Glide drawing calls: triangles anywhere (huge, NaN,
// degenerate), cells drawn as the display part draws them (two triangles split along a
// diagonal, once or twice over with another texture), any alpha, blend, dither and texture
// source, swaps in between. The same calls are made on the reference rasteriser and on the
// fast path compiled for each instruction set this processor runs; any difference in either
// buffer, like any crash (a read past texture memory among them), is a failure.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "glide/board_testing.h"
#include "glide/glide.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return used_ >= size_; }
  uint8_t byte() { return used_ < size_ ? data_[used_++] : 0; }
  int16_t word() { return static_cast<int16_t>(byte() | (byte() << 8)); }
  // A step of up to 32 in quarters, either way.
  float offset() { return static_cast<int8_t>(byte()) / 4.0f; }
  // On the 512 x 384 screen or a little beyond it, on the 1/16 grid.
  float onScreen() { return static_cast<uint16_t>(word()) % 9000 / 16.0f - 20.0f; }
  // Mostly a coordinate on the 1/16 grid within a few screens; now and then any float at all.
  float coordinate() {
    if (byte() % 16 != 0) return word() / 16.0f;
    uint32_t bits = static_cast<uint32_t>(word()) << 16 | static_cast<uint16_t>(word());
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t used_ = 0;
};

struct Textures {
  std::vector<uint16_t> pixels[2];
  GrTexInfo info[2];
};

// The texture at the top of texture memory: its last texel is the last of the memory.
constexpr FxU32 kTopAddress = glide::kTextureMemoryBytes - glide::kTextureBytes;

void setTextureSource(uint8_t which, Textures& textures) {
  const FxU32 address = which % 8 == 7 ? kTopAddress
                                       : grTexMinAddress(GR_TMU0) + (which % 3) * 0x20000 +
                                             (which & 0x80);
  grTexSource(GR_TMU0, address, GR_MIPMAPLEVELMASK_BOTH, &textures.info[which % 2]);
}

// A quad whose corners and texture coordinates lie near a starting point (so mostly a small,
// well-formed cell, sometimes folded or degenerate), drawn with one or two layers: each layer
// its own texture, alpha and texture coordinates, split along the diagonal 0-2.
void drawCell(Input& input, Textures& textures) {
  GrVertex corners[4] = {};
  const float x = input.onScreen();
  const float y = input.onScreen() * 0.75f;
  const float scale = 1.0f + input.byte() % 8;
  for (GrVertex& corner : corners) {
    corner.x = x + input.offset() * scale;
    corner.y = y + input.offset() * scale;
    corner.oow = 1.0f;
  }
  const int layers = 1 + input.byte() % 2;
  for (int layer = 0; layer < layers; ++layer) {
    setTextureSource(input.byte(), textures);
    grConstantColorValue(layer == 0 && input.byte() % 4 != 0 ? 255 : input.byte());
    const float s = input.coordinate();
    const float t = input.coordinate();
    const float textureScale = 0.25f * (1 + input.byte() % 16);
    for (GrVertex& corner : corners) {
      corner.tmuvtx[0] = {s + input.offset() * textureScale, t + input.offset() * textureScale,
                          1.0f};
    }
    guDrawTriangleWithClip(&corners[0], &corners[1], &corners[2]);
    guDrawTriangleWithClip(&corners[0], &corners[2], &corners[3]);
  }
}

void play(const uint8_t* data, size_t size, Textures& textures) {
  grSstWinOpen(0, GR_RESOLUTION_512x384, GR_REFRESH_60Hz, GR_COLORFORMAT_RGBA, GR_ORIGIN_UPPER_LEFT,
               2, 0);
  for (int k = 0; k < 2; ++k) {
    grTexDownloadMipMap(GR_TMU0, grTexMinAddress(GR_TMU0) + k * 0x20000, GR_MIPMAPLEVELMASK_BOTH,
                        &textures.info[k]);
  }
  grTexDownloadMipMap(GR_TMU0, kTopAddress, GR_MIPMAPLEVELMASK_BOTH, &textures.info[1]);
  Input input(data, size);
  const GrAlphaBlendFnc_t factors[] = {GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, GR_BLEND_ONE,
                                       GR_BLEND_ONE_MINUS_SRC_ALPHA};
  for (int step = 0; step < 48 && !input.empty(); ++step) {
    switch (input.byte() % 10) {
      case 0:
        grConstantColorValue(input.byte());
        break;
      case 1:
        grDitherMode(input.byte() % 3);
        break;
      case 2:
        grAlphaBlendFunction(factors[input.byte() % 4], factors[input.byte() % 4], GR_BLEND_ZERO,
                             GR_BLEND_ZERO);
        break;
      case 3:
        setTextureSource(input.byte(), textures);
        break;
      case 4:
        grBufferSwap(1);
        break;
      case 5:
      case 6:
        drawCell(input, textures);
        break;
      default: {
        GrVertex corners[3] = {};
        for (GrVertex& corner : corners) {
          corner.x = input.coordinate();
          corner.y = input.coordinate();
          corner.oow = 1.0f;
          corner.tmuvtx[0] = {input.coordinate(), input.coordinate(), 1.0f};
        }
        guDrawTriangleWithClip(&corners[0], &corners[1], &corners[2]);
        break;
      }
    }
  }
}

std::vector<uint16_t> buffers() {
  std::vector<uint16_t> both;
  for (const glide::Surface surface :
       {glide::testing::frontBuffer(), glide::testing::backBuffer()}) {
    both.insert(both.end(), surface.pixels, surface.pixels + surface.width * surface.height);
  }
  return both;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Textures textures = [] {
    Textures made;
    for (int k = 0; k < 2; ++k) {
      made.pixels[k].resize(256 * 256);
      for (int i = 0; i < 256 * 256; ++i) {
        made.pixels[k][i] = static_cast<uint16_t>((i * (k ? 2654435761u : 40503u)) >> 7);
      }
      made.info[k] = {GR_LOD_256, GR_LOD_256, GR_ASPECT_1x1, GR_TEXFMT_RGB_565,
                      made.pixels[k].data()};
    }
    return made;
  }();
  grGlideInit();
  GrHwConfiguration hardware;
  grSstQueryHardware(&hardware);
  glide::testing::setRasterPath(glide::RasterPath::Reference);
  play(data, size, textures);
  const std::vector<uint16_t> expected = buffers();
  for (const glide::RasterPath path : glide::kRasterPaths) {
    if (path == glide::RasterPath::Reference || !glide::testing::setRasterPath(path)) continue;
    play(data, size, textures);
    if (buffers() != expected) __builtin_trap();
  }
  grSstWinClose();
  grGlideShutdown();
  return 0;
}
