// Videos and GIFs through FFmpeg's libraries:
// - .mp4: H.264 (libx264), 4:2:0, with the index at the front of the file;
// - .webm: VP9 (libvpx), 4:2:0. Both need even sides: an odd frame gets its last row and
//   column once more;
// - .gif: one palette for the whole animation, made by the palettegen filter from frames spread
//   over it; each frame mapped onto it with ordered (Bayer) dithering on both cores, so that
//   gradients do not band and still parts stay still; the GIF encoder leaves out what did not
//   change, and the muxer makes the animation loop for ever.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "export/frame_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace morph_export {

namespace {

constexpr int kWorkers = 2;  // frames are converted or mapped on both cores
// Players treat a GIF delay under 2 hundredths as 10, so no frame gets less: at most 50 fps.
constexpr int kMaxGifFps = 50;

// FFmpeg's libraries tell details only to their log: the last error line is kept for the
// message, and nothing reaches the terminal.
std::mutex logMutex;
std::string lastLoggedError;

void keepErrors(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_ERROR) return;
  char line[512];
  int prefix = 1;
  av_log_format_line2(context, level, format, arguments, line, sizeof line, &prefix);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  std::lock_guard lock(logMutex);
  lastLoggedError = text;
}

std::string ffmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  std::lock_guard lock(logMutex);
  std::string reason = text;
  if (!lastLoggedError.empty()) reason += " (" + lastLoggedError + ")";
  lastLoggedError.clear();
  return reason;
}

// A file of one encoded stream: the container, the encoder and the packets between them.
class Muxer {
 public:
  Muxer() = default;
  Muxer(const Muxer&) = delete;
  Muxer& operator=(const Muxer&) = delete;
  ~Muxer() {
    // FFmpeg's GIF muxer lets go of the frame it holds back only when it writes its end; the
    // file is being discarded anyway.
    if (headerWritten_ && output_->oformat == av_guess_format("gif", nullptr, nullptr)) {
      av_write_trailer(output_);
    }
    av_packet_free(&packet_);
    avcodec_free_context(&encoder_);
    if (output_) {
      if (output_->pb) avio_closep(&output_->pb);
      avformat_free_context(output_);
    }
  }

