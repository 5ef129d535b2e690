#include "native_ocr/zonescan/separator/separator_windows.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/zonescan/layout.h"
#include "native_ocr/zonescan/separator/separator_mask.h"
#include "native_ocr/zonescan/separator/window_blur.h"

namespace native_ocr::zonescan {
namespace {

std::atomic<bool> g_sheet_blur_ready{false};

// Python's floor division.
int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) {
    --q;
  }
  return q;
}

// Filters on a view would read the parent image's pixels beyond the view's edge; a standalone
// image makes the border the image's own.
cv::Mat standalone(const cv::Mat& image) {
  return image.isSubmatrix() ? image.clone() : image;
}

cv::Mat probe_image() {
  cv::Mat probe(85, 9, CV_8UC1);
  for (int r = 0; r < probe.rows; ++r) {
    for (int c = 0; c < probe.cols; ++c) {
      probe.at<uint8_t>(r, c) = static_cast<uint8_t>((9 * r + c) % 256);
    }
  }
  return probe;
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) {
    return false;
  }
  cv::Mat diff;
  cv::compare(a, b, diff, cv::CMP_NE);
  return cv::countNonZero(diff.reshape(1)) == 0;
}

// The blur whose column pass all windows share, when OpenCV's blur has the form that allows it.
const std::optional<WindowBlur>& shared_window_blur() {
  static const std::optional<WindowBlur> blur = WindowBlur::from_opencv(kSeparatorBlurSigma);
  return blur;
}

// The inclusive columns of every search window of a grey plane, in start order.
std::vector<std::pair<int, int>> window_columns(const cv::Mat& gray,
                                                const SearchGeometry& geometry) {
  std::vector<std::pair<int, int>> columns;
  for (int64_t start : separator_search_starts(geometry)) {
    const WindowBounds b = separator_window_bounds(start, gray.cols, geometry.window_width);
    if (b.right < b.left) {
      CV_Error(cv::Error::StsBadArg, "separator source has no columns");
    }
    columns.emplace_back(static_cast<int>(b.left), static_cast<int>(b.right));
  }
  return columns;
}

std::vector<cv::Mat> sheet_blurs(const cv::Mat& gray,
                                 const std::vector<std::pair<int, int>>& columns) {
  std::vector<cv::Mat> grays;
  for (const auto& [left, right] : columns) {
    grays.push_back(gray.colRange(left, right + 1));
  }
  return reflected_sheet_blurs(grays);
}

// The plane histograms of windows slid across a corridor, kept up to date a column at a time:
// value and grey over the window's columns, and the detail (grey above its blur) over the inner
// columns, whose blur is the same in every window; only the detail of the `radius` columns at
// each border is counted per window, from that window's own blur. Counts are integers: the same
// in any order.
class SlidingHistograms {
 public:
  // For windows within columns [first, last] of the planes; `inner_blur` as
  // WindowBlurSequence::inner() of that range.
  SlidingHistograms(const cv::Mat& gray, const cv::Mat& value, const cv::Mat& inner_blur, int first,
                    int last, int radius)
      : gray_(gray), first_(first), radius_(radius) {
    cv::transpose(gray.colRange(first, last + 1), gray_t_);
    cv::transpose(value.colRange(first, last + 1), value_t_);
    if (!inner_blur.empty()) {
      const cv::Mat inner_gray = gray.colRange(first + radius, first + radius + inner_blur.cols);
      cv::Mat detail(inner_blur.size(), CV_8UC1);
      for (int y = 0; y < detail.rows; ++y) {
        const uint8_t* g = inner_gray.ptr<uint8_t>(y);
        const uint8_t* b = inner_blur.ptr<uint8_t>(y);
        uint8_t* d = detail.ptr<uint8_t>(y);
        for (int x = 0; x < detail.cols; ++x) {
          d[x] = g[x] > b[x] ? static_cast<uint8_t>(g[x] - b[x]) : 0;
        }
      }
      cv::transpose(detail, detail_t_);
    }
  }

