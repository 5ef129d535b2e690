// What ndi_bridge's loop needs of NDI: a finder and one receiver. The program uses the SDK
// (sdk_endpoint.h); the loop's tests use a fake.
#ifndef BRIDGES_NDI_ENDPOINT_H_
#define BRIDGES_NDI_ENDPOINT_H_

#include <cstdint>
#include <vector>

#include "bridges/ndi/preview.h"
#include "bridges/ndi/source_list.h"

namespace ndi_bridge {

// The kinds of capture result the loop counts.
enum class CaptureKind { kNone, kVideo, kAudio, kMetadata, kError, kOther };

// A received video frame: BGRX pixels and the frame rate it announced.
struct VideoFrame {
  BgrxFrame picture;
  int32_t frame_rate_n = 0;
  int32_t frame_rate_d = 0;
  int64_t timestamp = 0;  // when the sender sent it, 100 ns units since the Unix epoch; 0: unknown
};

class NdiEndpoint {
 public:
  virtual ~NdiEndpoint() = default;

  // Lets the finder wait up to wait_ms for changes, then gives the sources it knows of now, in
  // its own order: entries without a name are left out, a missing URL address is empty.
  virtual std::vector<SourceInfo> find_sources(uint32_t wait_ms) = 0;

  // Tells the receiver to follow source, or nothing when it is null. Takes effect later.
  virtual void connect(const SourceInfo* source) = 0;

  // Waits up to timeout_ms for one frame. For kVideo, *video describes it until release_video();
  // audio and metadata frames are released at once.
  virtual CaptureKind capture(uint32_t timeout_ms, VideoFrame* video) = 0;
  virtual void release_video() = 0;

  // How many senders the receiver is connected to now.
  virtual int connections() = 0;
};

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_ENDPOINT_H_
