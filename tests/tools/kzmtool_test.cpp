// kzmtool as a user runs it: the real program on files made here, its exit code and output.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/file_io.h"
#include "engine/morph_engine.h"
#include "engine/tga_export.h"
#include "glide/raster/raster.h"
#include "pictures/pictures.h"
#include "support/test_files.h"
#include "support/test_photos.h"
#include "support/test_pictures.h"
#include "tools/bmp_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The import's conversion: the top bits of each channel.
uint16_t toPixel(Rgb c) {
  return static_cast<uint16_t>((c.b >> 3) + ((c.g & 0xFC) << 3) + ((c.r & 0xF8) << 8));
}

class Kzmtool : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return temp_.file(name); }

  // Runs kzmtool with `args` in `workingDirectory` (the test's own by default), no shell,
  // standard input empty.
  Outcome run(const std::vector<std::string>& args, std::string workingDirectory = "") const {
    if (workingDirectory.empty()) workingDirectory = dir_;
    const std::string outPath = path("stdout.txt");
    const std::string errPath = path("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> argv{const_cast<char*>(KZMTOOL)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    Outcome result;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, KZMTOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      ADD_FAILURE() << "cannot start " << KZMTOOL << ": " << std::strerror(spawned);
      return result;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "kzmtool did not exit normally (signal?)";
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readAll(outPath);
    result.err = readAll(errPath);
    return result;
  }

  // A picture of random colours, written as a BMP; returns the pixels the import makes of it.
  std::vector<uint16_t> writePicture(const std::string& name, uint32_t seed) const {
    std::mt19937 random(seed);
    std::vector<Rgb> colours(kPicturePixels);
    std::vector<uint16_t> pixels(kPicturePixels);
    for (int i = 0; i < kPicturePixels; ++i) {
      colours[i] = Rgb{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                       static_cast<uint8_t>(random())};
      pixels[i] = toPixel(colours[i]);
    }
    const std::vector<uint8_t> bmp = encodeBmp(colours.data());
    writeAll(path(name), std::string(bmp.begin(), bmp.end()));
    return pixels;
  }

  // A project made with the engine itself: `pictures` pictures, one point added on picture 0
  // (inherited elsewhere) and moved on the last picture.
  std::string saveProject(const std::string& name, int pictures, int quality = 28, int speed = 100,
                          int playSize = 450, int playMode = 0) const {
    MorphEngine engine;
    for (int n = 0; n < pictures; ++n) {
      auto image = std::make_unique<PictureImage>();
      for (int i = 0; i < kPicturePixels; ++i)
        image->pixels[i] = static_cast<uint16_t>(i * (n + 3));
      engine.insertPicture(std::move(image), n);
    }
    engine.addPoint(0, 10, 20);
    engine.addPoint(0, 200, 100);
    engine.movePoint(pictures - 1, 1, 150, 90);
    engine.quality = quality;
    engine.speed = speed;
    engine.playSize = playSize;
    engine.playMode = playMode;
    std::string why;
    EXPECT_EQ(engine.saveProject(path(name), &why), 0) << why;
    return path(name);
  }

  testing_support::TempDir temp_;
  const std::string dir_ = temp_.path();
};

// A failure: exit code 1, nothing on standard output, and a last line on standard error that
// names the trouble.
void expectFailure(const Outcome& result, const std::string& reason) {
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.out, "");
  ASSERT_FALSE(result.err.empty());
  EXPECT_EQ(result.err.back(), '\n');
  const std::string lastLine = result.err.substr(result.err.rfind('\n', result.err.size() - 2) + 1);
  EXPECT_EQ(lastLine.rfind("kzmtool: ", 0), 0u) << result.err;
  EXPECT_NE(lastLine.find(reason), std::string::npos)
      << "wanted '" << reason << "' in: " << result.err;
}

TEST_F(Kzmtool, NewInfoAndExtractRoundTrip) {
  std::vector<std::vector<uint16_t>> pictures;
  for (int n = 0; n < 3; ++n)
    pictures.push_back(writePicture("in" + std::to_string(n) + ".bmp", n + 1));
  writeAll(path("points.txt"), "# eyes\n10 20   30 40  50 60\r\n\n  255 0 0 255 128 128 # nose\n");
  const Outcome made = run({"new", path("new.kzm"), path("in0.bmp"), path("in1.bmp"),
                            path("in2.bmp"), "--points", path("points.txt"), "--quality", "12",
                            "--speed=40", "--size", "300", "--mode", "ping-pong"});
  ASSERT_EQ(made.code, 0) << made.err;
  EXPECT_EQ(made.err, "");

  const Outcome json = run({"info", "--json", path("new.kzm")});
  ASSERT_EQ(json.code, 0) << json.err;
  EXPECT_EQ(json.out,
            "{\"pictureCount\": 3, \"pointCount\": 2, \"playMode\": 1, \"quality\": 12, "
            "\"speed\": 40, \"playSize\": 300, \"pictures\": ["
            "{\"points\": [[10, 20, 0], [255, 0, 0]]}, "
            "{\"points\": [[30, 40, 0], [0, 255, 0]]}, "
            "{\"points\": [[50, 60, 0], [128, 128, 0]]}]}\n");

  // The pictures are imported as the editor imports them.
  MorphEngine loaded;
  ASSERT_EQ(loaded.loadProject(path("new.kzm")), 0);
  for (int n = 0; n < 3; ++n) {
    ASSERT_EQ(std::memcmp(loaded.getPictureImage(n)->pixels, pictures[n].data(), kPictureBytes), 0)
        << n;
  }

  // Extracting and importing again gives back exactly the same pictures.
  std::vector<std::string> again{"new", path("again.kzm")};
  for (int n = 0; n < 3; ++n) {
    const std::string out = path("out" + std::to_string(n) + ".bmp");
    const Outcome extracted = run({"extract", path("new.kzm"), std::to_string(n), out});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    const std::vector<uint8_t> expected = encodeBmp(*loaded.getPictureImage(n));
    EXPECT_EQ(readAll(out), std::string(expected.begin(), expected.end()));
    again.push_back(out);
  }
  ASSERT_EQ(run(again).code, 0);
  MorphEngine reimported;
  ASSERT_EQ(reimported.loadProject(path("again.kzm")), 0);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(std::memcmp(reimported.getPictureImage(n)->pixels, pictures[n].data(), kPictureBytes),
              0);
  }
}

