// The window surface's scaler, without a display: where a frame lands, the bars around it, and
// the scaled pixels themselves against the plain reference.
#include "glide/sdl/frame_scaler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "glide/scaler_reference.h"

// GoogleTest finds it beside ScreenRect.
inline void PrintTo(const ScreenRect& rect, std::ostream* out) {
  *out << rect.width << "x" << rect.height << "+" << rect.x << "+" << rect.y;
}

namespace {

// A canvas inside a larger block whose other bytes are a marker, so that a write outside the
// canvas shows.
struct GuardedCanvas {
  GuardedCanvas(int width, int height, int redByte = 2, int greenByte = 1, int blueByte = 0)
      : pitch(width * 4 + 12), bytes(static_cast<size_t>(pitch) * (height + 2), kMarker) {
    canvas = {bytes.data() + pitch + 4, width, height, pitch, redByte, greenByte, blueByte};
  }
  bool guardIntact() const {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const ptrdiff_t offset = static_cast<ptrdiff_t>(i) - (canvas.pixels - bytes.data());
      const bool inside =
          offset >= 0 && offset / pitch < canvas.height && offset % pitch < canvas.width * 4;
      if (!inside && bytes[i] != kMarker) return false;
    }
    return true;
  }
  const uint8_t* pixel(int x, int y) const { return canvas.pixels + y * pitch + x * 4; }

  static constexpr uint8_t kMarker = 0xAB;
  int pitch;
  std::vector<uint8_t> bytes;
  PixelCanvas canvas;
};

std::vector<uint16_t> randomFrame(int width, int height, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint16_t> frame(static_cast<size_t>(width) * height);
  for (uint16_t& pixel : frame) pixel = static_cast<uint16_t>(random());
  return frame;
}

TEST(FitFrame, TheLargestRectangleOfTheFramesAspectCentred) {
  EXPECT_EQ(fitFrame(640, 480, 1280, 800), (ScreenRect{107, 0, 1066, 800}));
  EXPECT_EQ(fitFrame(1600, 1200, 1920, 1080), (ScreenRect{240, 0, 1440, 1080}));
  EXPECT_EQ(fitFrame(1280, 1024, 1920, 1200), (ScreenRect{210, 0, 1500, 1200}));
  EXPECT_EQ(fitFrame(800, 600, 1080, 1920), (ScreenRect{0, 555, 1080, 810}));
  EXPECT_EQ(fitFrame(512, 384, 2048, 1536), (ScreenRect{0, 0, 2048, 1536}));
  EXPECT_EQ(fitFrame(512, 384, 3, 1), (ScreenRect{1, 0, 1, 1}));
  EXPECT_EQ(fitFrame(0, 480, 1280, 800), ScreenRect{});
  EXPECT_EQ(fitFrame(640, 480, 0, 800), ScreenRect{});
}

TEST(PaintBars, BlackOutsideTheFrameOnlyAndOpaque) {
  for (const ScreenRect frame : {ScreenRect{3, 0, 10, 8}, ScreenRect{0, 2, 16, 3}, ScreenRect{}}) {
    GuardedCanvas target(16, 8, 0, 1, 2);  // red first: the fourth byte is the last
    paintBars(target.canvas, frame);
    EXPECT_TRUE(target.guardIntact());
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 16; ++x) {
        const bool inFrame =
            x >= frame.x && x < frame.x + frame.width && y >= frame.y && y < frame.y + frame.height;
        const uint8_t* pixel = target.pixel(x, y);
        const uint8_t expected[4] = {0, 0, 0, 255};
        if (inFrame) {
          ASSERT_EQ(pixel[0], GuardedCanvas::kMarker) << x << "," << y;
        } else {
          ASSERT_EQ(std::memcmp(pixel, expected, 4), 0) << x << "," << y;
        }
      }
    }
  }
}

struct Sizes {
  int width, height, outWidth, outHeight;
};
const Sizes kSizes[] = {
    {640, 480, 1440, 1080},    // the default mode on a 1080p screen
    {1600, 1200, 1440, 1080},  // the largest, shrunk
    {512, 384, 512, 384},      // one to one
    {7, 5, 31, 17},            // odd factors
    {1, 1, 9, 4},              // a single pixel
    {300, 200, 1, 1},          // down to a single pixel
    {3, 250, 700, 90},         // up across, down along
};

// A frame of one colour stays exactly that colour everywhere, whatever the sizes: the weights
// of every sample add up to one.
TEST(FrameScaler, AFrameOfOneColourStaysThatColour) {
  FrameScaler scaler;
  for (const Sizes sizes : kSizes) {
    for (const uint16_t colour : {0x0000, 0xFFFF, 0xF800, 0x07E0, 0x001F, 0x8410, 0x1234}) {
      SCOPED_TRACE(::testing::Message()
                   << sizes.width << "x" << sizes.height << " to " << sizes.outWidth << "x"
                   << sizes.outHeight << " colour " << colour);
      const std::vector<uint16_t> frame(static_cast<size_t>(sizes.width) * sizes.height, colour);
      GuardedCanvas target(sizes.outWidth, sizes.outHeight);
      scaler.scale(frame.data(), sizes.width, sizes.height, target.canvas);
      int rgb[3];
      scaler_reference::widen(colour, rgb);
      const uint8_t expected[4] = {static_cast<uint8_t>(rgb[2]), static_cast<uint8_t>(rgb[1]),
                                   static_cast<uint8_t>(rgb[0]), 255};
      for (int y = 0; y < sizes.outHeight; ++y) {
        for (int x = 0; x < sizes.outWidth; ++x) {
          ASSERT_EQ(std::memcmp(target.pixel(x, y), expected, 4), 0) << x << "," << y;
        }
      }
    }
  }
}

