#include "glide/sdl/frame_scaler.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace {

// Below this many output pixels one thread is quicker than waking the others.
constexpr int64_t kPixelsWorthSharing = 200000;
constexpr int kMostThreads = 4;

// Each channel of a 64-bit word is a 16-bit lane; lane n lands in byte n of the output pixel.
constexpr uint64_t lane(uint64_t value, int index) {
  return value << (16 * index);
}

// A row of RGB565 pixels widened to 8 bits a channel by bit replication, as a texture unit reads
// them: one 64-bit word a pixel, channel n in 16-bit lane `laneOf[n]` (red, green, blue, then
// the fourth, which is set to 255).
void widenRow(const uint16_t* source, int count, const int laneOf[4], uint64_t* widened) {
  const __m128i lowFive = _mm_set1_epi16(31);
  const __m128i lowSix = _mm_set1_epi16(63);
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
    const __m128i red = _mm_srli_epi16(pixels, 11);
    const __m128i green = _mm_and_si128(_mm_srli_epi16(pixels, 5), lowSix);
    const __m128i blue = _mm_and_si128(pixels, lowFive);
    __m128i channels[4];
    channels[laneOf[0]] = _mm_or_si128(_mm_slli_epi16(red, 3), _mm_srli_epi16(red, 2));
    channels[laneOf[1]] = _mm_or_si128(_mm_slli_epi16(green, 2), _mm_srli_epi16(green, 4));
    channels[laneOf[2]] = _mm_or_si128(_mm_slli_epi16(blue, 3), _mm_srli_epi16(blue, 2));
    channels[laneOf[3]] = _mm_set1_epi16(255);
    // Lanes 0 and 1, and 2 and 3, side by side; then both pairs of each pixel together.
    const __m128i low01 = _mm_unpacklo_epi16(channels[0], channels[1]);
    const __m128i high01 = _mm_unpackhi_epi16(channels[0], channels[1]);
    const __m128i low23 = _mm_unpacklo_epi16(channels[2], channels[3]);
    const __m128i high23 = _mm_unpackhi_epi16(channels[2], channels[3]);
    auto* out = reinterpret_cast<__m128i*>(widened + x);
    _mm_storeu_si128(out, _mm_unpacklo_epi32(low01, low23));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(low01, low23));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi32(high01, high23));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi32(high01, high23));
  }
  for (; x < count; ++x) {
    const uint64_t red = source[x] >> 11;
    const uint64_t green = (source[x] >> 5) & 63;
    const uint64_t blue = source[x] & 31;
    widened[x] = lane((red << 3) | (red >> 2), laneOf[0]) +
                 lane((green << 2) | (green >> 4), laneOf[1]) +
                 lane((blue << 3) | (blue >> 2), laneOf[2]) + lane(255, laneOf[3]);
  }
}

// Widened pixels narrowed back to 8-bit channels: the output pixels of a frame shown one to one.
void narrowRow(const uint64_t* widened, int count, uint8_t* out) {
  int x = 0;
  for (; x + 4 <= count; x += 4) {
    const auto* pairs = reinterpret_cast<const __m128i*>(widened + x);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                     _mm_packus_epi16(_mm_loadu_si128(pairs), _mm_loadu_si128(pairs + 1)));
  }
  for (; x < count; ++x) {
    for (int byte = 0; byte < 4; ++byte) {
      out[4 * x + byte] = static_cast<uint8_t>(widened[x] >> (16 * byte));
    }
  }
}

// Each output pixel of a row scaled across: the two source pixels it samples, side by side in
// one 128-bit load, times their weights (each lane holds at most 255 and the weights add up to
// 256, so no lane overflows), the two halves added and rounded to 8 bits.
void scaleAcross(const uint64_t* widened, const int32_t* first, const uint64_t* weights,
                 uint64_t* across, int count) {
  const __m128i half = _mm_set1_epi16(128);
  for (int x = 0; x < count; ++x) {
    const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(widened + first[x]));
    const __m128i weight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 2 * x));
    const __m128i products = _mm_mullo_epi16(pair, weight);
    const __m128i sum = _mm_add_epi16(products, _mm_unpackhi_epi64(products, products));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(across + x),
                     _mm_srli_epi16(_mm_add_epi16(sum, half), 8));
  }
}

