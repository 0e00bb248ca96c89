#include "decoded_files.h"

#include <png.h>
#include <webp/demux.h>

#include <cstring>

#include "support/test_files.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace export_test {

namespace {

void keep(const AVFrame* picture, int64_t duration, DecodedFile& file) {
  DecodedFrame frame;
  frame.width = picture->width;
  frame.height = picture->height;
  frame.duration = duration;
  const auto format = static_cast<AVPixelFormat>(picture->format);
  if (format == AV_PIX_FMT_YUV420P) {
    for (int y = 0; y < picture->height; ++y) {
      const uint8_t* row = picture->data[0] + static_cast<ptrdiff_t>(y) * picture->linesize[0];
      frame.luma.insert(frame.luma.end(), row, row + picture->width);
    }
  } else {
    frame.rgb.resize(static_cast<size_t>(picture->width) * picture->height * 3);
    SwsContext* converter =
        sws_getContext(picture->width, picture->height, format, picture->width, picture->height,
                       AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
    uint8_t* to[1] = {frame.rgb.data()};
    const int toStride[1] = {picture->width * 3};
    sws_scale(converter, picture->data, picture->linesize, 0, picture->height, to, toStride);
    sws_freeContext(converter);
  }
  file.frames.push_back(std::move(frame));
}

}  // namespace

DecodedFile decodeWithFfmpeg(const std::string& path) {
  DecodedFile file;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, ("file:" + path).c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(input, nullptr) < 0 || input->nb_streams != 1) {
    file.error = "cannot open " + path;
    avformat_close_input(&input);
    return file;
  }
  const AVStream* stream = input->streams[0];
  file.fps = av_q2d(stream->avg_frame_rate);
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, stream->codecpar);
  if (avcodec_open2(decoder, codec, nullptr) < 0) file.error = "cannot decode " + path;
  AVPacket* packet = av_packet_alloc();
  AVFrame* picture = av_frame_alloc();
  std::vector<int64_t> durations;  // packets come in frame order for GIF
  bool ended = !file.error.empty();
  while (!ended) {
    const bool more = av_read_frame(input, packet) >= 0;
    if (more) durations.push_back(packet->duration);
    avcodec_send_packet(decoder, more ? packet : nullptr);
    av_packet_unref(packet);
    while (avcodec_receive_frame(decoder, picture) >= 0) {
      const size_t k = file.frames.size();
      keep(picture, k < durations.size() ? durations[k] : 0, file);
      av_frame_unref(picture);
    }
    ended = !more;
  }
  av_frame_free(&picture);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&input);
  return file;
}

DecodedFile decodeWebp(const std::string& path) {
  DecodedFile file;
  const std::vector<uint8_t> bytes = testing_support::readBytes(path);
  const WebPData data{bytes.data(), bytes.size()};
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_RGBA;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder, &info)) {
    file.error = "cannot decode " + path;
    WebPAnimDecoderDelete(decoder);
    return file;
  }
  file.loopCount = static_cast<int>(info.loop_count);
  int previous = 0;
  while (WebPAnimDecoderHasMoreFrames(decoder)) {
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder, &rgba, &timestamp)) {
      file.error = "a frame cannot be decoded";
      break;
    }
    DecodedFrame frame;
    frame.width = static_cast<int>(info.canvas_width);
    frame.height = static_cast<int>(info.canvas_height);
    frame.duration = timestamp - previous;
    previous = timestamp;
    for (size_t p = 0; p < static_cast<size_t>(frame.width) * frame.height; ++p) {
      frame.rgb.insert(frame.rgb.end(), rgba + 4 * p, rgba + 4 * p + 3);
    }
    file.frames.push_back(std::move(frame));
  }
  WebPAnimDecoderDelete(decoder);
  return file;
}

DecodedFrame readPng(const std::string& path) {
  DecodedFrame frame;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return frame;
  image.format = PNG_FORMAT_RGB;
  frame.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, frame.rgb.data(), 0, nullptr)) {
    frame.rgb.clear();
    return frame;
  }
  frame.width = static_cast<int>(image.width);
  frame.height = static_cast<int>(image.height);
  return frame;
}

}  // namespace export_test
