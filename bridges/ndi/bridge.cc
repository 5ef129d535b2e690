#include "bridges/ndi/bridge.h"

#include "bridges/ndi/reading_picture.h"

namespace ndi_bridge {

namespace {

constexpr char kNoFramesError[] = "No recent video frames";
constexpr char kReceiverError[] = "NDI receiver error";

const char* or_absent(const std::string& url) {
  return url.empty() ? "(absente)" : url.c_str();
}

double seconds_of(int64_t wall_micros) {
  return static_cast<double>(wall_micros) / 1e6;
}

}  // namespace

Bridge::Bridge(NdiEndpoint& endpoint, base::Clock& clock, HostFiles& files, bridges::BridgeLog& log,
               readings::ReadingThread* readings)
    : endpoint_(endpoint), clock_(clock), files_(files), log_(log), readings_(readings) {
  const int64_t start = clock_.monotonic_ns();
  last_connect_attempt_ = start - kConnectSpacing;
  stats_since_ = start;
}

void Bridge::run(const volatile std::sig_atomic_t* keep_running) {
  while (*keep_running != 0) {
    iterate();
  }
  disconnect();
  status_.receiver_state = ReceiverState::kStopped;
  status_.active_source_name.clear();
  publish_status(false);
}

void Bridge::publish_status(bool running) {
  files_.replace(kStatusPath,
                 status_document(status_, running, seconds_of(clock_.wall_clock_micros())));
}

void Bridge::iterate() {
  const int64_t t0 = clock_.monotonic_ns();
  apply_selection(t0);
  decide_discovery(t0);
  first_iteration_ = false;
  match_selection(t0);
  capture();
  const int64_t t1 = clock_.monotonic_ns();
  check_staleness(t1);
  report_statistics(t1);
  if (status_dirty_ || !last_status_write_ || t1 - *last_status_write_ > kStatusRefresh - 1) {
    publish_status(true);
    last_status_write_ = t1;
  }
  status_dirty_ = false;
}

void Bridge::disconnect() {
  endpoint_.connect(nullptr);
}

void Bridge::apply_selection(int64_t t0) {
  std::string selection = files_.read(kSelectionPath);
  if (selection == selection_) {
    return;
  }
  disconnect();
  selection_ = std::move(selection);
  connected_source_.clear();
  status_ = ReceiverStatus();
  status_.selected_source_name = selection_;
  status_.receiver_state =
      selection_.empty() ? ReceiverState::kNoSource : ReceiverState::kConnecting;
  last_connect_attempt_ = t0 - kConnectSpacing;
  log_.say("Source NDI sélectionnée: \"%s\" (%zu octets)\n",
           selection_.empty() ? "(aucune)" : selection_.c_str(), selection_.size());
  counters_ = CaptureCounters();
  stats_reported_ = false;
  stats_since_ = t0;
  last_video_frame_.reset();
  video_frame_count_ = 0;
  if (readings_ != nullptr) {
    readings_->restart();
  }
  status_dirty_ = true;
}

void Bridge::decide_discovery(int64_t t0) {
  std::string refresh = files_.read(kRefreshPath);
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
  std::vector<SourceInfo> sources = endpoint_.find_sources(wait_ms);
  sort_sources(&sources);
  if (forced || !same_sources(sources, sources_)) {
    sources_ = std::move(sources);
    files_.replace(kSourcesPath,
                   source_list_document(sources_, seconds_of(clock_.wall_clock_micros())));
    log_.say("%zu source(s) NDI découverte(s).\n", sources_.size());
    for (size_t i = 0; i < sources_.size(); ++i) {
      log_.say("  Finder[%zu]: name=\"%s\" (%zu octets), url=\"%s\"\n", i, sources_[i].name.c_str(),
               sources_[i].name.size(), or_absent(sources_[i].url_address));
    }
  }
  last_discovery_ = clock_.monotonic_ns();
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
    if (status_.receiver_state != ReceiverState::kNoSource) {
      status_.receiver_state = ReceiverState::kNoSource;
      status_dirty_ = true;
    }
  } else if (status_.receiver_state != ReceiverState::kOffline || !status_.error.empty()) {
    status_.receiver_state = ReceiverState::kOffline;
    status_.error.clear();
    status_.active_source_name.clear();
    status_dirty_ = true;
  }
}

