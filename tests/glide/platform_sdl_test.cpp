// The SDL platform on SDL's dummy video driver: the display window, presentation of frames, the
// keys taken one a poll, and message boxes where none can be shown.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "engine/morph_engine.h"
#include "glide/platform.h"
#include "glide/sdl/presentation_choice.h"

namespace {

// No real display for these tests: SDL's dummy driver, and no X server or compositor that a
// message box could reach (it would wait for a click).
class DummyVideo : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(platform::startPresentation()) << SDL_GetError();
  }
  void TearDown() override { platform::stopPresentation(); }
};
const auto* const dummyVideo = ::testing::AddGlobalTestEnvironment(new DummyVideo);

SDL_Window* findWindowTitled(const char* title) {
  SDL_Window* found = nullptr;
  for (Uint32 id = 1; id < 1000; ++id) {
    SDL_Window* window = SDL_GetWindowFromID(id);
    if (window && std::string(SDL_GetWindowTitle(window)) == title) {
      EXPECT_EQ(found, nullptr) << "more than one window titled " << title;
      found = window;
    }
  }
  return found;
}

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
  friend void PrintTo(const Rgb& rgb, std::ostream* out) {
    *out << "(" << rgb.r << ", " << rgb.g << ", " << rgb.b << ")";
  }
};

// What the window shows, read back from its renderer or, without one, from its surface.
class WindowPixels {
 public:
  explicit WindowPixels(SDL_Window* window) {
    if (SDL_Renderer* renderer = SDL_GetRenderer(window)) {
      SDL_GetRendererOutputSize(renderer, &width, &height);
      pixels.resize(static_cast<size_t>(width) * height);
      SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), width * 4);
      return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (!surface) {
      ADD_FAILURE() << "the window has neither renderer nor surface";
      return;
    }
    width = surface->w;
    height = surface->h;
    pixels.resize(static_cast<size_t>(width) * height);
    SDL_ConvertPixels(width, height, surface->format->format, surface->pixels, surface->pitch,
                      SDL_PIXELFORMAT_ARGB8888, pixels.data(), width * 4);
  }
  Rgb at(int x, int y) const {
    const Uint32 p = pixels[static_cast<size_t>(y) * width + x];
    return {static_cast<int>((p >> 16) & 255), static_cast<int>((p >> 8) & 255),
            static_cast<int>(p & 255)};
  }
  int width = 0;
  int height = 0;

 private:
  std::vector<Uint32> pixels;
};

