// rivlet's status record and the JSON document published for the host.
#ifndef BRIDGES_SRT_STATUS_H_
#define BRIDGES_SRT_STATUS_H_

#include <cstdint>
#include <string>

namespace rivlet {

enum class ListenerState { kListening, kConnecting, kConnected, kOffline, kError };

// The state as the status document writes it: "listening", "connecting", "connected", "offline"
// or "error".
const char* listener_state_name(ListenerState state);

struct Status {
  ListenerState state = ListenerState::kListening;
  int32_t port = 0;
  int32_t width = 0;  // size of the last published preview, 0 until the first
  int32_t height = 0;
  int32_t frame_rate_n = 0;  // frame rate of the accepted stream
  int32_t frame_rate_d = 0;
  bool has_last_frame = false;
  double last_frame_time = 0;  // wall-clock seconds of the last published preview
  std::string decoder;         // "videotoolbox", "native" or empty
  std::string error;           // empty: none
};

// The document: state, port, width, height, frame_rate_n, frame_rate_d, last_frame_time ("%.3f",
// null before the first preview), decoder and error (null when empty).
std::string status_document(const Status& status);

// Replaces the status file at path with the document through path + ".tmp", synced. Only a
// temporary file that cannot be opened is reported ("cannot open <temporary>" on standard error);
// on any failure the temporary file is deleted and the published file left as it was.
void write_status(const std::string& path, const Status& status);

}  // namespace rivlet

#endif  // BRIDGES_SRT_STATUS_H_
