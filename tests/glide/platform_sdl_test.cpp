// The SDL platform on SDL's dummy video driver: the display window, presentation of frames, the
// keys taken one event per poll, and message boxes where none can be shown.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/morph_engine.h"
#include "glide/platform.h"

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
};

// What the window shows, read back from its renderer.
class WindowPixels {
 public:
  explicit WindowPixels(SDL_Window* window) {
    SDL_Renderer* renderer = SDL_GetRenderer(window);
    SDL_GetRendererOutputSize(renderer, &width, &height);
    pixels.resize(static_cast<size_t>(width) * height);
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels.data(), width * 4);
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

int hookRuns = 0;
void countHookRun() {
  ++hookRuns;
}

TEST_F(DisplayWindowTest, CoversTheDesktopWithoutBorderAndStartsBlack) {
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

TEST_F(DisplayWindowTest, ClosingRemovesTheWindowAndASecondOneWorksLikeTheFirst) {
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
TEST_F(DisplayWindowTest, FramesAreScaledToFitWithTheirAspectKept) {
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
  const std::vector<uint8_t> expected = {27, 0, 0, 32, 32, 32, 0, 0, 0};
  std::vector<uint8_t> reported;
  for (size_t i = 0; i < expected.size(); ++i) reported.push_back(pollKey());
  EXPECT_EQ(reported, expected);
  EXPECT_EQ(pollKey(), 0);  // nothing left
}

TEST_F(DisplayWindowTest, OtherEventsTakeAPollOfTheirOwn) {
  pushEvent(SDL_USEREVENT);
  pushEvent(SDL_MOUSEMOTION);
  pushKey(SDL_KEYDOWN, SDLK_SPACE);
  EXPECT_EQ(pollKey(), 0);
  EXPECT_EQ(pollKey(), 0);
  EXPECT_EQ(pollKey(), 32);
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
