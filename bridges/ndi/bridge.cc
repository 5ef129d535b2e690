#include "bridges/ndi/bridge.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bridges/common/atomic_file.h"
#include "bridges/common/number_format.h"
#include "bridges/common/text_file.h"
#include "bridges/ndi/clock.h"

namespace ndi_bridge {

namespace {

constexpr uint32_t kCaptureTimeoutMs = 200;
constexpr uint32_t kRefreshWaitMs = 250;
constexpr int64_t kDiscoveryInterval = 2 * kNanosPerSecond;
constexpr int64_t kConnectSpacing = 500 * kNanosPerMilli;
constexpr int64_t kStaleAfter = 3 * kNanosPerSecond;
constexpr int64_t kReconnectAfter = 5 * kNanosPerSecond;
constexpr int64_t kStatisticsAfter = 5 * kNanosPerSecond;
constexpr int64_t kStatusRefresh = kNanosPerSecond;
constexpr uint64_t kPreviewEvery = 6;
constexpr char kNoFramesError[] = "No recent video frames";
constexpr char kReceiverError[] = "NDI receiver error";

// printf to standard output, flushed at once so the host sees each line as it comes.
__attribute__((format(printf, 1, 2))) void say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

const char* or_absent(const std::string& url) {
  return url.empty() ? "(absente)" : url.c_str();
}

bool latency_requested() {
  const char* value = std::getenv("GLOMARK_DEV_LATENCY");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

}  // namespace

Bridge::Bridge(NDIlib_find_instance_t finder, NDIlib_recv_instance_t receiver, bool latency)
    : finder_(finder), receiver_(receiver), preview_(latency) {
  int64_t start = monotonic_ns();
  last_connect_attempt_ = start - kConnectSpacing;
  stats_since_ = start;
}

void Bridge::run(const volatile std::sig_atomic_t* keep_running) {
  while (*keep_running != 0) {
    iterate();
  }
  disconnect();
  set_state("stopped");
  status_.active_source_name.clear();
  write_status(status_, false);
}

void Bridge::iterate() {
  int64_t t0 = monotonic_ns();
  apply_selection(t0);
  decide_discovery(t0);
  first_iteration_ = false;
  match_selection(t0);
  capture();
  int64_t t1 = monotonic_ns();
  check_staleness(t1);
  report_statistics(t1);
  if (status_dirty_ || !last_status_write_ || t1 - *last_status_write_ > kStatusRefresh - 1) {
    write_status(status_, true);
    last_status_write_ = t1;
  }
  status_dirty_ = false;
}

void Bridge::set_state(const char* state) {
  status_.receiver_state = state;
}

void Bridge::disconnect() {
  NDIlib_recv_connect(receiver_, nullptr);
}

void Bridge::apply_selection(int64_t t0) {
  std::string selection = bridges::read_text_file(kSelectionPath);
  if (selection == selection_) {
    return;
  }
  disconnect();
  selection_ = std::move(selection);
  connected_source_.clear();
  status_ = ReceiverStatus();
  status_.selected_source_name = selection_;
  set_state(selection_.empty() ? "no_source" : "connecting");
  last_connect_attempt_ = t0 - kConnectSpacing;
  say("Source NDI sélectionnée: \"%s\" (%zu octets)\n",
      selection_.empty() ? "(aucune)" : selection_.c_str(), selection_.size());
  counters_ = CaptureCounters();
  stats_reported_ = false;
  stats_since_ = t0;
  last_video_frame_.reset();
  video_frame_count_ = 0;
  status_dirty_ = true;
}

void Bridge::decide_discovery(int64_t t0) {
  std::string refresh = bridges::read_text_file(kRefreshPath);
  if (refresh != last_refresh_request_) {
    last_refresh_request_ = std::move(refresh);
    discover_sources(kRefreshWaitMs, true);
  } else if (first_iteration_) {
    discover_sources(0, true);
  } else if (!last_discovery_ || t0 - *last_discovery_ >= kDiscoveryInterval) {
    discover_sources(0, false);
  }
}

void Bridge::discover_sources(uint32_t wait_ms, bool forced) {
  NDIlib_find_wait_for_sources(finder_, wait_ms);
  uint32_t count = 0;
  const NDIlib_source_t* found = NDIlib_find_get_current_sources(finder_, &count);
  std::vector<SourceInfo> sources;
  for (uint32_t i = 0; found != nullptr && i < count; ++i) {
    if (found[i].p_ndi_name != nullptr) {
      const char* url = found[i].p_url_address;
      sources.push_back(SourceInfo{found[i].p_ndi_name, url == nullptr ? "" : url});
    }
  }
  sort_sources(&sources);
  if (forced || !same_sources(sources, sources_)) {
    sources_ = std::move(sources);
    bridges::write_text_atomically(kSourcesPath,
                                   source_list_document(sources_, bridges::wall_clock_seconds()));
    say("%zu source(s) NDI découverte(s).\n", sources_.size());
    for (size_t i = 0; i < sources_.size(); ++i) {
      say("  Finder[%zu]: name=\"%s\" (%zu octets), url=\"%s\"\n", i, sources_[i].name.c_str(),
          sources_[i].name.size(), or_absent(sources_[i].url_address));
    }
  }
  last_discovery_ = monotonic_ns();
}

void Bridge::match_selection(int64_t t0) {
  const SourceInfo* match = find_source(sources_, selection_);
  if (!selection_.empty() && match != nullptr) {
    if (connected_source_ != selection_ && t0 - last_connect_attempt_ > kConnectSpacing - 1) {
      connect(*match, t0);
    }
    return;
  }
  if (!connected_source_.empty()) {
    disconnect();
    connected_source_.clear();
  }
  if (selection_.empty()) {
    if (status_.receiver_state != "no_source") {
      set_state("no_source");
      status_dirty_ = true;
    }
  } else if (status_.receiver_state != "offline" || !status_.error.empty()) {
    set_state("offline");
    status_.error.clear();
    status_.active_source_name.clear();
    status_dirty_ = true;
  }
}

void Bridge::connect(const SourceInfo& source, int64_t t0) {
  say("Match exact trouvé: sélection=\"%s\", finder=\"%s\", url=\"%s\"\n", selection_.c_str(),
      source.name.c_str(), or_absent(source.url_address));
  say("Appel NDIlib_recv_connect pour \"%s\".\n", source.name.c_str());
  say("Connexion à %s...\n", source.name.c_str());
  NDIlib_source_t target;
  target.p_ndi_name = source.name.c_str();
  target.p_url_address = source.url_address.empty() ? nullptr : source.url_address.c_str();
  NDIlib_recv_connect(receiver_, &target);
  connected_source_ = selection_;
  set_state("connecting");
  status_.active_source_name = selection_;
  status_.error.clear();
  status_dirty_ = true;
  last_connect_attempt_ = t0;
}

void Bridge::capture() {
  NDIlib_video_frame_v2_t video;
  NDIlib_audio_frame_v3_t audio;
  NDIlib_metadata_frame_t metadata;
  switch (NDIlib_recv_capture_v3(receiver_, &video, &audio, &metadata, kCaptureTimeoutMs)) {
    case NDIlib_frame_type_none:
      ++counters_.none;
      break;
    case NDIlib_frame_type_video:
      ++counters_.video;
      on_video(video);
      NDIlib_recv_free_video_v2(receiver_, &video);
      break;
    case NDIlib_frame_type_audio:
      ++counters_.audio;
      NDIlib_recv_free_audio_v3(receiver_, &audio);
      break;
    case NDIlib_frame_type_metadata:
      ++counters_.metadata;
      NDIlib_recv_free_metadata(receiver_, &metadata);
      break;
    case NDIlib_frame_type_error:
      ++counters_.error;
      set_state("error");
      status_.error = kReceiverError;
      disconnect();
      connected_source_.clear();
      status_dirty_ = true;
      break;
    default:
      ++counters_.other;
      break;
  }
}

void Bridge::on_video(const NDIlib_video_frame_v2_t& video) {
  int64_t receipt_ns = monotonic_ns();
  int64_t receipt_us = wall_clock_micros();
  if (selection_.empty() || selection_ != connected_source_) {
    return;
  }
  double now = static_cast<double>(receipt_us) / 1000000.0;
  set_state("connected");
  status_.active_source_name = selection_;
  status_.error.clear();
  status_.width = video.xres;
  status_.height = video.yres;
  status_.frame_rate_n = video.frame_rate_N;
  status_.frame_rate_d = video.frame_rate_D;
  status_.last_frame_at = now;
  last_video_frame_ = receipt_ns;
  if (video_frame_count_ == 0) {
    say("Première frame vidéo: %dx%d, frame_rate=%d/%d, timestamp=%.6f\n", video.xres, video.yres,
        video.frame_rate_N, video.frame_rate_D, now);
    video_frame_count_ = 1;
  } else if (++video_frame_count_ % kPreviewEvery == 0) {
    preview_.publish(BgrxFrame{video.p_data, video.xres, video.yres, video.line_stride_in_bytes},
                     video_frame_count_, receipt_ns, receipt_us);
  }
  status_dirty_ = true;
}

void Bridge::check_staleness(int64_t t1) {
  std::optional<int64_t> reference = last_video_frame_;
  if (!reference && !connected_source_.empty()) {
    reference = last_connect_attempt_;
  }
  if (!reference || t1 - *reference < kStaleAfter || status_.receiver_state == "error") {
    return;
  }
  if (status_.receiver_state != "offline") {
    set_state("offline");
    status_.error = kNoFramesError;
    status_dirty_ = true;
  }
  if (!connected_source_.empty() && t1 - *reference > kReconnectAfter - 1) {
    disconnect();
    connected_source_.clear();
    status_.active_source_name.clear();
    status_dirty_ = true;
    last_video_frame_.reset();
    last_connect_attempt_ = t1;
  }
}

void Bridge::report_statistics(int64_t t1) {
  if (selection_.empty() || stats_reported_ || t1 - stats_since_ < kStatisticsAfter) {
    return;
  }
  say("Capture 5s: video=%llu audio=%llu metadata=%llu none=%llu error=%llu other=%llu "
      "connexions=%d état=%s\n",
      static_cast<unsigned long long>(counters_.video),
      static_cast<unsigned long long>(counters_.audio),
      static_cast<unsigned long long>(counters_.metadata),
      static_cast<unsigned long long>(counters_.none),
      static_cast<unsigned long long>(counters_.error),
      static_cast<unsigned long long>(counters_.other), NDIlib_recv_get_no_connections(receiver_),
      status_.receiver_state.c_str());
  counters_ = CaptureCounters();
  stats_reported_ = true;
  stats_since_ = t1;
}

namespace {

// Owns an SDK instance. Only the handle type is used: the SDK may define it as an opaque pointer
// of any kind.
template <typename Handle, void (*kDestroy)(Handle)>
class NdiInstance {
 public:
  explicit NdiInstance(Handle handle) : handle_(handle) {}
  ~NdiInstance() { reset(); }
  NdiInstance(const NdiInstance&) = delete;
  NdiInstance& operator=(const NdiInstance&) = delete;
  Handle get() const { return handle_; }
  void reset() {
    if (handle_ != nullptr) {
      kDestroy(handle_);
      handle_ = nullptr;
    }
  }

