#include "bridges/readings/board_read.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "native_ocr/zonescan/calibration/frame_trust.h"
#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/display_traits.h"
#include "native_ocr/zonescan/separator/separator_detector.h"
#include "native_ocr/zonescan/separator/separator_windows.h"
#include "native_ocr/zonescan/three_cell_separator.h"

namespace readings {

namespace {

namespace zs = native_ocr::zonescan;

// The role trust weighs a zone without one by: the reader's default, the score reader's.
constexpr std::string_view kUnnamedRole = "home_score";

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

// The columns of a crop that the separator detector looks at: the union of its search windows
// (all rows). Empty when the crop has no columns.
cv::Range separator_columns(const cv::Mat& crop) {
  const zs::SearchGeometry g = zs::separator_search_corridor(crop.cols, crop.rows);
  int64_t first = crop.cols;
  int64_t last = -1;
  for (const int64_t start : zs::separator_search_starts(g)) {
    const zs::WindowBounds b = zs::separator_window_bounds(start, crop.cols, g.window_width);
    first = std::min(first, b.left);
    last = std::max(last, b.right);
  }
  return last < first ? cv::Range()
                      : cv::Range(static_cast<int>(first), static_cast<int>(last) + 1);
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
  return zs::zone_pixels(zone.rect, cv::Size(width, height));
}

std::optional<cv::Rect> trust_reach(const BoardZone& zone, int width, int height) {
  const std::optional<cv::Rect> r = zone_pixels(zone, width, height);
  if (!r) {
    return r;
  }
  const int side = 1 + static_cast<int>(std::ceil(zs::calibration::kBeyondEdgeReach * r->height));
  const cv::Rect grown(r->x - side, r->y - 1, r->width + 2 * side, r->height + 2);
  return grown & cv::Rect(0, 0, width, height);
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
    : zones_(std::move(zones)),
      last_crops_(zones_.size()),
      results_(zones_.size()),
      separators_(zones_.size()),
      moved_separators_(zones_.size()),
      trusts_(zones_.size()) {}

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
  trusts_weighed_ = 0;
  separators_kept_ = 0;
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
    const zs::ZoneReading zone = read_zone(i, crop, pixels);
    results_[i] = result_of(zone);
    if (results_[i].valid) {
      results_[i].trusted = trusted_value(i, bgr, crop, zone.reading, results_[i].text);
    }
    crop.copyTo(last_crops_[i]);  // into the last crop's buffer when the size is the same
    ++zones_read_;
  }
  return results_;
}

// As read_crop reads the zone, with the clock's separator detection taken from the memo when the
// detector's columns are unchanged. Only for a colour crop the display reads as it is (a dark or
// slanted display is detected on its upright grey, which read_crop makes; a clock of three cells
// searches two parts of the crop) and one read_crop would prepare (not empty, not too large).
zs::ZoneReading BoardRead::read_zone(size_t index, const cv::Mat& crop,
                                     const std::optional<cv::Rect>& pixels) {
  const BoardZone& zone = zones()[index];
  const zs::CropView view{crop, true};
  zs::ZoneReading out;
  out.reading.reader = zone.reader;
  try {
    if (zone.reader != zs::ReaderKind::kClock || crop.empty() || zs::crop_too_large(view) ||
        zs::needs_upright(zone.settings) || zs::searches_three_cells(zone.settings)) {
      out.reading = zs::read_crop(zone.reader, view, zone.role, zone.settings, classifier_);
    } else {
      out.reading = zs::read_crop_given_separator(zone.reader, view, zone.role, zone.settings,
                                                  separator_of(index, crop), classifier_);
    }
    out.bounds = pixels;
  } catch (...) {
    out.error = std::current_exception();
  }
  return out;
}

bool BoardRead::trusted_value(size_t index, const cv::Mat& bgr, const cv::Mat& crop,
                              const zs::Reading& reading, const std::optional<std::string>& text) {
  TrustMemo& memo = trusts_[index];
  if (!memo.trusted || memo.text != text) {
    memo.text = text;
    memo.trusted = trusted_in_frame(index, bgr, crop, reading);
    ++trusts_weighed_;
  }
  return memo.trusted;
}

bool BoardRead::trusted_in_frame(size_t index, const cv::Mat& bgr, const cv::Mat& crop,
                                 const zs::Reading& reading) {
  const BoardZone& zone = zones()[index];
  zs::calibration::FrameZone at;
  at.frame = zs::CropView{bgr, true};
  at.rect = zone.rect;
  at.role = zone.role.empty() ? std::string(kUnnamedRole) : zone.role;
  at.settings = zone.settings;
  try {
    return zs::calibration::trust_in_frame(reading, zs::CropView{crop, true}, std::move(at),
                                           classifier_, &moved_separators_[index])
        .trusted;
  } catch (...) {
    return false;  // a reading that cannot be read again is not vouched for
  }
}

std::optional<zs::SeparatorDetection> BoardRead::separator_of(size_t index, const cv::Mat& crop) {
  bool kept = false;
  std::optional<zs::SeparatorDetection> out = kept_detection(separators_[index], crop, &kept);
  separators_kept_ += kept;
  return out;
}

std::optional<zs::SeparatorDetection> BoardRead::MovedMemos::detect(int move, const cv::Mat& crop) {
  bool kept = false;
  return kept_detection(memos[static_cast<size_t>(move)], crop, &kept);
}

std::optional<zs::SeparatorDetection> BoardRead::kept_detection(SeparatorMemo& memo,
                                                                const cv::Mat& crop, bool* kept) {
  const cv::Range columns = separator_columns(crop);
  const cv::Mat looked_at = columns.empty() ? cv::Mat() : crop.colRange(columns);
  if (!memo.columns.empty() && memo.crop_size == crop.size() &&
      same_pixels(looked_at, memo.columns)) {
    *kept = true;
    return memo.detection;
  }
  memo.columns.release();  // kept only once the detection succeeded
  memo.detection = zs::detect_clock_separator_without_regions(crop, 0.0);
  memo.crop_size = crop.size();
  looked_at.copyTo(memo.columns);
  return memo.detection;
}

}  // namespace readings
