// PNG through libpng, used directly: every colour type and depth comes out as 8-bit RGB, laid
// over black where it has transparency; an embedded ICC profile is converted to sRGB. libpng's own
// complaints stay here (they would otherwise go to standard error) and become the reason of a
// refusal.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pictures/decoders.h"

namespace pictures {

namespace {

struct Reading {
  std::jmp_buf jump;
  const uint8_t* data;
  size_t size;
  size_t position;
  bool endedEarly;
  char message[160];
  // Allocated while decoding and freed by the caller, also after a jump.
  uint8_t* pixels;
  png_bytep* rows;
};

Reading& readingOf(png_structp png) {
  return *static_cast<Reading*>(png_get_error_ptr(png));
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
  Reading& reading = readingOf(png);
  std::snprintf(reading.message, sizeof reading.message, "%s", message ? message : "");
  std::longjmp(reading.jump, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep to, size_t length) {
  Reading& reading = readingOf(png);
  if (length > reading.size - reading.position) {
    reading.endedEarly = true;
    png_error(png, "the file ends early");
  }
  std::memcpy(to, reading.data + reading.position, length);
  reading.position += length;
}

// RGBA to RGB laid over black.
void composeRow(const uint8_t* rgba, uint8_t* rgb, int32_t width) {
  for (int32_t x = 0; x < width; ++x, rgba += 4, rgb += 3) {
    const int alpha = rgba[3];
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<uint8_t>((rgba[c] * alpha + 127) / 255);
  }
}

// Everything between setjmp and a possible longjmp lives in this frame or outside it; its own
// locals have no destructors for the jump to skip.
bool decodeInto(png_structp png, png_infop info, Reading& reading, const DecodeOptions& options,
                Photo& photo, std::string& whyNot) {
  if (setjmp(reading.jump)) return false;
  png_set_read_fn(png, &reading, readBytes);
  png_set_benign_errors(png, 1);
  png_read_info(png, info);
  const int64_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  if (!checkDeclaredSize(width, height, options.maxPixels, whyNot)) return false;

  // Every kind of PNG as 8-bit RGB, with alpha when it has transparency.
  const bool alpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                     png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, transparent colour to alpha
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const int channels = alpha ? 4 : 3;
  const size_t rowBytes = static_cast<size_t>(width) * channels;
  if (png_get_rowbytes(png, info) != rowBytes) png_error(png, "unexpected row layout");
  photo.width = static_cast<int32_t>(width);
  photo.height = static_cast<int32_t>(height);
  photo.image.resize(photo.width, photo.height);
  // Without alpha the rows are read straight into the picture; with it, through a buffer of
  // RGBA (all of it for interlaced rows, which arrive in passes) and laid over black.
  const size_t bufferRows = !alpha ? 0 : passes == 1 ? 1 : static_cast<size_t>(height);
  if (bufferRows > 0) {
    reading.pixels = static_cast<uint8_t*>(std::malloc(rowBytes * bufferRows));
    if (!reading.pixels) png_error(png, "not enough memory");
  }
  if (passes == 1) {
    for (int32_t y = 0; y < photo.height; ++y) {
      png_read_row(png, alpha ? reading.pixels : photo.image.row(y), nullptr);
      if (alpha) composeRow(reading.pixels, photo.image.row(y), photo.width);
    }
  } else {
    reading.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!reading.rows) png_error(png, "not enough memory");
    for (int32_t y = 0; y < photo.height; ++y) {
      reading.rows[y] = alpha ? reading.pixels + rowBytes * y : photo.image.row(y);
    }
    png_read_image(png, reading.rows);
    if (alpha) {
      for (int32_t y = 0; y < photo.height; ++y) {
        composeRow(reading.rows[y], photo.image.row(y), photo.width);
      }
    }
  }
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 profileLength = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength) == PNG_INFO_iCCP) {
    convertProfileToSrgb(profile, profileLength, photo.image);
  }
  return true;
}

}  // namespace

bool decodePng(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
               std::string& whyNot) {
  Reading reading{};
  reading.data = data;
  reading.size = size;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, onError, onWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    whyNot = "not enough memory";
    return false;
  }
  whyNot.clear();
  bool decoded = false;
  try {
    decoded = decodeInto(png, info, reading, options, photo, whyNot);
  } catch (...) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(reading.pixels);
    std::free(reading.rows);
    throw;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(reading.pixels);
  std::free(reading.rows);
  if (decoded) return true;
  photo = Photo{};
  if (reading.endedEarly) {
    whyNot = kEndsEarlyReason;
  } else if (whyNot.empty()) {
    whyNot = std::string(kDamagedReason) + " (" + reading.message + ")";
  }
  return false;
}

}  // namespace pictures