  // `configure` sets the encoder's fields and options before it starts; `containerOptions`
  // gives the container's, knowing whether the file can be gone back over (a pipe cannot).
  // Returns false with the reason.
  bool open(const char* container, const char* encoderName, const std::string& path,
            const std::function<void(AVCodecContext*, AVDictionary**)>& configure,
            const std::function<void(AVDictionary**, bool seekable)>& containerOptions,
            std::string& whyNot) {
    av_log_set_callback(keepErrors);
    const AVCodec* codec = avcodec_find_encoder_by_name(encoderName);
    if (!codec) {
      whyNot = std::string("this system's FFmpeg has no ") + encoderName + " encoder";
      return false;
    }
    if (avformat_alloc_output_context2(&output_, nullptr, container, nullptr) < 0) {
      whyNot = std::string("this system's FFmpeg cannot write ") + container + " files";
      return false;
    }
    encoder_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    if (!encoder_ || !packet_) {
      whyNot = "out of memory";
      return false;
    }
    AVDictionary* options = nullptr;
    configure(encoder_, &options);
    if (output_->oformat->flags & AVFMT_GLOBALHEADER) {
      encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int result = avcodec_open2(encoder_, codec, &options);
    av_dict_free(&options);
    if (result < 0) {
      whyNot = std::string("cannot start the ") + encoderName + " encoder: " + ffmpegError(result);
      return false;
    }
    AVStream* stream = avformat_new_stream(output_, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, encoder_) < 0) {
      whyNot = "out of memory";
      return false;
    }
    stream->time_base = encoder_->time_base;
    stream->avg_frame_rate = encoder_->framerate;
    // "file:" keeps a name with a colon from being taken for another protocol. The MP4 muxer
    // opens the file again by this name to move its index to the front.
    const std::string url = "file:" + path;
    output_->url = av_strdup(url.c_str());
    result = avio_open(&output_->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (result >= 0) {
      AVDictionary* muxerOptions = nullptr;
      containerOptions(&muxerOptions, output_->pb->seekable != 0);
      result = avformat_write_header(output_, &muxerOptions);
      av_dict_free(&muxerOptions);
      headerWritten_ = result >= 0;
    }
    if (result < 0) {
      whyNot = "cannot write: " + ffmpegError(result);
      return false;
    }
    return true;
  }

  // Sends a frame (nullptr: the end) and writes every packet the encoder has ready.
  bool send(const AVFrame* frame, std::string& whyNot) {
    int result = avcodec_send_frame(encoder_, frame);
    while (result >= 0) {
      result = avcodec_receive_packet(encoder_, packet_);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
      if (result < 0) break;
      av_packet_rescale_ts(packet_, encoder_->time_base, output_->streams[0]->time_base);
      packet_->stream_index = 0;
      result = av_interleaved_write_frame(output_, packet_);
      if (result >= 0 && output_->pb->error < 0) result = output_->pb->error;
      if (result < 0) {
        whyNot = "cannot write: " + ffmpegError(result);
        return false;
      }
    }
    whyNot = "the encoder failed: " + ffmpegError(result);
    return false;
  }

  // The encoder's last packets, the container's end, the file closed: only then complete.
  bool finish(std::string& whyNot) {
    if (!send(nullptr, whyNot)) return false;
    int result = av_write_trailer(output_);
    headerWritten_ = false;
    if (result >= 0) result = output_->pb->error;
    if (result >= 0) result = avio_closep(&output_->pb);
    if (result >= 0) return true;
    whyNot = "cannot write: " + ffmpegError(result);
    return false;
  }

 private:
  AVFormatContext* output_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool headerWritten_ = false;  // and the trailer not yet
};

// A frame of the size and pixel format, its planes from `planes`.
AVFrame* makeFrame(AVPixelFormat format, int width, int height, const uint8_t* const planes[4],
                   const int strides[4]) {
  AVFrame* frame = av_frame_alloc();
  if (!frame) return nullptr;
  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame, 0) < 0) {
    av_frame_free(&frame);
    return nullptr;
  }
  const uint8_t* from[4] = {planes[0], planes[1], planes[2], planes[3]};
  av_image_copy(frame->data, frame->linesize, from, strides, format, width, height);
  return frame;
}

// Sends a square frame of `side` made from `planes` to the muxer as frame `index`.
bool sendFrame(Muxer& muxer, AVPixelFormat format, int side, const uint8_t* const planes[4],
               const int strides[4], int64_t index, std::string& whyNot) {
  AVFrame* picture = makeFrame(format, side, side, planes, strides);
  if (!picture) {
    whyNot = "out of memory";
    return false;
  }
  picture->pts = index;
  const bool sent = muxer.send(picture, whyNot);
  av_frame_free(&picture);
  return sent;
}

// Quality 0..100 onto the encoders' constant-quality scales (lower is better): x264's CRF 51..0
// and VP9's 63..0. The default 65 gives CRF 18 and 22: on the demo, no frame of the H.264
// video falls below a luma PSNR of 40 dB.
int constantQuality(Format format, int32_t quality) {
  const double scale = format == Format::Mp4 ? 51.0 : 63.0;
  return static_cast<int>(std::lround(scale * (100 - quality) / 100.0));
}

class VideoWriter : public FrameWriter {
 public:
  VideoWriter(Format format, const FrameShape& shape)
      : format_(format),
        side_(shape.side),
        evenSide_(shape.side + (shape.side & 1)),
        fps_(shape.fps),
        quality_(shape.quality) {}

  ~VideoWriter() override {
    for (SwsContext* converter : converters_) sws_freeContext(converter);
  }

