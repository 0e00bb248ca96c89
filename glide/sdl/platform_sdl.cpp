// The platform with a real display, through SDL2: the full-screen display window and its keys,
// the presentation of the board's frames, and SDL's message boxes.
//
// Choices made here for a Linux desktop:
// - The window covers the desktop in SDL's full-screen-desktop mode; the monitor's own video mode
//   is never changed. It does not minimise when it loses the focus (a message box over it would
//   otherwise hide the playback behind it).
// - A frame is shown scaled to fit the window with its aspect kept, on black bars, filtered
//   linearly. Where a GPU serves OpenGL, SDL's accelerated renderer scales it and waits for the
//   display's refresh (vsync). Elsewhere the frame is scaled by our own FrameScaler straight into
//   the window surface, which X11 shows through shared memory, and no OpenGL library is loaded
//   at all (presentation_choice.h says how the two are told apart and how to force either).
//   Without vsync, presenting sleeps out the rest of one refresh period.
// - Besides Escape, a close request from the window manager (or the last window closed) ends the
//   playback like Escape. A key pressed with Alt held reports nothing, as the window system of
//   the original programs gave such keys to its own handling.
// - Asked for (kinora --window), the window is an ordinary resizable one titled with the file's
//   name instead, showing only the play square, scaled to fit. F11 switches between the two.
// - SDL installs no signal handlers, so Ctrl+C in a terminal ends the program as usual.
// - When no message box can be shown, the line on standard error that showMessage writes is all;
//   a question with OK and Cancel then counts as cancelled, so that nothing is done unasked.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/messages.h"
#include "glide/platform.h"
#include "glide/sdl/frame_scaler.h"
#include "glide/sdl/presentation_choice.h"

