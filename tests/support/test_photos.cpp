#include "support/test_photos.h"

#include <gif_lib.h>
#include <png.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

namespace testing_support {

namespace {

using Bytes = std::vector<uint8_t>;

void appendTo(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// Every PNG variant through libpng, where each one can be asked for.
Bytes encodePng(const TestPhoto& photo, const std::string& variant) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Bytes out;
  std::vector<Bytes> rows(photo.height);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("PNG writing failed");
  png_set_write_fn(png, &out, appendTo, nullptr);
  const bool alpha = photo.channels == 4;
  int colourType = alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
  int depth = 8;
  std::vector<png_color> palette;
  std::map<uint32_t, uint8_t> indexOf;
  if (variant == "png-grey") colourType = alpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY;
  if (variant == "png16") depth = 16;
  if (variant == "png-palette") {
    colourType = PNG_COLOR_TYPE_PALETTE;
    for (int y = 0; y < photo.height; ++y) {
      for (int x = 0; x < photo.width; ++x) {
        const uint8_t* p = photo.at(x, y);
        const uint32_t key = p[0] << 16 | p[1] << 8 | p[2];
        if (indexOf.emplace(key, static_cast<uint8_t>(palette.size())).second) {
          palette.push_back({p[0], p[1], p[2]});
        }
      }
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  png_set_IHDR(png, info, photo.width, photo.height, depth, colourType,
               variant == "png-interlaced" ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_bytep> rowPointers;
  for (int y = 0; y < photo.height; ++y) {
    Bytes& row = rows[y];
    for (int x = 0; x < photo.width; ++x) {
      const uint8_t* p = photo.at(x, y);
      std::vector<uint8_t> samples;
      if (colourType == PNG_COLOR_TYPE_PALETTE) {
        samples = {indexOf[p[0] << 16 | p[1] << 8 | p[2]]};
      } else if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        samples = {p[1]};
      } else {
        samples = {p[0], p[1], p[2]};
      }
      if (alpha && colourType != PNG_COLOR_TYPE_PALETTE) samples.push_back(p[3]);
      for (uint8_t s : samples) {
        row.push_back(s);
        if (depth == 16) row.push_back(s);  // 0xAB -> 0xABAB: the same value in 16 bits
      }
    }
    rowPointers.push_back(row.data());
  }
  png_write_image(png, rowPointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

int appendGif(GifFileType* file, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(file->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

// A GIF with the photograph's own colours (at most 255; index 255 is transparent).
Bytes encodeGif(const TestPhoto& photo) {
  std::map<uint32_t, int> indexOf;
  ColorMapObject* colours = GifMakeMapObject(256, nullptr);
  std::vector<GifPixelType> indices;
  for (int y = 0; y < photo.height; ++y) {
    for (int x = 0; x < photo.width; ++x) {
      const uint8_t* p = photo.at(x, y);
      if (photo.channels == 4 && p[3] == 0) {
        indices.push_back(255);
        continue;
      }
      const uint32_t key = p[0] << 16 | p[1] << 8 | p[2];
      const auto [found, added] = indexOf.emplace(key, static_cast<int>(indexOf.size()));
      if (found->second >= 255) throw std::runtime_error("too many colours for a GIF");
      colours->Colors[found->second] = {p[0], p[1], p[2]};
      indices.push_back(static_cast<GifPixelType>(found->second));
    }
  }
  Bytes out;
  int error = 0;
  GifFileType* file = EGifOpen(&out, appendGif, &error);
  EGifSetGifVersion(file, true);
  EGifPutScreenDesc(file, photo.width, photo.height, 8, 0, colours);
  GraphicsControlBlock control{};
  control.TransparentColor = photo.channels == 4 ? 255 : NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, extension);
  EGifPutImageDesc(file, 0, 0, photo.width, photo.height, false, nullptr);
  for (int y = 0; y < photo.height; ++y) {
    EGifPutLine(file, indices.data() + static_cast<size_t>(y) * photo.width, photo.width);
  }
  EGifCloseFile(file, &error);
  GifFreeMapObject(colours);
  return out;
}

// TGA as the programs write it (24 bits, bottom row first) or with alpha (32 bits), optionally
// run-length encoded.
Bytes encodeTga(const TestPhoto& photo, bool runLength) {
  const int depth = photo.channels * 8;
  Bytes out(18, 0);
  out[2] = runLength ? 10 : 2;
  out[12] = static_cast<uint8_t>(photo.width), out[13] = static_cast<uint8_t>(photo.width >> 8);
  out[14] = static_cast<uint8_t>(photo.height), out[15] = static_cast<uint8_t>(photo.height >> 8);
  out[16] = static_cast<uint8_t>(depth);
  out[17] = photo.channels == 4 ? 8 : 0;
  std::vector<Bytes> pixels;
  for (int y = photo.height - 1; y >= 0; --y) {
    for (int x = 0; x < photo.width; ++x) {
      const uint8_t* p = photo.at(x, y);
      Bytes pixel{p[2], p[1], p[0]};
      if (photo.channels == 4) pixel.push_back(p[3]);
      pixels.push_back(pixel);
    }
  }
  for (size_t i = 0; i < pixels.size();) {
    size_t run = 1;
    while (runLength && i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i]) ++run;
    if (runLength) out.push_back(static_cast<uint8_t>(run > 1 ? 0x80 | (run - 1) : 0));
    out.insert(out.end(), pixels[i].begin(), pixels[i].end());
    i += run > 1 ? run : 1;
  }
  return out;
}

Bytes encodeWithQt(const TestPhoto& photo, const std::string& format, int quality) {
  QImage image(photo.pixels.data(), photo.width, photo.height, photo.width * photo.channels,
               photo.channels == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  image = image.copy();
  const std::string base = format.substr(0, format.find('-'));
  if (format == "jpg-grey") image = image.convertToFormat(QImage::Format_Grayscale8);
  if (format == "bmp8") image = image.convertToFormat(QImage::Format_Indexed8);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, base == "jpg" ? "jpeg" : base == "bmp8" ? "bmp" : base.c_str());
  writer.setQuality(format == "webp" ? 100 : quality);
  if (format == "jpg-progressive") writer.setProgressiveScanWrite(true);
  if (!writer.write(image)) throw std::runtime_error("cannot write " + format);
  return Bytes(bytes.begin(), bytes.end());
}

}  // namespace

TestPhoto::TestPhoto(int w, int h, int c)
    : width(w), height(h), channels(c), pixels(static_cast<size_t>(w) * h * c, 0) {}

TestPhoto quadrantPhoto(int width, int height) {
  TestPhoto photo(width, height);
  const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::memcpy(photo.at(x, y), colours[(y * 2 / height) * 2 + x * 2 / width], 3);
    }
  }
  return photo;
}

TestPhoto noisyPhoto(int width, int height, uint32_t seed) {
  TestPhoto photo(width, height);
  uint32_t state = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = photo.at(x, y);
      const int base[3] = {x * 200 / width, y * 200 / height, (x + y) * 100 / (width + height)};
      for (int c = 0; c < 3; ++c) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        p[c] = static_cast<uint8_t>(base[c] + state % 40);
      }
    }
  }
  return photo;
}

