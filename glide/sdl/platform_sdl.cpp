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
// - SDL installs no signal handlers, so Ctrl+C in a terminal ends the program as usual.
// - When no message box can be shown, the line on standard error that showMessage writes is all;
//   a question with OK and Cancel then counts as cancelled, so that nothing is done unasked.
#include <SDL.h>

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
};

DisplayWindow display;
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

uint8_t keyOf(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      // Auto-repeats are key-downs too: a held Space reports again on every repeat.
      if (event.key.keysym.mod & KMOD_ALT) return 0;
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
    // Made at the desktop's size and corner, so that it covers the screen even where no window
    // manager carries out the full-screen request (a bare X server, a kiosk session).
    SDL_Rect desktop{0, 0, 640, 480};
    SDL_GetDisplayBounds(0, &desktop);
    display.window =
        SDL_CreateWindow("Rezud", desktop.x, desktop.y, desktop.w, desktop.h,
                         SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
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
  if (!display.renderer) {
    if (display.scaler) presentOnSurface(pixels, width, height);
    return;
  }
  if (!prepareFrameTexture(width, height)) return;
  SDL_UpdateTexture(display.frame, nullptr, pixels, width * 2);
  int outWidth = 0;
  int outHeight = 0;
  SDL_GetRendererOutputSize(display.renderer, &outWidth, &outHeight);
  const SDL_Rect target = toSdl(fitFrame(width, height, outWidth, outHeight));
  SDL_SetRenderDrawColor(display.renderer, 0, 0, 0, 255);
  SDL_RenderClear(display.renderer);
  SDL_RenderCopy(display.renderer, display.frame, nullptr, &target);
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
