#include "native_ocr/zonescan/calibration/display_finder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan::calibration {
namespace {

constexpr int kWhite = 255;
// Crops smaller than this hold no readable digit.
constexpr int kMinRows = 6;
constexpr int kMinColumns = 4;
// A board whose median grey is above the middle grey is light, with dark segments.
constexpr double kMiddleGrey = 127.0;
// The bright end of the crop: a high percentile, so a few hot pixels do not set it.
constexpr double kPeakPercentile = 99.5;
// Grey levels the bright end must stand above the background for anything to be lit.
constexpr double kMinContrast = 20.0;
// A run of lit rows shorter than this share of the box's height at its top or bottom, apart from
// the rest by an unlit row, is a strip of clutter (a label, a housing edge): no lit part of a
// digit is that short but the separator's dots, which lie inside the rows of the digits.
constexpr double kStripShare = 0.4;

std::array<int64_t, kWhite + 1> histogram(const cv::Mat& grey) {
  std::array<int64_t, kWhite + 1> counts{};
  for (int r = 0; r < grey.rows; ++r) {
    const uint8_t* row = grey.ptr<uint8_t>(r);
    for (int c = 0; c < grey.cols; ++c) {
      ++counts[row[c]];
    }
  }
  return counts;
}

// The k-th smallest pixel value (0-based).
int kth_value(const std::array<int64_t, kWhite + 1>& counts, int64_t k) {
  int64_t seen = 0;
  for (int v = 0; v <= kWhite; ++v) {
    seen += counts[v];
    if (seen > k) {
      return v;
    }
  }
  return kWhite;
}

}  // namespace

double grey_median(const cv::Mat& grey) {
  const auto counts = histogram(grey);
  const int64_t n = static_cast<int64_t>(grey.total());
  if (n % 2 == 1) {
    return kth_value(counts, n / 2);
  }
  return (kth_value(counts, n / 2 - 1) + kth_value(counts, n / 2)) / 2.0;
}

double grey_percentile(const cv::Mat& grey, double percent) {
  constexpr double kPercent = 100.0;
  const auto counts = histogram(grey);
  const int64_t n = static_cast<int64_t>(grey.total());
  const double position = percent / kPercent * static_cast<double>(n - 1);
  const int64_t below = static_cast<int64_t>(std::floor(position));
  const double fraction = position - static_cast<double>(below);
  const int low = kth_value(counts, below);
  const int high = kth_value(counts, std::min(n - 1, below + 1));
  return low + fraction * (high - low);
}

int otsu_threshold(const cv::Mat& grey) {
  cv::Mat ignored;
  return static_cast<int>(
      cv::threshold(grey, ignored, 0, kWhite, cv::THRESH_BINARY | cv::THRESH_OTSU));
}

std::optional<LitRange> lit_range(const cv::Mat& grey_in) {
  if (grey_in.rows < kMinRows || grey_in.cols < kMinColumns) {
    return std::nullopt;
  }
  LitRange range;
  range.background = grey_median(grey_in);
  range.dark_on_light = range.background > kMiddleGrey;
  // A new image for the inverted board: assigning the expression to a header over grey_in would
  // write into the caller's pixels.
  range.grey = range.dark_on_light ? cv::Mat(kWhite - grey_in) : grey_in;
  if (range.dark_on_light) {
    range.background = kWhite - range.background;
  }
  range.peak = grey_percentile(range.grey, kPeakPercentile);
  if (range.peak - range.background < kMinContrast) {
    return std::nullopt;
  }
  range.otsu = otsu_threshold(range.grey);
  return range;
}

std::optional<FoundDisplay> without_strips(const LitRange& range, const FoundDisplay& found) {
  const int x1 = std::max(0, static_cast<int>(found.left));
  const int x2 = std::min(range.grey.cols - 1, static_cast<int>(found.right));
  const int y1 = std::max(0, static_cast<int>(found.top));
  const int y2 = std::min(range.grey.rows - 1, static_cast<int>(found.bottom));
  if (x2 < x1 || y2 <= y1) {
    return std::nullopt;
  }
  // Runs of rows with lit pixels, top to bottom.
  std::vector<std::pair<int, int>> runs;
  for (int r = y1; r <= y2; ++r) {
    const cv::Mat row = range.grey(cv::Range(r, r + 1), cv::Range(x1, x2 + 1));
    if (cv::countNonZero(row > found.level) == 0) {
      continue;
    }
    if (runs.empty() || runs.back().second != r - 1) {
      runs.emplace_back(r, r);
    }
    runs.back().second = r;
  }
  const double height = y2 - y1 + 1;
  const auto strip = [&](const std::pair<int, int>& run) {
    return run.second - run.first + 1 < kStripShare * height;
  };
  size_t first = 0, last = runs.size();
  while (first < last && strip(runs[first])) {
    ++first;
  }
  while (last > first && strip(runs[last - 1])) {
    --last;
  }
  if (first == last || (first == 0 && last == runs.size())) {
    return std::nullopt;
  }
  FoundDisplay trimmed = found;
  trimmed.top = runs[first].first;
  trimmed.bottom = runs[last - 1].second;
  trimmed.digit_height = trimmed.bottom - trimmed.top + 1;
  return trimmed;
}

}  // namespace native_ocr::zonescan::calibration