TEST_F(Kzmtool, NewWithoutSettingsTakesTheDefaults) {
  writePicture("one.bmp", 9);
  ASSERT_EQ(run({"new", path("one.kzm"), path("one.bmp")}).code, 0);
  EXPECT_EQ(run({"info", "--json", path("one.kzm")}).out,
            "{\"pictureCount\": 1, \"pointCount\": 0, \"playMode\": 0, \"quality\": 28, "
            "\"speed\": 100, \"playSize\": 450, \"pictures\": [{\"points\": []}]}\n");
}

TEST_F(Kzmtool, InfoTellsPlacedAndInheritedPoints) {
  const std::string project = saveProject("two.kzm", 2);
  const Outcome info = run({"info", project});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_EQ(info.out,
            "pictures   2\npoints     2\nplay mode  loop\nquality    28\nspeed      100\n"
            "play size  450\n"
            "picture 0\n  point 0  10 20  placed\n  point 1  200 100  placed\n"
            "picture 1\n  point 0  10 20  inherited\n  point 1  150 90  placed\n");
  EXPECT_NE(run({"info", "--json", project}).out.find("[[10, 20, 1], [150, 90, 0]]"),
            std::string::npos);

  // Values the warp leaves out are marked; the file keeps them, and the morph still plays
  // (it rendered black before).
  MorphEngine engine;
  ASSERT_EQ(engine.loadProject(project), 0);
  engine.pictures[0].points[1].x = std::nanf("");
  engine.pictures[1].points[0].y = 1.0e38f;
  engine.playSize = 64;
  ASSERT_EQ(engine.saveProject(path("broken.kzm")), 0);
  const Outcome broken = run({"info", path("broken.kzm")});
  EXPECT_NE(broken.out.find("point 1  nan 100  placed  left out of the warp\n"), std::string::npos)
      << broken.out;
  EXPECT_NE(broken.out.find("point 0  10 1e+38  inherited  left out of the warp\n"),
            std::string::npos);
  EXPECT_NE(run({"info", "--json", path("broken.kzm")})
                .out.find("[[10, 20, 0], [null, 100, 0]], \"leftOut\": [1]}, "
                          "{\"points\": [[10, 1e+38, 1], [150, 90, 0]], \"leftOut\": [0]}]}"),
            std::string::npos);
  ASSERT_EQ(run({"render", path("broken.kzm"), "--frames", "1"}).code, 0);
  const std::string frame = readAll(path("OUT00000.TGA"));
  EXPECT_NE(frame.find_first_not_of('\0', 18), std::string::npos) << "an all-black frame";
}

TEST_F(Kzmtool, SetChangesTheGivenSettingsOnly) {
  const std::string project = saveProject("p.kzm", 3);
  const std::string original = readAll(project);

  // To another file: the original stays as it was.
  ASSERT_EQ(run({"set", project, "--quality", "64", "--mode", "random", "--size", "1200", "-o",
                 path("q.kzm")})
                .code,
            0);
  EXPECT_EQ(readAll(project), original);
  MorphEngine changed;
  ASSERT_EQ(changed.loadProject(path("q.kzm")), 0);
  EXPECT_EQ(changed.quality, 64);
  EXPECT_EQ(changed.playMode, 2);
  EXPECT_EQ(changed.playSize, 1200);
  EXPECT_EQ(changed.speed, 100);
  EXPECT_EQ(changed.pictureCount, 3);
  EXPECT_EQ(changed.getPoint(2, 1).x, 150.0f);

  // In place.
  ASSERT_EQ(run({"set", project, "--speed", "7"}).code, 0);
  MorphEngine inPlace;
  ASSERT_EQ(inPlace.loadProject(project), 0);
  EXPECT_EQ(inPlace.speed, 7);
  EXPECT_EQ(inPlace.quality, 28);

  // With nothing to change, the file is rewritten as the engine saves it.
  writeAll(path("padded.kzm"), original + "trailing bytes the loader ignores");
  ASSERT_EQ(run({"set", path("padded.kzm")}).code, 0);
  EXPECT_EQ(readAll(path("padded.kzm")), original);
}

