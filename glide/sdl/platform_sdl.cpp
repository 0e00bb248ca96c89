// The platform with a real display, through SDL2: the full-screen display window and its keys,
// the presentation of the board's frames, and SDL's message boxes.
//
// Choices made here for a Linux desktop:
// - The window covers the desktop in SDL's full-screen-desktop mode; the monitor's own video mode
//   is never changed. It does not minimise when it loses the focus (a message box over it would
//   otherwise hide the playback behind it).
// - A frame is shown scaled to fit the window with its aspect kept, on black bars, filtered
//   linearly. Presenting waits for the display's refresh: through the renderer's vsync where the
//   driver gives it, otherwise by sleeping out the rest of one refresh period.
// - Besides Escape, a close request from the window manager (or the last window closed) ends the
//   playback like Escape. A key pressed with Alt held reports nothing, as the window system of
//   the original programs gave such keys to its own handling.
// - SDL installs no signal handlers, so Ctrl+C in a terminal ends the program as usual.
// - When no message box can be shown, the line on standard error that showMessage writes is all;
//   a question with OK and Cancel then counts as cancelled, so that nothing is done unasked.
#include <SDL.h>

#include <string>

#include "engine/messages.h"
#include "glide/platform.h"

namespace {

constexpr uint8_t kEscape = 27;
constexpr uint8_t kSpace = 32;
constexpr int kFallbackRefreshHz = 60;

struct DisplayWindow {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* frame = nullptr;  // streaming RGB565, the size of the last frame shown
  int frameWidth = 0;
  int frameHeight = 0;
  bool vsync = false;       // the renderer waits for the refresh by itself
  Uint64 refreshTicks = 0;  // one refresh period in performance-counter ticks
  Uint64 lastPresent = 0;   // when the last frame went out, for pacing without vsync
  bool failed = false;      // the window was asked for and could not be made
};

DisplayWindow display;
void (*hostEventHook)() = nullptr;
int presentationStarts = 0;  // SDL's video subsystem stays up until the last stop

void releaseDisplay() {
  if (display.frame) SDL_DestroyTexture(display.frame);
  if (display.renderer) SDL_DestroyRenderer(display.renderer);
  if (display.window) SDL_DestroyWindow(display.window);
  display = DisplayWindow{};
}

// Paints the whole window black and shows it.
void showBlack() {
  SDL_SetRenderDrawColor(display.renderer, 0, 0, 0, 255);
  SDL_RenderClear(display.renderer);
  SDL_RenderPresent(display.renderer);
}

void measureRefresh() {
  SDL_DisplayMode mode{};
  int hz = kFallbackRefreshHz;
  if (SDL_GetWindowDisplayMode(display.window, &mode) == 0 && mode.refresh_rate > 0) {
    hz = mode.refresh_rate;
  }
  display.refreshTicks = SDL_GetPerformanceFrequency() / static_cast<Uint64>(hz);
}

// Without vsync, one frame per refresh period at most, as a swap on a real display would give.
void waitOutRefresh() {
  Uint64 now = SDL_GetPerformanceCounter();
  const Uint64 due = display.lastPresent + display.refreshTicks;
  if (display.lastPresent != 0 && now < due) {
    const Uint64 milliseconds = (due - now) * 1000 / SDL_GetPerformanceFrequency();
    if (milliseconds > 0) SDL_Delay(static_cast<Uint32>(milliseconds));
    now = SDL_GetPerformanceCounter();
  }
  display.lastPresent = now;
}

// The largest rectangle of the frame's aspect that fits the output, centred on it.
SDL_Rect fitFrame(int frameWidth, int frameHeight, int outWidth, int outHeight) {
  SDL_Rect rect{0, 0, outWidth, outHeight};
  const int64_t widthLimited = static_cast<int64_t>(outWidth) * frameHeight;
  const int64_t heightLimited = static_cast<int64_t>(outHeight) * frameWidth;
  if (widthLimited <= heightLimited) {
    rect.h = static_cast<int>(widthLimited / frameWidth);
  } else {
    rect.w = static_cast<int>(heightLimited / frameHeight);
  }
  rect.x = (outWidth - rect.w) / 2;
  rect.y = (outHeight - rect.h) / 2;
  return rect;
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
      if (event.window.event == SDL_WINDOWEVENT_CLOSE && display.window &&
          event.window.windowID == SDL_GetWindowID(display.window)) {
        return kEscape;
      }
      return 0;
    default:
      return 0;
  }
}

}  // namespace

void createDisplayWindow() {
  if (display.window) return;  // one display window at a time
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
    if (display.window) {
      display.renderer = SDL_CreateRenderer(display.window, -1, SDL_RENDERER_PRESENTVSYNC);
      if (!display.renderer) display.renderer = SDL_CreateRenderer(display.window, -1, 0);
    }
    display.failed = display.renderer == nullptr;
  }
  if (display.failed) {
    // Without a window no key can arrive: the polls then report Escape, so playback ends.
    const std::string reason = SDL_GetError();
    releaseDisplay();
    display.failed = true;
    platform::showMessage("Cannot open the display window.\n" + reason, kEngineErrorCaption);
    return;
  }
  SDL_RendererInfo info{};
  // SDL's software renderer accepts vsync but never waits for a refresh.
  display.vsync = SDL_GetRendererInfo(display.renderer, &info) == 0 &&
                  (info.flags & SDL_RENDERER_PRESENTVSYNC) && !(info.flags & SDL_RENDERER_SOFTWARE);
  measureRefresh();
  SDL_RaiseWindow(display.window);
  showBlack();
}

uint8_t pollKey() {
  if (hostEventHook) hostEventHook();
  if (display.failed) return kEscape;
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return 0;
  SDL_Event event;
  if (SDL_PollEvent(&event) == 0) return 0;
  return keyOf(event);
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
  if (!display.renderer || width <= 0 || height <= 0) return;
  if (!prepareFrameTexture(width, height)) return;
  SDL_UpdateTexture(display.frame, nullptr, pixels, width * 2);
  int outWidth = 0;
  int outHeight = 0;
  SDL_GetRendererOutputSize(display.renderer, &outWidth, &outHeight);
  const SDL_Rect target = fitFrame(width, height, outWidth, outHeight);
  SDL_SetRenderDrawColor(display.renderer, 0, 0, 0, 255);
  SDL_RenderClear(display.renderer);
  SDL_RenderCopy(display.renderer, display.frame, nullptr, &target);
  SDL_RenderPresent(display.renderer);
  if (!display.vsync) waitOutRefresh();
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
