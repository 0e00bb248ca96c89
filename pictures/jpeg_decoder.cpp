// JPEG through libjpeg(-turbo), used directly: it decodes large photographs at a reduced scale
// (1/2, 1/4, 1/8) from the coefficients, far faster and smaller than the full size, and its
// warnings tell a file that ends early or lost data, which the library itself only fills with
// grey.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "pictures/decoders.h"

namespace pictures {

namespace {

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is a pointer to this
  std::jmp_buf jump;
  bool endedEarly;
  bool lostData;
  char message[JMSG_LENGTH_MAX];
};

ErrorManager& errorsOf(j_common_ptr info) {
  return *reinterpret_cast<ErrorManager*>(info->err);
}

[[noreturn]] void onError(j_common_ptr info) {
  ErrorManager& errors = errorsOf(info);
  (*info->err->format_message)(info, errors.message);
  const int code = info->err->msg_code;
  if (code == JERR_INPUT_EOF || code == JERR_INPUT_EMPTY) errors.endedEarly = true;
  std::longjmp(errors.jump, 1);
}

// Warnings (level -1) that mean the data ended early or pixels were lost and filled in.
void onMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace output
  ErrorManager& errors = errorsOf(info);
  switch (info->err->msg_code) {
    case JWRN_JPEG_EOF:
      errors.endedEarly = true;
      break;
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
      errors.lostData = true;
      break;
    default:
      break;
  }
  ++info->err->num_warnings;
}

// The EXIF orientation in the APP1 segments that libjpeg kept.
int32_t orientationOf(const jpeg_decompress_struct& info) {
  for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
    if (marker->marker == JPEG_APP0 + 1) {
      const int32_t orientation = exifOrientation(marker->data, marker->data_length);
      if (orientation != 1) return orientation;
    }
  }
  return 1;
}

// CMYK (or YCCK turned into CMYK by the library) to RGB, without a colour profile. Adobe's files
// store the inks inverted.
void cmykRowToRgb(const uint8_t* cmyk, uint8_t* rgb, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const int k = inverted ? cmyk[3] : 255 - cmyk[3];
    for (int c = 0; c < 3; ++c) {
      const int ink = inverted ? cmyk[c] : 255 - cmyk[c];
      rgb[c] = static_cast<uint8_t>((ink * k + 127) / 255);
    }
  }
}

struct Decoding {
  int32_t orientation = 1;
  JOCTET* profile = nullptr;  // malloc'd by libjpeg
  unsigned int profileLength = 0;
};

// Everything between setjmp and a possible longjmp lives in this frame or outside it; its own
// locals have no destructors for the jump to skip.
bool decodeInto(jpeg_decompress_struct& info, ErrorManager& errors, const uint8_t* data,
                size_t size, const DecodeOptions& options, Photo& photo, Decoding& decoding,
                std::string& whyNot) {
  if (setjmp(errors.jump)) return false;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);  // EXIF
  jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);  // ICC profile
  jpeg_read_header(&info, TRUE);
  decoding.orientation = orientationOf(info);
  const bool swapped = orientationSwapsSides(decoding.orientation);
  photo.width = static_cast<int32_t>(swapped ? info.image_height : info.image_width);
  photo.height = static_cast<int32_t>(swapped ? info.image_width : info.image_height);
  if (!checkDeclaredSize(photo.width, photo.height, options.maxPixels, whyNot)) return false;

  photo.reduction = chooseReduction(options, photo.width, photo.height);
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned int>(photo.reduction);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  photo.image.resize(static_cast<int32_t>(info.output_width),
                     static_cast<int32_t>(info.output_height));
  JSAMPARRAY cmykRow = cmyk ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info),
                                                        JPOOL_IMAGE, info.output_width * 4, 1)
                            : nullptr;
  while (info.output_scanline < info.output_height) {
    uint8_t* row = photo.image.row(static_cast<int32_t>(info.output_scanline));
    JSAMPROW target = cmyk ? cmykRow[0] : row;
    if (jpeg_read_scanlines(&info, &target, 1) != 1) break;
    if (cmyk) cmykRowToRgb(cmykRow[0], row, info.output_width, info.saw_Adobe_marker);
  }
  jpeg_read_icc_profile(&info, &decoding.profile, &decoding.profileLength);
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

bool decodeJpeg(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
                std::string& whyNot) {
  jpeg_decompress_struct info;
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = onError;
  errors.base.emit_message = onMessage;
  jpeg_create_decompress(&info);
  Decoding decoding;
  bool decoded = false;
  whyNot.clear();
  try {
    decoded = decodeInto(info, errors, data, size, options, photo, decoding, whyNot);
  } catch (...) {
    jpeg_destroy_decompress(&info);
    std::free(decoding.profile);
    throw;
  }
  jpeg_destroy_decompress(&info);
  if (decoded && !errors.endedEarly && !errors.lostData) {
    applyOrientation(decoding.orientation, photo.image);
    if (decoding.profile)
      convertProfileToSrgb(decoding.profile, decoding.profileLength, photo.image);
    std::free(decoding.profile);
    return true;
  }
  std::free(decoding.profile);
  photo = Photo{};
  if (errors.endedEarly) {
    whyNot = kEndsEarlyReason;
  } else if (errors.lostData) {
    whyNot = kDamagedReason;
  } else if (whyNot.empty()) {
    whyNot = std::string(kDamagedReason) + " (" + errors.message + ")";
  }
  return false;
}

}  // namespace pictures