void pushKey(SDL_EventType type, SDL_Keycode key, Uint8 repeat = 0, Uint16 mod = KMOD_NONE) {
  SDL_Event event{};
  event.type = type;
  event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = repeat;
  event.key.keysym.sym = key;
  event.key.keysym.mod = mod;
  ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

void pushEvent(Uint32 type) {
  SDL_Event event{};
  event.type = type;
  ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

class DisplayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    createDisplayWindow();
    window = findWindowTitled("Rezud");
    ASSERT_NE(window, nullptr);
    // Whatever the window's creation queued (shown, exposed, focus) is not under test here.
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  void TearDown() override {
    setHostEventHook(nullptr);
    destroyDisplayWindow();
  }
  SDL_Window* window = nullptr;
};

// Both ways of showing frames: the window surface with our scaler (what SDL's dummy driver gets
// by itself, having no GPU) and SDL's renderer, forced (on the dummy driver, SDL's software one).
class PresentationTest : public DisplayWindowTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) setenv("SDL_FRAMEBUFFER_ACCELERATION", "1", 1);
    DisplayWindowTest::SetUp();
    ASSERT_EQ(SDL_GetRenderer(window) != nullptr, GetParam());
  }
  void TearDown() override {
    DisplayWindowTest::TearDown();
    unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
  }
};
INSTANTIATE_TEST_SUITE_P(BothWays, PresentationTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Renderer" : "Surface"; });

int hookRuns = 0;
void countHookRun() {
  ++hookRuns;
}

TEST_P(PresentationTest, CoversTheDesktopWithoutBorderAndStartsBlack) {
  const Uint32 flags = SDL_GetWindowFlags(window);
  EXPECT_EQ(flags & SDL_WINDOW_FULLSCREEN_DESKTOP, Uint32{SDL_WINDOW_FULLSCREEN_DESKTOP});
  EXPECT_TRUE(flags & SDL_WINDOW_BORDERLESS);
  EXPECT_TRUE(flags & SDL_WINDOW_SHOWN);

  SDL_DisplayMode desktop{};
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
  const WindowPixels shown(window);
  EXPECT_EQ(shown.width, desktop.w);
  EXPECT_EQ(shown.height, desktop.h);
  for (int y = 0; y < shown.height; y += 37) {
    for (int x = 0; x < shown.width; x += 41) ASSERT_EQ(shown.at(x, y), (Rgb{0, 0, 0}));
  }
}

TEST_P(PresentationTest, ClosingRemovesTheWindowAndASecondOneWorksLikeTheFirst) {
  destroyDisplayWindow();
  EXPECT_EQ(findWindowTitled("Rezud"), nullptr);

  createDisplayWindow();
  window = findWindowTitled("Rezud");
  ASSERT_NE(window, nullptr);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  pushKey(SDL_KEYDOWN, SDLK_SPACE);
  pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
  EXPECT_EQ(pollKey(), 32);
  EXPECT_EQ(pollKey(), 27);

  const std::vector<uint16_t> white(640 * 480, 0xFFFF);
  platform::presentFrame(white.data(), 640, 480);
  const WindowPixels shown(window);
  EXPECT_EQ(shown.at(shown.width / 2, shown.height / 2), (Rgb{255, 255, 255}));
}

// A frame keeps its aspect: a 5:4 frame on the desktop gets black bars left and right, a 2:1
// frame black bars above and below; the frame's colours arrive unchanged.
TEST_P(PresentationTest, FramesAreScaledToFitWithTheirAspectKept) {
  struct Case {
    int width, height;
  };
  for (const Case frame : {Case{1280, 1024}, Case{200, 100}}) {
    SCOPED_TRACE(frame.width);
    const std::vector<uint16_t> red(static_cast<size_t>(frame.width) * frame.height, 0xF800);
    platform::presentFrame(red.data(), frame.width, frame.height);
    const WindowPixels shown(window);

    // Where the frame lands: the longest run of red along the middle row and column.
    int left = shown.width, right = -1, top = shown.height, bottom = -1;
    for (int x = 0; x < shown.width; ++x) {
      if (shown.at(x, shown.height / 2).r > 0) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
    for (int y = 0; y < shown.height; ++y) {
      if (shown.at(shown.width / 2, y).r > 0) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
    const int shownWidth = right - left + 1;
    const int shownHeight = bottom - top + 1;
    // Fills the output along one axis, centred along the other, aspect within a pixel.
    EXPECT_TRUE(shownWidth == shown.width || shownHeight == shown.height);
    EXPECT_NEAR(left, shown.width - 1 - right, 1);
    EXPECT_NEAR(top, shown.height - 1 - bottom, 1);
    EXPECT_NEAR(static_cast<double>(shownWidth) * frame.height / frame.width, shownHeight, 1.0);
    EXPECT_EQ(shown.at(shown.width / 2, shown.height / 2), (Rgb{255, 0, 0}));
    if (left > 0) {
      EXPECT_EQ(shown.at(left / 2, shown.height / 2), (Rgb{0, 0, 0}));
    }
    if (top > 0) {
      EXPECT_EQ(shown.at(shown.width / 2, top / 2), (Rgb{0, 0, 0}));
    }
  }
}

// Without vsync a swap waits for the next refresh as a display would: one frame per period
// (the dummy display reports no rate, so 60 Hz), never faster.
TEST_P(PresentationTest, FramesGoOutAtMostOnePerRefreshPeriod) {
  const std::vector<uint16_t> grey(640 * 480, 0x8410);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 7; ++i) platform::presentFrame(grey.data(), 640, 480);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(6 * 16666));
}

// The surface keeps what was drawn into it; the bars are drawn again whenever the window may
// have lost them (exposed) or changed its size.
TEST_F(DisplayWindowTest, TheSurfaceRepaintsItsBarsWhenExposedOrResized) {
  ASSERT_EQ(SDL_GetRenderer(window), nullptr);
  const std::vector<uint16_t> blue(1280 * 1024, 0x001F);  // 5:4, on the dummy's 4:3 desktop
  platform::presentFrame(blue.data(), 1280, 1024);
  SDL_Surface* surface = SDL_GetWindowSurface(window);
  ASSERT_NE(surface, nullptr);
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 255, 0));  // as if overdrawn

  SDL_Event exposed{};
  exposed.type = SDL_WINDOWEVENT;
  exposed.window.event = SDL_WINDOWEVENT_EXPOSED;
  exposed.window.windowID = SDL_GetWindowID(window);
  ASSERT_EQ(SDL_PushEvent(&exposed), 1);
  EXPECT_EQ(pollKey(), 0);
  platform::presentFrame(blue.data(), 1280, 1024);
  {
    const WindowPixels shown(window);
    EXPECT_EQ(shown.at(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(shown.at(shown.width - 1, shown.height - 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(shown.at(shown.width / 2, shown.height / 2), (Rgb{0, 0, 255}));
  }

  // In a window of 1000 x 500 the frame is 625 x 500, from x = 187.
  SDL_SetWindowFullscreen(window, 0);
  SDL_SetWindowSize(window, 1000, 500);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  platform::presentFrame(blue.data(), 1280, 1024);
  const WindowPixels shown(window);
  ASSERT_EQ(shown.width, 1000);
  ASSERT_EQ(shown.height, 500);
  for (const int y : {0, 250, 499}) {
    EXPECT_EQ(shown.at(186, y), (Rgb{0, 0, 0}));
    EXPECT_EQ(shown.at(187, y), (Rgb{0, 0, 255}));
    EXPECT_EQ(shown.at(811, y), (Rgb{0, 0, 255}));
    EXPECT_EQ(shown.at(812, y), (Rgb{0, 0, 0}));
  }
}

// SDL's own variables force either way; without them the display decides (the dummy driver has
// no GPU).
TEST(PresentationChoice, SdlsVariablesForceEitherWay) {
  struct Case {
    const char* renderDriver;
    const char* acceleration;
    bool renderer;
  };
  for (const Case wanted :
       {Case{nullptr, nullptr, false}, Case{"software", nullptr, false}, Case{nullptr, "0", false},
        Case{nullptr, "1", true}, Case{"software", "1", false}}) {
    SCOPED_TRACE(std::string(wanted.renderDriver ? wanted.renderDriver : "-") + " " +
                 (wanted.acceleration ? wanted.acceleration : "-"));
    if (wanted.renderDriver) setenv("SDL_RENDER_DRIVER", wanted.renderDriver, 1);
    if (wanted.acceleration) setenv("SDL_FRAMEBUFFER_ACCELERATION", wanted.acceleration, 1);
    createDisplayWindow();
    SDL_Window* window = findWindowTitled("Rezud");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SDL_GetRenderer(window) != nullptr, wanted.renderer);
    destroyDisplayWindow();
    unsetenv("SDL_RENDER_DRIVER");
    unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
  }

  using enum Presentation;
  EXPECT_EQ(presentationAskedFor("opengl", "0"), Renderer);
  EXPECT_EQ(presentationAskedFor("SOFTWARE", nullptr), WindowSurface);
  EXPECT_EQ(presentationAskedFor("", "False"), WindowSurface);
  EXPECT_EQ(presentationAskedFor(nullptr, "opengles2"), Renderer);
  EXPECT_EQ(presentationAskedFor("", ""), std::nullopt);
  EXPECT_TRUE(isSoftwareGlRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
  EXPECT_TRUE(isSoftwareGlRenderer("softpipe"));
  EXPECT_FALSE(isSoftwareGlRenderer("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
  EXPECT_FALSE(isSoftwareGlRenderer(nullptr));
}

TEST_F(DisplayWindowTest, ReportsEscapeAndSpaceKeyDownsOnePerPollInOrder) {
  pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
  pushKey(SDL_KEYDOWN, SDLK_a);
  pushKey(SDL_KEYUP, SDLK_ESCAPE);
  pushKey(SDL_KEYDOWN, SDLK_SPACE);
  pushKey(SDL_KEYDOWN, SDLK_SPACE, 1);  // auto-repeat
  pushKey(SDL_KEYDOWN, SDLK_SPACE, 1);
  pushKey(SDL_KEYUP, SDLK_SPACE);
  pushKey(SDL_KEYDOWN, SDLK_F10);
  pushKey(SDL_KEYDOWN, SDLK_RETURN);
  // A key-up is no key: the poll goes past it (as past any other event) to the next key-down.
  const std::vector<uint8_t> expected = {27, 0, 32, 32, 32, 0, 0, 0};
  std::vector<uint8_t> reported;
  for (size_t i = 0; i < expected.size(); ++i) reported.push_back(pollKey());
  EXPECT_EQ(reported, expected);
  EXPECT_EQ(pollKey(), 0);  // nothing left
}

// A flood of mouse and window events never holds a key back, nor fills the queue until keys are
// dropped: each poll takes them up to the next key, and leaves what follows it.
TEST_F(DisplayWindowTest, OtherEventsNeverHoldAKeyBack) {
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 30000; ++i) pushEvent(i % 2 ? SDL_MOUSEMOTION : SDL_USEREVENT);
    pushKey(SDL_KEYDOWN, SDLK_SPACE);
    pushEvent(SDL_MOUSEMOTION);
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_EQ(pollKey(), 32);
    EXPECT_EQ(pollKey(), 27);
  }
  pushEvent(SDL_MOUSEMOTION);
  EXPECT_EQ(pollKey(), 0);
  EXPECT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT), 0);
}

TEST_F(DisplayWindowTest, AltCombinationsReportNothing) {
  pushKey(SDL_KEYDOWN, SDLK_SPACE, 0, KMOD_LALT);
  pushKey(SDL_KEYDOWN, SDLK_ESCAPE, 0, KMOD_RALT);
  pushKey(SDL_KEYDOWN, SDLK_SPACE, 0, KMOD_LSHIFT | KMOD_LCTRL);
  EXPECT_EQ(pollKey(), 0);
  EXPECT_EQ(pollKey(), 0);
  EXPECT_EQ(pollKey(), 32);
}

TEST_F(DisplayWindowTest, ACloseRequestEndsPlaybackLikeEscape) {
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(window);
  ASSERT_EQ(SDL_PushEvent(&close), 1);
  pushEvent(SDL_QUIT);
  EXPECT_EQ(pollKey(), 27);
  EXPECT_EQ(pollKey(), 27);
}

TEST_F(DisplayWindowTest, NeverWaitsAndRunsTheHostHookOnEveryPoll) {
  hookRuns = 0;
  setHostEventHook(countHookRun);
  // With nothing pending a poll returns at once; one that waited would hang this test.
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(pollKey(), 0);
  EXPECT_EQ(hookRuns, 1000);
  pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
  EXPECT_EQ(pollKey(), 27);
  EXPECT_EQ(hookRuns, 1001);
  setHostEventHook(nullptr);
  pollKey();
  EXPECT_EQ(hookRuns, 1001);
}

TEST_F(DisplayWindowTest, KeysLeftUnreadGoWithTheWindow) {
  pushKey(SDL_KEYDOWN, SDLK_ESCAPE);
  destroyDisplayWindow();
  createDisplayWindow();
  window = findWindowTitled("Rezud");
  ASSERT_NE(window, nullptr);
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    ASSERT_NE(event.type, Uint32{SDL_KEYDOWN}) << "a key from the window before";
  }
}

