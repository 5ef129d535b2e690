// The loopback receiver: follows one named source of the runtime directory and copies out its
// newest frame.
#ifndef PLATFORM_NDI_RECEIVER_H_
#define PLATFORM_NDI_RECEIVER_H_

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ndi/include/Processing.NDI.Lib.h"
#include "platform/ndi/source_file.h"

namespace ndi_loopback {

class Receiver {
 public:
  explicit Receiver(std::string dir) : dir_(std::move(dir)) {}

  // Follows the source named like src (and with its URL address, when src has one); null stops
  // following. The source is looked up by the next captures, so a source that appears later is
  // picked up then.
  void connect(const NDIlib_source_t* src);

  // Waits up to timeout_ms. Returns video with the newest frame published since the source was
  // found and not yet delivered, status_change once after the source was
  // found, error once for each error the sender asked for and when the sender died mid-frame, none
  // when nothing arrived in time. The frame's pixels stay valid until free_video.
  NDIlib_frame_type_e capture(NDIlib_video_frame_v2_t* video, uint32_t timeout_ms);
  void free_video(const NDIlib_video_frame_v2_t* video);

  // 1 while following a live sender, else 0.
  int connections() const;

 private:
  struct Target {
    std::string name;
    std::string url_address;
    bool has_url = false;
  };

  void attach();
  void detach();
  std::optional<NDIlib_frame_type_e> poll(NDIlib_video_frame_v2_t* video);
  void lend(const FrameCopy& frame, std::vector<uint8_t> pixels, NDIlib_video_frame_v2_t* video);

  std::string dir_;
  std::optional<Target> target_;
  std::unique_ptr<SourceMapping> mapping_;
  int pid_ = 0;
  uint64_t last_frame_ = 0;
  uint32_t seen_errors_ = 0;
  uint32_t futex_seen_ = 0;
  bool announce_attach_ = false;
  std::vector<std::vector<uint8_t>> spare_;
  std::list<std::vector<uint8_t>> lent_;
};

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_RECEIVER_H_