// Sixteen 16-bit lanes (on AVX2 one register, on SSE2 two) and the bytes they narrow to.
using Lanes = uint16_t __attribute__((vector_size(32)));
using LaneBytes = uint8_t __attribute__((vector_size(16)));

// Blends two rows of 8-bit lanes, weights in 1/256 adding up to 256 (so no lane overflows),
// rounded to the nearest. Written once and compiled twice, for AVX2 and for any x86-64.
[[gnu::always_inline]] inline void blendRowsBody(const uint16_t* top, const uint16_t* bottom,
                                                 uint16_t topWeight, uint16_t bottomWeight,
                                                 uint8_t* out, int lanes) {
  int i = 0;
  for (; i + 16 <= lanes; i += 16) {
    Lanes a, b;
    std::memcpy(&a, top + i, sizeof a);
    std::memcpy(&b, bottom + i, sizeof b);
    const Lanes sum = (a * topWeight + b * bottomWeight + 128) >> 8;
    const LaneBytes bytes = __builtin_convertvector(sum, LaneBytes);
    std::memcpy(out + i, &bytes, sizeof bytes);
  }
  for (; i < lanes; ++i) {
    out[i] = static_cast<uint8_t>((top[i] * topWeight + bottom[i] * bottomWeight + 128) >> 8);
  }
}

using BlendRows = void (*)(const uint16_t*, const uint16_t*, uint16_t, uint16_t, uint8_t*, int);

[[gnu::target("avx2")]] void blendRowsAvx2(const uint16_t* top, const uint16_t* bottom,
                                           uint16_t topWeight, uint16_t bottomWeight,
                                           uint8_t* out, int lanes) {
  blendRowsBody(top, bottom, topWeight, bottomWeight, out, lanes);
}

void blendRowsPlain(const uint16_t* top, const uint16_t* bottom, uint16_t topWeight,
                    uint16_t bottomWeight, uint8_t* out, int lanes) {
  blendRowsBody(top, bottom, topWeight, bottomWeight, out, lanes);
}

// Chosen by hand at the first call, not by target_clones: the resolver function that
// target_clones makes runs while the program is being relocated, before a sanitizer's runtime
// is ready, and ThreadSanitizer's instrumentation of it crashed every program before main.
void blendRows(const uint16_t* top, const uint16_t* bottom, uint16_t topWeight,
               uint16_t bottomWeight, uint8_t* out, int lanes) {
  static const BlendRows chosen =
      __builtin_cpu_supports("avx2") ? blendRowsAvx2 : blendRowsPlain;
  chosen(top, bottom, topWeight, bottomWeight, out, lanes);
}

}  // namespace

ScreenRect fitFrame(int frameWidth, int frameHeight, int outWidth, int outHeight) {
  ScreenRect rect{0, 0, outWidth, outHeight};
  if (frameWidth <= 0 || frameHeight <= 0 || outWidth <= 0 || outHeight <= 0) return {};
  const int64_t widthLimited = static_cast<int64_t>(outWidth) * frameHeight;
  const int64_t heightLimited = static_cast<int64_t>(outHeight) * frameWidth;
  if (widthLimited <= heightLimited) {
    rect.height = static_cast<int>(widthLimited / frameWidth);
  } else {
    rect.width = static_cast<int>(heightLimited / frameHeight);
  }
  rect.x = (outWidth - rect.width) / 2;
  rect.y = (outHeight - rect.height) / 2;
  return rect;
}

PixelCanvas PixelCanvas::part(const ScreenRect& rect) const {
  PixelCanvas inner = *this;
  inner.pixels =
      pixels + static_cast<ptrdiff_t>(rect.y) * pitch + static_cast<ptrdiff_t>(rect.x) * 4;
  inner.width = rect.width;
  inner.height = rect.height;
  return inner;
}