TEST_F(DisplayWindowTest, InjectedKeysArriveLikeRealOnes) {
  injectHeadlessKey(32);
  injectHeadlessKey(65);
  injectHeadlessKey(27);
  EXPECT_EQ(pollKey(), 32);
  EXPECT_EQ(pollKey(), 0);
  EXPECT_EQ(pollKey(), 27);
}

// Without a display no box can be shown: the line on standard error is all, and a question is
// taken as cancelled rather than answered on the user's behalf.
TEST(SdlMessageBox, WithoutADisplayOnlyStandardErrorSpeaks) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(platform::showMessage(" Couldn't set 3dfx videomode 640x480.", "Error   ;-("),
            platform::Answer::Ok);
  EXPECT_EQ(platform::showMessage("Clear All ?", "Confirm", platform::Buttons::OkCancel),
            platform::Answer::Cancel);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error   ;-(:  Couldn't set 3dfx videomode 640x480.\nConfirm: Clear All ?\n");
}

// "Hardware" is a video subsystem that starts. Without one the engine's construction says so on
// standard error, where no box can be shown, and the program ends with exit code 1.
TEST(SdlHardware, WithoutVideoTheEngineSaysNoHardwareAndEndsWithOne) {
  EXPECT_EXIT(
      {
        platform::stopPresentation();
        setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
        MorphEngine engine;
      },
      ::testing::ExitedWithCode(1), "^Error   ;-\\(: No 3dfx hardware found\\.\n$");
}

}  // namespace
