// Owners for FFmpeg's handles, each released with the library's own free function.
#ifndef BRIDGES_SRT_FFMPEG_HANDLES_H_
#define BRIDGES_SRT_FFMPEG_HANDLES_H_

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswscale/swscale.h>
}

namespace rivlet {

struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// An input opened by avformat_open_input.
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

struct FormatContextFreer {
  void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
// A format context allocated but not (yet) opened.
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextFreer>;

struct PacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

struct FrameFreer {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

struct ScalerFreer {
  void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

// FFmpeg's text for an error code (av_strerror into 64 bytes).
inline std::string ffmpeg_error(int code) {
  char text[64] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace rivlet

#endif  // BRIDGES_SRT_FFMPEG_HANDLES_H_
