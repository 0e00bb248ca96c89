// The SDL platform on a real X server (Xvfb, no window manager), as the programs meet it: the
// display window covers the screen, frames appear on it letterboxed, and real key presses
// (XTEST, through xdotool) reach pollKey one per poll. Xvfb offers no direct rendering, so the
// window shows frames through its surface, without OpenGL; the same is tested through SDL's
// OpenGL renderer, forced (Mesa's software OpenGL here).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "glide/platform.h"

// Xlib's macros (None, Bool, Status, ...) would break GoogleTest's headers: they come last.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

// Runs a program (never through a shell); its process id, or -1.
pid_t spawn(std::vector<std::string> words, const posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int runToEnd(std::vector<std::string> words) {
  const pid_t pid = spawn(std::move(words));
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An Xvfb of its own for this test program, on the first free display number.
class XServer : public ::testing::Environment {
 public:
  void SetUp() override {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    server_ = spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
                     std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24",
                     "-nolisten", "tcp"},
                    &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    std::string number;
    char c = 0;
    while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    ASSERT_GT(server_, 0) << "Xvfb could not be started";
    ASSERT_FALSE(number.empty()) << "Xvfb did not report its display";
    setenv("DISPLAY", (":" + number).c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    ASSERT_TRUE(platform::startPresentation()) << SDL_GetError();
  }
  void TearDown() override {
    platform::stopPresentation();
    if (server_ > 0) {
      kill(server_, SIGTERM);
      waitpid(server_, nullptr, 0);
    }
  }

 private:
  pid_t server_ = -1;
};
const auto* const xServer = ::testing::AddGlobalTestEnvironment(new XServer);

// Whether any OpenGL library (or the LLVM that Mesa's software OpenGL draws with) is loaded.
bool openGlLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    for (const char* library : {"/libGL", "/libEGL", "_dri.so", "/libLLVM"}) {
      if (line.find(library) != std::string::npos) return true;
    }
  }
  return false;
}

// Parameter: through SDL's OpenGL renderer (forced) rather than the window surface.
class X11DisplayWindowTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
#if defined(__SANITIZE_ADDRESS__)
      // Mesa keeps allocations to the end and is unloaded before the leak report, which then
      // cannot name them.
      GTEST_SKIP() << "OpenGL is not tested with AddressSanitizer";
#endif
      setenv("SDL_RENDER_DRIVER", "opengl", 1);
    }
    openGlBefore = openGlLoaded();
    createDisplayWindow();
    for (Uint32 id = 1; id < 1000 && !window; ++id) window = SDL_GetWindowFromID(id);
    ASSERT_NE(window, nullptr);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info));
    xWindow = info.info.x11.window;
    observer = XOpenDisplay(nullptr);
    ASSERT_NE(observer, nullptr);
    // Mapping takes a round trip to the server; keep the poll going meanwhile.
    for (int i = 0; i < 200 && mapState() != IsViewable; ++i) {
      pollKey();
      SDL_Delay(10);
    }
  }
  void TearDown() override {
    if (observer) XCloseDisplay(observer);
    destroyDisplayWindow();
    unsetenv("SDL_RENDER_DRIVER");
  }

  int mapState() {
    XWindowAttributes attributes{};
    XGetWindowAttributes(observer, xWindow, &attributes);
    return attributes.map_state;
  }

  // The screen's pixel at (x, y) as 0xRRGGBB.
  unsigned long screenPixel(int x, int y) {
    XImage* image =
        XGetImage(observer, DefaultRootWindow(observer), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }

  SDL_Window* window = nullptr;
  Window xWindow = 0;
  Display* observer = nullptr;
  bool openGlBefore = false;
};
INSTANTIATE_TEST_SUITE_P(BothWays, X11DisplayWindowTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OpenGl" : "Surface"; });

TEST_P(X11DisplayWindowTest, CoversTheWholeScreenTitledRezudAndShowsFramesLetterboxed) {
  ASSERT_EQ(mapState(), IsViewable);
  EXPECT_EQ(SDL_GetRenderer(window) != nullptr, GetParam());
  XWindowAttributes attributes{};
  XGetWindowAttributes(observer, xWindow, &attributes);
  EXPECT_EQ(attributes.x, 0);
  EXPECT_EQ(attributes.y, 0);
  EXPECT_EQ(attributes.width, kScreenWidth);
  EXPECT_EQ(attributes.height, kScreenHeight);
  char* name = nullptr;
  ASSERT_TRUE(XFetchName(observer, xWindow, &name));
  EXPECT_STREQ(name, "Rezud");
  XFree(name);
  EXPECT_EQ(screenPixel(kScreenWidth / 2, kScreenHeight / 2), 0u);  // black before any frame

  // 640 x 480 on 1280 x 800: 1067 x 800 in the middle, bars of 106 pixels at either side.
  const std::vector<uint16_t> red(640 * 480, 0xF800);
  unsigned long middle = 0;
  for (int i = 0; i < 100 && middle != 0xFF0000; ++i) {
    platform::presentFrame(red.data(), 640, 480);
    middle = screenPixel(kScreenWidth / 2, kScreenHeight / 2);
  }
  EXPECT_EQ(middle, 0xFF0000u);
  EXPECT_EQ(screenPixel(110, 1), 0xFF0000u);
  EXPECT_EQ(screenPixel(1169, 798), 0xFF0000u);
  EXPECT_EQ(screenPixel(100, kScreenHeight / 2), 0u);
  EXPECT_EQ(screenPixel(1180, kScreenHeight / 2), 0u);
  // Without a GPU behind the server no OpenGL is loaded: it would cost far more memory than the
  // whole player needs otherwise.
  if (!GetParam() && !openGlBefore) {
    EXPECT_FALSE(openGlLoaded());
  }
}

TEST_P(X11DisplayWindowTest, RealKeyPressesArriveOnePerPollInOrder) {
  ASSERT_EQ(mapState(), IsViewable);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  ASSERT_EQ(runToEnd({"xdotool", "windowfocus", "--sync", std::to_string(xWindow), "key", "space",
                      "a", "Escape", "space"}),
            0);
  std::vector<uint8_t> keys;
  for (int i = 0; i < 500 && keys.size() < 3; ++i) {
    const uint8_t key = pollKey();
    if (key != 0) keys.push_back(key);
    if (key == 0) SDL_Delay(2);
  }
  EXPECT_EQ(keys, (std::vector<uint8_t>{32, 27, 32}));
}

}  // namespace