TEST_F(Kzmtool, MeshIsTheEnginesWarpField) {
  const std::string project = saveProject("m.kzm", 3, 9);
  const Outcome toFile = run({"mesh", project, "-o", path("mesh.bin")});
  ASSERT_EQ(toFile.code, 0) << toFile.err;
  const std::string bytes = readAll(path("mesh.bin"));
  ASSERT_EQ(bytes.size(), 3u * 100 * 8);
  EXPECT_EQ(run({"mesh", project}).out, bytes);

  MorphEngine engine;
  ASSERT_EQ(engine.loadProject(project), 0);
  engine.vertexCount = 100;
  engine.solveWarpField();
  size_t at = 0;
  auto next = [&] {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
      bits |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at++])) << (8 * i);
    return std::bit_cast<float>(bits);
  };
  bool moved = false;
  for (int n = 0; n < 3; ++n) {
    for (int v = 0; v < 100; ++v) {
      const MeshPoint& expected = engine.pictures[n].mesh[v];
      ASSERT_EQ(next(), expected.x) << n << " " << v;
      ASSERT_EQ(next(), expected.y) << n << " " << v;
      moved = moved || expected.x != (v % 10) * 255.0f / 9;
    }
  }
  EXPECT_TRUE(moved);  // the points do pull the grid
}

TEST_F(Kzmtool, HelpListsTheCommands) {
  const Outcome help = run({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command : {"info", "new", "extract", "set", "mesh", "render", "export"}) {
    EXPECT_NE(help.out.find(std::string("kzmtool ") + command), std::string::npos) << command;
  }
  const Outcome commandHelp = run({"set", "--help"});
  EXPECT_EQ(commandHelp.code, 0);
  EXPECT_NE(commandHelp.out.find("--quality 1 to 64"), std::string::npos);
}

TEST_F(Kzmtool, BadCommandLinesAndNumbersAreRefused) {
  const std::string project = saveProject("p.kzm", 3);
  const std::string original = readAll(project);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command"},
      {{"frob"}, "unknown command 'frob'"},
      {{"info"}, "expected FILE.kzm"},
      {{"info", project, project}, "expected FILE.kzm"},
      {{"info", "--bogus", project}, "unknown option --bogus"},
      {{"info", "--json=1", project}, "--json takes no value"},
      {{"set", project, "--quality"}, "--quality needs a value"},
      {{"set", project, "--quality", "0"}, "--quality takes a whole number from 1 to 64, not '0'"},
      {{"set", project, "--quality", "65"}, "not '65'"},
      {{"set", project, "--quality", "1.5"}, "not '1.5'"},
      {{"set", project, "--quality", "+3"}, "not '+3'"},
      {{"set", project, "--quality="}, "not ''"},
      {{"set", project, "--speed", "0"}, "--speed takes a whole number from 1 to 1000"},
      {{"set", project, "--speed", "1001"}, "not '1001'"},
      {{"set", project, "--size", "9"}, "--size takes a whole number from 10 to 1200"},
      {{"set", project, "--size", "99999999999999999999"}, "--size"},
      {{"set", project, "--mode", "sideways"}, "--mode takes loop, ping-pong or random"},
      {{"extract", project, "3", path("x.bmp")}, "pictures 0 to 2"},
      {{"extract", project, "-1", path("x.bmp")}, "no picture '-1'"},
      {{"extract", project, "first", path("x.bmp")}, "no picture 'first'"},
  };
  for (const auto& [args, reason] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Outcome result = run(args);
    expectFailure(result, reason);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
  }
  EXPECT_EQ(readAll(project), original);
  EXPECT_FALSE(fs::exists(path("x.bmp")));
}

