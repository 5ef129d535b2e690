// The host's files as ndi_bridge's loop reads and publishes them. Abstract so that the loop's tests
// keep them in memory; DiskHostFiles is the working directory's (the host's root).
#ifndef BRIDGES_NDI_HOST_FILES_H_
#define BRIDGES_NDI_HOST_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "bridges/ndi/preview.h"

namespace ndi_bridge {

class HostFiles {
 public:
  virtual ~HostFiles() = default;

  // Every byte of a small file the host writes; empty when it is missing or cannot be read.
  virtual std::string read(const std::string& path) = 0;

  // Replaces path with contents atomically. True when it was replaced; a failure is reported as
  // write_text_atomically (publish.h) reports it.
  virtual bool replace(const std::string& path, std::string_view contents) = 0;

  // Publishes the preview of frame (PreviewPublisher::publish).
  virtual void publish_preview(const BgrxFrame& frame, uint64_t frame_count,
                               int64_t receipt_monotonic_ns, int64_t receipt_wall_us) = 0;
};

class DiskHostFiles : public HostFiles {
 public:
  // latency: write the latency document with each preview. The clock, which times it, must
  // outlive the files.
  DiskHostFiles(bool latency, base::Clock& clock) : preview_(latency, clock) {}

  std::string read(const std::string& path) override;
  bool replace(const std::string& path, std::string_view contents) override;
  void publish_preview(const BgrxFrame& frame, uint64_t frame_count, int64_t receipt_monotonic_ns,
                       int64_t receipt_wall_us) override;

 private:
  PreviewPublisher preview_;
};

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_HOST_FILES_H_
