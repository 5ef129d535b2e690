// The decoder and the receive phase, on an MPEG-TS file made by the ffmpeg command. There is no
// VideoToolbox here: fake platforms stand in for a hardware decoder.
#include "bridges/srt/decoder.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "base/testing/scoped_temp_dir.h"
#include "bridges/common/text_file.h"
#include "bridges/srt/receive.h"

namespace rivlet {
namespace {

// A "hardware" decoder that reports the hardware format when it opens but was never really
// opened, so that every packet sent to it fails, as a hardware decoder that breaks would.
class BrokenHardware : public DecoderPlatform {
 public:
  int create_hardware_device(AVBufferRef** device) override {
    *device = av_buffer_alloc(16);
    return *device != nullptr ? 0 : AVERROR(ENOMEM);
  }
  int open_codec(AVCodecContext* context, const AVCodec* codec) override {
    if (context->hw_device_ctx != nullptr) {
      context->pix_fmt = AV_PIX_FMT_VIDEOTOOLBOX;
      return 0;
    }
    return DecoderPlatform::open_codec(context, codec);
  }
};

// A hardware device whose decoder refuses to open.
class HardwareThatWontOpen : public BrokenHardware {
 public:
  int open_codec(AVCodecContext* context, const AVCodec* codec) override {
    return context->hw_device_ctx != nullptr ? AVERROR(ENOSYS)
                                             : DecoderPlatform::open_codec(context, codec);
  }
};

// Nothing opens.
class NoDecoder : public DecoderPlatform {
 public:
  int open_codec(AVCodecContext*, const AVCodec*) override { return AVERROR(ENOSYS); }
};

// Claims success without opening: every packet then fails to decode.
class DecoderThatNeverWorks : public DecoderPlatform {
 public:
  int open_codec(AVCodecContext*, const AVCodec*) override { return 0; }
};

// The progress lines a phase logs, collected.
struct MemoryLog : bridges::BridgeLog {
  void write(std::string_view line) override { text += line; }
  std::string text;
};

class ReceivePhaseTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new base::ScopedTempDir();
    stream_ = directory_->file("stream.ts");
    std::string command = FFMPEG_COMMAND;
    command +=
        " -hide_banner -loglevel error -nostdin -f lavfi"
        " -i testsrc2=size=320x180:rate=30 -t 3 -pix_fmt yuv420p"
        " -c:v libx264 -preset ultrafast -g 15 -f mpegts ";
    command += stream_;
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  static void TearDownTestSuite() { delete directory_; }