TEST_F(Kzmtool, BrokenFilesAndUnwritableOutputsAreRefused) {
  const std::string project = saveProject("p.kzm", 2);
  const std::string original = readAll(project);
  writeAll(path("broken.kzm"), "VOVirud");
  writeAll(path("short.kzm"), original.substr(0, original.size() - 5));
  writeAll(path("other.kzm"), "This is a text file, not a project.\n");
  const std::string badQuality = saveProject("q0.kzm", 2, 0);
  const std::string highQuality = saveProject("q65.kzm", 2, 65);
  writePicture("good.bmp", 4);
  writeAll(path("short.bmp"), readAll(path("good.bmp")).substr(0, 20000));
  writeAll(path("badcount.txt"), "1 2 3 4\n5 6 7\n");
  writeAll(path("outside.txt"), "1 2 3 1e99\n");
  writeAll(path("fraction.txt"), "1 2 3 4,5\n");
  std::string tooMany;
  for (int t = 0; t < 501; ++t) tooMany += "1 1 2 2\n";
  writeAll(path("toomany.txt"), tooMany);
  std::vector<std::string> fiftyOne{"new", path("n.kzm")};
  for (int n = 0; n < 51; ++n) fiftyOne.push_back(path("good.bmp"));
  const std::string good = path("good.bmp");

  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"info", path("missing.kzm")}, "missing.kzm: cannot open: No such file or directory"},
      {{"info", dir_}, "Is a directory"},
      {{"info", path("broken.kzm")}, "cannot load " + path("broken.kzm") + ": "},
      {{"info", path("short.kzm")}, "file ends early"},
      {{"info", path("other.kzm")}, "not a project file"},
      {{"mesh", badQuality}, "quality 0 is outside 1 to 64"},
      {{"mesh", highQuality}, "quality 65 is outside 1 to 64"},
      {{"extract", project, "0", path("no/such/dir/x.bmp")}, "No such file or directory"},
      {{"extract", project, "0", dir_}, "Is a directory"},
      {{"mesh", project, "-o", path("no/such/dir/m.bin")}, "No such file or directory"},
      {{"set", project, "--speed", "5", "-o", path("no/such/dir/p.kzm")}, "No such file"},
      {{"new", path("n.kzm"), good, "--points", path("missing.txt")}, "missing.txt: cannot open"},
      {{"new", path("n.kzm"), good, good, "--points", path("badcount.txt")},
       "badcount.txt:2: expected 4 numbers (x y for each of 2 pictures), found 3"},
      {{"new", path("n.kzm"), good, good, "--points", path("outside.txt")},
       "outside.txt:1: '1e99' is not a position"},
      {{"new", path("n.kzm"), good, good, "--points", path("fraction.txt")}, "'4,5'"},
      {{"new", path("n.kzm"), good, good, "--points", path("toomany.txt")},
       "toomany.txt:501: a project holds at most 500 points"},
      {fiftyOne, "at most 50 pictures, not 51"},
      {{"new", path("n.kzm"), good, "--quality", "99"}, "--quality"},
      {{"new", path("no/such/dir/n.kzm"), good}, "No such file or directory"},
  };
  for (const auto& [args, reason] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Outcome result = run(args);
    expectFailure(result, reason);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
  }

  // A refused picture: one line that names it and the reason.
  const std::pair<std::string, std::string> refused[] = {
      {path("short.bmp"), "the file ends inside the picture data"},
      {path("missing.bmp"), "cannot open: No such file or directory"},
      {path("badcount.txt"), "not a picture this program reads"},
      {dir_, "cannot open: Is a directory"}};
  for (const auto& [picture, reason] : refused) {
    SCOPED_TRACE(picture);
    const Outcome result = run({"new", path("n.kzm"), good, picture});
    expectFailure(result, "cannot import " + picture + ": " + reason);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
  }
  EXPECT_FALSE(fs::exists(path("n.kzm")));
  EXPECT_EQ(readAll(project), original);
  // No temporary files left behind by the failed writes.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  }
}

TEST_F(Kzmtool, OutputsThatWouldDestroyAFileAreRefused) {
  const std::string project = saveProject("p.kzm", 2);
  const std::string other = saveProject("q.kzm", 3);
  writePicture("a.bmp", 1);
  writePicture("b.bmp", 2);
  writeAll(path("notes.txt"), "keep me\n");
  ASSERT_EQ(::link(project.c_str(), path("same.kzm").c_str()), 0);
  std::vector<std::string> before;
  for (const char* name : {"p.kzm", "q.kzm", "a.bmp", "notes.txt"})
    before.push_back(readAll(path(name)));

  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"new", path("a.bmp"), path("b.bmp"), path("a.bmp")}, "it is the input"},
      {{"new", path("b.bmp"), path("a.bmp"), "--points", path("./b.bmp"), "--force"},
       "it is the input"},
      {{"extract", project, "0", project, "--force"}, "it is the input"},
      {{"mesh", project, "-o", path("same.kzm")}, "it is the input " + project},
      {{"new", path("notes.txt"), path("a.bmp")}, "it is not a project file and would be lost"},
      {{"set", project, "-o", path("a.bmp")}, "not a project file"},
      {{"extract", project, "0", other}, "it is a project file and would be lost (--force"},
  };
  for (const auto& [args, reason] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    expectFailure(run(args), reason);
  }
  std::vector<std::string> after;
  for (const char* name : {"p.kzm", "q.kzm", "a.bmp", "notes.txt"})
    after.push_back(readAll(path(name)));
  EXPECT_TRUE(after == before) << "a refused command changed a file";

  EXPECT_EQ(run({"new", path("notes.txt"), path("a.bmp"), "--force"}).code, 0);
  EXPECT_EQ(run({"extract", project, "0", other, "--force"}).code, 0);
  EXPECT_EQ(readAll(other).substr(0, 2), "BM");
}

