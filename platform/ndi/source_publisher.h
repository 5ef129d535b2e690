// The sender's side of a source file: announces one source and publishes its frames.
#ifndef PLATFORM_NDI_SOURCE_PUBLISHER_H_
#define PLATFORM_NDI_SOURCE_PUBLISHER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/ndi/source_file.h"

namespace ndi_loopback {

struct FrameFormat {
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // bytes from one row to the next, at least width * 4
  int32_t frame_rate_n = 30;
  int32_t frame_rate_d = 1;
};

class SourcePublisher {
 public:
  SourcePublisher() = default;
  // Withdraws the announcement (deletes the source file).
  ~SourcePublisher();
  SourcePublisher(const SourcePublisher&) = delete;
  SourcePublisher& operator=(const SourcePublisher&) = delete;

  // Announces a source in dir (created when missing) with room for frames of up to pixel_capacity
  // bytes; a null url announces no URL address. Files of senders that died are cleared away first.
  // False with *err set on failure.
  bool open(const std::string& dir, const std::string& name, const std::string* url,
            uint64_t pixel_capacity, std::string* err);

  // The announced file.
  const std::string& path() const { return path_; }

  // Publishes the next frame: fill writes format.height rows of format.stride bytes into the pixel
  // area. Receivers never see a half-written frame. False when the frame does not fit.
  bool publish(const FrameFormat& format, const std::function<void(uint8_t* pixels)>& fill);

  // Whether a receiver has ever started following the source.
  bool followed() const;

  // Asks every receiver following the source now for one error frame.
  void request_error();

 private:
  std::string path_;
  int64_t frames_ = 0;
  SourceMapping mapping_;
};

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_SOURCE_PUBLISHER_H_