  void SetUp() override {
    ASSERT_EQ(avformat_open_input(&input_, stream_.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(input_, nullptr), 0);
    stream_index_ = av_find_best_stream(input_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    ASSERT_GE(stream_index_, 0);
    outputs_ = {directory_->file("srt_preview.jpg"), directory_->file("srt_status.json")};
    status_.state = ListenerState::kConnecting;
  }
  void TearDown() override {
    avformat_close_input(&input_);
    std::remove(outputs_.preview_path.c_str());
    std::remove(outputs_.status_path.c_str());
  }

  const AVCodecParameters* parameters() const { return input_->streams[stream_index_]->codecpar; }

  // Runs the phase and returns the lines it logged.
  std::string receive(DecoderPlatform& platform, ReceiveResult expected = ReceiveResult::kEnded) {
    MemoryLog log;
    outputs_.log = &log;
    EXPECT_EQ(run_receive_phase(input_, stream_index_, outputs_, &status_, platform), expected);
    outputs_.log = &bridges::standard_output_log();
    return log.text;
  }

  static base::ScopedTempDir* directory_;
  static std::string stream_;
  AVFormatContext* input_ = nullptr;
  int stream_index_ = -1;
  Outputs outputs_;
  Status status_;
};

base::ScopedTempDir* ReceivePhaseTest::directory_ = nullptr;
std::string ReceivePhaseTest::stream_;

TEST(NegotiatePixelFormatTest, HardwareOnlyWhenEnabledOtherwiseFirstSoftwareFormat) {
  uint8_t hw_enabled = 1;
  AVCodecContext context{};
  context.opaque = &hw_enabled;
  const AVPixelFormat with_hardware[] = {AV_PIX_FMT_VDPAU, AV_PIX_FMT_VIDEOTOOLBOX,
                                         AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
  EXPECT_EQ(negotiate_pixel_format(&context, with_hardware), AV_PIX_FMT_VIDEOTOOLBOX);
  hw_enabled = 0;
  EXPECT_EQ(negotiate_pixel_format(&context, with_hardware), AV_PIX_FMT_YUV420P);
  context.opaque = nullptr;
  EXPECT_EQ(negotiate_pixel_format(&context, with_hardware), AV_PIX_FMT_YUV420P);
  hw_enabled = 1;
  context.opaque = &hw_enabled;
  const AVPixelFormat software_only[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_NONE};
  EXPECT_EQ(negotiate_pixel_format(&context, software_only), AV_PIX_FMT_YUVJ420P);
  const AVPixelFormat nothing_usable[] = {AV_PIX_FMT_VIDEOTOOLBOX, AV_PIX_FMT_NONE};
  hw_enabled = 0;
  EXPECT_EQ(negotiate_pixel_format(&context, nothing_usable), AV_PIX_FMT_NONE);
}

TEST_F(ReceivePhaseTest, OpenDecoderPicksSoftwareAndKeepsNoDevice) {
  HardwareThatWontOpen platform;
  Decoder decoder;
  ASSERT_TRUE(open_decoder(parameters(), true, &decoder, platform));
  EXPECT_EQ(decoder.name, "native");
  EXPECT_EQ(decoder.hw_device, nullptr);
  EXPECT_EQ(decoder.context->hw_device_ctx, nullptr);
  EXPECT_EQ(decoder.hw_enabled, 0);

  BrokenHardware hardware;
  ASSERT_TRUE(open_decoder(parameters(), true, &decoder, hardware));
  EXPECT_EQ(decoder.name, "videotoolbox");
  EXPECT_NE(decoder.hw_device, nullptr);
  EXPECT_EQ(decoder.hw_enabled, 1);
  EXPECT_EQ(decoder.context->opaque, &decoder.hw_enabled);
  close_decoder(&decoder);
  EXPECT_EQ(decoder.context, nullptr);
  EXPECT_EQ(decoder.hw_device, nullptr);
  EXPECT_EQ(decoder.name, "");

  NoDecoder none;
  EXPECT_FALSE(open_decoder(parameters(), true, &decoder, none));
  EXPECT_EQ(decoder.context, nullptr);
}

TEST_F(ReceivePhaseTest, SoftwareDecodePublishesPreviewUntilTheStreamEnds) {
  const std::string printed = receive(system_decoder_platform());
  EXPECT_EQ(printed,
            "decoder: native\n"
            "receiving 320x180\n"
            "SRT sender disconnected; listening again\n");
  EXPECT_EQ(status_.state, ListenerState::kConnected);
  EXPECT_EQ(status_.decoder, "native");
  EXPECT_EQ(status_.width, 320);
  EXPECT_EQ(status_.height, 180);
  EXPECT_TRUE(status_.has_last_frame);
  EXPECT_EQ(bridges::read_text_file(outputs_.status_path), status_document(status_));
  EXPECT_EQ(bridges::read_text_file(outputs_.preview_path).substr(0, 2), "\xff\xd8");
}

TEST_F(ReceivePhaseTest, BrokenHardwareFallsBackToSoftwareOnce) {
  BrokenHardware platform;
  const std::string printed = receive(platform);
  EXPECT_EQ(printed,
            "decoder: videotoolbox\n"
            "decoder: native\n"
            "receiving 320x180\n"
            "SRT sender disconnected; listening again\n");
  EXPECT_EQ(status_.state, ListenerState::kConnected);
  EXPECT_EQ(status_.decoder, "native");
}

TEST_F(ReceivePhaseTest, NoDecoderPublishesNothing) {
  NoDecoder platform;
  receive(platform, ReceiveResult::kNoDecoder);
  EXPECT_EQ(status_.state, ListenerState::kConnecting);
  EXPECT_EQ(bridges::read_text_file(outputs_.status_path), "");
}

TEST_F(ReceivePhaseTest, SixtiethDecodingFailureEndsThePhaseWithAnError) {
  DecoderThatNeverWorks platform;
  const std::string printed = receive(platform);
  EXPECT_EQ(printed, "decoder: native\n");
  EXPECT_EQ(status_.state, ListenerState::kError);
  EXPECT_EQ(status_.error, "could not decode H.264 video");
  EXPECT_FALSE(status_.has_last_frame);
  // Stopped at the sixtieth packet: more were left to read.
  AVPacket* packet = av_packet_alloc();
  EXPECT_EQ(av_read_frame(input_, packet), 0);
  av_packet_free(&packet);
}

}  // namespace
}  // namespace rivlet