void paintBars(const PixelCanvas& canvas, const ScreenRect& frame) {
  uint8_t black[4] = {255, 255, 255, 255};
  black[canvas.redByte] = black[canvas.greenByte] = black[canvas.blueByte] = 0;
  uint32_t blackPixel = 0;
  std::memcpy(&blackPixel, black, 4);
  const auto fill = [&](int y, int x, int count) {
    uint8_t* at = canvas.pixels + static_cast<ptrdiff_t>(y) * canvas.pitch + x * 4;
    for (int i = 0; i < count; ++i) std::memcpy(at + i * 4, &blackPixel, 4);
  };
  const int frameTop = std::clamp(frame.y, 0, canvas.height);
  const int frameBottom = std::clamp(frame.y + frame.height, frameTop, canvas.height);
  const int frameLeft = std::clamp(frame.x, 0, canvas.width);
  const int frameRight = std::clamp(frame.x + frame.width, frameLeft, canvas.width);
  for (int y = 0; y < canvas.height; ++y) {
    if (y < frameTop || y >= frameBottom) {
      fill(y, 0, canvas.width);
    } else {
      fill(y, 0, frameLeft);
      fill(y, frameRight, canvas.width - frameRight);
    }
  }
}

FrameScaler::FrameScaler(int threads) {
  if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
  threads = std::clamp(threads, 1, kMostThreads);
  bands_.resize(static_cast<size_t>(threads));
  for (int i = 0; i + 1 < threads; ++i) helpers_.emplace_back(&FrameScaler::helperLoop, this, i);
}

FrameScaler::~FrameScaler() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  jobReady_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

ScreenRect FrameScaler::present(const uint16_t* frame, int width, int height,
                                const PixelCanvas& canvas, bool withBars) {
  const ScreenRect rect = fitFrame(width, height, canvas.width, canvas.height);
  if (withBars) paintBars(canvas, rect);
  scale(frame, width, height, canvas.part(rect));
  return rect;
}

void FrameScaler::scale(const uint16_t* frame, int width, int height, const PixelCanvas& canvas) {
  if (!frame || width <= 0 || height <= 0 || canvas.width <= 0 || canvas.height <= 0) return;
  prepare(width, height, canvas);
  frame_ = frame;
  const int64_t pixels = static_cast<int64_t>(canvas.width) * canvas.height;
  const int bands = pixels < kPixelsWorthSharing ? 1 : static_cast<int>(bands_.size());
  runBands(bands);
  frame_ = nullptr;
}

// Output pixel i of `outputs` has its centre at (i + 0.5) / outputs of the way across, which is
// source position (i + 0.5) * sources / outputs - 0.5 in pixel centres; before the first centre
// and after the last the edge pixel stands alone.
void FrameScaler::sampleTaps(int sources, int outputs, std::vector<Tap>& taps) {
  taps.resize(static_cast<size_t>(outputs));
  for (int i = 0; i < outputs; ++i) {
    const int64_t halfSteps = (2 * static_cast<int64_t>(i) + 1) * sources - outputs;
    const int64_t position = halfSteps <= 0 ? 0 : halfSteps * 128 / outputs;  // in 1/256 pixel
    Tap& tap = taps[static_cast<size_t>(i)];
    tap.first = static_cast<int>(position >> 8);
    tap.weight = static_cast<int>(position & 255);
    if (tap.first >= sources - 1) {
      tap.first = sources - 1;
      tap.weight = 0;
    }
    tap.second = std::min(tap.first + 1, sources - 1);
  }
}

void FrameScaler::prepare(int width, int height, const PixelCanvas& canvas) {
  const bool sameSizes = width == frameWidth_ && height == frameHeight_ &&
                         canvas.width == static_cast<int>(columnFirst_.size()) &&
                         canvas.height == static_cast<int>(rows_.size());
  frameWidth_ = width;
  frameHeight_ = height;
  canvas_ = canvas;
  if (!sameSizes) {
    std::vector<Tap> columns;
    sampleTaps(width, canvas.width, columns);
    sampleTaps(height, canvas.height, rows_);
    columnFirst_.resize(columns.size());
    columnWeights_.resize(2 * columns.size());
    for (size_t x = 0; x < columns.size(); ++x) {
      constexpr uint64_t kEveryLane = 0x0001000100010001;
      columnFirst_[x] = columns[x].first;
      columnWeights_[2 * x] = kEveryLane * static_cast<uint64_t>(256 - columns[x].weight);
      columnWeights_[2 * x + 1] = kEveryLane * static_cast<uint64_t>(columns[x].weight);
    }
    for (Band& band : bands_) {
      band.widened.assign(static_cast<size_t>(width) + 1, 0);
      band.across[0].assign(static_cast<size_t>(canvas.width), 0);
      band.across[1].assign(static_cast<size_t>(canvas.width), 0);
    }
  }
  for (Band& band : bands_) band.acrossRow[0] = band.acrossRow[1] = -1;
  laneOf_[0] = canvas.redByte;
  laneOf_[1] = canvas.greenByte;
  laneOf_[2] = canvas.blueByte;
  laneOf_[3] = 6 - canvas.redByte - canvas.greenByte - canvas.blueByte;
}

