#include "bridges/srt/receive.h"

#include "base/clock.h"
#include "base/run_flag.h"
#include "bridges/srt/frame_picture.h"
#include "bridges/srt/preview.h"
#include "bridges/srt/run_control.h"

namespace rivlet {

namespace {

class ReceivePhase {
 public:
  ReceivePhase(AVFormatContext* input, int stream_index, const Outputs& outputs, Status* status,
               DecoderPlatform& platform)
      : input_(input),
        stream_index_(stream_index),
        parameters_(input->streams[stream_index]->codecpar),
        outputs_(outputs),
        status_(*status),
        platform_(platform),
        stall_rule_(outputs.latency_ns) {}

  ReceiveResult run();

 private:
  enum class Step { kContinue, kEnd };

  Step read_and_decode();
  Step after_send_failure();
  void drain();
  bool handle_frame();
  bool fall_back_to_native();
  void publish_preview(const AVFrame& picture, bool hardware_frame);
  void hand_over(const AVFrame& picture, int64_t decoded_ns, int64_t pts);
  void fail_decoding();
  void write() { write_status(outputs_.status_path, status_); }

  AVFormatContext* input_;
  int stream_index_;
  const AVCodecParameters* parameters_;
  const Outputs& outputs_;
  Status& status_;
  DecoderPlatform& platform_;

