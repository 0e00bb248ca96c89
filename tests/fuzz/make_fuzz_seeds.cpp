// Makes the fuzz targets' starting corpus: small valid files and typical broken ones.
//   make_fuzz_seeds DIR  writes DIR/fuzz_project_reader/*, DIR/fuzz_unpack/*,
//   DIR/fuzz_bmp_reader/*,
//                        DIR/fuzz_picture_reader/*
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/morph_engine.h"
#include "engine/project_file.h"
#include "support/test_files.h"
#include "support/test_photos.h"
#include "support/test_pictures.h"

using Bytes = std::vector<uint8_t>;
using namespace testing_support;

namespace {

std::string root;

void seed(const std::string& target, const std::string& name, const Bytes& bytes) {
  std::filesystem::create_directories(root + "/" + target);
  writeBytes(root + "/" + target + "/" + name, bytes);
}

// A picture that packs small but uses every kind of packet: runs of 37, then distinct pixels.
std::unique_ptr<PictureImage> mixedPicture() {
  auto picture = std::make_unique<PictureImage>();
  for (int i = 0; i < kPicturePixels; ++i) {
    picture->pixels[i] = static_cast<uint16_t>(i < 300 ? i * 7 : i / 37);
  }
  return picture;
}

void projectSeeds() {
  MorphEngine engine;
  seed("fuzz_project_reader", "empty_project", projectFileBytes(engine));
  engine.insertPicture(solidPicture(0x1234), 0);
  engine.insertPicture(mixedPicture(), 1);
  engine.addPoint(0, 10, 20);
  engine.addPoint(1, 100, 200);
  const Bytes good = projectFileBytes(engine);
  seed("fuzz_project_reader", "two_pictures", good);
  seed("fuzz_project_reader", "cut_short", Bytes(good.begin(), good.begin() + good.size() / 2));
  Bytes badMagic = good;
  badMagic[0] = 'X';
  seed("fuzz_project_reader", "bad_magic", badMagic);
  Bytes tooMany = good;
  tooMany[8] = 51;
  seed("fuzz_project_reader", "too_many_pictures", tooMany);
}

void unpackSeeds() {
  // unit size byte (value % 4 + 1), unit count (2 bytes), packets
  seed("fuzz_unpack", "examples",
       {1, 7, 0, 0x82, 0x34, 0x12, 0x01, 0x01, 0x00, 0x02, 0x00, 0x81, 0x03, 0x00});
  seed("fuzz_unpack", "long_run", {1, 2, 1, 0xFF, 0xAA, 0x00, 0xFF, 0xAA, 0x00, 0x81, 0xAA, 0x00});
  seed("fuzz_unpack", "past_units", {0, 4, 0, 0x84, 1});
  seed("fuzz_unpack", "unit_size_3", {2, 3, 0, 0x00, 1, 2, 3, 0x81, 4, 5, 6});
}

void bmpSeeds() {
  seed("fuzz_bmp_reader", "good", bmpFileOf(*mixedPicture()));
  seed("fuzz_bmp_reader", "deep", bmpFile(256, 256, 32, {}));
  seed("fuzz_bmp_reader", "cut_short", bmpFile(256, 256, 24, Bytes(1000)));
  seed("fuzz_bmp_reader", "tiny", {'B', 'M'});
}

void pictureSeeds() {
  const TestPhoto photo = noisyPhoto(24, 16, 5);
  const TestPhoto fewColours = quadrantPhoto(24, 16);
  for (const char* format : {"png", "png16", "png-grey", "png-interlaced", "jpg", "jpg-progressive",
                             "jpg-grey", "webp", "tiff", "bmp", "tga"}) {
    seed("fuzz_picture_reader", format, encodePhoto(photo, format));
  }
  for (const char* format : {"png-palette", "gif", "bmp8", "tga-rle"}) {
    seed("fuzz_picture_reader", format, encodePhoto(fewColours, format));
  }
  seed("fuzz_picture_reader", "exif.jpg", withExifOrientation(encodePhoto(photo, "jpg"), 6));
  TestPhoto clear(8, 8, 4);
  seed("fuzz_picture_reader", "alpha.png", encodePhoto(clear, "png"));
  seed("fuzz_picture_reader", "classic.bmp", bmpFileOf(*mixedPicture()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 1;
  }
  root = argv[1];
  projectSeeds();
  unpackSeeds();
  bmpSeeds();
  pictureSeeds();
  return 0;
}
