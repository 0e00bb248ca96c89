// Pictures from files of every format: decoded as they were written, turned upright, fitted to
// the square, refused with a reason when they cannot be taken.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "engine/bmp_import.h"
#include "pictures/pictures.h"
#include "support/test_files.h"
#include "support/test_photos.h"
#include "support/test_pictures.h"

using namespace testing_support;
using pictures::Fit;

namespace {

using Bytes = std::vector<uint8_t>;

bool decode(const Bytes& file, pictures::Photo& photo, std::string& why) {
  return pictures::decodePhoto(file.data(), file.size(), {}, photo, why);
}

// The largest difference of any channel of any pixel; the expected photograph over black.
int largestDifference(const TestPhoto& expected, const pictures::RgbImage& image) {
  if (image.width != expected.width || image.height != expected.height) return 1000;
  int largest = 0;
  for (int y = 0; y < expected.height; ++y) {
    for (int x = 0; x < expected.width; ++x) {
      const uint8_t* want = expected.at(x, y);
      const int alpha = expected.channels == 4 ? want[3] : 255;
      for (int c = 0; c < 3; ++c) {
        const int over = (want[c] * alpha + 127) / 255;
        largest = std::max(largest, std::abs(over - image.row(y)[3 * x + c]));
      }
    }
  }
  return largest;
}

// The CRC of a PNG chunk (over its type and data).
uint32_t pngCrc(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

TestPhoto gradientPhoto(int width, int height) {
  TestPhoto photo(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = photo.at(x, y);
      p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
      p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
      p[2] = 128;
    }
  }
  return photo;
}

std::array<uint8_t, 3> rgbAt(const pictures::RgbImage& image, int x, int y) {
  const uint8_t* p = image.row(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

std::array<uint8_t, 3> squareAt(const PictureImage& picture, int x, int y) {
  const uint16_t p = picture.pixels[y * kPictureSide + x];
  return {static_cast<uint8_t>((p >> 11) << 3), static_cast<uint8_t>(((p >> 5) & 63) << 2),
          static_cast<uint8_t>((p & 31) << 3)};
}

using Rgb3 = std::array<uint8_t, 3>;
constexpr Rgb3 kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255},
    kBlack{0, 0, 0};
// The same colours as RGB565 widened back.
constexpr Rgb3 kRed565{248, 0, 0}, kGreen565{0, 252, 0}, kBlue565{0, 0, 248},
    kWhite565{248, 252, 248};

bool near(const Rgb3& a, const Rgb3& b, int tolerance) {
  for (int c = 0; c < 3; ++c) {
    if (std::abs(a[c] - b[c]) > tolerance) return false;
  }
  return true;
}

pictures::ImportedPicture importBytes(const Bytes& file, Fit fit, std::string* why = nullptr) {
  pictures::ImportedPicture imported;
  std::string reason;
  const bool ok = pictures::importPictureBytes(file.data(), file.size(), fit, imported, reason);
  if (why) *why = reason;
  EXPECT_EQ(ok, imported.picture != nullptr);
  return imported;
}

}  // namespace

TEST(PictureReading, EveryFormatGivesThePhotographBack) {
  const TestPhoto smooth = gradientPhoto(40, 24);
  const TestPhoto fewColours = quadrantPhoto(40, 24);
  const struct {
    const char* format;
    const TestPhoto& photo;
    int tolerance;
  } cases[] = {
      {"png", smooth, 0},
      {"png16", smooth, 0},
      {"png-interlaced", smooth, 0},
      {"png-palette", fewColours, 0},
      {"tiff", smooth, 0},
      {"webp", smooth, 0},
      {"bmp", smooth, 0},
      {"bmp8", fewColours, 0},
      {"gif", fewColours, 0},
      {"tga", smooth, 0},
      {"tga-rle", fewColours, 0},
      {"jpg", smooth, 8},
      {"jpg-progressive", smooth, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    pictures::Photo photo;
    std::string why;
    ASSERT_TRUE(decode(encodePhoto(c.photo, c.format), photo, why)) << why;
    EXPECT_EQ(photo.reduction, 1);
    EXPECT_EQ(photo.width, c.photo.width);
    EXPECT_LE(largestDifference(c.photo, photo.image), c.tolerance);
  }

  // Grey pictures come in grey.
  for (const char* format : {"png-grey", "jpg-grey"}) {
    SCOPED_TRACE(format);
    pictures::Photo photo;
    std::string why;
    ASSERT_TRUE(decode(encodePhoto(smooth, format), photo, why)) << why;
    const Rgb3 p = rgbAt(photo.image, 20, 12);
    EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
    EXPECT_NEAR(p[1], smooth.at(20, 12)[1], 40);
  }

  // Files other programs made: CMYK JPEG; BMP of 1, 4 (RLE), 8 (RLE) and 16 bits.
  const struct {
    const char* file;
    Rgb3 left, right;
  } made[] = {{"cmyk.jpg", kRed, kBlue},
              {"rle8.bmp", kRed, kBlue},
              {"rle4.bmp", kRed, kBlue},
              {"rgb565.bmp", kRed, kBlue},
              {"mono.bmp", kWhite, kBlack}};
  for (const auto& m : made) {
    SCOPED_TRACE(m.file);
    pictures::Photo photo;
    std::string why;
    ASSERT_TRUE(decode(readBytes(std::string(PICTURE_DATA "/") + m.file), photo, why)) << why;
    ASSERT_EQ(photo.image.width, 16);
    EXPECT_TRUE(near(rgbAt(photo.image, 1, 8), m.left, 12));
    EXPECT_TRUE(near(rgbAt(photo.image, 14, 8), m.right, 12));
  }
}

TEST(PictureReading, TransparencyIsLaidOverBlack) {
  TestPhoto photo(4, 2, 4);
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 2; ++y) {
      uint8_t* p = photo.at(x, y);
      p[0] = 200, p[1] = 100, p[2] = 50, p[3] = x == 0 ? 0 : (x == 1 ? 128 : 255);
    }
  }
  for (const char* format : {"png", "png16", "webp", "tga", "tiff"}) {
    SCOPED_TRACE(format);
    pictures::Photo decoded;
    std::string why;
    ASSERT_TRUE(decode(encodePhoto(photo, format), decoded, why)) << why;
    EXPECT_LE(largestDifference(photo, decoded.image), 1);
  }
  // GIF: the transparent colour is black, the others as they are.
  TestPhoto gif = quadrantPhoto(4, 2);
  gif.channels = 4;
  gif.pixels = {255, 0, 0,   0,   255, 0, 0,   255, 0, 255, 0, 255, 0, 255, 0, 255,
                0,   0, 255, 255, 0,   0, 255, 255, 1, 2,   3, 0,   1, 2,   3, 0};
  pictures::Photo decoded;
  std::string why;
  ASSERT_TRUE(decode(encodePhoto(gif, "gif"), decoded, why)) << why;
  EXPECT_EQ(rgbAt(decoded.image, 0, 0), kBlack);
  EXPECT_EQ(rgbAt(decoded.image, 1, 0), kRed);
  EXPECT_EQ(rgbAt(decoded.image, 2, 1), kBlack);
}