  Decoder decoder_;
  PacketPtr packet_{av_packet_alloc()};
  FramePtr frame_{av_frame_alloc()};
  FramePtr transfer_{av_frame_alloc()};
  PreviewScaler scaler_;
  int64_t last_packet_time_ = 0;
  int64_t last_preview_time_ = 0;
  StallRule stall_rule_;
  bool preview_written_ = false;
  bool receiving_announced_ = false;
  bool fallback_done_ = false;
  int decode_errors_ = 0;
  int64_t frames_decoded_ = 0;
  std::shared_ptr<RegionConverter> converter_ = std::make_shared<RegionConverter>();
};

ReceiveResult ReceivePhase::run() {
  if (!open_decoder(parameters_, true, &decoder_, platform_)) {
    return ReceiveResult::kNoDecoder;
  }
  status_.decoder = decoder_.name;
  write();
  outputs_.log->say("decoder: %s\n", decoder_.name.c_str());
  if (outputs_.readings != nullptr) {
    outputs_.readings->restart();
  }
  if (outputs_.read_deadline != nullptr) {
    outputs_.read_deadline->reset();
  }
  last_packet_time_ = base::monotonic_ns();
  while (base::keep_running() && packet_ && frame_ && transfer_ && decoder_.context != nullptr) {
    if (read_and_decode() == Step::kEnd) {
      break;
    }
  }
  return ReceiveResult::kEnded;
}

ReceivePhase::Step ReceivePhase::read_and_decode() {
  if (base::monotonic_ns() - last_packet_time_ > kStallNs) {
    outputs_.log->say("SRT sender stalled; listening again\n");
    return Step::kEnd;
  }
  const int64_t read_started = base::monotonic_ns();
  if (outputs_.read_deadline != nullptr) {
    outputs_.read_deadline->arm(last_packet_time_ + kStallNs + kReadOverrunNs);
  }
  const int read = av_read_frame(input_, packet_.get());
  const int64_t read_finished = base::monotonic_ns();
  if (outputs_.read_deadline != nullptr) {
    outputs_.read_deadline->disarm();
  }
  stall_rule_.on_read(read_started, read_finished, read);
  if (read == AVERROR(EAGAIN)) {
    return Step::kContinue;
  }
  const bool overran = outputs_.read_deadline != nullptr && outputs_.read_deadline->fired();
  if (read == AVERROR_EXIT && !overran) {
    return Step::kEnd;
  }
  if (read < 0) {
    outputs_.log->say(overran || stall_rule_.stalled(read, read_finished, last_packet_time_)
                          ? "SRT sender stalled; listening again\n"
                          : "SRT sender disconnected; listening again\n");
    return Step::kEnd;
  }
  if (packet_->stream_index != stream_index_ || packet_->size < 1 ||
      packet_->size > kMaxPacketBytes) {
    av_packet_unref(packet_.get());
    return Step::kContinue;
  }
  last_packet_time_ = read_finished;
  const int sent = avcodec_send_packet(decoder_.context, packet_.get());
  av_packet_unref(packet_.get());
  if (sent < 0 && sent != AVERROR(EAGAIN)) {
    return after_send_failure();
  }
  drain();
  return status_.state == ListenerState::kError ? Step::kEnd : Step::kContinue;
}

ReceivePhase::Step ReceivePhase::after_send_failure() {
  if (!fallback_done_ && decoder_.name == kDecoderHardware && fall_back_to_native()) {
    return Step::kContinue;
  }
  if (decode_errors_ >= kMaxDecodeErrors - 1) {
    fail_decoding();
    return Step::kEnd;
  }
  ++decode_errors_;
  return Step::kContinue;
}

void ReceivePhase::drain() {
  while (base::keep_running() && decoder_.context != nullptr) {
    const int received = avcodec_receive_frame(decoder_.context, frame_.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
      return;
    }
    if (received < 0) {
      if (decode_errors_ >= kMaxDecodeErrors - 1) {
        fail_decoding();
      }
      ++decode_errors_;
      return;
    }
    decode_errors_ = 0;
    if (!handle_frame()) {
      return;
    }
  }
}

// False when draining must stop.
bool ReceivePhase::handle_frame() {
  const int64_t decoded_ns = base::monotonic_ns();
  ++frames_decoded_;
  const bool hardware_frame = frame_->format == AV_PIX_FMT_VIDEOTOOLBOX;
  const AVFrame* picture = frame_.get();
  if (hardware_frame) {
    av_frame_unref(transfer_.get());
    if (av_hwframe_transfer_data(transfer_.get(), frame_.get(), 0) < 0) {
      av_frame_unref(frame_.get());
      if (fallback_done_ || !fall_back_to_native()) {
        fail_decoding();
        return false;
      }
      return true;
    }
    picture = transfer_.get();
  }
  hand_over(*picture, decoded_ns, frame_->best_effort_timestamp);
  publish_preview(*picture, hardware_frame);
  av_frame_unref(frame_.get());
  av_frame_unref(transfer_.get());
  return true;
}

// Reopens the decoder in software, once per phase. False when that fails (the decoder is then
// closed, which ends the phase).
bool ReceivePhase::fall_back_to_native() {
  if (!open_decoder(parameters_, false, &decoder_, platform_)) {
    return false;
  }
  status_.decoder = decoder_.name;
  write();
  outputs_.log->say("decoder: native\n");
  fallback_done_ = true;
  decode_errors_ = 0;
  return true;
}

void ReceivePhase::publish_preview(const AVFrame& picture, bool hardware_frame) {
  FrameSize size;
  if (!preview_size(picture.width, picture.height, &size)) {
    return;
  }
  const int64_t now = base::monotonic_ns();
  if (preview_written_ && now - last_preview_time_ < kPreviewIntervalNs) {
    return;
  }
  if (!scaler_.scale(picture, size) ||
      !write_jpeg_atomic(outputs_.preview_path, scaler_.rgb(), size.width, size.height,
                         static_cast<size_t>(size.width) * 3)) {
    return;
  }
  status_.state = ListenerState::kConnected;
  status_.width = size.width;
  status_.height = size.height;
  status_.decoder = hardware_frame ? kDecoderHardware : kDecoderNative;
  status_.error.clear();
  status_.has_last_frame = true;
  status_.last_frame_time = base::wall_clock_seconds();
  write();
  if (!receiving_announced_) {
    outputs_.log->say("receiving %dx%d\n", size.width, size.height);
    receiving_announced_ = true;
  }
  preview_written_ = true;
  last_preview_time_ = now;
}

void ReceivePhase::hand_over(const AVFrame& picture, int64_t decoded_ns, int64_t pts) {
  if (outputs_.readings == nullptr || !outputs_.readings->reading()) {
    return;
  }
  auto held = std::make_unique<FramePicture>(picture, converter_);
  if (!held->valid()) {
    return;
  }
  // Without a timestamp the frame is placed by when it was decoded.
  const double pts_s =
      pts == AV_NOPTS_VALUE
          ? static_cast<double>(decoded_ns) / base::kNanosPerSecond
          : static_cast<double>(pts) * av_q2d(input_->streams[stream_index_]->time_base);
  outputs_.readings->offer({frames_decoded_, pts_s, decoded_ns, std::move(held)});
}

void ReceivePhase::fail_decoding() {
  status_.state = ListenerState::kError;
  status_.error = kDecodeFailed;
  write();
}

}  // namespace

ReceiveResult run_receive_phase(AVFormatContext* input, int stream_index, const Outputs& outputs,
                                Status* status, DecoderPlatform& platform) {
  return ReceivePhase(input, stream_index, outputs, status, platform).run();
}

}  // namespace rivlet