// Every byte as the plain per-pixel scaling gives it, in every channel order, on one thread or
// several, and nothing written outside the canvas.
TEST(FrameScaler, GivesExactlyWhatThePlainScalingGives) {
  struct Layout {
    int red, green, blue;
  };
  for (const int threads : {1, 3}) {
    FrameScaler scaler(threads);
    for (const Sizes sizes : kSizes) {
      for (const Layout layout : {Layout{2, 1, 0}, Layout{0, 1, 2}, Layout{3, 2, 1}}) {
        // (The large sizes, shared between threads, in one order only: they take a while.)
        if (sizes.outWidth * sizes.outHeight > 100000 && layout.red != 2) continue;
        SCOPED_TRACE(::testing::Message()
                     << threads << " threads, " << sizes.width << "x" << sizes.height << " to "
                     << sizes.outWidth << "x" << sizes.outHeight << ", red in byte " << layout.red);
        const std::vector<uint16_t> frame =
            randomFrame(sizes.width, sizes.height, static_cast<uint32_t>(sizes.outWidth));
        GuardedCanvas fast(sizes.outWidth, sizes.outHeight, layout.red, layout.green, layout.blue);
        GuardedCanvas plain(sizes.outWidth, sizes.outHeight, layout.red, layout.green, layout.blue);
        scaler.scale(frame.data(), sizes.width, sizes.height, fast.canvas);
        scaler_reference::scale(frame.data(), sizes.width, sizes.height, plain.canvas);
        EXPECT_TRUE(fast.guardIntact());
        ASSERT_EQ(fast.bytes, plain.bytes);
      }
    }
  }
}

// One to one, every pixel is the frame's own; scaled up, the edge pixels are the frame's edge
// pixels alone (clamped, not wrapped round to the other side).
TEST(FrameScaler, KeepsPixelsAtOneToOneAndClampsAtTheEdges) {
  FrameScaler scaler(1);
  const std::vector<uint16_t> frame = randomFrame(64, 48, 7);
  GuardedCanvas same(64, 48);
  scaler.scale(frame.data(), 64, 48, same.canvas);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      int rgb[3];
      scaler_reference::widen(frame[y * 64 + x], rgb);
      const uint8_t* pixel = same.pixel(x, y);
      ASSERT_EQ((std::vector<int>{pixel[2], pixel[1], pixel[0]}),
                (std::vector<int>{rgb[0], rgb[1], rgb[2]}))
          << x << "," << y;
    }
  }

  // Red down the left column, blue down the right, black between; four times larger.
  std::vector<uint16_t> edges(4 * 4, 0);
  for (int y = 0; y < 4; ++y) {
    edges[y * 4] = 0xF800;
    edges[y * 4 + 3] = 0x001F;
  }
  GuardedCanvas large(16, 16);
  scaler.scale(edges.data(), 4, 4, large.canvas);
  for (int y = 0; y < 16; ++y) {
    for (int x : {0, 1}) {
      EXPECT_EQ((std::vector<int>{large.pixel(x, y)[2], large.pixel(x, y)[0]}),
                (std::vector<int>{255, 0}));
    }
    for (int x : {14, 15}) {
      EXPECT_EQ((std::vector<int>{large.pixel(x, y)[2], large.pixel(x, y)[0]}),
                (std::vector<int>{0, 255}));
    }
    EXPECT_GT(large.pixel(2, y)[2], 0);  // between the centres: a blend
    EXPECT_LT(large.pixel(2, y)[2], 255);
  }
}

// present: the frame in its fitted rectangle, bars around it when asked, nothing else touched.
TEST(FrameScaler, PresentsIntoTheFittedRectangleWithBars) {
  FrameScaler scaler;
  const std::vector<uint16_t> white(160 * 120, 0xFFFF);
  GuardedCanvas target(200, 120);
  EXPECT_EQ(scaler.present(white.data(), 160, 120, target.canvas, false),
            (ScreenRect{20, 0, 160, 120}));
  EXPECT_EQ(target.pixel(19, 60)[0], GuardedCanvas::kMarker);  // no bars asked for
  EXPECT_EQ(target.pixel(20, 60)[0], 255);
  scaler.present(white.data(), 160, 120, target.canvas, true);
  EXPECT_TRUE(target.guardIntact());
  for (int y = 0; y < 120; y += 7) {
    EXPECT_EQ(target.pixel(19, y)[0], 0);
    EXPECT_EQ(target.pixel(20, y)[0], 255);
    EXPECT_EQ(target.pixel(179, y)[0], 255);
    EXPECT_EQ(target.pixel(180, y)[0], 0);
  }
}

}  // namespace