TEST_F(Kzmtool, NewAndAddTakePhotographsAndTellHowTheyWereFitted) {
  using testing_support::encodePhoto;
  using testing_support::noisyPhoto;
  const std::string wide = path("wide.png"), tall = path("tall.jpg"), square = path("square.bmp");
  testing_support::writeBytes(wide, encodePhoto(noisyPhoto(400, 300, 1), "png"));
  testing_support::writeBytes(tall, encodePhoto(noisyPhoto(300, 500, 2), "jpg"));
  const std::vector<uint16_t> squarePixels = writePicture("square.bmp", 3);

  const Outcome made = run({"new", path("p.kzm"), wide, square, tall, "--fit", "pad"});
  ASSERT_EQ(made.code, 0) << made.err;
  EXPECT_EQ(made.err, "");
  EXPECT_EQ(made.out, wide + ": 400 x 300, scaled to fit 256 x 256 and padded with black\n" + tall +
                          ": 300 x 500, scaled to fit 256 x 256 and padded with black\n");
  MorphEngine made3;
  ASSERT_EQ(made3.loadProject(path("p.kzm")), 0);
  ASSERT_EQ(made3.pictureCount, 3);
  EXPECT_EQ(std::memcmp(made3.getPictureImage(1)->pixels, squarePixels.data(), kPictureBytes), 0);
  expectFailure(run({"new", path("q.kzm"), wide, "--fit", "oval"}),
                "--fit takes crop, pad, stretch or face, not 'oval'");
  // A photograph without a face: the face fit falls back to the crop and says so.
  const Outcome faceless = run({"new", path("q.kzm"), wide, "--fit", "face"});
  ASSERT_EQ(faceless.code, 0) << faceless.err;
  EXPECT_EQ(faceless.out,
            wide + ": 400 x 300, no face found: centre square cropped and scaled to 256 x 256\n");

  // Add: inserted at --at in the order given, each with inherited copies of its neighbour's
  // points, fitted as new fits them; the original project untouched with -o.
  const std::string base = saveProject("base.kzm", 2);
  const std::string original = readAll(base);
  const Outcome added = run({"add", base, wide, square, "--at", "1", "-o", path("out.kzm")});
  ASSERT_EQ(added.code, 0) << added.err;
  EXPECT_EQ(added.out, wide + ": 400 x 300, centre square cropped and scaled to 256 x 256\n");
  EXPECT_EQ(readAll(base), original);
  MorphEngine out;
  ASSERT_EQ(out.loadProject(path("out.kzm")), 0);
  ASSERT_EQ(out.pictureCount, 4);
  pictures::ImportedPicture expected;
  std::string why;
  ASSERT_TRUE(pictures::importPicture(wide, pictures::Fit::Crop, expected, why));
  EXPECT_EQ(std::memcmp(out.getPictureImage(1)->pixels, expected.picture->pixels, kPictureBytes),
            0);
  EXPECT_EQ(std::memcmp(out.getPictureImage(2)->pixels, squarePixels.data(), kPictureBytes), 0);
  for (int n : {1, 2}) {
    EXPECT_EQ(out.getPoint(n, 1).x, 200.0f);
    EXPECT_EQ(out.getPoint(n, 1).inherited, 1);
  }
  EXPECT_EQ(out.getPoint(3, 1).x, 150.0f);  // the old second picture, now fourth

  // In place at the end; all or nothing; positions and the picture limit checked first.
  ASSERT_EQ(run({"add", base, square}).code, 0);
  MorphEngine inPlace;
  ASSERT_EQ(inPlace.loadProject(base), 0);
  ASSERT_EQ(inPlace.pictureCount, 3);
  EXPECT_EQ(std::memcmp(inPlace.getPictureImage(2)->pixels, squarePixels.data(), kPictureBytes), 0);
  const std::string three = readAll(base);
  writeAll(path("cut.png"), readAll(wide).substr(0, 3000));
  expectFailure(run({"add", base, square, path("cut.png"), square}),
                "cannot import " + path("cut.png") + ": the file ends inside the picture data");
  expectFailure(run({"add", base, square, "--at", "4"}), "--at takes a position from 0 to 3");
  expectFailure(run({"add", base, square, "-o", square}), "it is the input " + square);
  std::vector<std::string> tooMany{"add", saveProject("full.kzm", 49), square, square};
  expectFailure(run(tooMany), "a project holds at most 50 pictures");
  EXPECT_EQ(readAll(base), three);
}

TEST_F(Kzmtool, ExtractWritesPngAndThePointsFileTakesWhatInfoPrints) {
  const std::string project = saveProject("p.kzm", 2);
  ASSERT_EQ(run({"extract", project, "1", path("one.PNG")}).code, 0);
  const std::string png = readAll(path("one.PNG"));
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  writeAll(path("points.txt"), "12.5 -3  300 1000.25\n0.1 255.75   -0.5 7 # fractions\n");
  const Outcome made = run(
      {"new", path("again.kzm"), path("one.PNG"), path("one.PNG"), "--points", path("points.txt")});
  ASSERT_EQ(made.code, 0) << made.err;
  EXPECT_EQ(made.out, "");  // 256 x 256: nothing to fit
  MorphEngine original, again;
  ASSERT_EQ(original.loadProject(project), 0);
  ASSERT_EQ(again.loadProject(path("again.kzm")), 0);
  EXPECT_EQ(std::memcmp(again.getPictureImage(0)->pixels, original.getPictureImage(1)->pixels,
                        kPictureBytes),
            0);
  EXPECT_NE(run({"info", "--json", path("again.kzm")})
                .out.find("[{\"points\": [[12.5, -3, 0], [0.1, 255.75, 0]]}, "
                          "{\"points\": [[300, 1000.25, 0], [-0.5, 7, 0]]}]"),
            std::string::npos);
}

