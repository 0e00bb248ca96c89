// Inside the export: what the frame pipeline hands the encoders. The pipeline draws the frames
// on the calling thread; each writer prepares them on its worker threads (colour conversion,
// palette mapping, compression), then writes them strictly in order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/morph_export.h"

namespace morph_export {

struct Frame {
  int64_t index = 0;
  std::vector<uint16_t> pixels;  // the board's RGB565 play square, rows from the top
  std::vector<uint8_t> work;     // the writer's own, from prepare to write
};

struct FrameShape {
  int32_t side = 0;     // of the board's square frames
  int32_t fps = 0;      // as asked for
  int32_t quality = 0;  // 0..100, the format's default already put in
  int64_t frames = 0;
};

class FrameWriter {
 public:
  virtual ~FrameWriter() = default;
  // How many threads may prepare frames at the same time.
  virtual int preparers() const { return 1; }
  // Any of the worker threads, `worker` being 0 .. preparers() - 1.
  virtual bool prepare(int /*worker*/, Frame& /*frame*/, std::string& /*whyNot*/) { return true; }
  // One frame after the other, in order.
  virtual bool write(Frame& frame, std::string& whyNot) = 0;
  // After the last frame: everything flushed and closed. Until then the output is incomplete.
  virtual bool finish(std::string& whyNot) = 0;
  // The frames as written and how they play.
  virtual int32_t width() const = 0;
  virtual int32_t height() const = 0;
  virtual double playedFps() const = 0;
  // The bytes written, where they are not one file the pipeline can look at (PNG frames).
  virtual uint64_t bytes() const { return 0; }
};

// Writers for each format; nullptr with the reason when the output cannot be started. `path`
// is where the bytes go (the staged file beside the target); for PNG frames, the folder.
std::unique_ptr<FrameWriter> openVideoWriter(Format format, const std::string& path,
                                             const FrameShape& shape, std::string& whyNot);
// The GIF's one palette is made from `samples`, frames spread over the animation.
std::unique_ptr<FrameWriter> openGifWriter(const std::string& path, const FrameShape& shape,
                                           const std::vector<std::vector<uint16_t>>& samples,
                                           std::string& whyNot);
std::unique_ptr<FrameWriter> openWebpWriter(const std::string& path, const FrameShape& shape,
                                            std::string& whyNot);
std::unique_ptr<FrameWriter> openPngFrameWriter(const std::string& folder,
                                                const FrameShape& shape, std::string& whyNot);

enum class PixelLayout { Rgb, Bgra };

// RGB565 to 8 bits a channel as the TGA frames widen it (shifted up, low bits 0), so that every
// format shows the very colours that `render` saves. `columns` x `rows` pixels, top row first;
// the output has `outColumns` (>= columns) pixels a row (alpha 255 in BGRA) and `outRows`
// rows: the last column and row are repeated into any extra.
void widenPixels(const uint16_t* pixels, int32_t columns, int32_t rows, uint8_t* out,
                 int32_t outColumns, int32_t outRows, PixelLayout layout);

// A file written through a buffer; the first failure is kept and told at close().
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // open(2)'s flags besides O_WRONLY; new files get 0666 less the umask.
  bool open(const std::string& path, int flags, std::string& whyNot);
  // False once anything failed.
  bool write(const void* data, size_t size);
  bool close(std::string& whyNot);

 private:
  bool flush();

  int fd_ = -1;
  int error_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace morph_export