  bool open(const std::string& path, std::string& whyNot) {
    const bool mp4 = format_ == Format::Mp4;
    const auto configure = [this, mp4](AVCodecContext* encoder, AVDictionary** options) {
      encoder->width = evenSide_;
      encoder->height = evenSide_;
      encoder->pix_fmt = AV_PIX_FMT_YUV420P;
      encoder->time_base = AVRational{1, fps_};
      encoder->framerate = AVRational{fps_, 1};
      encoder->sample_aspect_ratio = AVRational{1, 1};
      // Converted with the BT.709 matrix into the video range, and said so.
      encoder->color_range = AVCOL_RANGE_MPEG;
      encoder->colorspace = AVCOL_SPC_BT709;
      encoder->color_primaries = AVCOL_PRI_BT709;
      encoder->color_trc = AVCOL_TRC_IEC61966_2_1;
      av_dict_set_int(options, "crf", constantQuality(format_, quality_), 0);
      if (mp4) {
        // Fast enough to keep pace with the board on two cores; the CRF carries the quality.
        // On the demo, "veryfast" takes a third longer for files a third smaller.
        av_dict_set(options, "preset", "superfast", 0);
      } else {
        encoder->bit_rate = 0;  // constant quality, no bitrate cap
        encoder->thread_count = static_cast<int>(std::thread::hardware_concurrency());
        // libvpx's real-time mode at its fastest: the "good" mode takes six times as long here
        // for files half the size.
        av_dict_set(options, "deadline", "realtime", 0);
        av_dict_set(options, "cpu-used", "8", 0);
        av_dict_set(options, "row-mt", "1", 0);
      }
    };
    const auto containerOptions = [mp4](AVDictionary** options, bool seekable) {
      // The index at the front, so that a player can start before the whole file is in; a pipe
      // gets a fragmented file instead, which needs no going back.
      if (mp4) {
        av_dict_set(options, "movflags", seekable ? "+faststart" : "+frag_keyframe+empty_moov",
                    0);
      }
    };
    if (!muxer_.open(mp4 ? "mp4" : "webm", mp4 ? "libx264" : "libvpx-vp9", path, configure,
                     containerOptions, whyNot)) {
      return false;
    }
    for (SwsContext*& converter : converters_) {
      converter = sws_getContext(evenSide_, evenSide_, AV_PIX_FMT_RGB24, evenSide_, evenSide_,
                                 AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                                 nullptr, nullptr);
      if (!converter) {
        whyNot = "cannot set up the colour conversion";
        return false;
      }
      const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
      sws_setColorspaceDetails(converter, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    return true;
  }

  int preparers() const override { return kWorkers; }

  // RGB565 to RGB to YUV 4:2:0: frame.work gets the three planes one after the other.
  bool prepare(int worker, Frame& frame, std::string& /*whyNot*/) override {
    const size_t pixels = static_cast<size_t>(evenSide_) * static_cast<size_t>(evenSide_);
    std::vector<uint8_t>& rgb = rgb_[worker];
    rgb.resize(pixels * 3);
    widenPixels(frame.pixels.data(), side_, side_, rgb.data(), evenSide_, evenSide_,
                PixelLayout::Rgb);
    frame.work.resize(pixels + pixels / 2);
    const uint8_t* from[1] = {rgb.data()};
    const int fromStride[1] = {3 * evenSide_};
    uint8_t* const to[3] = {frame.work.data(), frame.work.data() + pixels,
                            frame.work.data() + pixels + pixels / 4};
    const int toStride[3] = {evenSide_, evenSide_ / 2, evenSide_ / 2};
    sws_scale(converters_[worker], from, fromStride, 0, evenSide_, to, toStride);
    return true;
  }

  bool write(Frame& frame, std::string& whyNot) override {
    const size_t pixels = static_cast<size_t>(evenSide_) * static_cast<size_t>(evenSide_);
    const uint8_t* const planes[4] = {frame.work.data(), frame.work.data() + pixels,
                                      frame.work.data() + pixels + pixels / 4, nullptr};
    const int strides[4] = {evenSide_, evenSide_ / 2, evenSide_ / 2, 0};
    return sendFrame(muxer_, AV_PIX_FMT_YUV420P, evenSide_, planes, strides, frame.index, whyNot);
  }

  bool finish(std::string& whyNot) override { return muxer_.finish(whyNot); }

  int32_t width() const override { return evenSide_; }
  int32_t height() const override { return evenSide_; }
  double playedFps() const override { return fps_; }

 private:
  const Format format_;
  const int32_t side_;
  const int32_t evenSide_;
  const int fps_;
  const int32_t quality_;
  Muxer muxer_;
  SwsContext* converters_[kWorkers] = {};
  std::vector<uint8_t> rgb_[kWorkers];
};

// The palettegen filter: BGRA frames in, one 16 x 16 picture of the palette out at the end.
class PaletteGenerator {
 public:
  PaletteGenerator() = default;
  PaletteGenerator(const PaletteGenerator&) = delete;
  PaletteGenerator& operator=(const PaletteGenerator&) = delete;
  ~PaletteGenerator() { avfilter_graph_free(&graph_); }

  bool open(int side, int colours, std::string& whyNot) {
    av_log_set_callback(keepErrors);
    graph_ = avfilter_graph_alloc();
    const std::string frames = "video_size=" + std::to_string(side) + "x" +
                               std::to_string(side) + ":pix_fmt=" +
                               std::to_string(AV_PIX_FMT_BGRA) + ":time_base=1/1";
    // One of the colours stays transparent, for the pixels the encoder finds unchanged.
    const std::string options =
        "max_colors=" + std::to_string(colours) + ":reserve_transparent=1:stats_mode=full";
    AVFilterContext* generator = nullptr;
    const bool made =
        graph_ &&
        avfilter_graph_create_filter(&source_, avfilter_get_by_name("buffer"), "in",
                                     frames.c_str(), nullptr, graph_) >= 0 &&
        avfilter_graph_create_filter(&generator, avfilter_get_by_name("palettegen"), "palette",
                                     options.c_str(), nullptr, graph_) >= 0 &&
        avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out", nullptr,
                                     nullptr, graph_) >= 0 &&
        avfilter_link(source_, 0, generator, 0) >= 0 && avfilter_link(generator, 0, sink_, 0) >= 0 &&
        avfilter_graph_config(graph_, nullptr) >= 0;
    if (!made) whyNot = "cannot set up the GIF's palette filter: " + ffmpegError(AVERROR(EINVAL));
    return made;
  }

  // Gives a frame (nullptr: no more).
  bool push(AVFrame* frame) {
    return av_buffersrc_add_frame_flags(source_, frame, AV_BUFFERSRC_FLAG_KEEP_REF) >= 0;
  }
  bool pull(AVFrame* frame) { return av_buffersink_get_frame(sink_, frame) >= 0; }

 private:
  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
};

// Maps the board's RGB565 frames onto a palette with ordered (Bayer) dithering: each pixel is
// moved by its place's share of the palette's spacing, then takes the nearest colour. The
// board's frames hold at most 65536 colours, so each (colour, place) pair is looked up once
// and remembered: mapping a frame is then a table look-up a pixel, on any number of threads.
class PaletteMapper {
 public:
  // `palette`: 256 entries 0xAARRGGBB as FFmpeg keeps them; those with alpha 0 are never used.
  explicit PaletteMapper(const uint32_t* palette) : known_(kCells << 16) {
    for (int i = 0; i < 256; ++i) {
      if (palette[i] >> 24 != 0) colours_.push_back({palette[i], static_cast<uint8_t>(i)});
    }
    // The dither spans the usual distance between a colour and its nearest neighbour.
    std::vector<int> spacing;
    for (const Colour& a : colours_) {
      int nearest = INT32_MAX;
      for (const Colour& b : colours_) {
        if (&a != &b) nearest = std::min(nearest, distance(a.argb, red(b), green(b), blue(b)));
      }
      spacing.push_back(nearest);
    }
    std::nth_element(spacing.begin(), spacing.begin() + spacing.size() / 2, spacing.end());
    const double span = spacing.empty() ? 0 : std::sqrt(spacing[spacing.size() / 2]);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        // The 8 x 8 Bayer matrix: the bits of x ^ y and y interleaved, then reversed.
        int rank = 0;
        for (int bit = 0; bit < 3; ++bit) {
          rank |= (((x ^ y) >> bit) & 1) << (5 - 2 * bit);
          rank |= ((y >> bit) & 1) << (4 - 2 * bit);
        }
        offsets_[y * 8 + x] = static_cast<int>(std::lround(((rank + 0.5) / 64 - 0.5) * span));
      }
    }
  }

  void map(const uint16_t* pixels, int side, uint8_t* indices) {
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const uint16_t pixel = pixels[static_cast<size_t>(y) * side + x];
        const int cell = (y & 7) * 8 + (x & 7);
        std::atomic<uint16_t>& known = known_[static_cast<size_t>(cell) << 16 | pixel];
        uint16_t entry = known.load(std::memory_order_relaxed);
        if (entry == 0) {
          entry = static_cast<uint16_t>(nearest(pixel, offsets_[cell]) + 1);
          known.store(entry, std::memory_order_relaxed);
        }
        indices[static_cast<size_t>(y) * side + x] = static_cast<uint8_t>(entry - 1);
      }
    }
  }

 private:
  static constexpr int kCells = 64;
  struct Colour {
    uint32_t argb;
    uint8_t index;
  };
  static int red(const Colour& c) { return (c.argb >> 16) & 0xFF; }
  static int green(const Colour& c) { return (c.argb >> 8) & 0xFF; }
  static int blue(const Colour& c) { return c.argb & 0xFF; }
  static int distance(uint32_t argb, int r, int g, int b) {
    const int dr = static_cast<int>((argb >> 16) & 0xFF) - r;
    const int dg = static_cast<int>((argb >> 8) & 0xFF) - g;
    const int db = static_cast<int>(argb & 0xFF) - b;
    return dr * dr + dg * dg + db * db;
  }

  // The palette index nearest to the pixel (widened as the TGA frames are) moved by `offset`.
  uint8_t nearest(uint16_t pixel, int offset) const {
    const auto moved = [offset](int channel) { return std::clamp(channel + offset, 0, 255); };
    const int r = moved((pixel >> 11) << 3);
    const int g = moved(((pixel >> 5) & 0x3F) << 2);
    const int b = moved((pixel & 0x1F) << 3);
    uint8_t best = 0;
    int bestDistance = INT32_MAX;
    for (const Colour& colour : colours_) {
      const int d = distance(colour.argb, r, g, b);
      if (d < bestDistance) {
        bestDistance = d;
        best = colour.index;
      }
    }
    return best;
  }

  std::vector<Colour> colours_;
  int offsets_[kCells] = {};
  std::vector<std::atomic<uint16_t>> known_;  // (place, colour): palette index + 1; 0 unknown
};

