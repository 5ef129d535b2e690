#include "bridges/ndi/preview.h"

#include <sys/stat.h>

#include <cstdio>

#include "base/jpeg_encoder.h"
#include "bridges/common/json.h"
#include "bridges/common/number_format.h"
#include "bridges/ndi/publish.h"

namespace ndi_bridge {

void bgrx_row_to_rgb(const uint8_t* bgrx, int width, uint8_t* rgb) {
  for (int x = 0; x < width; ++x) {
    rgb[0] = bgrx[2];
    rgb[1] = bgrx[1];
    rgb[2] = bgrx[0];
    bgrx += 4;
    rgb += 3;
  }
}

std::string latency_document(const LatencyRecord& record) {
  constexpr bridges::JsonEscapes kEscapes = bridges::JsonEscapes::kNdiBridge;
  bridges::JsonObjectWriter json;
  json.add_int("version", 1);
  json.add_string(
      "frame_id",
      std::to_string(record.frame_count) + "-" + std::to_string(record.published_unix_ns),
      kEscapes);
  json.add_int("captured_unix_ns", record.captured_unix_ns);
  json.add_int("published_unix_ns", record.published_unix_ns);
  json.add_raw("capture_to_publish_ms", bridges::format_general17(record.capture_to_publish_ms));
  json.add_int("jpeg_mtime_ns", record.jpeg_mtime_ns);
  json.add_int("jpeg_size", record.jpeg_size);
  return json.text();
}

void PreviewPublisher::publish(const BgrxFrame& frame, uint64_t frame_count,
                               int64_t receipt_monotonic_ns, int64_t receipt_wall_us) {
  if (frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0 ||
      frame.stride < frame.width * 4) {
    return;  // not a frame in the layout the receiver was asked for
  }
  if (!encode_temporary(frame)) {
    return;
  }
  if (latency_) {
    write_latency(frame_count, receipt_monotonic_ns, receipt_wall_us);
  }
  publish_preview_temporary();
}

bool PreviewPublisher::encode_temporary(const BgrxFrame& frame) {
  row_.resize(static_cast<size_t>(frame.width) * 3);
  return write_preview_temporary([&](std::FILE* file) {
    return base::encode_jpeg_rows(file, frame.width, frame.height, [&](int y) {
      bgrx_row_to_rgb(frame.pixels + static_cast<size_t>(y) * static_cast<size_t>(frame.stride),
                      frame.width, row_.data());
      return row_.data();
    });
  });
}

void PreviewPublisher::write_latency(uint64_t frame_count, int64_t receipt_monotonic_ns,
                                     int64_t receipt_wall_us) {
  LatencyRecord record;
  record.frame_count = frame_count;
  record.captured_unix_ns = receipt_wall_us * 1000;
  record.published_unix_ns = clock_.wall_clock_micros() * 1000;
  record.capture_to_publish_ms = static_cast<double>(clock_.monotonic_ns() - receipt_monotonic_ns) /
                                 static_cast<double>(base::kNanosPerMilli);
  struct stat st;
  if (::stat(kPreviewTemporaryPath, &st) != 0) {
    return;
  }
  record.jpeg_mtime_ns =
      static_cast<int64_t>(st.st_mtim.tv_sec) * base::kNanosPerSecond + st.st_mtim.tv_nsec;
  record.jpeg_size = static_cast<int64_t>(st.st_size);
  write_text_atomically(kLatencyPath, latency_document(record));
}

}  // namespace ndi_bridge
