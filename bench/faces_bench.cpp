// Face points: loading the 68-point model, one face and its points on a 256 x 256 picture (one
// core, the model loaded and the detector built), the eyes on a large photograph, and `kzmtool
// faces` on a 50-picture project of faces as a user runs it (a new process each time: the model
// load included, both cores used).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <memory>
#include <string>

#include "engine/morph_engine.h"
#include "faces/face_finder.h"
#include "support/test_files.h"

extern char** environ;

namespace {

std::unique_ptr<PictureImage> astronaut() {
  MorphEngine engine;
  return engine.importBmp(MORPH_SOURCE_DATA "/astronaut_face.bmp");
}

// The face moved by (dx, dy), mirrored when asked; the edge pixels fill what comes in.
std::unique_ptr<PictureImage> moved(const PictureImage& face, int dx, int dy, bool mirror) {
  auto picture = std::make_unique<PictureImage>();
  for (int y = 0; y < kPictureSide; ++y) {
    for (int x = 0; x < kPictureSide; ++x) {
      const int fromX = std::clamp(mirror ? 255 - (x - dx) : x - dx, 0, 255);
      const int fromY = std::clamp(y - dy, 0, 255);
      picture->pixels[y * kPictureSide + x] = face.pixels[fromY * kPictureSide + fromX];
    }
  }
  return picture;
}

void BM_LoadFaceModel(benchmark::State& state) {
  for (auto _ : state) {
    std::string why;
    if (readFaceModelAnew(&why) != 0) state.SkipWithError(why.c_str());
  }
}
BENCHMARK(BM_LoadFaceModel)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(1);

void BM_OneFaceAndItsPoints(benchmark::State& state) {
  std::string why;
  if (loadFaceModel(&why) != 0) state.SkipWithError(why.c_str());
  const std::unique_ptr<PictureImage> face = astronaut();
  const PictureImage* pictures[] = {face.get()};
  std::vector<std::optional<FaceShape>> shapes;
  // The first search also builds dlib's detector (most of a second), once per process.
  findFaceShapes(pictures, shapes, &why);
  for (auto _ : state) {
    // With the model loaded, one picture is one thread's work.
    if (findFaceShapes(pictures, shapes, &why) != FaceSearch::done || !shapes[0]) {
      state.SkipWithError("no face found");
    }
  }
}
BENCHMARK(BM_OneFaceAndItsPoints)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The face fit's search on a 4000 x 3000 photograph (the face enlarged into it): the eye centres
// of its face, the model loaded.
void BM_EyesOnALargePhotograph(benchmark::State& state) {
  std::string why;
  if (loadFaceModel(&why) != 0) state.SkipWithError(why.c_str());
  const std::unique_ptr<PictureImage> face = astronaut();
  constexpr int kWidth = 4000, kHeight = 3000;
  std::vector<uint8_t> rgb(size_t{kWidth} * kHeight * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      // The square face in the middle, its edge columns carried on to the sides.
      const int fromX = std::clamp((x - (kWidth - kHeight) / 2) * 256 / kHeight, 0, 255);
      const uint16_t pixel = face->pixels[(y * 256 / kHeight) * 256 + fromX];
      uint8_t* to = &rgb[(size_t{kWidth} * y + x) * 3];
      to[0] = static_cast<uint8_t>((pixel >> 11) << 3);
      to[1] = static_cast<uint8_t>(((pixel >> 5) & 63) << 2);
      to[2] = static_cast<uint8_t>((pixel & 31) << 3);
    }
  }
  std::optional<EyeCentres> eyes;
  findEyeCentres({rgb.data(), kWidth, kHeight, kWidth * 3}, eyes, &why);  // builds the detector
  for (auto _ : state) {
    if (findEyeCentres({rgb.data(), kWidth, kHeight, kWidth * 3}, eyes, &why) != FaceSearch::done ||
        !eyes) {
      state.SkipWithError("no face found");
    }
  }
}
BENCHMARK(BM_EyesOnALargePhotograph)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_KzmtoolFacesOn50Pictures(benchmark::State& state) {
  testing_support::TempDir dir;
  const std::unique_ptr<PictureImage> face = astronaut();
  MorphEngine engine;
  for (int n = 0; n < kMaxPictures; ++n) {
    engine.insertPicture(moved(*face, (n % 7) * 6 - 18, (n % 5) * 5 - 10, n % 2), n);
  }
  const std::string project = dir.file("faces.kzm");
  const std::string output = dir.file("out.kzm");
  engine.saveProject(project);
  for (auto _ : state) {
    char* argv[] = {const_cast<char*>(KZMTOOL),         const_cast<char*>("faces"),
                    const_cast<char*>(project.c_str()), const_cast<char*>("-o"),
                    const_cast<char*>(output.c_str()),  nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = 1;
    if (posix_spawn(&pid, KZMTOOL, &actions, nullptr, argv, environ) != 0 ||
        ::waitpid(pid, &status, 0) != pid || status != 0) {
      state.SkipWithError("kzmtool faces failed");
    }
    posix_spawn_file_actions_destroy(&actions);
  }
}
BENCHMARK(BM_KzmtoolFacesOn50Pictures)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