std::vector<uint8_t> encodePhoto(const TestPhoto& photo, const std::string& format, int quality) {
  if (format.rfind("png", 0) == 0) return encodePng(photo, format);
  if (format == "gif") return encodeGif(photo);
  if (format == "tga" || format == "tga-rle") return encodeTga(photo, format == "tga-rle");
  return encodeWithQt(photo, format, quality);
}

std::vector<uint8_t> withExifOrientation(const std::vector<uint8_t>& jpeg, int orientation) {
  // APP1: "Exif\0\0", a big-endian TIFF header, one directory with the orientation entry.
  const uint8_t block[] = {
      0xFF, 0xE1, 0x00, 34,   'E', 'x', 'i', 'f', 0, 0,
      'M',  'M',  0x00, 0x2A, 0,   0,   0,   8,   0, 1,
      0x01, 0x12, 0,    3,    0,   0,   0,   1,   0, static_cast<uint8_t>(orientation),
      0,    0,    0,    0,    0,   0};
  // Sized up front: GCC 12 at -O3 takes inserts behind a fresh vector for overflows.
  std::vector<uint8_t> out(jpeg.size() + sizeof block);
  std::copy(jpeg.begin(), jpeg.begin() + 2, out.begin());
  std::copy(block, block + sizeof block, out.begin() + 2);
  std::copy(jpeg.begin() + 2, jpeg.end(), out.begin() + 2 + sizeof block);
  return out;
}

}  // namespace testing_support