TEST(PictureReading, ExifOrientationTurnsThePhotographUpright) {
  // Stored 32 x 16 as quadrants red, green / blue, white; each orientation says how it shows.
  const Bytes stored = encodePhoto(quadrantPhoto(32, 16), "jpg");
  const struct {
    int orientation;
    Rgb3 topLeft, topRight, bottomLeft;
  } cases[] = {
      {1, kRed, kGreen, kBlue},   {2, kGreen, kRed, kWhite}, {3, kWhite, kBlue, kGreen},
      {4, kBlue, kWhite, kRed},   {5, kRed, kBlue, kGreen},  {6, kBlue, kRed, kWhite},
      {7, kWhite, kGreen, kBlue}, {8, kGreen, kWhite, kRed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    pictures::Photo photo;
    std::string why;
    ASSERT_TRUE(decode(withExifOrientation(stored, c.orientation), photo, why)) << why;
    const bool sideways = c.orientation >= 5;
    ASSERT_EQ(photo.width, sideways ? 16 : 32);
    ASSERT_EQ(photo.height, sideways ? 32 : 16);
    const int right = photo.width - 2, bottom = photo.height - 2;
    EXPECT_TRUE(near(rgbAt(photo.image, 1, 1), c.topLeft, 24));
    EXPECT_TRUE(near(rgbAt(photo.image, right, 1), c.topRight, 24));
    EXPECT_TRUE(near(rgbAt(photo.image, 1, bottom), c.bottomLeft, 24));
  }
}

TEST(PictureReading, LargeJpegsAreReducedWhileDecodingAndStillFillTheSquare) {
  const Bytes file = encodePhoto(quadrantPhoto(2048, 1536), "jpg");
  pictures::DecodeOptions options;
  options.reductionLimit = [](int32_t w, int32_t h) { return std::min(w, h) / 512.0; };
  pictures::Photo photo;
  std::string why;
  ASSERT_TRUE(pictures::decodePhoto(file.data(), file.size(), options, photo, why)) << why;
  EXPECT_EQ(photo.reduction, 2);
  EXPECT_EQ(photo.width, 2048);
  EXPECT_EQ(photo.image.width, 1024);
  // Cropped, the reduced photograph fills the square as the full one would.
  const pictures::ImportedPicture imported = importBytes(file, Fit::Crop);
  ASSERT_TRUE(imported.picture);
  EXPECT_EQ(imported.note, "2048 x 1536, centre square cropped and scaled to 256 x 256");
  EXPECT_TRUE(near(squareAt(*imported.picture, 2, 2), kRed565, 16));
  EXPECT_TRUE(near(squareAt(*imported.picture, 253, 253), kWhite565, 16));
}

TEST(PictureFitting, CropPadAndStretchPlaceThePhotographAsNamed) {
  // 512 x 256: red on the left half, blue on the right; the middle column pair is the border.
  TestPhoto wide(512, 256);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 512; ++x) std::memcpy(wide.at(x, y), (x < 256 ? kRed : kBlue).data(), 3);
  }
  const Bytes file = encodePhoto(wide, "png");
  const pictures::ImportedPicture crop = importBytes(file, Fit::Crop);
  const pictures::ImportedPicture pad = importBytes(file, Fit::Pad);
  const pictures::ImportedPicture stretch = importBytes(file, Fit::Stretch);
  ASSERT_TRUE(crop.picture && pad.picture && stretch.picture);
  EXPECT_EQ(crop.note, "512 x 256, centre square cropped and scaled to 256 x 256");
  EXPECT_EQ(pad.note, "512 x 256, scaled to fit 256 x 256 and padded with black");
  EXPECT_EQ(stretch.note, "512 x 256, stretched to 256 x 256");
  // Crop: columns 128..383 of the photograph, so the colours meet in the middle.
  EXPECT_EQ(squareAt(*crop.picture, 127, 0), kRed565);
  EXPECT_EQ(squareAt(*crop.picture, 128, 255), kBlue565);
  // Pad: the whole photograph in rows 64..191, black above and below.
  EXPECT_EQ(squareAt(*pad.picture, 0, 63), kBlack);
  EXPECT_EQ(squareAt(*pad.picture, 0, 64), kRed565);
  EXPECT_EQ(squareAt(*pad.picture, 255, 191), kBlue565);
  EXPECT_EQ(squareAt(*pad.picture, 255, 192), kBlack);
  // Stretch: the whole photograph, every row.
  EXPECT_EQ(squareAt(*stretch.picture, 127, 0), kRed565);
  EXPECT_EQ(squareAt(*stretch.picture, 128, 255), kBlue565);
}

