#include "bridges/readings/board_read.h"

#include "native_ocr/zonescan/calibration/trust.h"

namespace readings {

namespace {

namespace zs = native_ocr::zonescan;

ZoneResult result_of(const zs::ZoneReading& zone) {
  const zs::Reading& reading = zone.reading;
  ZoneResult out;
  out.clock = reading.reader == zs::ReaderKind::kClock;
  if (zone.error) {
    out.reason = "error";
    return out;
  }
  out.valid = reading.valid;
  out.reason = std::string(reading.reason);
  if (reading.valid) {
    out.text = out.clock ? reading.clock_value
                         : std::optional<std::string>(std::to_string(reading.value.value_or(0)));
  }
  out.trusted = zs::calibration::trust_reading(zs::calibration::trust_input(reading)).trusted;
  return out;
}

}  // namespace

cv::Rect zones_region(const std::vector<BoardZone>& zones, int width, int height) {
  cv::Rect all;
  for (const BoardZone& zone : zones) {
    zs::Bounds b;
    if (zs::normalized_zone_bounds(zone.rect, width, height, &b) != zs::BoundsError::kNone ||
        zs::covers_no_pixel(b)) {
      continue;
    }
    const cv::Rect r(static_cast<int>(b.x1), static_cast<int>(b.y1), static_cast<int>(b.x2 - b.x1),
                     static_cast<int>(b.y2 - b.y1));
    all = all.empty() ? r : (all | r);
  }
  return all;
}

std::vector<ZoneResult> read_board(const zs::BoardReader& reader, const cv::Mat& bgr) {
  std::vector<ZoneResult> results;
  for (const zs::ZoneReading& zone : reader.read(bgr)) {
    results.push_back(result_of(zone));
  }
  return results;
}

}  // namespace readings