// Source row `sourceRow` widened and scaled across into one of the band's two row slots (never
// the one holding `keepRow`); each lane then holds its channel rounded to 8 bits.
const uint64_t* FrameScaler::scaledAcross(Band& band, int sourceRow, int keepRow) {
  for (int slot = 0; slot < 2; ++slot) {
    if (band.acrossRow[slot] == sourceRow) return band.across[slot].data();
  }
  const int slot = band.acrossRow[0] == keepRow ? 1 : 0;
  band.acrossRow[slot] = sourceRow;

  const uint16_t* source = frame_ + static_cast<ptrdiff_t>(sourceRow) * frameWidth_;
  uint64_t* widened = band.widened.data();
  widenRow(source, frameWidth_, laneOf_, widened);
  // The right edge samples its last pixel alone, but loads it with the next: keep that in the row.
  widened[frameWidth_] = widened[frameWidth_ - 1];
  scaleAcross(widened, columnFirst_.data(), columnWeights_.data(), band.across[slot].data(),
              canvas_.width);
  return band.across[slot].data();
}

void FrameScaler::scaleRows(Band& band, int firstRow, int endRow) {
  if (frameWidth_ == canvas_.width && frameHeight_ == canvas_.height) {
    for (int y = firstRow; y < endRow; ++y) {
      widenRow(frame_ + static_cast<ptrdiff_t>(y) * frameWidth_, frameWidth_, laneOf_,
               band.widened.data());
      narrowRow(band.widened.data(), frameWidth_,
                canvas_.pixels + static_cast<ptrdiff_t>(y) * canvas_.pitch);
    }
    return;
  }
  for (int y = firstRow; y < endRow; ++y) {
    const Tap tap = rows_[static_cast<size_t>(y)];
    const auto* top = reinterpret_cast<const uint16_t*>(scaledAcross(band, tap.first, tap.second));
    const auto* bottom =
        reinterpret_cast<const uint16_t*>(scaledAcross(band, tap.second, tap.first));
    blendRows(top, bottom, static_cast<uint16_t>(256 - tap.weight),
              static_cast<uint16_t>(tap.weight),
              canvas_.pixels + static_cast<ptrdiff_t>(y) * canvas_.pitch, canvas_.width * 4);
  }
}

void FrameScaler::runBands(int bands) {
  const int rows = canvas_.height;
  if (bands <= 1) {
    scaleRows(bands_[0], 0, rows);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    ++job_;
    bandsInJob_ = bands;
    bandsLeft_ = bands - 1;
  }
  jobReady_.notify_all();
  scaleRows(bands_[0], 0, rows / bands);
  std::unique_lock lock(mutex_);
  jobDone_.wait(lock, [this] { return bandsLeft_ == 0; });
}

void FrameScaler::helperLoop(int index) {
  const int band = index + 1;
  uint64_t seen = 0;
  for (;;) {
    int bands = 0;
    {
      std::unique_lock lock(mutex_);
      jobReady_.wait(lock, [&] { return stopping_ || job_ != seen; });
      if (stopping_) return;
      seen = job_;
      bands = bandsInJob_;
    }
    if (band >= bands) continue;
    const int rows = canvas_.height;
    scaleRows(bands_[static_cast<size_t>(band)], rows * band / bands, rows * (band + 1) / bands);
    std::lock_guard lock(mutex_);
    if (--bandsLeft_ == 0) jobDone_.notify_one();
  }
}
