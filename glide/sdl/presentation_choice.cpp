#include "glide/sdl/presentation_choice.h"

#include <SDL_syswm.h>  // with SDL's X11 driver, Xlib too
#include <sys/socket.h>

#include <cstring>
#include <string_view>

namespace {

bool sameText(const char* text, const char* expected) {
  return SDL_strcasecmp(text, expected) == 0;
}

// Mesa's LIBGL_ALWAYS_SOFTWARE makes OpenGL a software rasteriser even on a GPU.
bool softwareGlForced() {
  const char* value = SDL_getenv("LIBGL_ALWAYS_SOFTWARE");
  return value && *value && !sameText(value, "0") && !sameText(value, "false");
}

#if defined(SDL_VIDEO_DRIVER_X11)
std::optional<bool> x11HasGpu(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return {};
  Display* display = info.info.x11.display;
  // Direct rendering needs the server on this machine, reached through a local socket; over
  // TCP (ssh -X, a remote DISPLAY) OpenGL falls back to software.
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(ConnectionNumber(display), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      address.ss_family != AF_UNIX) {
    return false;
  }
  for (const char* extension : {"DRI3", "DRI2", "NV-GLX"}) {
    int opcode = 0;
    int firstEvent = 0;
    int firstError = 0;
    if (XQueryExtension(display, extension, &opcode, &firstEvent, &firstError)) return true;
  }
  return false;
}
#endif

}  // namespace

std::optional<Presentation> presentationAskedFor(const char* renderDriver,
                                                 const char* framebufferAcceleration) {
  if (renderDriver && *renderDriver) {
    return sameText(renderDriver, "software") ? Presentation::WindowSurface
                                              : Presentation::Renderer;
  }
  if (framebufferAcceleration && *framebufferAcceleration) {
    const bool off =
        framebufferAcceleration[0] == '0' || sameText(framebufferAcceleration, "false");
    return off ? Presentation::WindowSurface : Presentation::Renderer;
  }
  return {};
}

std::optional<bool> displayHasGpu(SDL_Window* window) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return {};
  // SDL's drivers that show nothing have no GPU either.
  if (sameText(driver, "dummy") || sameText(driver, "offscreen")) return false;
  if (softwareGlForced()) return false;
#if defined(SDL_VIDEO_DRIVER_X11)
  if (sameText(driver, "x11")) return x11HasGpu(window);
#else
  (void)window;
#endif
  return {};
}

bool isSoftwareGlRenderer(const char* glRenderer) {
  if (!glRenderer) return false;
  const std::string_view name = glRenderer;
  for (const std::string_view software : {"llvmpipe", "softpipe", "Software Rasterizer"}) {
    if (name.find(software) != std::string_view::npos) return true;
  }
  return false;
}

bool rendererDrawsInSoftware(SDL_Renderer* renderer) {
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(renderer, &info) != 0) return false;
  if (info.flags & SDL_RENDERER_SOFTWARE) return true;
  if (!info.name || std::strncmp(info.name, "opengl", 6) != 0) return false;
  // SDL's OpenGL renderers leave their context current: ask it what draws.
  using GetString = const unsigned char* (*)(unsigned int);
  const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  constexpr unsigned int kGlRenderer = 0x1F01;
  return getString && isSoftwareGlRenderer(reinterpret_cast<const char*>(getString(kGlRenderer)));
}
