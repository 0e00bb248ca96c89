// GIF through giflib: the first frame on the logical screen, its transparent pixels black. (Qt's
// own GIF reader takes a file that ends inside the picture data without a word; giflib says so.)
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "pictures/decoders.h"

namespace pictures {

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  size_t position;
  bool ranOut;  // a read asked for more than was left
};

int readInput(GifFileType* file, GifByteType* to, int length) {
  auto* input = static_cast<Input*>(file->UserData);
  const size_t count =
      std::min(static_cast<size_t>(std::max(length, 0)), input->size - input->position);
  std::memcpy(to, input->data + input->position, count);
  input->position += count;
  if (count < static_cast<size_t>(std::max(length, 0))) input->ranOut = true;
  return static_cast<int>(count);
}

std::string reasonFor(int error, const Input& input) {
  if (input.ranOut || error == D_GIF_ERR_EOF_TOO_SOON) return kEndsEarlyReason;
  const char* text = GifErrorString(error);
  return std::string(kDamagedReason) + (text ? std::string(" (") + text + ")" : "");
}

struct GifCloser {
  void operator()(GifFileType* file) const { DGifCloseFile(file, nullptr); }
};

// The transparent colour index a graphic control extension gives, or -1.
int transparentIndex(int code, const GifByteType* block, int current) {
  GraphicsControlBlock control;
  if (code == GRAPHICS_EXT_FUNC_CODE && block &&
      DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
    return control.TransparentColor;
  }
  return current;
}

// The first image of the file onto the canvas.
bool readFrame(GifFileType* file, const Input& input, int transparent, const DecodeOptions& options,
               Photo& photo, std::string& whyNot) {
  const GifImageDesc& frame = file->Image;
  const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : file->SColorMap;
  if (!colours) {
    whyNot = std::string(kDamagedReason) + " (no colour table)";
    return false;
  }
  int64_t width = file->SWidth, height = file->SHeight;
  if (width <= 0 || height <= 0) {
    // A logical screen of no size: the frame's own extent.
    width = int64_t{frame.Left} + frame.Width;
    height = int64_t{frame.Top} + frame.Height;
  }
  if (!checkDeclaredSize(width, height, options.maxPixels, whyNot) ||
      !checkDeclaredSize(frame.Width, frame.Height, options.maxPixels, whyNot)) {
    return false;
  }
  photo.width = static_cast<int32_t>(width);
  photo.height = static_cast<int32_t>(height);
  photo.image.resize(photo.width, photo.height);
  std::fill(photo.image.pixels.begin(), photo.image.pixels.end(), uint8_t{0});

  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  // Interlaced frames come in four passes: rows 0, 8, 16, ..., then 4, 12, ..., 2, 6, ..., 1, 3,
  // ...
  const int passStart[4] = {0, 4, 2, 1}, passStep[4] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int step = frame.Interlace ? passStep[pass] : 1;
    for (int y = frame.Interlace ? passStart[pass] : 0; y < frame.Height; y += step) {
      if (DGifGetLine(file, line.data(), frame.Width) != GIF_OK) {
        whyNot = reasonFor(file->Error, input);
        return false;
      }
      const int64_t row = int64_t{frame.Top} + y;
      if (row >= photo.height) continue;
      uint8_t* to = photo.image.row(static_cast<int32_t>(row));
      for (int x = 0; x < frame.Width; ++x) {
        const int64_t column = int64_t{frame.Left} + x;
        const int index = line[x];
        if (column >= photo.width || index == transparent || index >= colours->ColorCount) {
          continue;
        }
        const GifColorType& colour = colours->Colors[index];
        uint8_t* pixel = to + column * 3;
        pixel[0] = colour.Red, pixel[1] = colour.Green, pixel[2] = colour.Blue;
      }
    }
  }
  return true;
}

}  // namespace

bool decodeGif(const uint8_t* data, size_t size, const DecodeOptions& options, Photo& photo,
               std::string& whyNot) {
  Input input{data, size, 0, false};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> file(DGifOpen(&input, readInput, &error));
  if (!file) {
    whyNot = reasonFor(error, input);
    return false;
  }
  if (!checkDeclaredSize(file->SWidth > 0 ? file->SWidth : 1, file->SHeight > 0 ? file->SHeight : 1,
                         options.maxPixels, whyNot)) {
    return false;
  }
  int transparent = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(file.get(), &record) != GIF_OK) {
      whyNot = reasonFor(file->Error, input);
      return false;
    }
    if (record == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(file.get()) != GIF_OK) {
        whyNot = reasonFor(file->Error, input);
        return false;
      }
      if (readFrame(file.get(), input, transparent, options, photo, whyNot)) return true;
      photo = Photo{};
      return false;
    }
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(file.get(), &code, &block) != GIF_OK) {
        whyNot = reasonFor(file->Error, input);
        return false;
      }
      transparent = transparentIndex(code, block, transparent);
      while (block) {
        if (DGifGetExtensionNext(file.get(), &block) != GIF_OK) {
          whyNot = reasonFor(file->Error, input);
          return false;
        }
      }
      continue;
    }
    if (record == TERMINATE_RECORD_TYPE) {
      whyNot = "the GIF file holds no picture";
      return false;
    }
  }
}

}  // namespace pictures
