// The JPEG preview of a BGRX video frame, and the latency document that describes it.
#ifndef BRIDGES_NDI_PREVIEW_H_
#define BRIDGES_NDI_PREVIEW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/clock.h"

namespace ndi_bridge {

inline constexpr char kLatencyPath[] = "app/static/ndi_latency.json";

// A video frame as the receiver delivers it: 4 bytes per pixel (blue, green, red, unused), row y
// starting at pixels + y * stride. Only read.
struct BgrxFrame {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// Writes width RGB pixels into rgb (width * 3 bytes): red, green, blue are bytes 2, 1, 0 of each
// 4-byte input pixel, the fourth byte is dropped.
void bgrx_row_to_rgb(const uint8_t* bgrx, int width, uint8_t* rgb);

// What "app/static/ndi_latency.json" says about one preview.
struct LatencyRecord {
  uint64_t frame_count = 0;          // video frames of the selection so far
  int64_t captured_unix_ns = 0;      // wall clock at receipt (microsecond resolution)
  int64_t published_unix_ns = 0;     // wall clock once the preview was encoded
  double capture_to_publish_ms = 0;  // monotonic, receipt to that moment
  int64_t jpeg_mtime_ns = 0;         // of the encoded temporary file
  int64_t jpeg_size = 0;
};

std::string latency_document(const LatencyRecord& record);

// Publishes previews at "app/static/ndi_preview.jpg" through the temporary
// "app/static/ndi_preview.tmp.jpg", reusing one RGB row buffer. The latency document's times come
// from clock, which must outlive the publisher.
class PreviewPublisher {
 public:
  PreviewPublisher(bool latency, base::Clock& clock) : latency_(latency), clock_(clock) {}

  // Encodes frame and renames it over the preview; with the latency flag, the latency document is
  // written in between. receipt_* are the frame's receipt times (monotonic ns, wall-clock us).
  // A temporary file that cannot be opened skips the preview silently; an encoding failure is
  // reported on standard error (publish.h). Either way the previous preview stays published.
  void publish(const BgrxFrame& frame, uint64_t frame_count, int64_t receipt_monotonic_ns,
               int64_t receipt_wall_us);

 private:
  bool encode_temporary(const BgrxFrame& frame);
  void write_latency(uint64_t frame_count, int64_t receipt_monotonic_ns, int64_t receipt_wall_us);

  bool latency_;
  base::Clock& clock_;
  std::vector<uint8_t> row_;
};

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_PREVIEW_H_