class GifWriter : public FrameWriter {
 public:
  explicit GifWriter(const FrameShape& shape)
      : side_(shape.side),
        fps_(std::min(shape.fps, kMaxGifFps)),
        quality_(shape.quality),
        frames_(shape.frames) {}

  bool open(const std::string& path, const std::vector<std::vector<uint16_t>>& samples,
            std::string& whyNot) {
    if (!makePalette(samples, whyNot)) return false;
    mapper_ = std::make_unique<PaletteMapper>(palette_);
    const auto configure = [this](AVCodecContext* encoder, AVDictionary**) {
      encoder->width = side_;
      encoder->height = side_;
      encoder->pix_fmt = AV_PIX_FMT_PAL8;
      encoder->time_base = AVRational{1, fps_};
      encoder->framerate = AVRational{fps_, 1};
    };
    // The muxer takes each delay from the next frame's time; the last one is told.
    const auto end = [this](int64_t k) { return std::llround(k * 100.0 / fps_); };
    const int64_t lastDelay = end(frames_) - end(frames_ - 1);
    const auto loopForever = [lastDelay](AVDictionary** options, bool) {
      av_dict_set(options, "loop", "0", 0);  // for ever
      av_dict_set_int(options, "final_delay", lastDelay, 0);
    };
    return muxer_.open("gif", "gif", path, configure, loopForever, whyNot);
  }