  // The histograms of the window of columns [left, right], more than twice the radius wide, with
  // `blurred` its blur.
  void count(int left, int right, const cv::Mat& blurred, MaskHistograms* out) {
    slide(planes_, left - first_, right - first_, [&](int column, uint32_t step) {
      add(gray_t_, column, step, &gray_counts_);
      add(value_t_, column, step, &value_counts_);
    });
    // Inner column j is crop column first + radius + j.
    slide(inner_, left - first_, right - 2 * radius_ - first_,
          [&](int column, uint32_t step) { add(detail_t_, column, step, &detail_counts_); });
    out->gray = gray_counts_;
    out->value = value_counts_;
    out->detail = detail_counts_;
    const int width = right - left + 1;
    for (int y = 0; y < blurred.rows; ++y) {
      const uint8_t* g = gray_.ptr<uint8_t>(y) + left;
      const uint8_t* b = blurred.ptr<uint8_t>(y);
      for (int x : {0, width - radius_}) {
        for (int k = x; k < x + radius_; ++k) {
          ++out->detail[g[k] > b[k] ? static_cast<uint8_t>(g[k] - b[k]) : 0];
        }
      }
    }
  }

 private:
  using Counts = std::array<uint32_t, 256>;
  struct Range {
    int left = 0;
    int right = -1;  // empty
  };

  // Moves `range` to columns [left, right], adding and removing one column at a time.
  template <typename Add>
  static void slide(Range& range, int left, int right, Add add) {
    const uint32_t plus = 1;
    const uint32_t minus = ~uint32_t{0};  // adding 2^32 - 1 wraps to subtracting one, exactly
    if (range.right < range.left) {
      range.left = left;
      range.right = left - 1;
    }
    while (range.right < right) {
      add(++range.right, plus);
    }
    while (range.left > left) {
      add(--range.left, plus);
    }
    while (range.right > right) {
      add(range.right--, minus);
    }
    while (range.left < left) {
      add(range.left++, minus);
    }
  }

  static void add(const cv::Mat& transposed, int column, uint32_t step, Counts* counts) {
    const uint8_t* levels = transposed.ptr<uint8_t>(column);
    for (int y = 0; y < transposed.cols; ++y) {
      (*counts)[levels[y]] += step;
    }
  }

  const cv::Mat& gray_;
  int first_ = 0;
  int radius_ = 0;
  cv::Mat gray_t_;
  cv::Mat value_t_;
  cv::Mat detail_t_;
  Range planes_;
  Range inner_;
  Counts gray_counts_{};
  Counts value_counts_{};
  Counts detail_counts_{};
};

}  // namespace

SearchGeometry separator_search_corridor(int64_t crop_width, int64_t crop_height) {
  const Layout layout = layout_for_role("clock", crop_width, crop_height);
  const Slot* separator = find_separator(layout);
  SearchGeometry g;
  g.physical_left = separator->box[0];
  g.physical_right = separator->box[2];
  g.window_width = std::max<int64_t>(g.physical_right - g.physical_left + 1, 3);
  g.max_shift = std::max<int64_t>(
      static_cast<int64_t>(std::floor(static_cast<double>(g.window_width) * 0.35)), 1);
  g.search_left = std::max<int64_t>(g.physical_left - g.max_shift, 0);
  g.search_right = std::min<int64_t>(g.physical_right + g.max_shift, crop_width - 1);
  return g;
}

std::vector<int64_t> separator_search_starts(const SearchGeometry& geometry) {
  const int64_t last_start =
      std::max(geometry.search_left, geometry.search_right - geometry.window_width + 1);
  std::vector<int64_t> starts;
  for (int64_t s = geometry.search_left; s <= last_start; ++s) {
    starts.push_back(s);
  }
  if (std::find(starts.begin(), starts.end(), geometry.physical_left) == starts.end()) {
    starts.push_back(geometry.physical_left);
    std::sort(starts.begin(), starts.end());
  }
  return starts;
}

WindowBounds separator_window_bounds(int64_t start, int64_t width, int64_t window_width) {
  WindowBounds b;
  b.left = std::max<int64_t>(std::min(start, width - window_width), 0);
  b.right = std::min(b.left + window_width - 1, width - 1);
  return b;
}

WindowEvaluation evaluate_separator_window_planes(const cv::Mat& gray, const cv::Mat& value,
                                                  int64_t left, int64_t window_width,
                                                  const cv::Mat& blurred_gray,
                                                  const MaskHistograms* histograms,
                                                  MaskScratch* scratch) {
  const WindowBounds bounds = separator_window_bounds(left, gray.cols, window_width);
  WindowEvaluation e;
  e.left = bounds.left;
  e.right = bounds.right;
  if (e.right < e.left) {
    CV_Error(cv::Error::StsBadArg, "separator source has no columns");
  }
  const cv::Range columns(static_cast<int>(e.left), static_cast<int>(e.right) + 1);
  const cv::Mat window_gray = gray.colRange(columns);
  cv::Mat blurred = blurred_gray;
  if (blurred.empty()) {
    cv::GaussianBlur(standalone(window_gray), blurred, cv::Size(0, 0), kSeparatorBlurSigma);
  }
  const WindowEnergy energy =
      separator_window_energy(window_gray, value.colRange(columns), blurred, histograms, scratch);
  SeparatorGroups groups = separator_groups(energy);
  e.groups = std::move(groups.groups);
  e.energy_profile = std::move(groups.energy_profile);
  e.topology = separator_topology(e.groups, static_cast<double>(e.right - e.left + 1),
                                  static_cast<double>(gray.rows));
  return e;
}

