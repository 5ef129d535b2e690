#include "bridges/ndi/preview.h"

#include <sys/stat.h>

#include <cstdio>

#include "bridges/common/atomic_file.h"
#include "bridges/common/jpeg_writer.h"
#include "bridges/common/json.h"
#include "bridges/common/number_format.h"
#include "bridges/ndi/clock.h"

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
  bridges::publish_ndi_preview();
}

bool PreviewPublisher::encode_temporary(const BgrxFrame& frame) {
  std::FILE* file = bridges::create_temporary_file(bridges::kNdiPreviewTemporaryPath);
  if (file == nullptr) {
    return false;
  }
  row_.resize(static_cast<size_t>(frame.width) * 3);
  bool encoded = bridges::encode_jpeg_rows(file, frame.width, frame.height, [&](int y) {
    bgrx_row_to_rgb(frame.pixels + static_cast<size_t>(y) * static_cast<size_t>(frame.stride),
                    frame.width, row_.data());
    return row_.data();
  });
  // A full disk shows up here, as a failed write or close; the preview is dropped, the bridge
  // goes on.
  bool closed = std::fclose(file) == 0;
  if (!encoded || !closed) {
    std::fprintf(stderr, "Impossible d'écrire %s de façon atomique.\n", bridges::kNdiPreviewPath);
    std::remove(bridges::kNdiPreviewTemporaryPath);
    return false;
  }
  return true;
}

void PreviewPublisher::write_latency(uint64_t frame_count, int64_t receipt_monotonic_ns,
                                     int64_t receipt_wall_us) {
  LatencyRecord record;
  record.frame_count = frame_count;
  record.captured_unix_ns = receipt_wall_us * 1000;
  record.published_unix_ns = wall_clock_micros() * 1000;
  record.capture_to_publish_ms = static_cast<double>(monotonic_ns() - receipt_monotonic_ns) /
                                 static_cast<double>(kNanosPerMilli);
  struct stat st;
  if (::stat(bridges::kNdiPreviewTemporaryPath, &st) != 0) {
    return;
  }
  record.jpeg_mtime_ns =
      static_cast<int64_t>(st.st_mtim.tv_sec) * kNanosPerSecond + st.st_mtim.tv_nsec;
  record.jpeg_size = static_cast<int64_t>(st.st_size);
  bridges::write_text_atomically(kLatencyPath, latency_document(record));
}

}  // namespace ndi_bridge