TEST(PictureFitting, DownscalingAveragesAndUpscalingIsSmooth) {
  // Stripes one pixel wide, three square pixels to two photograph pixels: point sampling would
  // beat them into broad bands; averaging gives an even grey.
  TestPhoto stripes(384, 384);
  for (int y = 0; y < 384; ++y) {
    for (int x = 0; x < 384; ++x) std::memset(stripes.at(x, y), x % 2 ? 255 : 0, 3);
  }
  const pictures::ImportedPicture reduced = importBytes(encodePhoto(stripes, "png"), Fit::Crop);
  ASSERT_TRUE(reduced.picture);
  for (int x = 0; x < 256; ++x) EXPECT_NEAR(squareAt(*reduced.picture, x, 100)[1], 128, 44) << x;

  // Two pixels, black and white, become a ramp: no step larger than a few levels.
  TestPhoto two(2, 1);
  std::memset(two.at(1, 0), 255, 3);
  const pictures::ImportedPicture enlarged = importBytes(encodePhoto(two, "png"), Fit::Stretch);
  ASSERT_TRUE(enlarged.picture);
  for (int x = 1; x < 256; ++x) {
    const int step =
        squareAt(*enlarged.picture, x, 0)[1] - squareAt(*enlarged.picture, x - 1, 0)[1];
    EXPECT_GE(step, 0);
    EXPECT_LE(step, 8);
  }
}

