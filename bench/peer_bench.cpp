// Our frame beside two other software renderers drawing the same frame, in one run: Mesa's
// llvmpipe (OpenGL ES 2 through EGL with no window) and SDL2's software renderer. The frame is
// the one frame_bench plays, taken from the Glide calls of one playFrame: each cell of the
// mesh twice, the target picture opaque and then the source over it with the fading alpha.
// Each peer draws it two ways: a draw call per cell, as the player's calls come, and batched,
// the whole mesh of each picture in one call. The peers get the same pictures (256 x 256
// RGB565, bilinear where the renderer offers it) and a colour buffer of the board's screen;
// a frame counts as drawn when the renderer has finished it (glFinish, SDL_RenderFlush).
// The pixels differ a little from ours, as each renderer samples and rounds its own way.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "glide/board_testing.h"
#include "glide/call_log.h"
#include "glide/glide.h"
#include "warped_project.h"

namespace {

struct Corner {
  float x, y, s, t;
};
// One drawQuad of the player: four corners, its picture (0 the target, 1 the source), alpha.
struct Quad {
  Corner corners[4];
  int picture;
  float alpha;  // 0..1
};
struct Frame {
  int width = 0, height = 0;
  std::vector<Quad> quads;
  std::vector<uint16_t> pictures[2];  // 256 x 256 RGB565: the target, then the source
};

// The frame as the player's calls draw it: triangles (0, 1, 2) and (0, 2, 3) of each quad.
bool captureFrame(int quality, int playSize, Frame& frame) {
  auto engine = warpedProject(quality, playSize, 2);
  if (engine->preparePlayback() != 0) return false;
  frame.width = static_cast<int>(grSstScreenWidth());
  frame.height = static_cast<int>(grSstScreenHeight());
  const PictureSlot* slots[2] = {engine->toPicture, engine->fromPicture};
  std::vector<glide::GlideCall> calls;
  {
    glide::CallLog log;
    engine->playFrame();
    calls = log.calls();
  }
  int picture = 0;
  float alpha = 1.0f;
  for (size_t i = 0; i < calls.size(); ++i) {
    const glide::GlideCall& call = calls[i];
    if (call.name == "grTexSource") {
      picture = static_cast<uint32_t>(call.args[1]) == slots[0]->texAddress ? 0 : 1;
    } else if (call.name == "grConstantColorValue") {
      alpha = static_cast<float>(static_cast<uint32_t>(call.args[0]) & 0xFF) / 255.0f;
    } else if (call.name == "guDrawTriangleWithClip" && i + 1 < calls.size() &&
               calls[i + 1].name == "guDrawTriangleWithClip") {
      // A vertex is logged as x, y, oow, sow, tow, tmu oow.
      auto corner = [](const glide::GlideCall& from, int k) {
        const double* v = from.args.data() + 6 * k;
        return Corner{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[3]),
                      static_cast<float>(v[4])};
      };
      Quad quad{{corner(call, 0), corner(call, 1), corner(call, 2), corner(calls[i + 1], 2)},
                picture,
                alpha};
      frame.quads.push_back(quad);
      ++i;
    }
  }
  for (int k = 0; k < 2; ++k) {
    const uint16_t* pixels = slots[k]->image->pixels;
    frame.pictures[k].assign(pixels, pixels + kPictureSide * kPictureSide);
  }
  engine->endPlayback();
  return !frame.quads.empty();
}

// Whether the middle row of a drawn frame shows a picture, not one colour: a renderer that
// refused the frame would otherwise be timed doing nothing.
template <typename Pixel>
bool showsPicture(const std::vector<Pixel>& row) {
  return std::count(row.begin(), row.end(), row[row.size() / 2]) <
         static_cast<long>(row.size()) / 2;
}

// ---- Our board, on its fastest path and every core --------------------------------------

void ourBoard(benchmark::State& state, int quality, int playSize) {
  playFrames(state, glide::fastestRasterPath(), 0, quality, playSize);
}

// ---- llvmpipe -----------------------------------------------------------------------------

