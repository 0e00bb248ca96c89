// How the display window shows frames: through SDL's accelerated renderer where a graphics
// processor serves OpenGL, or through the window surface with our own scaling where OpenGL would
// only be a software rasteriser (a VM, a remote or virtual X server) or is missing altogether.
//
// A software OpenGL costs far more than it gives here: Mesa's llvmpipe maps some 55 MB of LLVM
// and draws a scaled frame slower than our scaler, and SDL's own software renderer is slower
// still. So the choice is made before any OpenGL library is loaded, where that can be told:
// an X server on this machine that offers direct rendering (DRI3 or DRI2, or NVIDIA's GLX) has
// a GPU behind it; a server without it (Xvfb, most VNC servers) or one reached over the network
// has not. Elsewhere the renderer is tried and dropped if it turns out to be a software one.
//
// The user can force either way with SDL's own variables (read as SDL's hints):
//   SDL_RENDER_DRIVER=software            the window surface (our scaler stands in for SDL's
//                                         software renderer, which does the same, slower);
//   SDL_RENDER_DRIVER=<any other driver>  the renderer, that driver;
//   SDL_FRAMEBUFFER_ACCELERATION=0|false  the window surface;
//   SDL_FRAMEBUFFER_ACCELERATION=<other>  the renderer (1, true, or a driver's name).
// SDL_RENDER_DRIVER decides when both are set.
#pragma once

#include <SDL.h>

#include <optional>

enum class Presentation { Renderer, WindowSurface };

// The way the user asked for through the two hints' values (nullptr when unset), if any.
std::optional<Presentation> presentationAskedFor(const char* renderDriver,
                                                 const char* framebufferAcceleration);

// Whether OpenGL on the window's display would run on a GPU, as far as it can be told without
// loading OpenGL; nothing when it cannot.
std::optional<bool> displayHasGpu(SDL_Window* window);

// Whether a GL_RENDERER string names one of Mesa's software rasterisers.
bool isSoftwareGlRenderer(const char* glRenderer);

// Whether the renderer draws on the CPU: SDL's software renderer, or OpenGL on a software
// rasteriser.
bool rendererDrawsInSoftware(SDL_Renderer* renderer);