std::vector<std::string> framesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    if (entry.path().extension() == ".TGA") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Kzmtool, RenderSavesTheFramesItPlays) {
  const std::string project = saveProject("r.kzm", 3, 5, 4, 64);
  fs::create_directory(path("all"));
  const Outcome all = run({"render", project, "--frames", "9", "--out", path("all")});
  ASSERT_EQ(all.code, 0) << all.err;
  EXPECT_EQ(all.err, "");
  const std::vector<std::string> names = framesIn(path("all"));
  ASSERT_EQ(names.size(), 9u);
  EXPECT_EQ(names.front(), "OUT00000.TGA");
  EXPECT_EQ(names.back(), "OUT00008.TGA");
  std::vector<std::string> frames;
  for (const std::string& name : names) frames.push_back(readAll(path("all/" + name)));
  for (const std::string& frame : frames) {
    ASSERT_EQ(frame.size(), 18u + 3 * 64 * 64);
    EXPECT_EQ(frame.substr(12, 6), std::string("\x40\x00\x40\x00\x18\x00", 6));
  }
  EXPECT_NE(frames[0], frames[2]);  // the morph moves

  // Every third frame, into the current directory: the same frames, counted from 0.
  const Outcome some = run({"render", project, "--frames", "9", "--every", "3"});
  ASSERT_EQ(some.code, 0) << some.err;
  EXPECT_EQ(framesIn(dir_),
            (std::vector<std::string>{"OUT00000.TGA", "OUT00001.TGA", "OUT00002.TGA"}));
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(readAll(path("OUT0000" + std::to_string(k) + ".TGA")), frames[3 * k]) << k;
  }

  // --every 0 saves nothing; --dither changes the frames.
  fs::create_directory(path("none"));
  EXPECT_EQ(run({"render", project, "--frames", "5", "--every", "0", "--out", path("none")}).code,
            0);
  EXPECT_TRUE(framesIn(path("none")).empty());
  fs::create_directory(path("plain"));
  EXPECT_EQ(run({"render", project, "--frames", "2", "--dither", "2", "--out", path("plain")}).code,
            0);
  EXPECT_NE(readAll(path("plain/OUT00001.TGA")), frames[1]);
}

// MORPH_RASTER chooses the board's drawing path: every one draws the reference's frames, and
// a path this processor lacks (or no path at all) is reported and the fastest used instead.
TEST_F(Kzmtool, RenderDrawsTheSameFramesOnEveryPathMorphRasterNames) {
  const std::string project = saveProject("paths.kzm", 2, 12, 3, 200);
  std::string expected;
  for (const char* name : {"reference", "scalar", "sse4", "avx2", "avx512", "neon", "fastest"}) {
    ::setenv("MORPH_RASTER", name, 1);
    fs::create_directory(path(name));
    const Outcome result = run({"render", project, "--frames", "3", "--out", path(name)});
    ::unsetenv("MORPH_RASTER");
    ASSERT_EQ(result.code, 0) << name << ": " << result.err;
    glide::RasterPath chosen;
    const bool runs = glide::rasterPathNamed(name, chosen) && glide::runsRasterPath(chosen);
    EXPECT_EQ(result.err.find(std::string("MORPH_RASTER=") + name) != std::string::npos, !runs)
        << name << ": " << result.err;
    std::string frames;
    for (const std::string& frame : framesIn(path(name))) frames += readAll(path(name) + "/" + frame);
    if (expected.empty()) expected = frames;
    EXPECT_TRUE(frames == expected) << name;
  }
}

TEST_F(Kzmtool, RenderPlaysSettingsTheEditorNeverStores) {
  // Qualities and speeds out of range and an unknown play mode, as a file may hold them.
  const std::vector<std::vector<int>> settings = {
      {0, 3, 32, 0}, {99, 2, 32, 1}, {5, 0, 32, 2}, {5, -7, 32, 7}, {5, 400000, 5, 0}};
  for (const std::vector<int>& s : settings) {
    SCOPED_TRACE(::testing::PrintToString(s));
    const std::string project = saveProject("odd.kzm", 2, s[0], s[1], s[2], s[3]);
    fs::remove_all(path("odd"));
    fs::create_directory(path("odd"));
    const Outcome result = run({"render", project, "--frames", "4", "--out", path("odd")});
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(framesIn(path("odd")).size(), 4u);
  }
}

TEST_F(Kzmtool, RenderRefusesWhatItCannotPlay) {
  const std::string project = saveProject("r.kzm", 2, 5, 4, 64);
  const std::string single = saveProject("one.kzm", 1, 5, 4, 64);
  writeAll(path("broken.kzm"), "VOVirud and then nothing much");
  writeAll(path("file"), "");
  fs::create_directories(path("taken/OUT00001.TGA"));  // a directory where a frame must go

  const Outcome missing = run({"render", path("missing.kzm"), "--frames", "3"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("Error  ;-(: Cannot find file!"), std::string::npos) << missing.err;
  const Outcome tooFew = run({"render", single, "--frames", "3"});
  EXPECT_EQ(tooFew.code, 1);
  EXPECT_NE(tooFew.err.find("Error  ;-(: Cannot morph with less than two pictures!"),
            std::string::npos)
      << tooFew.err;

  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"render", path("broken.kzm"), "--frames", "3"}, "cannot load"},
      {{"render", project}, "--frames N is needed"},
      {{"render", project, "--frames", "0"}, "--frames takes a whole number from 1 up, not '0'"},
      {{"render", project, "--frames", "ten"}, "not 'ten'"},
      {{"render", project, "--frames", "3", "--dither", "3"}, "--dither takes 0 (2x2), 1 (4x4)"},
      {{"render", project, "--frames", "3", "--every", "-1"}, "--every takes a whole number"},
      {{"render", project, "--frames", "3", "--out", path("nowhere")}, "No such file or directory"},
      {{"render", project, "--frames", "3", "--out", path("file")}, "Not a directory"},
      {{"render", project, "--frames", "3", "--out", path("taken")},
       path("taken") + "/OUT00001.TGA: cannot write: Is a directory"},
  };
  for (const auto& [args, reason] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    expectFailure(run(args), reason);
  }
  EXPECT_TRUE(framesIn(dir_).empty());
}

