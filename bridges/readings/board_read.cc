#include "bridges/readings/board_read.h"

#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/reader.h"

namespace readings {

namespace {

namespace zs = native_ocr::zonescan;

std::optional<cv::Rect> zone_pixels(const BoardZone& zone, int width, int height) {
  zs::Bounds b;
  if (zs::normalized_zone_bounds(zone.rect, width, height, &b) != zs::BoundsError::kNone ||
      zs::covers_no_pixel(b)) {
    return std::nullopt;
  }
  return cv::Rect(static_cast<int>(b.x1), static_cast<int>(b.y1), static_cast<int>(b.x2 - b.x1),
                  static_cast<int>(b.y2 - b.y1));
}

ZoneReading read_one(const BoardZone& zone, const cv::Mat& bgr,
                     const zs::SlotClassifier& classifier) {
  const zs::ReaderKind kind = zs::reader_for_role(zone.role);
  ZoneReading out;
  out.clock = kind == zs::ReaderKind::kClock;
  const std::optional<cv::Rect> pixels = zone_pixels(zone, bgr.cols, bgr.rows);
  const zs::CropView crop{pixels ? bgr(*pixels) : cv::Mat(), true};
  try {
    const zs::Reading reading = zs::read_crop(kind, crop, zone.role, zone.settings, classifier);
    out.valid = reading.valid;
    out.reason = std::string(reading.reason);
    if (reading.valid) {
      out.text = out.clock ? reading.clock_value
                           : std::optional<std::string>(std::to_string(reading.value.value_or(0)));
    }
    out.trusted = zs::calibration::trust_reading(zs::calibration::trust_input(reading)).trusted;
  } catch (const cv::Exception&) {
    out = ZoneReading{out.clock, std::nullopt, false, "error", false};
  }
  return out;
}

}  // namespace

cv::Rect zones_region(const std::vector<BoardZone>& zones, int width, int height) {
  cv::Rect all;
  for (const BoardZone& zone : zones) {
    if (const std::optional<cv::Rect> r = zone_pixels(zone, width, height)) {
      all = all.empty() ? *r : (all | *r);
    }
  }
  return all;
}

std::vector<ZoneReading> read_board(const std::vector<BoardZone>& zones, const cv::Mat& bgr) {
  const zs::SegmentClassifier classifier;
  std::vector<ZoneReading> readings;
  readings.reserve(zones.size());
  for (const BoardZone& zone : zones) {
    readings.push_back(read_one(zone, bgr, classifier));
  }
  return readings;
}

}  // namespace readings