class Llvmpipe {
 public:
  // Mesa's software renderer even where a GPU is present.
  bool open(const Frame& frame, std::string& why) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    auto platformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!platformDisplay) return fail(why, "EGL has no eglGetPlatformDisplayEXT");
    display_ = platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, &major, &minor)) {
      return fail(why, "EGL's surfaceless platform did not open");
    }
    eglBindAPI(EGL_OPENGL_ES_API);
    const EGLint configWanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_NONE};
    // Drawing goes to a framebuffer object, so a context with no configuration will do where
    // the platform offers none.
    EGLConfig config = EGL_NO_CONFIG_KHR;
    EGLint configs = 0;
    if (!eglChooseConfig(display_, configWanted, &config, 1, &configs) || configs < 1) {
      config = EGL_NO_CONFIG_KHR;
    }
    const EGLint contextWanted[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, contextWanted);
    if (context_ == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
      return fail(why, "no OpenGL ES 2 context without a surface");
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!renderer || !std::strstr(renderer, "llvmpipe")) return fail(why, "not llvmpipe");

    glGenRenderbuffers(1, &colour_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB565, frame.width, frame.height);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      return fail(why, "an RGB565 colour buffer is not renderable");
    }
    glViewport(0, 0, frame.width, frame.height);
    glGenTextures(2, textures_);
    for (int k = 0; k < 2; ++k) {
      glBindTexture(GL_TEXTURE_2D, textures_[k]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kPictureSide, kPictureSide, 0, GL_RGB,
                   GL_UNSIGNED_SHORT_5_6_5, frame.pictures[k].data());
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    }
    if (!buildProgram(frame, why)) return false;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glGenBuffers(1, &vertices_);
    return true;
  }

  ~Llvmpipe() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    eglTerminate(display_);
  }

  // A draw per cell from the caller's memory, its picture and alpha set for it.
  void drawPerCell(const Frame& frame) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    for (const Quad& quad : frame.quads) {
      const Corner* c = quad.corners;
      const Corner triangles[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
      glBindTexture(GL_TEXTURE_2D, textures_[quad.picture]);
      glUniform1f(alphaAt_, quad.alpha);
      glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Corner), triangles);
      glDrawArrays(GL_TRIANGLES, 0, 6);
    }
    glFinish();
  }

  // Each picture's cells in one draw, from one buffer filled for the frame.
  void drawBatched(const Frame& frame) {
    std::vector<Corner>& triangles = batch_;
    triangles.clear();
    size_t firstOfSource = 0;
    for (int picture = 0; picture < 2; ++picture) {
      if (picture == 1) firstOfSource = triangles.size();
      for (const Quad& quad : frame.quads) {
        if (quad.picture != picture) continue;
        const Corner* c = quad.corners;
        triangles.insert(triangles.end(), {c[0], c[1], c[2], c[0], c[2], c[3]});
      }
    }
    glBindBuffer(GL_ARRAY_BUFFER, vertices_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(triangles.size() * sizeof(Corner)),
                 triangles.data(), GL_STREAM_DRAW);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Corner), nullptr);
    const float sourceAlpha = frame.quads.size() > 1 ? frame.quads[1].alpha : 1.0f;
    glBindTexture(GL_TEXTURE_2D, textures_[0]);
    glUniform1f(alphaAt_, 1.0f);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(firstOfSource));
    glBindTexture(GL_TEXTURE_2D, textures_[1]);
    glUniform1f(alphaAt_, sourceAlpha);
    glDrawArrays(GL_TRIANGLES, static_cast<GLint>(firstOfSource),
                 static_cast<GLsizei>(triangles.size() - firstOfSource));
    glFinish();
  }

 private:
  static bool fail(std::string& why, const char* what) {
    why = what;
    return false;
  }

  bool buildProgram(const Frame& frame, std::string& why) {
    // Screen pixels and texels to clip space and texture space.
    const char* vertexSource =
        "attribute vec4 corner;\n"
        "uniform vec2 pixelToClip;\n"
        "varying vec2 st;\n"
        "void main() {\n"
        "  st = corner.zw / 256.0;\n"
        "  gl_Position = vec4(corner.xy * pixelToClip - 1.0, 0.0, 1.0);\n"
        "}\n";
    const char* fragmentSource =
        "precision mediump float;\n"
        "uniform sampler2D picture;\n"
        "uniform float alpha;\n"
        "varying vec2 st;\n"
        "void main() { gl_FragColor = vec4(texture2D(picture, st).rgb, alpha); }\n";
    const GLuint program = glCreateProgram();
    for (const auto& [type, source] : {std::pair{GL_VERTEX_SHADER, vertexSource},
                                       std::pair{GL_FRAGMENT_SHADER, fragmentSource}}) {
      const GLuint shader = glCreateShader(type);
      glShaderSource(shader, 1, &source, nullptr);
      glCompileShader(shader);
      GLint compiled = 0;
      glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
      if (!compiled) return fail(why, "a shader did not compile");
      glAttachShader(program, shader);
    }
    glBindAttribLocation(program, 0, "corner");
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return fail(why, "the shaders did not link");
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "pixelToClip"),
                2.0f / static_cast<float>(frame.width), 2.0f / static_cast<float>(frame.height));
    glUniform1i(glGetUniformLocation(program, "picture"), 0);
    alphaAt_ = glGetUniformLocation(program, "alpha");
    glEnableVertexAttribArray(0);
    return true;
  }

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  GLuint framebuffer_ = 0, colour_ = 0, textures_[2] = {}, vertices_ = 0;
  GLint alphaAt_ = -1;
  std::vector<Corner> batch_;
};

