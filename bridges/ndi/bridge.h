// ndi_bridge's loop: follows the host's selection and refresh files, discovers NDI sources,
// receives the selected one and publishes the source list, the status and the previews.
#ifndef BRIDGES_NDI_BRIDGE_H_
#define BRIDGES_NDI_BRIDGE_H_

#include <Processing.NDI.Lib.h>

#include <csignal>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bridges/ndi/preview.h"
#include "bridges/ndi/receiver_status.h"
#include "bridges/ndi/source_list.h"

namespace ndi_bridge {

inline constexpr char kSelectionPath[] = "app/static/ndi_selection.txt";
inline constexpr char kRefreshPath[] = "app/static/ndi_refresh.request";
inline constexpr char kSourcesPath[] = "app/static/ndi_sources.json";

inline constexpr int kExitOk = 0;
inline constexpr int kExitNdiSetupFailed = 1;

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
  // Uses (does not own) the finder and the receiver. latency: write the latency document.
  Bridge(NDIlib_find_instance_t finder, NDIlib_recv_instance_t receiver, bool latency);

  // Runs iterations until keep_running is cleared (tested before each one), then stops: the
  // receiver is disconnected and the final status ("stopped", not running) is written.
  void run(const volatile std::sig_atomic_t* keep_running);

 private:
  void iterate();
  void apply_selection(int64_t t0);
  void decide_discovery(int64_t t0);
  void discover_sources(uint32_t wait_ms, bool forced);
  void match_selection(int64_t t0);
  void connect(const SourceInfo& source, int64_t t0);
  void disconnect();
  void capture();
  void on_video(const NDIlib_video_frame_v2_t& video);
  void check_staleness(int64_t t1);
  void report_statistics(int64_t t1);
  void set_state(const char* state);

  NDIlib_find_instance_t finder_;
  NDIlib_recv_instance_t receiver_;
  PreviewPublisher preview_;
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

// The whole program: sets NDI up, prints the start lines, runs the bridge until keep_running is
// cleared, tears everything down and prints the end line. Returns the exit status.
int run_ndi_bridge(const volatile std::sig_atomic_t* keep_running);

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_BRIDGE_H_
