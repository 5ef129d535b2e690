#include "bridges/readings/board_read.h"

#include <cstring>

#include "native_ocr/zonescan/calibration/trust.h"

namespace readings {

namespace {

namespace zs = native_ocr::zonescan;

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) {
    return false;
  }
  const size_t row_bytes = a.cols * a.elemSize();
  for (int y = 0; y < a.rows; ++y) {
    if (std::memcmp(a.ptr(y), b.ptr(y), row_bytes) != 0) {
      return false;
    }
  }
  return true;
}

// One zone from its crop (empty: no pixels) on the calling thread, the reader's exception kept.
zs::ZoneReading read_zone(const BoardZone& zone, const cv::Mat& crop,
                          const std::optional<cv::Rect>& pixels,
                          const zs::SlotClassifier& classifier) {
  zs::ZoneReading out;
  out.reading.reader = zone.reader;
  try {
    out.reading =
        zs::read_crop(zone.reader, zs::CropView{crop, true}, zone.role, zone.settings, classifier);
    out.bounds = pixels;
  } catch (...) {
    out.error = std::current_exception();
  }
  return out;
}

}  // namespace

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

std::optional<cv::Rect> zone_pixels(const BoardZone& zone, int width, int height) {
  zs::Bounds b;
  if (zs::normalized_zone_bounds(zone.rect, width, height, &b) != zs::BoundsError::kNone ||
      zs::covers_no_pixel(b)) {
    return std::nullopt;
  }
  return cv::Rect(static_cast<int>(b.x1), static_cast<int>(b.y1), static_cast<int>(b.x2 - b.x1),
                  static_cast<int>(b.y2 - b.y1));
}

cv::Rect zones_region(const std::vector<BoardZone>& zones, int width, int height) {
  cv::Rect all;
  for (const BoardZone& zone : zones) {
    if (const std::optional<cv::Rect> r = zone_pixels(zone, width, height)) {
      all = all.empty() ? *r : (all | *r);
    }
  }
  return all;
}

BoardRead::BoardRead(std::vector<BoardZone> zones)
    : zones_(std::move(zones)), last_crops_(zones_.size()), results_(zones_.size()) {}

const std::vector<ZoneResult>& BoardRead::read(const cv::Mat& bgr) {
  return read_touched(bgr, nullptr);
}

const std::vector<ZoneResult>& BoardRead::read(const cv::Mat& bgr,
                                               const std::vector<bool>& touched) {
  return read_touched(bgr, &touched);
}

const std::vector<ZoneResult>& BoardRead::read_touched(const cv::Mat& bgr,
                                                       const std::vector<bool>* touched) {
  const bool same_size = bgr.size() == frame_size_;
  frame_size_ = bgr.size();
  zones_read_ = 0;
  for (size_t i = 0; i < results_.size(); ++i) {
    const bool kept = same_size && !last_crops_[i].empty();
    if (kept && touched != nullptr && i < touched->size() && !(*touched)[i]) {
      continue;
    }
    const std::optional<cv::Rect> pixels = zone_pixels(zones()[i], bgr.cols, bgr.rows);
    const cv::Mat crop = pixels ? bgr(*pixels) : cv::Mat();
    if (kept && same_pixels(crop, last_crops_[i])) {
      continue;
    }
    results_[i] = result_of(read_zone(zones()[i], crop, pixels, classifier_));
    crop.copyTo(last_crops_[i]);  // into the last crop's buffer when the size is the same
    ++zones_read_;
  }
  return results_;
}

}  // namespace readings
