// Animated WebP through libwebp's animation encoder, looping forever. Quality 0..100 is
// libwebp's own lossy scale; 100 is lossless.
#include <fcntl.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cmath>

#include "export/frame_writer.h"

namespace morph_export {

namespace {

class WebpWriter : public FrameWriter {
 public:
  WebpWriter(const std::string& path, const FrameShape& shape)
      : path_(path), side_(shape.side), fps_(shape.fps) {
    WebPConfigInit(&config_);
    if (shape.quality >= 100) {
      WebPConfigLosslessPreset(&config_, 2);
    } else {
      config_.quality = static_cast<float>(shape.quality);
      config_.method = 2;  // a fair size at a pace close to the board's
    }
    config_.thread_level = 1;
  }

  ~WebpWriter() override {
    if (encoder_) WebPAnimEncoderDelete(encoder_);
  }

  bool open(std::string& whyNot) {
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPValidateConfig(&config_)) {
      whyNot = "this system's libwebp does not fit the program";
      return false;
    }
    options.anim_params.loop_count = 0;  // for ever
    encoder_ = WebPAnimEncoderNew(side_, side_, &options);
    if (!encoder_) {
      whyNot = "out of memory";
      return false;
    }
    // Nothing is written before the end, but a name that cannot be written is told now.
    OutputFile probe;
    return probe.open(path_, 0, whyNot) && probe.close(whyNot);
  }

  bool prepare(int /*worker*/, Frame& frame, std::string& /*whyNot*/) override {
    frame.work.resize(static_cast<size_t>(side_) * side_ * 3);
    widenPixels(frame.pixels.data(), side_, side_, frame.work.data(), side_, side_, PixelLayout::Rgb);
    return true;
  }

  bool write(Frame& frame, std::string& whyNot) override {
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) return fail(whyNot);
    picture.width = side_;
    picture.height = side_;
    picture.use_argb = 1;
    const bool added = WebPPictureImportRGB(&picture, frame.work.data(), side_ * 3) &&
                       WebPAnimEncoderAdd(encoder_, &picture, timestamp(frame.index), &config_);
    WebPPictureFree(&picture);
    return added || fail(whyNot);
  }

  bool finish(std::string& whyNot) override {
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(encoder_, nullptr, timestamp(frames_), nullptr) ||
        !WebPAnimEncoderAssemble(encoder_, &data)) {
      return fail(whyNot);
    }
    OutputFile file;
    const bool written =
        file.open(path_, O_TRUNC, whyNot) && file.write(data.bytes, data.size) && file.close(whyNot);
    if (!written && whyNot.empty()) file.close(whyNot);
    WebPDataClear(&data);
    return written;
  }

  void countFrames(int64_t frames) { frames_ = frames; }

  int32_t width() const override { return side_; }
  int32_t height() const override { return side_; }
  double playedFps() const override { return fps_; }

 private:
  // Milliseconds from the start; each frame ends where the next begins.
  int timestamp(int64_t frame) const {
    return static_cast<int>(std::llround(static_cast<double>(frame) * 1000.0 / fps_));
  }

  bool fail(std::string& whyNot) const {
    const char* reason = encoder_ ? WebPAnimEncoderGetError(encoder_) : nullptr;
    whyNot = std::string("the WebP encoder failed") + (reason && *reason ? ": " : "") +
             (reason ? reason : "");
    return false;
  }

  const std::string path_;
  const int32_t side_;
  const int fps_;
  int64_t frames_ = 0;
  WebPConfig config_{};
  WebPAnimEncoder* encoder_ = nullptr;
};

}  // namespace

std::unique_ptr<FrameWriter> openWebpWriter(const std::string& path, const FrameShape& shape,
                                            std::string& whyNot) {
  auto writer = std::make_unique<WebpWriter>(path, shape);
  writer->countFrames(shape.frames);
  if (!writer->open(whyNot)) return nullptr;
  return writer;
}

}  // namespace morph_export
