#include "bridges/srt/listener.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

#include "base/clock.h"
#include "base/run_flag.h"
#include "base/secret_buffer.h"
#include "bridges/srt/log_filter.h"
#include "bridges/srt/preview.h"
#include "bridges/srt/run_control.h"

namespace rivlet {

namespace {

constexpr const char* kProtocolOptions[] = {"passphrase", "pbkeylen", "streamid"};

// The interrupt callback of the listener's input, whose opaque is the listener's
// InterruptContext: as interrupt_callback; as soon as a caller with another stream id has been
// accepted, so that it is dropped at once instead of being probed for seconds while nobody else
// can connect; and once the read in progress has outlasted its deadline.
int accept_interrupt_callback(void* opaque) {
  const auto& context = *static_cast<const InterruptContext*>(opaque);
  return interrupt_callback(nullptr) != 0 || !caller_stream_id_allowed(*context.stream_id) ||
                 context.read_deadline->reached(base::monotonic_ns())
             ? 1
             : 0;
}

// The reading thread over the zones file; a refused zones file is said once on standard error.
std::unique_ptr<readings::ReadingThread> start_readings(const Options& options) {
  readings::ReadingsOutput output{options.zones_path, options.readings_path,
                                  readings::DocumentStyle::kRivlet, nullptr, nullptr};
  output.zones_refused = [path = options.zones_path](const std::string& why) {
    std::fprintf(stderr, "zones file %s refused, keeping the last good zones: %s\n", path.c_str(),
                 why.c_str());
  };
  return std::make_unique<readings::ReadingThread>(std::move(output), base::system_clock());
}

}  // namespace

std::string listener_url(int port, int latency_ms) {
  char url[kMaxUrlBytes];
  std::snprintf(url, sizeof url,
                "srt://0.0.0.0:%d?mode=listener&transtype=live&latency=%d&listen_timeout=%d"
                "&timeout=5000000",
                port, latency_ms * 1000, kListenTimeoutUs);
  return url;
}

AVDictionary* open_options(const Options& options, std::string_view passphrase) {
  AVDictionary* dictionary = nullptr;
  av_dict_set(&dictionary, "probesize", "1000000", 0);
  av_dict_set(&dictionary, "analyzeduration", "1000000", 0);
  if (!passphrase.empty()) {
    char copy[kMaxPassphraseBytes + 1] = {};
    passphrase.copy(copy, kMaxPassphraseBytes);
    av_dict_set(&dictionary, "passphrase", copy, 0);
    base::wipe_bytes(copy, sizeof copy);
    av_dict_set_int(&dictionary, "pbkeylen", effective_key_length(options), 0);
  }
  if (!options.stream_id.empty()) {
    av_dict_set(&dictionary, "streamid", options.stream_id.c_str(), 0);
  }
  return dictionary;
}

bool has_refused_options(const AVDictionary* options) {
  for (const char* name : kProtocolOptions) {
    if (av_dict_get(options, name, nullptr, 0) != nullptr) {
      return true;
    }
  }
  return false;
}

void free_open_options(AVDictionary** options) {
  const AVDictionaryEntry* entry = av_dict_get(*options, "passphrase", nullptr, 0);
  if (entry != nullptr && entry->value != nullptr) {
    base::wipe_bytes(entry->value, std::strlen(entry->value));
  }
  av_dict_free(options);
}

bool caller_stream_id_allowed(const std::string& stream_id) {
  return stream_id.empty() || !caller_stream_id().has_value() || *caller_stream_id() == stream_id;
}

AVRational reported_frame_rate(const AVStream& stream) {
  AVRational rate = stream.avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) {
    rate = stream.r_frame_rate;
  }
  if (rate.num < 1 || rate.den < 1) {
    return AVRational{0, 0};
  }
  return rate;
}

Listener::Listener(const Options& options, DecoderPlatform& platform, bridges::BridgeLog& log)
    : options_(options),
      platform_(platform),
      readings_(start_readings(options)),
      outputs_{options.preview_path, options.status_path, readings_.get(),
               static_cast<int64_t>(options.latency_ms) * base::kNanosPerMilli, &log},
      url_(listener_url(options.port, options.latency_ms)) {
  outputs_.read_deadline = &read_deadline_;
}

void Listener::run() {
  status_.state = ListenerState::kListening;
  status_.port = options_.port;
  write();
  outputs_.log->say("rivlet listening on 0.0.0.0:%d, latency %d ms\n", options_.port,
                    options_.latency_ms);
  while (base::keep_running() && cycle() == Next::kCycle) {
  }
  stop();
}

Listener::Next Listener::cycle() {
  if (status_.state != ListenerState::kListening) {
    status_.state = ListenerState::kListening;
    status_.error.clear();
    write();
    outputs_.log->say("rivlet listening on 0.0.0.0:%d\n", options_.port);
  }
  InputPtr input;
  const Next next = accept(&input);
  if (next == Next::kStop || input == nullptr) {
    return next;
  }
  return serve(std::move(input));
}