WindowEvaluation evaluate_separator_window(const cv::Mat& crop, int64_t left, int64_t window_width,
                                           const cv::Mat& blurred_gray) {
  const WindowPlanes planes = separator_planes(crop);
  return evaluate_separator_window_planes(planes.gray, planes.value, left, window_width,
                                          blurred_gray);
}

std::vector<cv::Mat> separator_window_views(const cv::Mat& source) {
  const SearchGeometry geometry = separator_search_corridor(source.cols, source.rows);
  std::vector<cv::Mat> views;
  for (int64_t start : separator_search_starts(geometry)) {
    const WindowBounds b = separator_window_bounds(start, source.cols, geometry.window_width);
    if (b.right < b.left) {
      CV_Error(cv::Error::StsBadArg, "separator source has no columns");
    }
    views.push_back(
        source.colRange(static_cast<int>(b.left), static_cast<int>(b.right) + 1).clone());
  }
  return views;
}

int64_t reflect_blur_radius(double sigma) {
  const double scaled = sigma * 6.0 + 1.0;
  if (!std::isfinite(scaled)) {
    throw std::invalid_argument("sigma must be a finite number");
  }
  const int64_t width = round_to_int(scaled) | 1;
  return floor_div(width, 2);
}

bool sheet_blur_padding_bounded(const std::vector<cv::Mat>& grays, int64_t radius) {
  const double margin = 2.0 * static_cast<double>(radius);
  double image_pixels = 0.0;
  double padded_pixels = 0.0;
  for (const cv::Mat& g : grays) {
    image_pixels += static_cast<double>(g.rows) * g.cols;
    padded_pixels += (g.rows + margin) * (g.cols + margin);
  }
  const double padding = padded_pixels - image_pixels;
  return padding <= image_pixels || padding * (margin + 1.0) <= kMaxSheetPaddingTaps;
}

std::vector<cv::Mat> reflected_sheet_blurs(const std::vector<cv::Mat>& grays, double sigma) {
  if (grays.empty()) {
    return {};
  }
  const int64_t radius = reflect_blur_radius(sigma);
  if (radius < 0 || radius > 10000 || !sheet_blur_padding_bounded(grays, radius)) {
    CV_Error(cv::Error::StsOutOfRange, "blur radius out of range for these images");
  }
  if (grays.size() == 1) {
    cv::Mat blurred;
    cv::GaussianBlur(standalone(grays[0]), blurred, cv::Size(0, 0), sigma);
    return {blurred};
  }
  const int r = static_cast<int>(radius);
  int sheet_width = 0;
  for (const cv::Mat& g : grays) {
    if (g.rows != grays[0].rows || g.type() != grays[0].type() || g.empty()) {
      CV_Error(cv::Error::StsUnmatchedSizes, "sheet images must share one height and type");
    }
    sheet_width += g.cols + 2 * r;
  }
  cv::Mat sheet(grays[0].rows + 2 * r, sheet_width, grays[0].type());
  int origin = 0;
  for (const cv::Mat& g : grays) {
    cv::Mat padded = sheet(cv::Rect(origin, 0, g.cols + 2 * r, sheet.rows));
    cv::copyMakeBorder(g, padded, r, r, r, r, cv::BORDER_REFLECT_101 | cv::BORDER_ISOLATED);
    origin += padded.cols;
  }
  cv::Mat blurred;
  cv::GaussianBlur(sheet, blurred, cv::Size(0, 0), sigma);
  std::vector<cv::Mat> out;
  origin = 0;
  for (const cv::Mat& g : grays) {
    out.push_back(blurred(cv::Rect(origin + r, r, g.cols, g.rows)));
    origin += g.cols + 2 * r;
  }
  return out;
}