TEST(PictureFitting, ClassicBmpFilesAndSquarePicturesComeInExactly) {
  const auto picture = photoLikePicture(7);
  const Bytes bmp = bmpFileOf(*picture);
  for (Fit fit : {Fit::Crop, Fit::Pad, Fit::Stretch, Fit::Face}) {
    SCOPED_TRACE(pictures::fitName(fit));
    const pictures::ImportedPicture imported = importBytes(bmp, fit);
    ASSERT_TRUE(imported.picture);
    EXPECT_EQ(imported.note, "");
    EXPECT_EQ(std::memcmp(imported.picture->pixels, picture->pixels, kPictureBytes), 0);
  }
  // What the classic reader takes even though it is no proper BMP: the same as ever.
  Bytes odd = bmp;
  odd[0] = 'X';
  PictureImage classic;
  ASSERT_EQ(decodePictureFile(odd.data(), odd.size(), classic), kPictureRead);
  const pictures::ImportedPicture oddImported = importBytes(odd, Fit::Pad);
  ASSERT_TRUE(oddImported.picture);
  EXPECT_EQ(std::memcmp(oddImported.picture->pixels, classic.pixels, kPictureBytes), 0);

  // A 256 x 256 PNG as extract writes it imports back to the same pixels, unresampled.
  const pictures::ImportedPicture fromPng =
      importBytes(pictures::encodePicturePng(*picture), Fit::Pad);
  ASSERT_TRUE(fromPng.picture);
  EXPECT_EQ(fromPng.note, "");
  EXPECT_EQ(std::memcmp(fromPng.picture->pixels, picture->pixels, kPictureBytes), 0);
}

TEST(PictureFitting, TheFaceFitUsesTheRegisteredFitter) {
  const Bytes file = encodePhoto(quadrantPhoto(64, 32), "png");
  std::string why;
  EXPECT_FALSE(importBytes(file, Fit::Face, &why).picture);
  EXPECT_NE(why.find("face fit is not available"), std::string::npos) << why;

  pictures::setFaceFitter(
      {0,
       [](const pictures::Photo& photo, pictures::SquareMap& map, std::string& note, std::string&) {
         // Inside the photograph's top right quarter.
         map = pictures::SquareMap::rectangle(photo.width * 0.6, 2, photo.width * 0.3, 12);
         note = "cut around the face";
         return pictures::FaceFitOutcome::fitted;
       }});
  const pictures::ImportedPicture face = importBytes(file, Fit::Face);
  pictures::setFaceFitter({});
  ASSERT_TRUE(face.picture);
  EXPECT_EQ(face.note, "cut around the face");
  EXPECT_EQ(squareAt(*face.picture, 0, 0), kGreen565);
  EXPECT_EQ(squareAt(*face.picture, 255, 255), kGreen565);
}

TEST(PictureFitting, AMapWithRotationTurnsThePicture) {
  // A quarter turn: square (x, y) takes source (y, 256 - x).
  pictures::RgbImage source;
  source.resize(256, 256);
  const TestPhoto quadrants = quadrantPhoto(256, 256);
  source.pixels = quadrants.pixels;
  pictures::SquareMap map;
  map.xx = 0, map.xy = 1, map.x0 = 0;
  map.yx = -1, map.yy = 0, map.y0 = 256;
  std::vector<uint8_t> square(pictures::kSquareRgbBytes);
  pictures::resampleToSquare(source, map, square.data());
  pictures::RgbImage out;
  out.resize(256, 256);
  out.pixels = square;
  EXPECT_EQ(rgbAt(out, 10, 10), kBlue);  // the bottom left quarter turned to the top left
  EXPECT_EQ(rgbAt(out, 245, 10), kRed);
  EXPECT_EQ(rgbAt(out, 245, 245), kGreen);
}

