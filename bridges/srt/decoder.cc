#include "bridges/srt/decoder.h"

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

namespace rivlet {

namespace {

// Allocates a context for the H.264 decoder and fills it from parameters, attaching the hardware
// device when hardware; then opens it. False (and nothing held) on any failure.
bool try_open(const AVCodecParameters* parameters, bool hardware, Decoder* decoder) {
  DecoderPlatform& platform = *decoder->platform;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (codec == nullptr) {
    return false;
  }
  decoder->context = avcodec_alloc_context3(codec);
  if (decoder->context == nullptr) {
    return false;
  }
  if (avcodec_parameters_to_context(decoder->context, parameters) < 0) {
    close_decoder(decoder);
    return false;
  }
  decoder->hw_enabled = 0;
  if (hardware && platform.create_hardware_device(&decoder->hw_device) >= 0) {
    decoder->context->hw_device_ctx = av_buffer_ref(decoder->hw_device);
    decoder->hw_enabled = decoder->context->hw_device_ctx != nullptr ? 1 : 0;
  }
  decoder->context->opaque = &decoder->hw_enabled;
  decoder->context->get_format = negotiate_pixel_format;
  if (platform.open_codec(decoder->context, codec) < 0) {
    close_decoder(decoder);
    return false;
  }
  return true;
}

}  // namespace

int DecoderPlatform::create_hardware_device(AVBufferRef** device) {
  return av_hwdevice_ctx_create(device, AV_HWDEVICE_TYPE_VIDEOTOOLBOX, nullptr, nullptr, 0);
}

int DecoderPlatform::open_codec(AVCodecContext* context, const AVCodec* codec) {
  return avcodec_open2(context, codec, nullptr);
}

DecoderPlatform& system_decoder_platform() {
  static DecoderPlatform platform;
  return platform;
}

Decoder::~Decoder() {
  close_decoder(this);
}

bool open_decoder(const AVCodecParameters* parameters, bool prefer_hardware, Decoder* decoder,
                  DecoderPlatform& platform) {
  close_decoder(decoder);
  decoder->platform = &platform;
  if (!try_open(parameters, prefer_hardware, decoder) &&
      (!prefer_hardware || !try_open(parameters, false, decoder))) {
    return false;
  }
  if (decoder->context->pix_fmt == AV_PIX_FMT_VIDEOTOOLBOX) {
    decoder->name = kDecoderHardware;
  } else {
    decoder->name = kDecoderNative;
    av_buffer_unref(&decoder->context->hw_device_ctx);
    av_buffer_unref(&decoder->hw_device);
    decoder->hw_enabled = 0;
  }
  return true;
}

void close_decoder(Decoder* decoder) {
  avcodec_free_context(&decoder->context);
  av_buffer_unref(&decoder->hw_device);
  decoder->hw_enabled = 0;
  decoder->name.clear();
}

AVPixelFormat negotiate_pixel_format(AVCodecContext* context, const AVPixelFormat* formats) {
  const auto* hw_enabled = static_cast<const uint8_t*>(context->opaque);
  if (hw_enabled != nullptr && *hw_enabled == 1) {
    for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f) {
      if (*f == AV_PIX_FMT_VIDEOTOOLBOX) {
        return *f;
      }
    }
  }
  // The first software format. Where the library offers other hardware formats ahead of the
  // software ones (VDPAU, CUDA, VA-API on Linux builds), picking one of those would only make the
  // decoder try and fail to set it up on every stream.
  for (const AVPixelFormat* f = formats; *f != AV_PIX_FMT_NONE; ++f) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(*f);
    if (*f != AV_PIX_FMT_VIDEOTOOLBOX && descriptor != nullptr &&
        (descriptor->flags & AV_PIX_FMT_FLAG_HWACCEL) == 0) {
      return *f;
    }
  }
  return AV_PIX_FMT_NONE;
}

}  // namespace rivlet