void ensure_reflected_sheet_blur() {
  if (g_sheet_blur_ready.load(std::memory_order_acquire)) {
    return;
  }
  const cv::Mat probe = probe_image();
  cv::Mat reference;
  cv::GaussianBlur(probe, reference, cv::Size(0, 0), kSeparatorBlurSigma);
  const std::vector<cv::Mat> produced = reflected_sheet_blurs({probe, probe.clone()});
  for (const cv::Mat& p : produced) {
    if (!same_pixels(p, reference)) {
      throw std::runtime_error(
          "Reflected separator blur does not match the per-window Gaussian blur");
    }
  }
  g_sheet_blur_ready.store(true, std::memory_order_release);
}

bool reflected_sheet_blur_ready() {
  return g_sheet_blur_ready.load(std::memory_order_acquire);
}

std::vector<cv::Mat> separator_window_blurs_from_gray(const cv::Mat& gray,
                                                      const SearchGeometry& geometry) {
  ensure_reflected_sheet_blur();
  const std::vector<std::pair<int, int>> columns = window_columns(gray, geometry);
  // The column pass shared by all windows when the library's blur has the fixed-point form that
  // allows it; otherwise one blur of the sheet of padded windows.
  if (const std::optional<WindowBlur>& shared = shared_window_blur()) {
    return shared->blur_windows(gray, columns);
  }
  return sheet_blurs(gray, columns);
}

std::vector<WindowEvaluation> evaluate_search_windows(const cv::Mat& gray, const cv::Mat& value,
                                                      const SearchGeometry& geometry) {
  ensure_reflected_sheet_blur();
  const std::vector<int64_t> starts = separator_search_starts(geometry);
  const std::vector<std::pair<int, int>> columns = window_columns(gray, geometry);
  std::vector<WindowEvaluation> windows;
  windows.reserve(starts.size());
  const std::optional<WindowBlur>& shared = shared_window_blur();
  if (!shared) {
    const std::vector<cv::Mat> blurs = sheet_blurs(gray, columns);
    for (size_t i = 0; i < starts.size(); ++i) {
      windows.push_back(evaluate_separator_window_planes(gray, value, starts[i],
                                                         geometry.window_width, blurs[i]));
    }
    return windows;
  }
  int first = columns[0].first;
  int last = columns[0].second;
  for (const auto& [left, right] : columns) {
    first = std::min(first, left);
    last = std::max(last, right);
  }
  // The corridor's columns as images of their own: a window's rows are then a few hundred bytes
  // apart, not a whole crop row, and the planes are read from a few pages instead of one per row.
  const cv::Mat corridor_gray = gray.colRange(first, last + 1).clone();
  const cv::Mat corridor_value = value.colRange(first, last + 1).clone();
  const int corridor_last = last - first;
  const WindowBlurSequence sequence(*shared, corridor_gray, 0, corridor_last);
  const int r = sequence.radius();
  std::optional<SlidingHistograms> sliding;  // made for the first window wide enough
  cv::Mat blurred;
  MaskHistograms histograms;
  MaskScratch scratch;
  for (size_t i = 0; i < starts.size(); ++i) {
    const int left = columns[i].first - first;
    const int right = columns[i].second - first;
    sequence.blur_into(left, right, blurred);
    // Windows with columns clear of both borders count only their border columns here.
    const bool slide = right - left + 1 > 2 * r;
    if (slide) {
      if (!sliding) {
        sliding.emplace(corridor_gray, corridor_value, sequence.inner(), 0, corridor_last, r);
      }
      sliding->count(left, right, blurred, &histograms);
    }
    // The window's own columns, found in the corridor as in the crop (a window never crosses the
    // corridor's edge), then placed back in crop columns.
    WindowEvaluation e = evaluate_separator_window_planes(
        corridor_gray, corridor_value, left, right - left + 1, blurred,
        slide ? &histograms : nullptr, slide ? &scratch : nullptr);
    e.left += first;
    e.right += first;
    windows.push_back(std::move(e));
  }
  return windows;
}

std::vector<cv::Mat> separator_window_blurs(const cv::Mat& source) {
  if (source.empty()) {
    CV_Error(cv::Error::StsBadArg, "separator source is empty");
  }
  // OpenCV's conversion decides what is colour (BGR, or BGRA read as BGR).
  cv::Mat gray;
  cv::cvtColor(source, gray, cv::COLOR_BGR2GRAY);
  if (source.depth() != CV_8U) {
    CV_Error(cv::Error::StsUnsupportedFormat, "separator source must be an 8-bit image");
  }
  return separator_window_blurs_from_gray(gray,
                                          separator_search_corridor(source.cols, source.rows));
}

}  // namespace native_ocr::zonescan