Listener::Next Listener::accept(InputPtr* input) {
  FormatContextPtr context(avformat_alloc_context());
  if (context == nullptr) {
    return fatal("out of memory");
  }
  context->interrupt_callback.callback = accept_interrupt_callback;
  context->interrupt_callback.opaque = &interrupt_context_;
  if (av_opt_set(context.get(), "format_whitelist", "mpegts", 0) < 0 ||
      av_opt_set(context.get(), "codec_whitelist", "h264", 0) < 0) {
    return fatal("could not restrict the incoming stream");
  }
  AVDictionary* options = open_options(options_, redacted_secret());
  AVFormatContext* raw = context.release();  // freed by avformat_open_input on failure
  forget_caller_stream_id();
  const int result = avformat_open_input(&raw, url_.c_str(), nullptr, &options);
  InputPtr opened(result >= 0 ? raw : nullptr);
  // A failed open leaves every option in the dictionary: only an open input tells of refusal.
  const bool refused = result >= 0 && has_refused_options(options);
  free_open_options(&options);
  if (refused) {
    return fatal("Can't read this source");
  }
  if (encryption_mismatch()) {
    return fatal("SRT encryption settings do not match the sender");
  }
  if (wrong_caller(result)) {
    std::fprintf(stderr, "SRT caller refused: wrong stream id\n");
    return base::keep_running() ? Next::kCycle : Next::kStop;  // listening again at once
  }
  if (result < 0) {
    return after_failed_open(result);
  }
  *input = std::move(opened);
  return Next::kCycle;
}

// With a stream id configured, a caller is only served when FFmpeg told its stream id and it is the
// same; a caller it accepted without telling is refused too.
bool Listener::wrong_caller(int result) const {
  if (options_.stream_id.empty()) {
    return false;
  }
  if (!caller_stream_id_allowed(options_.stream_id)) {
    return true;
  }
  return result >= 0 && !caller_stream_id().has_value();
}

Listener::Next Listener::after_failed_open(int result) {
  if (!base::keep_running() || result == AVERROR_EXIT) {
    return Next::kStop;
  }
  if (result == AVERROR(ETIMEDOUT) || result == AVERROR(EAGAIN)) {
    return Next::kCycle;  // no caller yet
  }
  set_error("cannot listen for SRT");
  std::fprintf(stderr, "srt listen failed: %s\n", ffmpeg_error(result).c_str());
  pause_one_second();
  return Next::kCycle;
}

Listener::Next Listener::serve(InputPtr input) {
  status_.state = ListenerState::kConnecting;
  status_.error.clear();
  write();
  outputs_.log->say("SRT sender connected\n");
  if (avformat_find_stream_info(input.get(), nullptr) < 0) {
    return retry_later("could not read the incoming stream", &input);
  }
  int stream_index = -1;
  if (!stream_acceptable(input.get(), &stream_index)) {
    return retry_later(nullptr, &input);
  }
  const AVRational rate = reported_frame_rate(*input->streams[stream_index]);
  status_.frame_rate_n = rate.num;
  status_.frame_rate_d = rate.den;
  if (run_receive_phase(input.get(), stream_index, outputs_, &status_, platform_) ==
      ReceiveResult::kNoDecoder) {
    return retry_later("could not open an H.264 decoder", &input);
  }
  input.reset();
  if (base::keep_running()) {
    if (status_.state == ListenerState::kError) {
      pause_one_second();
    } else {
      status_.state = ListenerState::kOffline;
      status_.error.clear();
      write();
    }
  }
  return Next::kCycle;
}

// Checks the stream kind and size, publishing the error when it is refused.
bool Listener::stream_acceptable(AVFormatContext* input, int* stream_index) {
  *stream_index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const bool mpegts = std::strcmp(input->iformat->name, "mpegts") == 0;
  if (!mpegts || *stream_index < 0 ||
      input->streams[*stream_index]->codecpar->codec_id != AV_CODEC_ID_H264) {
    const char* text = mpegts ? "expected H.264 video" : "expected an MPEG-TS stream";
    set_error(text);
    std::fprintf(stderr, "%s\n", text);
    return false;
  }
  const AVCodecParameters* parameters = input->streams[*stream_index]->codecpar;
  if (!picture_size_supported(parameters->width, parameters->height)) {
    set_error("video dimensions are not supported");
    return false;
  }
  return true;
}

// Publishes text as the error (unless already done), closes the input and waits a second.
Listener::Next Listener::retry_later(const char* text, InputPtr* input) {
  if (text != nullptr) {
    set_error(text);
  }
  input->reset();
  pause_one_second();
  return Next::kCycle;
}

Listener::Next Listener::fatal(const char* text) {
  set_error(text);
  std::fprintf(stderr, "%s\n", text);
  return Next::kStop;
}

void Listener::set_error(const char* text) {
  status_.state = ListenerState::kError;
  status_.error = text;
  write();
}

void Listener::stop() {
  status_.state = ListenerState::kOffline;
  status_.error.clear();
  write();
  avformat_network_deinit();
  remove_srt_log_handler();
  wipe_redacted_secret();
  outputs_.log->say("rivlet stopped\n");
}

}  // namespace rivlet
