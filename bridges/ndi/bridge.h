// ndi_bridge's loop: follows the host's selection and refresh files, discovers NDI sources,
// receives the selected one and publishes the source list, the status and the previews. Every
// path is relative to the working directory (the host's root).
#ifndef BRIDGES_NDI_BRIDGE_H_
#define BRIDGES_NDI_BRIDGE_H_

#include <csignal>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "bridges/common/bridge_log.h"
#include "bridges/ndi/endpoint.h"
#include "bridges/ndi/host_files.h"
#include "bridges/ndi/receiver_status.h"
#include "bridges/ndi/source_list.h"
#include "bridges/readings/reading_thread.h"

namespace ndi_bridge {

inline constexpr char kSelectionPath[] = "app/static/ndi_selection.txt";
inline constexpr char kRefreshPath[] = "app/static/ndi_refresh.request";
inline constexpr char kSourcesPath[] = "app/static/ndi_sources.json";
inline constexpr char kZonesPath[] = "app/static/ndi_zones.json";
inline constexpr char kReadingsPath[] = "app/static/ndi_readings.json";

// The loop's timing, in monotonic nanoseconds and milliseconds of waiting.
inline constexpr uint32_t kCaptureTimeoutMs = 200;
inline constexpr uint32_t kRefreshWaitMs = 250;
inline constexpr int64_t kDiscoveryInterval = 2 * base::kNanosPerSecond;
inline constexpr int64_t kConnectSpacing = 500 * base::kNanosPerMilli;
inline constexpr int64_t kStaleAfter = 3 * base::kNanosPerSecond;
inline constexpr int64_t kReconnectAfter = 5 * base::kNanosPerSecond;
inline constexpr int64_t kStatisticsAfter = 5 * base::kNanosPerSecond;
inline constexpr int64_t kStatusRefresh = base::kNanosPerSecond;
inline constexpr uint64_t kPreviewEvery = 6;

// Counts of capture results by kind.
struct CaptureCounters {
  uint64_t video = 0;
  uint64_t audio = 0;
  uint64_t metadata = 0;
  uint64_t none = 0;
  uint64_t error = 0;
  uint64_t other = 0;
};

class Bridge {
 public:
  // Uses (does not own) the endpoint, the clock, the host's files and the log, which must outlive
  // the bridge. readings (when not null, and while it reads) gets every video frame of the
  // selection; each new selection starts its readings afresh.
  Bridge(NdiEndpoint& endpoint, base::Clock& clock, HostFiles& files, bridges::BridgeLog& log,
         readings::ReadingThread* readings = nullptr);

  // Runs iterations while *keep_running is nonzero (tested before each one), then stops: the
  // receiver is disconnected and the final status ("stopped", not running) is written.
  void run(const volatile std::sig_atomic_t* keep_running);

  // The status as it will be published next.
  const ReceiverStatus& status() const { return status_; }

 private:
  void iterate();
  void apply_selection(int64_t t0);
  void decide_discovery(int64_t t0);
  void discover_sources(uint32_t wait_ms, bool forced);
  void match_selection(int64_t t0);
  void connect(const SourceInfo& source, int64_t t0);
  void disconnect();
  void capture();
  void on_video(const VideoFrame& video);
  void hand_over(const VideoFrame& video, int64_t receipt_ns, double receipt_s);
  void check_staleness(int64_t t1);
  void report_statistics(int64_t t1);
  void publish_status(bool running);

  NdiEndpoint& endpoint_;
  base::Clock& clock_;
  HostFiles& files_;
  bridges::BridgeLog& log_;
  readings::ReadingThread* readings_;
  ReceiverStatus status_;

  std::string selection_;
  std::string last_refresh_request_;
  std::string connected_source_;
  std::vector<SourceInfo> sources_;
  bool first_iteration_ = true;
  std::optional<int64_t> last_discovery_;
  int64_t last_connect_attempt_;
  std::optional<int64_t> last_video_frame_;
  std::optional<int64_t> last_status_write_;
  int64_t stats_since_;
  bool stats_reported_ = false;
  uint64_t video_frame_count_ = 0;
  CaptureCounters counters_;
  bool status_dirty_ = true;
};

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_BRIDGE_H_
