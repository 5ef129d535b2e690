// The H.264 decoder: hardware (VideoToolbox) first, software otherwise.
#ifndef BRIDGES_SRT_DECODER_H_
#define BRIDGES_SRT_DECODER_H_

#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace rivlet {

inline constexpr char kDecoderHardware[] = "videotoolbox";
inline constexpr char kDecoderNative[] = "native";

// The platform side of opening a decoder: where the hardware device comes from and how the codec is
// opened. Tests replace it to drive the fallback to software where there is no hardware.
class DecoderPlatform {
 public:
  virtual ~DecoderPlatform() = default;
  // Creates a hardware device context (VideoToolbox, no device name, options or flags) into
  // *device; 0 or a negative AVERROR.
  virtual int create_hardware_device(AVBufferRef** device);
  // Opens context for codec (avcodec_open2 without options); 0 or a negative AVERROR.
  virtual int open_codec(AVCodecContext* context, const AVCodec* codec);
};

// The real platform.
DecoderPlatform& system_decoder_platform();

// An open decoder. The codec context's opaque pointer points at hw_enabled, so a Decoder never
// moves; it closes itself when it goes away.
struct Decoder {
  Decoder() = default;
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  AVCodecContext* context = nullptr;
  AVBufferRef* hw_device = nullptr;
  uint8_t hw_enabled = 0;  // 1 when a hardware device is attached
  std::string name;        // "videotoolbox", "native" or empty
  DecoderPlatform* platform = nullptr;
};

// Closes whatever decoder held, then opens an H.264 decoder for parameters, with a hardware device
// when prefer_hardware (falling back once to software when that open fails). name tells which one
// runs; a software decoder keeps no device reference. False when no decoder could be opened.
bool open_decoder(const AVCodecParameters* parameters, bool prefer_hardware, Decoder* decoder,
                  DecoderPlatform& platform = system_decoder_platform());

// Frees the context, releases the device reference and clears the name.
void close_decoder(Decoder* decoder);

// get_format callback: the hardware format when a device is attached (the byte behind the
// context's opaque pointer is 1) and formats offers it; otherwise the first software format.
AVPixelFormat negotiate_pixel_format(AVCodecContext* context, const AVPixelFormat* formats);

}  // namespace rivlet

#endif  // BRIDGES_SRT_DECODER_H_
