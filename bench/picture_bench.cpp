// Pictures from photographs: a 6000 x 4000 JPEG and a 1024 x 1024 PNG read from their files and
// cropped to the square (with the peak memory the JPEG takes above what the process held
// before), and `kzmtool new` on 50 JPEG photographs of 4000 x 3000 as a user runs it (a new
// process each time, both cores used).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "pictures/pictures.h"
#include "support/test_files.h"
#include "support/test_photos.h"

extern char** environ;

namespace {

using testing_support::TestPhoto;

// Smooth shapes, fine detail and a little sensor noise: what a camera's JPEG holds, about as
// large (some 2 bits a pixel at quality 90).
TestPhoto photograph(int width, int height, uint32_t seed) {
  TestPhoto photo(width, height);
  uint32_t state = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      const double shade = 0.5 + 0.25 * std::sin(9 * u + seed) * std::cos(7 * v);
      const double detail = 0.08 * std::sin(x * 0.31 + y * 0.17) * std::sin(y * 0.23);
      uint8_t* p = photo.at(x, y);
      for (int c = 0; c < 3; ++c) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        const double value =
            255 * (shade * (0.7 + 0.15 * c) + detail) + static_cast<int>(state % 9) - 4;
        p[c] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
      }
    }
  }
  return photo;
}

// The photograph's file, made once per run of the program.
const std::string& photoFile(const testing_support::TempDir& dir, const std::string& name,
                             int width, int height, const char* format, uint32_t seed = 1) {
  static std::map<std::string, std::string> made;
  std::string& path = made[name];
  if (path.empty()) {
    path = dir.file(name);
    testing_support::writeBytes(
        path, testing_support::encodePhoto(photograph(width, height, seed), format, 90));
  }
  return path;
}

const testing_support::TempDir& scratch() {
  static testing_support::TempDir dir;
  return dir;
}

// The peak resident size, in KiB, of a forked child that runs `work` and exits.
template <typename Work>
long childPeakKiB(const Work& work) {
  const pid_t child = fork();
  if (child == 0) {
    work();
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return 0;
  return usage.ru_maxrss;
}

void importOnce(benchmark::State& state, const std::string& path) {
  pictures::ImportedPicture imported;
  std::string why;
  if (!pictures::importPicture(path, pictures::Fit::Crop, imported, why))
    state.SkipWithError(why.c_str());
  benchmark::DoNotOptimize(imported.picture.get());
}

void BM_Jpeg6000x4000Cropped(benchmark::State& state) {
  const std::string& path = photoFile(scratch(), "photo.jpg", 6000, 4000, "jpg");
  // The peak memory of one import above what the process held before it, from two forked
  // children: one imports, one does nothing. Measured in this process, the import would reuse
  // heap pages that making the photograph touched and seem to take nothing.
  const long withImport = childPeakKiB([&] { importOnce(state, path); });
  const long without = childPeakKiB([] {});
  state.counters["peak_MiB_above_start"] = static_cast<double>(withImport - without) / 1024.0;
  for (auto _ : state) importOnce(state, path);
}
BENCHMARK(BM_Jpeg6000x4000Cropped)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Png1024Cropped(benchmark::State& state) {
  const std::string& path = photoFile(scratch(), "photo.png", 1024, 1024, "png");
  for (auto _ : state) importOnce(state, path);
}
BENCHMARK(BM_Png1024Cropped)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KzmtoolNewWith50Photos4000x3000(benchmark::State& state) {
  // Five different photographs, ten files of each.
  std::vector<std::string> arguments = {KZMTOOL, "new", scratch().file("fifty.kzm")};
  for (int n = 0; n < 50; ++n) {
    const std::string& made =
        photoFile(scratch(), "big" + std::to_string(n % 5) + ".jpg", 4000, 3000, "jpg", n % 5 + 2);
    arguments.push_back(scratch().file("photo" + std::to_string(n) + ".jpg"));
    if (n >= 5) testing_support::writeBytes(arguments.back(), testing_support::readBytes(made));
    if (n < 5) arguments.back() = made;
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, KZMTOOL, &actions, nullptr, argv.data(), environ) != 0 ||
        ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("kzmtool new failed");
    }
    posix_spawn_file_actions_destroy(&actions);
  }
}
BENCHMARK(BM_KzmtoolNewWith50Photos4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