// A PNG frame as the TGA frames store their pixels: bottom row first, blue, green, red.
std::string pngAsTgaPixels(const std::string& file) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return "unreadable";
  image.format = PNG_FORMAT_BGR;
  std::string pixels(PNG_IMAGE_SIZE(image), '\0');
  const int rowBytes = -3 * static_cast<int>(image.width);  // negative: bottom row first
  if (!png_image_finish_read(&image, nullptr, pixels.data(), rowBytes, nullptr)) return "bad";
  return pixels;
}

TEST_F(Kzmtool, ExportWritesTheFramesRenderDraws) {
  const std::string project = saveProject("e.kzm", 3, 6, 4, 31, 2);  // random play
  fs::create_directory(path("tga"));
  ASSERT_EQ(run({"render", project, "--frames", "12", "--seed", "5", "--dither", "2", "--out",
                 path("tga")})
                .code,
            0);
  const Outcome exported =
      run({"export", project, path("png/"), "--seed=5", "--dither", "2", "--fps", "24"});
  ASSERT_EQ(exported.code, 0) << exported.err;
  const std::string summary = "wrote " + path("png/") + ": 12 frames, 31 x 31, 24 fps, 0.5 s, ";
  EXPECT_EQ(exported.err.rfind(summary, 0), 0u) << exported.err;
  EXPECT_EQ(exported.err.substr(exported.err.size() - 3), "kB\n") << exported.err;
  for (int k = 0; k < 12; ++k) {
    char name[40];
    std::snprintf(name, sizeof name, "png/frame%05d.png", k);
    const std::string tga = readAll(path("tga/" + frameFileName(k)));
    EXPECT_EQ(pngAsTgaPixels(path(name)), tga.substr(18)) << name;
  }
  EXPECT_FALSE(fs::exists(path("png/frame00012.png")));

  // --quiet leaves standard error to errors; --cycles plays the sequence again.
  const Outcome quiet = run({"export", project, path("twice.gif"), "--quiet", "--cycles", "2"});
  ASSERT_EQ(quiet.code, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_TRUE(fs::exists(path("twice.gif")));

  fs::create_hard_link(project, path("same.mp4"));
  for (const auto& [args, reason] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"export", project, path("morph.avi")}, ".mp4 (H.264), .webm (VP9), .gif, .webp"},
           {{"export", project, path("same.mp4")}, "it is the input"},
           {{"export", project, path("m.mp4"), "--fps", "121"}, "--fps takes a whole number"},
           {{"export", project, path("m.mp4"), "--quality", "101"}, "--quality takes"},
           {{"export", project, path("m.mp4"), "--size", "9"}, "--size takes"},
           {{"export", project, path("none/m.mp4")}, "No such file or directory"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    expectFailure(run(args), reason);
  }
  EXPECT_FALSE(fs::exists(path("morph.avi")));
  EXPECT_FALSE(fs::exists(path("m.mp4")));
  const Outcome tooFew = run({"export", saveProject("one.kzm", 1), path("m.mp4")});
  EXPECT_NE(tooFew.err.find("Cannot morph with less than two pictures!"), std::string::npos);
}

// Ctrl+C or SIGTERM in the middle: the temporary goes, the old file stays, and the program ends
// by the signal after saying why.
TEST_F(Kzmtool, ExportStoppedBySignalLeavesNothing) {
  const std::string project = saveProject("long.kzm", 3, 28, 1000, 400);
  writeAll(path("morph.mp4"), "old");
  const auto namesHere = [this] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  };
  for (const int signal : {SIGTERM, SIGINT}) {
    const std::string errPath = path("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const std::string target = path("morph.mp4");
    std::vector<char*> argv{const_cast<char*>(KZMTOOL), const_cast<char*>("export"),
                            const_cast<char*>(project.c_str()), const_cast<char*>(target.c_str()),
                            nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, KZMTOOL, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Stopped once it is writing: when its temporary is there beside the old file.
    for (int wait = 0; wait < 600 && namesHere().size() < 4; ++wait) ::usleep(50000);
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_NE(readAll(errPath).find("interrupted"), std::string::npos) << readAll(errPath);
    fs::remove(errPath);
    EXPECT_EQ(namesHere(), (std::vector<std::string>{"long.kzm", "morph.mp4"}));
    EXPECT_EQ(readAll(target), "old");
  }
}

}  // namespace

// Face points: a photograph of a face, pictures without one, the refusals.
class KzmtoolFaces : public Kzmtool {
 protected:
  const std::string face_ = MORPH_SOURCE_DATA "/astronaut_face.bmp";

  void TearDown() override { ::unsetenv("KZM_FACE_MODEL"); }

  MorphEngine& load(const std::string& name) {
    std::string why;
    EXPECT_EQ(engine_.loadProject(path(name), &why), 0) << why;
    return engine_;
  }

  MorphEngine engine_;
};