namespace {

constexpr uint8_t kEscape = 27;
constexpr uint8_t kSpace = 32;
constexpr int kFallbackRefreshHz = 60;
constexpr const char* kDesktopWindowTitle = "Rezud";
constexpr int kFirstWindowSide = 450;  // until the play square is known

using Clock = std::chrono::steady_clock;

struct DisplayWindow {
  SDL_Window* window = nullptr;
  // Through the renderer (a GPU draws):
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* frame = nullptr;  // streaming RGB565, the size of the last frame shown
  int frameWidth = 0;
  int frameHeight = 0;
  bool vsync = false;  // the renderer waits for the refresh by itself
  // Through the window surface (no renderer):
  std::unique_ptr<FrameScaler> scaler;
  SDL_Surface* surface = nullptr;  // the one last drawn into; SDL makes a new one on a resize
  int surfaceWidth = 0;
  int surfaceHeight = 0;
  bool repaintAll = true;         // the bars too: the window appeared, was exposed or resized
  ScreenRect lastFrame;           // where the last frame went
  std::vector<uint32_t> staging;  // for surfaces of other than 32-bit pixels
  // Pacing without vsync:
  Clock::duration refreshPeriod{};
  Clock::time_point nextRefresh{};
  bool failed = false;  // the window was asked for and could not be made
  // An ordinary window (not covering the desktop) shows the play square only:
  bool windowed = false;
  SDL_Rect square{0, 0, 0, 0};       // in the board's frames; empty until known
  bool sizedToSquare = false;        // the window took the square's size once
  std::vector<uint16_t> squareCopy;  // the square's rows, one after another
};

DisplayWindow display;
bool windowedAsked = false;
std::string windowedTitle;
void (*hostEventHook)() = nullptr;
int presentationStarts = 0;  // SDL's video subsystem stays up until the last stop

void releaseDisplay() {
  if (display.frame) SDL_DestroyTexture(display.frame);
  if (display.renderer) SDL_DestroyRenderer(display.renderer);
  if (display.window) SDL_DestroyWindow(display.window);  // and its surface
  display = DisplayWindow{};
}

SDL_Rect toSdl(const ScreenRect& rect) {
  return {rect.x, rect.y, rect.width, rect.height};
}

void measureRefresh() {
  SDL_DisplayMode mode{};
  int hz = kFallbackRefreshHz;
  if (SDL_GetWindowDisplayMode(display.window, &mode) == 0 && mode.refresh_rate > 0) {
    hz = mode.refresh_rate;
  }
  display.refreshPeriod = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / hz;
}

// Without vsync, one frame per refresh period at most, as a swap on a real display would give:
// each frame goes out one period after the one before, or at once when it is late (and the
// count starts again from it).
void waitForRefresh() {
  const Clock::time_point now = Clock::now();
  if (now < display.nextRefresh) {
    std::this_thread::sleep_until(display.nextRefresh);
    display.nextRefresh += display.refreshPeriod;
  } else {
    display.nextRefresh = now + display.refreshPeriod;
  }
}

// The surface as a canvas for the scaler, if its pixels are 32-bit with a byte per channel.
bool canvasOf(SDL_Surface* surface, PixelCanvas& canvas) {
  const SDL_PixelFormat& format = *surface->format;
  if (SDL_BYTEORDER != SDL_LIL_ENDIAN || format.BytesPerPixel != 4) return false;
  const auto byteOf = [](Uint32 mask, Uint8 shift, Uint8 loss) {
    return loss == 0 && shift % 8 == 0 && mask == 0xFFu << shift ? shift / 8 : -1;
  };
  canvas.redByte = byteOf(format.Rmask, format.Rshift, format.Rloss);
  canvas.greenByte = byteOf(format.Gmask, format.Gshift, format.Gloss);
  canvas.blueByte = byteOf(format.Bmask, format.Bshift, format.Bloss);
  if (canvas.redByte < 0 || canvas.greenByte < 0 || canvas.blueByte < 0) return false;
  canvas.pixels = static_cast<uint8_t*>(surface->pixels);
  canvas.width = surface->w;
  canvas.height = surface->h;
  canvas.pitch = surface->pitch;
  return true;
}

// Draws the frame into the window surface: into its fitted rectangle, and the bars around it
// when the window needs them. Returns the rectangle.
ScreenRect drawIntoSurface(SDL_Surface* surface, const uint16_t* pixels, int width, int height,
                           bool withBars) {
  PixelCanvas canvas;
  if (canvasOf(surface, canvas)) {
    return display.scaler->present(pixels, width, height, canvas, withBars);
  }

  // Any other pixel format: scaled as 32-bit ARGB, then converted by SDL.
  const ScreenRect rect = fitFrame(width, height, surface->w, surface->h);
  if (withBars) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
  if (rect.width <= 0 || rect.height <= 0) return rect;
  display.staging.resize(static_cast<size_t>(rect.width) * rect.height);
  PixelCanvas staging;  // ARGB: blue in the first byte, red in the third
  staging.pixels = reinterpret_cast<uint8_t*>(display.staging.data());
  staging.width = rect.width;
  staging.height = rect.height;
  staging.pitch = rect.width * 4;
  display.scaler->scale(pixels, width, height, staging);
  auto* target = static_cast<uint8_t*>(surface->pixels) +
                 static_cast<ptrdiff_t>(rect.y) * surface->pitch +
                 static_cast<ptrdiff_t>(rect.x) * surface->format->BytesPerPixel;
  SDL_ConvertPixels(rect.width, rect.height, SDL_PIXELFORMAT_ARGB8888, display.staging.data(),
                    staging.pitch, surface->format->format, target, surface->pitch);
  return rect;
}

// Shows a frame through the window surface (or, with no frame, the window all black).
void presentOnSurface(const uint16_t* pixels, int width, int height) {
  SDL_Surface* surface = SDL_GetWindowSurface(display.window);
  if (!surface) return;
  if (surface != display.surface || surface->w != display.surfaceWidth ||
      surface->h != display.surfaceHeight) {
    display.surface = surface;
    display.surfaceWidth = surface->w;
    display.surfaceHeight = surface->h;
    display.repaintAll = true;
  }
  const bool withBars = display.repaintAll || !pixels ||
                        fitFrame(width, height, surface->w, surface->h) != display.lastFrame;
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
  ScreenRect rect{};
  if (pixels) {
    rect = drawIntoSurface(surface, pixels, width, height, withBars);
  } else {
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  if (pixels) waitForRefresh();
  // Only the frame's rectangle changes from one frame to the next.
  const SDL_Rect changed = toSdl(rect);
  const int result = withBars ? SDL_UpdateWindowSurface(display.window)
                              : SDL_UpdateWindowSurfaceRects(display.window, &changed, 1);
  if (result == 0) display.repaintAll = false;
  display.lastFrame = rect;
}

// Paints the whole window black and shows it.
void showBlack() {
  if (!display.renderer) {
    presentOnSurface(nullptr, 0, 0);
    return;
  }
  SDL_SetRenderDrawColor(display.renderer, 0, 0, 0, 255);
  SDL_RenderClear(display.renderer);
  SDL_RenderPresent(display.renderer);
}

// Sets up the way frames reach the window (see presentation_choice.h): the accelerated
// renderer, or the window surface with our scaler. False when neither works.
bool startShowingFrames() {
  const std::optional<Presentation> asked = presentationAskedFor(
      SDL_GetHint(SDL_HINT_RENDER_DRIVER), SDL_GetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION));
  bool tryRenderer = asked == Presentation::Renderer;
  if (!asked) tryRenderer = displayHasGpu(display.window).value_or(true);
  if (tryRenderer) {
    display.renderer = SDL_CreateRenderer(display.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (!display.renderer) display.renderer = SDL_CreateRenderer(display.window, -1, 0);
    if (display.renderer && !asked && rendererDrawsInSoftware(display.renderer)) {
      SDL_DestroyRenderer(display.renderer);
      display.renderer = nullptr;
    }
  }
  if (display.renderer) {
    SDL_RendererInfo info{};
    // SDL's software renderer accepts vsync but never waits for a refresh.
    display.vsync = SDL_GetRendererInfo(display.renderer, &info) == 0 &&
                    (info.flags & SDL_RENDERER_PRESENTVSYNC) &&
                    !(info.flags & SDL_RENDERER_SOFTWARE);
    return true;
  }
  // The window surface, drawn by us: SDL must not put a renderer of its own behind it (on Linux
  // it would try OpenGL for that). SDL decides this once, at the first surface it makes.
  SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
  SDL_Surface* surface = SDL_GetWindowSurface(display.window);
  SDL_ResetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION);
  if (!surface) return false;
  display.scaler = std::make_unique<FrameScaler>();
  display.vsync = false;
  return true;
}

bool prepareFrameTexture(int width, int height) {
  if (display.frame && display.frameWidth == width && display.frameHeight == height) return true;
  if (display.frame) SDL_DestroyTexture(display.frame);
  display.frame = SDL_CreateTexture(display.renderer, SDL_PIXELFORMAT_RGB565,
                                    SDL_TEXTUREACCESS_STREAMING, width, height);
  display.frameWidth = display.frame ? width : 0;
  display.frameHeight = display.frame ? height : 0;
  if (display.frame) SDL_SetTextureScaleMode(display.frame, SDL_ScaleModeLinear);
  return display.frame != nullptr;
}

// The side of an ordinary window that shows a square of `side` pixels: that, or what the
// screen holds, its window frame left room.
int windowSideFor(int side) {
  SDL_Rect usable{0, 0, 640, 480};
  SDL_GetDisplayUsableBounds(std::max(SDL_GetWindowDisplayIndex(display.window), 0), &usable);
  int top = 0, left = 0, bottom = 0, right = 0;
  SDL_GetWindowBordersSize(display.window, &top, &left, &bottom, &right);
  return std::max(1, std::min({side, usable.w - left - right, usable.h - top - bottom}));
}

void showAsWindow() {
  SDL_SetWindowFullscreen(display.window, 0);
  SDL_SetWindowBordered(display.window, SDL_TRUE);
  SDL_SetWindowResizable(display.window, SDL_TRUE);
  SDL_SetWindowTitle(display.window,
                     windowedTitle.empty() ? kDesktopWindowTitle : windowedTitle.c_str());
  const int side = windowSideFor(display.square.w > 0 ? display.square.w : kFirstWindowSide);
  SDL_SetWindowSize(display.window, side, side);
  SDL_SetWindowPosition(display.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

// Also where no window manager carries out the full-screen request: the window is put at the
// desktop's corner and size first.
void showCoveringDesktop() {
  SDL_Rect desktop{0, 0, 640, 480};
  SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(display.window), 0), &desktop);
  SDL_SetWindowTitle(display.window, kDesktopWindowTitle);
  SDL_SetWindowBordered(display.window, SDL_FALSE);
  SDL_SetWindowPosition(display.window, desktop.x, desktop.y);
  SDL_SetWindowSize(display.window, desktop.w, desktop.h);
  SDL_SetWindowFullscreen(display.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void switchWindowed() {
  display.windowed = !display.windowed;
  if (display.windowed) {
    showAsWindow();
  } else {
    showCoveringDesktop();
  }
  display.repaintAll = true;
}

uint8_t keyOf(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      // Auto-repeats are key-downs too: a held Space reports again on every repeat.
      if (event.key.keysym.mod & KMOD_ALT) return 0;
      if (event.key.keysym.sym == SDLK_F11 && !event.key.repeat && display.window &&
          event.key.windowID == SDL_GetWindowID(display.window)) {
        switchWindowed();
        return 0;
      }
      if (event.key.keysym.sym == SDLK_ESCAPE) return kEscape;
      if (event.key.keysym.sym == SDLK_SPACE) return kSpace;
      return 0;
    case SDL_QUIT:
      return kEscape;
    case SDL_WINDOWEVENT:
      if (!display.window || event.window.windowID != SDL_GetWindowID(display.window)) return 0;
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) return kEscape;
      // What the window showed may be gone; the next frame paints the bars again.
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
          event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        display.repaintAll = true;
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace

bool createDisplayWindow() {
  if (display.window) return true;  // one display window at a time
  display.failed = false;
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0 && !platform::startPresentation()) {
    display.failed = true;
  } else {
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (windowedAsked) {
      display.windowed = true;
      display.window = SDL_CreateWindow(windowedTitle.c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, kFirstWindowSide, kFirstWindowSide,
                                        SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN);
      if (display.window) {
        const int side = windowSideFor(kFirstWindowSide);
        SDL_SetWindowSize(display.window, side, side);
      }
    } else {
      // Made at the desktop's size and corner, so that it covers the screen even where no
      // window manager carries out the full-screen request (a bare X server, a kiosk session).
      SDL_Rect desktop{0, 0, 640, 480};
      SDL_GetDisplayBounds(0, &desktop);
      display.window = SDL_CreateWindow(
          kDesktopWindowTitle, desktop.x, desktop.y, desktop.w, desktop.h,
          SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
    }
    display.failed = !display.window || !startShowingFrames();
  }
  if (display.failed) {
    // Without a window no key can arrive: the polls then report Escape, so playback ends.
    const std::string reason = SDL_GetError();
    releaseDisplay();
    display.failed = true;
    platform::showMessage(std::string(kNoDisplayWindowMessage) + "\n" + reason,
                          kEngineErrorCaption);
    return false;
  }
  measureRefresh();
  SDL_RaiseWindow(display.window);
  showBlack();
  return true;
}

uint8_t pollKey() {
  if (hostEventHook) hostEventHook();
  if (display.failed) return kEscape;
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return 0;
  // Mouse and window events come far faster than one a frame: the poll takes what is pending up
  // to the first key-down or close request and answers that, so that a key never waits behind
  // them (nor gets dropped from a full queue). What came after the key stays for the next poll,
  // so keys still arrive one a poll, in order, and a held Space saves once per repeat.
  SDL_PumpEvents();
  SDL_Event event;
  while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) {
    const uint8_t key = keyOf(event);
    if (key != 0 || event.type == SDL_KEYDOWN) return key;
  }
  return 0;
}

void destroyDisplayWindow() {
  releaseDisplay();
  // Keys pressed for the window and never read go with it: in the editor, an Escape left over
  // from one preview would otherwise end the next one at its first frame.
  if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
}

void setDisplayWindowed(bool windowed, const std::string& title) {
  windowedAsked = windowed;
  windowedTitle = title;
}

void setPlaySquare(int x, int y, int side) {
  display.square = SDL_Rect{x, y, side, side};
  display.repaintAll = true;
  // The window's first size is the square's, once it is known.
  if (display.window && display.windowed && !display.sizedToSquare && side > 0) {
    display.sizedToSquare = true;
    const int shown = windowSideFor(side);
    SDL_SetWindowSize(display.window, shown, shown);
    SDL_SetWindowPosition(display.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
}

void setHostEventHook(void (*hook)()) {
  hostEventHook = hook;
}

// Puts a key-down for the key into SDL's queue, so that code driven by injected keys runs the
// same on this platform; the next polls take it in order.
void injectHeadlessKey(uint8_t key) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.state = SDL_PRESSED;
  event.key.keysym.sym = key == kEscape ? SDLK_ESCAPE : key == kSpace ? SDLK_SPACE : SDLK_UNKNOWN;
  if (display.window) event.key.windowID = SDL_GetWindowID(display.window);
  SDL_PushEvent(&event);
}

namespace platform {

bool startPresentation() {
  // Ctrl+C in a terminal should end the program as it does any other; SDL would turn it into a
  // quit event that only a running playback reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  // Where no display is reachable SDL falls back to a driver that shows nothing to anyone;
  // that counts as no display, unless SDL_VIDEODRIVER asked for it (as headless tests do).
  const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  if (!SDL_getenv("SDL_VIDEODRIVER") && (driver == "offscreen" || driver == "dummy")) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  ++presentationStarts;
  return true;
}

void stopPresentation() {
  if (presentationStarts == 0) return;
  if (--presentationStarts == 0) releaseDisplay();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  // With nothing of SDL left in use, let it release what it holds besides (its D-Bus link).
  if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

void presentFrame(const uint16_t* pixels, int width, int height) {
  if (!display.window || !pixels || width <= 0 || height <= 0) return;
  // The part shown: the whole frame, or in an ordinary window the play square.
  const SDL_Rect whole{0, 0, width, height};
  SDL_Rect part = whole;
  if (display.windowed && !SDL_IntersectRect(&display.square, &whole, &part)) part = whole;
  if (!display.renderer) {
    if (!display.scaler) return;
    if (part.w == width && part.h == height) {
      presentOnSurface(pixels, width, height);
      return;
    }
    display.squareCopy.resize(static_cast<size_t>(part.w) * part.h);
    for (int row = 0; row < part.h; ++row) {
      const uint16_t* from = pixels + static_cast<ptrdiff_t>(part.y + row) * width + part.x;
      std::copy(from, from + part.w,
                display.squareCopy.begin() + static_cast<ptrdiff_t>(row) * part.w);
    }
    presentOnSurface(display.squareCopy.data(), part.w, part.h);
    return;
  }
  if (!prepareFrameTexture(width, height)) return;
  SDL_UpdateTexture(display.frame, nullptr, pixels, width * 2);
  int outWidth = 0;
  int outHeight = 0;
  SDL_GetRendererOutputSize(display.renderer, &outWidth, &outHeight);
  const SDL_Rect target = toSdl(fitFrame(part.w, part.h, outWidth, outHeight));
  SDL_SetRenderDrawColor(display.renderer, 0, 0, 0, 255);
  SDL_RenderClear(display.renderer);
  SDL_RenderCopy(display.renderer, display.frame, &part, &target);
  if (!display.vsync) waitForRefresh();
  SDL_RenderPresent(display.renderer);
}

Answer showNativeMessage(const std::string& text, const std::string& caption, Buttons buttons) {
  const SDL_MessageBoxButtonData okOnly[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
       static_cast<int>(Answer::Ok), "OK"},
  };
  const SDL_MessageBoxButtonData okCancel[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, static_cast<int>(Answer::Ok), "OK"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, static_cast<int>(Answer::Cancel), "Cancel"},
  };
  const bool askCancel = buttons == Buttons::OkCancel;
  SDL_MessageBoxData box{};
  box.flags = SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
  box.window = display.window;  // kept above the full-screen window when one is open
  box.title = caption.c_str();
  box.message = text.c_str();
  box.numbuttons = askCancel ? 2 : 1;
  box.buttons = askCancel ? okCancel : okOnly;
  int pressed = -1;
  if (SDL_ShowMessageBox(&box, &pressed) != 0 || pressed < 0) {
    return askCancel ? Answer::Cancel : Answer::Ok;
  }
  return pressed == static_cast<int>(Answer::Cancel) ? Answer::Cancel : Answer::Ok;
}

}  // namespace platform