void llvmpipe(benchmark::State& state, int quality, int playSize, bool batched) {
  Frame frame;
  if (!captureFrame(quality, playSize, frame)) {
    state.SkipWithError("the frame could not be taken");
    return;
  }
  Llvmpipe renderer;
  std::string why;
  if (!renderer.open(frame, why)) {
    state.SkipWithError(why.c_str());
    return;
  }
  auto draw = [&] { batched ? renderer.drawBatched(frame) : renderer.drawPerCell(frame); };
  draw();
  std::vector<uint32_t> row(static_cast<size_t>(frame.width));
  glReadPixels(0, frame.height / 2, frame.width, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
  if (!showsPicture(row)) {
    state.SkipWithError("llvmpipe drew no picture");
    return;
  }
  for (auto _ : state) draw();
}

// ---- SDL2's software renderer -----------------------------------------------------------

// SDL refuses texture coordinates outside 0..1 (it does not wrap): the mesh's reach at most a
// rounding beyond.
SDL_Vertex sdlVertex(const Corner& corner, float alpha) {
  const auto a = static_cast<Uint8>(alpha * 255.0f + 0.5f);
  return {{corner.x, corner.y},
          {255, 255, 255, a},
          {std::clamp(corner.s / 256.0f, 0.0f, 1.0f), std::clamp(corner.t / 256.0f, 0.0f, 1.0f)}};
}

void sdlSoftware(benchmark::State& state, int quality, int playSize, bool batched) {
  Frame frame;
  if (!captureFrame(quality, playSize, frame)) {
    state.SkipWithError("the frame could not be taken");
    return;
  }
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, frame.width, frame.height, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Renderer* renderer = surface ? SDL_CreateSoftwareRenderer(surface) : nullptr;
  if (!renderer) {
    state.SkipWithError(SDL_GetError());
    if (surface) SDL_FreeSurface(surface);
    return;
  }
  SDL_Texture* textures[2] = {};
  for (int k = 0; k < 2; ++k) {
    textures[k] = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STATIC,
                                    kPictureSide, kPictureSide);
    SDL_UpdateTexture(textures[k], nullptr, frame.pictures[k].data(), kPictureSide * 2);
    SDL_SetTextureScaleMode(textures[k], SDL_ScaleModeLinear);
    SDL_SetTextureBlendMode(textures[k], SDL_BLENDMODE_BLEND);
  }
  const int order[6] = {0, 1, 2, 0, 2, 3};
  std::vector<SDL_Vertex> vertices;
  std::vector<int> indices;
  bool checked = false;
  for (auto _ : state) {
    if (!batched) {
      for (const Quad& quad : frame.quads) {
        SDL_Vertex corners[4];
        for (int k = 0; k < 4; ++k) corners[k] = sdlVertex(quad.corners[k], quad.alpha);
        SDL_RenderGeometry(renderer, textures[quad.picture], corners, 4, order, 6);
      }
    } else {
      for (int picture = 0; picture < 2; ++picture) {
        vertices.clear();
        indices.clear();
        for (const Quad& quad : frame.quads) {
          if (quad.picture != picture) continue;
          const int first = static_cast<int>(vertices.size());
          for (int k = 0; k < 4; ++k) vertices.push_back(sdlVertex(quad.corners[k], quad.alpha));
          for (const int k : order) indices.push_back(first + k);
        }
        SDL_RenderGeometry(renderer, textures[picture], vertices.data(),
                           static_cast<int>(vertices.size()), indices.data(),
                           static_cast<int>(indices.size()));
      }
    }
    SDL_RenderFlush(renderer);
    if (!checked) {
      const auto* middle = static_cast<const uint16_t*>(surface->pixels) +
                           static_cast<size_t>(surface->pitch / 2) * (frame.height / 2);
      if (!showsPicture(std::vector<uint16_t>(middle, middle + frame.width))) {
        state.SkipWithError("SDL drew no picture");
        break;
      }
      checked = true;
    }
  }
  for (SDL_Texture* texture : textures) SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(surface);
}

}  // namespace

int main(int argc, char** argv) {
  for (const FrameSettings& setting : kFrameSettings) {
    const int q = setting.quality, size = setting.playSize;
    auto add = [&](const char* who, auto function, auto... how) {
      const std::string name = std::string(setting.name) + "/" + who;
      benchmark::RegisterBenchmark(name.c_str(), function, q, size, how...)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    };
    add("ours", ourBoard);
    add("llvmpipe_per_cell", llvmpipe, false);
    add("llvmpipe_batched", llvmpipe, true);
    add("sdl_software_per_cell", sdlSoftware, false);
    add("sdl_software_batched", sdlSoftware, true);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