void Bridge::connect(const SourceInfo& source, int64_t t0) {
  log_.say("Match exact trouvé: sélection=\"%s\", finder=\"%s\", url=\"%s\"\n", selection_.c_str(),
           source.name.c_str(), or_absent(source.url_address));
  log_.say("Appel NDIlib_recv_connect pour \"%s\".\n", source.name.c_str());
  log_.say("Connexion à %s...\n", source.name.c_str());
  endpoint_.connect(&source);
  connected_source_ = selection_;
  status_.receiver_state = ReceiverState::kConnecting;
  status_.active_source_name = selection_;
  status_.error.clear();
  status_dirty_ = true;
  last_connect_attempt_ = t0;
}

void Bridge::capture() {
  VideoFrame video;
  switch (endpoint_.capture(kCaptureTimeoutMs, &video)) {
    case CaptureKind::kNone:
      ++counters_.none;
      break;
    case CaptureKind::kVideo:
      ++counters_.video;
      on_video(video);
      endpoint_.release_video();
      break;
    case CaptureKind::kAudio:
      ++counters_.audio;
      break;
    case CaptureKind::kMetadata:
      ++counters_.metadata;
      break;
    case CaptureKind::kError:
      ++counters_.error;
      status_.receiver_state = ReceiverState::kError;
      status_.error = kReceiverError;
      disconnect();
      connected_source_.clear();
      status_dirty_ = true;
      break;
    case CaptureKind::kOther:
      ++counters_.other;
      break;
  }
}

void Bridge::on_video(const VideoFrame& video) {
  const int64_t receipt_ns = clock_.monotonic_ns();
  const int64_t receipt_us = clock_.wall_clock_micros();
  if (selection_.empty() || selection_ != connected_source_) {
    return;
  }
  const double now = seconds_of(receipt_us);
  status_.receiver_state = ReceiverState::kConnected;
  status_.active_source_name = selection_;
  status_.error.clear();
  status_.width = video.picture.width;
  status_.height = video.picture.height;
  status_.frame_rate_n = video.frame_rate_n;
  status_.frame_rate_d = video.frame_rate_d;
  status_.last_frame_at = now;
  last_video_frame_ = receipt_ns;
  if (video_frame_count_ == 0) {
    log_.say("Première frame vidéo: %dx%d, frame_rate=%d/%d, timestamp=%.6f\n", video.picture.width,
             video.picture.height, video.frame_rate_n, video.frame_rate_d, now);
    video_frame_count_ = 1;
  } else if (++video_frame_count_ % kPreviewEvery == 0) {
    files_.publish_preview(video.picture, video_frame_count_, receipt_ns, receipt_us);
  }
  hand_over(video, receipt_ns, now);
  status_dirty_ = true;
}

void Bridge::hand_over(const VideoFrame& video, int64_t receipt_ns, double receipt_s) {
  if (readings_ == nullptr || !readings_->reading() || video.picture.pixels == nullptr) {
    return;
  }
  // The sender's timestamp places the frame in the video; without one, its receipt does.
  constexpr double kTimestampUnitsPerSecond = 1e7;
  const double pts_s = video.timestamp > 0
                           ? static_cast<double>(video.timestamp) / kTimestampUnitsPerSecond
                           : receipt_s;
  readings_->offer({static_cast<int64_t>(video_frame_count_), pts_s, receipt_ns,
                    std::make_unique<ReadingPicture>(video.picture)});
}

void Bridge::check_staleness(int64_t t1) {
  std::optional<int64_t> reference = last_video_frame_;
  if (!reference && !connected_source_.empty()) {
    reference = last_connect_attempt_;
  }
  if (!reference || t1 - *reference < kStaleAfter ||
      status_.receiver_state == ReceiverState::kError) {
    return;
  }
  if (status_.receiver_state != ReceiverState::kOffline) {
    status_.receiver_state = ReceiverState::kOffline;
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
  log_.say(
      "Capture 5s: video=%llu audio=%llu metadata=%llu none=%llu error=%llu other=%llu "
      "connexions=%d état=%s\n",
      static_cast<unsigned long long>(counters_.video),
      static_cast<unsigned long long>(counters_.audio),
      static_cast<unsigned long long>(counters_.metadata),
      static_cast<unsigned long long>(counters_.none),
      static_cast<unsigned long long>(counters_.error),
      static_cast<unsigned long long>(counters_.other), endpoint_.connections(),
      receiver_state_name(status_.receiver_state));
  counters_ = CaptureCounters();
  stats_reported_ = true;
  stats_since_ = t1;
}

}  // namespace ndi_bridge