TEST(PictureRefusals, EachBadFileIsRefusedWithItsReason) {
  const TestPhoto photo = gradientPhoto(64, 48);
  const auto cut = [](Bytes bytes) {
    bytes.resize(bytes.size() * 6 / 10);
    return bytes;
  };
  Bytes corruptJpeg = encodePhoto(photo, "jpg");
  for (size_t i = corruptJpeg.size() / 2; i < corruptJpeg.size() / 2 + 40; ++i)
    corruptJpeg[i] = 0xFF;
  Bytes hugePng = encodePhoto(gradientPhoto(8, 8), "png");
  const uint8_t huge[8] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30};  // 30000 x 30000 in IHDR
  std::memcpy(hugePng.data() + 16, huge, 8);
  const uint32_t crc = pngCrc(hugePng.data() + 12, 17);
  for (int i = 0; i < 4; ++i) hugePng[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  Bytes emptyTga = encodePhoto(photo, "tga");
  emptyTga[12] = emptyTga[13] = 0;
  const std::string endsEarly = "the file ends inside the picture data";
  const struct {
    const char* what;
    Bytes file;
    std::string reason;
  } cases[] = {
      {"cut JPEG", cut(encodePhoto(photo, "jpg")), endsEarly},
      {"cut progressive JPEG", cut(encodePhoto(photo, "jpg-progressive")), endsEarly},
      {"cut PNG", cut(encodePhoto(photo, "png")), endsEarly},
      {"cut GIF", cut(encodePhoto(quadrantPhoto(64, 48), "gif")), endsEarly},
      {"cut WebP", cut(encodePhoto(photo, "webp")), endsEarly},
      {"cut BMP", cut(encodePhoto(photo, "bmp")), endsEarly},
      {"cut RLE BMP", cut(readBytes(PICTURE_DATA "/rle8.bmp")), endsEarly},
      {"cut TGA", cut(encodePhoto(photo, "tga")), endsEarly},
      {"cut TIFF", cut(encodePhoto(photo, "tiff")), "the picture data is damaged"},
      {"damaged JPEG", corruptJpeg, "the picture data is damaged"},
      {"huge PNG", hugePng, "30000 x 30000 pixels, more than this program takes (100 megapixels)"},
      {"TGA of no width", emptyTga, "0 x 48 pixels"},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o'}, "not a picture this program reads"},
      {"nothing", Bytes{}, "the file is empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    std::string why;
    EXPECT_FALSE(importBytes(c.file, Fit::Crop, &why).picture);
    EXPECT_EQ(why.rfind(c.reason, 0), 0u) << why;
    // Refused from the header: nothing of 30000 x 30000 pixels was decoded.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }

  // Harmless oddities are taken: bytes after the end, an unknown chunk.
  for (const char* format : {"png", "jpg", "gif", "webp"}) {
    Bytes padded = encodePhoto(quadrantPhoto(16, 16), format);
    padded.insert(padded.end(), 100, 0x55);
    EXPECT_TRUE(importBytes(padded, Fit::Crop).picture) << format;
  }
  Bytes chunked = encodePhoto(photo, "png");
  const uint8_t chunk[] = {0, 0, 0, 3, 'x', 'y', 'Z', 'w', 1, 2, 3, 0xDE, 0xAD, 0xBE, 0xEF};
  chunked.insert(chunked.begin() + 33, chunk, chunk + sizeof chunk);  // after IHDR
  EXPECT_TRUE(importBytes(chunked, Fit::Crop).picture);
}

TEST(PictureRefusals, FilesThatCannotBeReadAreNamedSo) {
  TempDir dir;
  pictures::ImportedPicture imported;
  std::string why;
  EXPECT_FALSE(pictures::importPicture(dir.path(), Fit::Crop, imported, why));
  EXPECT_EQ(why, "cannot open: Is a directory");
  EXPECT_FALSE(pictures::importPicture(dir.file("missing.png"), Fit::Crop, imported, why));
  EXPECT_EQ(why, "cannot open: No such file or directory");

  // A pipe (as the shell's <(...) gives) is read once, whole: a picture larger than the first
  // read comes in all the same.
  const Bytes large = encodePhoto(noisyPhoto(1200, 900, 3), "png");
  ASSERT_GT(large.size(), size_t{1} << 20);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::thread writer([&] {
    for (size_t done = 0; done < large.size();) {
      const ssize_t put = ::write(ends[1], large.data() + done, large.size() - done);
      if (put <= 0) break;
      done += static_cast<size_t>(put);
    }
    ::close(ends[1]);
  });
  const bool piped =
      pictures::importPicture("/dev/fd/" + std::to_string(ends[0]), Fit::Crop, imported, why);
  writer.join();
  ::close(ends[0]);
  EXPECT_TRUE(piped) << why;
  const pictures::ImportedPicture fromBytes = importBytes(large, Fit::Crop);
  ASSERT_TRUE(imported.picture && fromBytes.picture);
  EXPECT_EQ(std::memcmp(imported.picture->pixels, fromBytes.picture->pixels, kPictureBytes), 0);

  // Several at once, in order, each with its own result.
  writeBytes(dir.file("a.png"), encodePhoto(gradientPhoto(300, 200), "png"));
  writeBytes(dir.file("b.txt"), {'n', 'o'});
  const std::vector<pictures::ImportResult> results =
      pictures::importPictures({dir.file("a.png"), dir.file("b.txt"), dir.file("a.png")}, Fit::Pad);
  ASSERT_EQ(results.size(), 3u);
  EXPECT_TRUE(results[0].imported && results[2].imported);
  EXPECT_FALSE(results[1].imported);
  EXPECT_EQ(results[0].picture.note, "300 x 200, scaled to fit 256 x 256 and padded with black");
}
