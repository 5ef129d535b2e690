// The receiver status ndi_bridge publishes in "app/static/ndi_status.json".
#ifndef BRIDGES_NDI_RECEIVER_STATUS_H_
#define BRIDGES_NDI_RECEIVER_STATUS_H_

#include <cstdint>
#include <string>

namespace ndi_bridge {

inline constexpr char kStatusPath[] = "app/static/ndi_status.json";

enum class ReceiverState { kNoSource, kConnecting, kConnected, kOffline, kError, kStopped };

// The state as the status document writes it: "no_source", "connecting", "connected", "offline",
// "error" or "stopped".
const char* receiver_state_name(ReceiverState state);

struct ReceiverStatus {
  ReceiverState receiver_state = ReceiverState::kNoSource;
  std::string selected_source_name;
  std::string active_source_name;  // the source connected or being connected to
  int32_t width = 0;               // of the last video frame of the selection
  int32_t height = 0;
  int32_t frame_rate_n = 0;
  int32_t frame_rate_d = 0;
  double last_frame_at = 0;  // seconds since the Unix epoch; 0 means none yet
  std::string error;         // empty means none
};

// The status document; running is false only in the final write, updated_at is in seconds since
// the Unix epoch.
std::string status_document(const ReceiverStatus& status, bool running, double updated_at);

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_RECEIVER_STATUS_H_