TEST_F(KzmtoolFaces, PointsArePlacedOnFacesAndCopiedElsewhere) {
  writePicture("noise.bmp", 5);
  writeAll(path("points.txt"), "1 2 3 4 5 6\n");
  const Outcome made = run({"new", path("p.kzm"), face_, path("noise.bmp"), face_, "--points",
                            path("points.txt"), "--faces"});
  ASSERT_EQ(made.code, 0) << made.err;
  EXPECT_EQ(made.out,
            "picture 0: face found\n"
            "picture 1: no face found; its 68 points are copies from picture 0 to place by hand\n"
            "picture 2: face found\n");
  EXPECT_EQ(load("p.kzm").pointCount, 1 + 68);
  const ControlPoint noseTip = engine_.getPoint(0, 1 + 30);
  EXPECT_NEAR(noseTip.x, 123, 5);
  EXPECT_NEAR(noseTip.y, 131, 5);
  EXPECT_EQ(noseTip.inherited, 0);
  EXPECT_EQ(engine_.getPoint(1, 1 + 30).x, noseTip.x);
  EXPECT_EQ(engine_.getPoint(1, 1 + 30).inherited, 1);
  EXPECT_EQ(engine_.getPoint(2, 0).x, 5.0f);

  // Pictures left out of the list count as pictures without a face; -o leaves FILE alone.
  const std::string original = readAll(path("p.kzm"));
  const Outcome some = run({"faces", path("p.kzm"), "--pictures", "1-2", "-o", path("o.kzm")});
  ASSERT_EQ(some.code, 0) << some.err;
  EXPECT_EQ(some.out,
            "picture 0: no face found; its 68 points are copies from picture 2 to place by hand\n"
            "picture 1: no face found; its 68 points are copies from picture 2 to place by hand\n"
            "picture 2: face found\n");
  EXPECT_EQ(readAll(path("p.kzm")), original);
  EXPECT_EQ(load("o.kzm").pointCount, 1 + 2 * 68);
  EXPECT_EQ(engine_.getPoint(0, 69 + 30).inherited, 1);

  const Outcome inPlace = run({"faces", path("p.kzm")});
  ASSERT_EQ(inPlace.code, 0) << inPlace.err;
  EXPECT_EQ(load("p.kzm").pointCount, 1 + 2 * 68);
}

TEST_F(KzmtoolFaces, TheFaceFitPutsTheEyesInTheirPlaces) {
  const std::string photo = MORPH_SOURCE_DATA "/astronaut_photo.jpg";
  const Outcome made = run({"new", path("f.kzm"), photo, "--fit", "face", "--faces"});
  ASSERT_EQ(made.code, 0) << made.err;
  EXPECT_EQ(made.out, photo + ": 440 x 330, cut around the face and scaled to 256 x 256\n" +
                          "picture 0: face found\n");
  const MorphEngine& fitted = load("f.kzm");
  for (const auto& [first, x] : {std::pair{36, 88.0f}, std::pair{42, 168.0f}}) {
    float sumX = 0, sumY = 0;
    for (int k = first; k < first + 6; ++k) {
      sumX += fitted.getPoint(0, k).x;
      sumY += fitted.getPoint(0, k).y;
    }
    EXPECT_NEAR(sumX / 6, x, 3) << "eye from point " << first;
    EXPECT_NEAR(sumY / 6, 112, 3) << "eye from point " << first;
  }
}

TEST_F(KzmtoolFaces, RefusalsLeaveTheProjectAsItWas) {
  writePicture("noise.bmp", 6);
  ASSERT_EQ(run({"new", path("noise.kzm"), path("noise.bmp"), path("noise.bmp")}).code, 0);
  MorphEngine empty;
  ASSERT_EQ(empty.saveProject(path("empty.kzm")), 0);
  MorphEngine full;
  full.insertPicture(testing_support::gradientPicture(1), 0);
  for (int t = 0; t < 433; ++t) full.addPoint(0, t % 256, 1);
  ASSERT_EQ(full.saveProject(path("full.kzm")), 0);
  writeAll(path("text.dat"), "not a model\n");

  const std::vector<std::tuple<std::string, std::vector<std::string>, std::string>> cases = {
      {"", {"faces", path("empty.kzm")}, "the project has no pictures"},
      {"", {"faces", path("full.kzm")}, "433 points; 68 more would pass the 500"},
      {"", {"faces", path("noise.kzm"), "-o", path("out.kzm")}, "no face found on any picture"},
      {"", {"faces", path("noise.kzm"), "--pictures", "2"}, "pictures from 0 to 1"},
      {"", {"faces", path("noise.kzm"), "--pictures", "1-0"}, "not '1-0'"},
      {"", {"faces", path("noise.kzm"), "--pictures", "0,"}, "not '0,'"},
      {"", {"faces", path("noise.kzm"), "-o", path("text.dat")}, "will not replace"},
      {path("none.dat"),
       {"faces", path("noise.kzm")},
       "cannot use the face model " + path("none.dat") +
           ": No such file or directory. The model comes with the Debian package libdlib-data"},
      {path("text.dat"), {"faces", path("noise.kzm")}, "text.dat: not a face model"},
      {"", {"new", path("out.kzm"), path("noise.bmp"), "--faces"}, "no face found"},
      {path("none.dat"),
       {"new", path("out.kzm"), MORPH_SOURCE_DATA "/astronaut_photo.jpg", "--fit", "face"},
       "cannot use the face model"},
  };
  for (const auto& [model, args, reason] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const std::string before = readAll(args[1]);
    if (!model.empty()) ::setenv("KZM_FACE_MODEL", model.c_str(), 1);
    expectFailure(run(args), reason);
    ::unsetenv("KZM_FACE_MODEL");
    EXPECT_EQ(readAll(args[1]), before);
  }
  EXPECT_FALSE(fs::exists(path("out.kzm")));
}