 private:
  Handle handle_;
};

using FinderInstance = NdiInstance<NDIlib_find_instance_t, NDIlib_find_destroy>;
using ReceiverInstance = NdiInstance<NDIlib_recv_instance_t, NDIlib_recv_destroy>;

NDIlib_recv_instance_t create_receiver() {
  NDIlib_recv_create_v3_t settings;
  settings.source_to_connect_to = NDIlib_source_t();
  settings.color_format = NDIlib_recv_color_format_BGRX_BGRA;
  settings.bandwidth = NDIlib_recv_bandwidth_highest;
  settings.allow_video_fields = false;
  settings.p_ndi_recv_name = "Plintor";
  return NDIlib_recv_create_v3(&settings);
}

// Everything between NDIlib_initialize and NDIlib_destroy.
int run_initialized(const volatile std::sig_atomic_t* keep_running) {
  FinderInstance finder(NDIlib_find_create_v2(nullptr));
  if (finder.get() == nullptr) {
    std::fputs("Impossible de créer NDI Finder.\n", stderr);
    return kExitNdiSetupFailed;
  }
  ReceiverInstance receiver(create_receiver());
  if (receiver.get() == nullptr) {
    std::fputs("Impossible de créer receiver.\n", stderr);
    return kExitNdiSetupFailed;
  }
  say("%s\n", "Plintor NDI receiver actif.");
  say("Receiver créé: %p\n", static_cast<void*>(receiver.get()));
  say("Sélection pilotée par %s\n", kSelectionPath);
  Bridge bridge(finder.get(), receiver.get(), latency_requested());
  bridge.run(keep_running);
  receiver.reset();
  finder.reset();
  return kExitOk;
}

}  // namespace

int run_ndi_bridge(const volatile std::sig_atomic_t* keep_running) {
  if (!NDIlib_initialize()) {
    std::fputs("Impossible d'initialiser NDI.\n", stderr);
    return kExitNdiSetupFailed;
  }
  int status = run_initialized(keep_running);
  NDIlib_destroy();
  if (status == kExitOk) {
    say("%s\n", "\nPlintor NDI receiver arrêté.");
  }
  return status;
}

}  // namespace ndi_bridge