  int preparers() const override { return kWorkers; }

  // frame.work gets a palette index a pixel.
  bool prepare(int /*worker*/, Frame& frame, std::string& /*whyNot*/) override {
    frame.work.resize(static_cast<size_t>(side_) * side_);
    mapper_->map(frame.pixels.data(), side_, frame.work.data());
    return true;
  }

  bool write(Frame& frame, std::string& whyNot) override {
    const uint8_t* const planes[4] = {frame.work.data(),
                                      reinterpret_cast<const uint8_t*>(palette_), nullptr, nullptr};
    const int strides[4] = {side_, 0, 0, 0};
    return sendFrame(muxer_, AV_PIX_FMT_PAL8, side_, planes, strides, frame.index, whyNot);
  }

  bool finish(std::string& whyNot) override { return muxer_.finish(whyNot); }

  int32_t width() const override { return side_; }
  int32_t height() const override { return side_; }
  double playedFps() const override { return fps_; }

 private:
  // One palette from the samples: quality 0..100 is its size, 4 to 256 colours.
  bool makePalette(const std::vector<std::vector<uint16_t>>& samples, std::string& whyNot) {
    const int colours = 4 + (252 * quality_ + 50) / 100;
    PaletteGenerator generator;
    if (!generator.open(side_, colours, whyNot)) return false;
    std::vector<uint8_t> bgra(static_cast<size_t>(side_) * side_ * 4);
    const uint8_t* const planes[4] = {bgra.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {4 * side_, 0, 0, 0};
    int64_t pts = 0;
    bool pushed = true;
    for (const std::vector<uint16_t>& sample : samples) {
      widenPixels(sample.data(), side_, side_, bgra.data(), side_, side_, PixelLayout::Bgra);
      AVFrame* frame = makeFrame(AV_PIX_FMT_BGRA, side_, side_, planes, strides);
      if (frame) frame->pts = pts++;
      pushed = frame && generator.push(frame);
      av_frame_free(&frame);
      if (!pushed) break;
    }
    AVFrame* palette = av_frame_alloc();
    const bool made = pushed && palette && generator.push(nullptr) && generator.pull(palette);
    // 16 x 16 pixels, one a colour, in rows of the frame's line size.
    for (int i = 0; made && i < 256; ++i) {
      std::memcpy(&palette_[i], palette->data[0] + (i / 16) * palette->linesize[0] + (i % 16) * 4,
                  4);
    }
    av_frame_free(&palette);
    if (!made) whyNot = "cannot make the GIF's palette: " + ffmpegError(AVERROR(EINVAL));
    return made;
  }

  const int32_t side_;
  const int fps_;
  const int32_t quality_;
  const int64_t frames_;
  uint32_t palette_[256] = {};
  std::unique_ptr<PaletteMapper> mapper_;
  Muxer muxer_;
};

}  // namespace

std::unique_ptr<FrameWriter> openVideoWriter(Format format, const std::string& path,
                                             const FrameShape& shape, std::string& whyNot) {
  auto writer = std::make_unique<VideoWriter>(format, shape);
  if (!writer->open(path, whyNot)) return nullptr;
  return writer;
}

std::unique_ptr<FrameWriter> openGifWriter(const std::string& path, const FrameShape& shape,
                                           const std::vector<std::vector<uint16_t>>& samples,
                                           std::string& whyNot) {
  auto writer = std::make_unique<GifWriter>(shape);
  if (!writer->open(path, samples, whyNot)) return nullptr;
  return writer;
}

}  // namespace morph_export
