#include "native_ocr/zonescan/separator/separator_energy.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <span>

#include <opencv2/imgproc.hpp>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/zonescan/separator/separator_mask.h"

namespace native_ocr::zonescan {
namespace {

void require_float_map(const cv::Mat& map, const cv::Size& size) {
  if (map.type() != CV_32FC1 || map.size() != size) {
    CV_Error(cv::Error::StsUnmatchedSizes,
             "energy maps must be single-precision single-channel images of one size");
  }
}

double row_sum(const cv::Mat& map, int y) {
  const float* row = map.ptr<float>(y);
  double sum = 0.0;
  for (int x = 0; x < map.cols; ++x) {
    sum += row[x];
  }
  return sum;
}

double sum_range(const std::vector<double>& sums, int64_t first, int64_t last) {
  double total = 0.0;
  for (int64_t i = first; i <= last; ++i) {
    total += sums[static_cast<size_t>(i)];
  }
  return total;
}

// Centred moving average of the row projection with the floor (10th percentile) removed.
std::vector<double> smoothed_projection(const std::vector<double>& combined_rows) {
  const int64_t h = static_cast<int64_t>(combined_rows.size());
  int64_t smooth_size = std::max<int64_t>(round_to_int(static_cast<double>(h) * 0.04), 3);
  if (smooth_size % 2 == 0) {
    ++smooth_size;
  }
  std::vector<double> projection(combined_rows.size());
  for (size_t i = 0; i < projection.size(); ++i) {
    projection[i] = static_cast<float>(combined_rows[i]);
  }
  const double tap = static_cast<float>(1.0 / static_cast<double>(smooth_size));
  const std::vector<double> kernel(static_cast<size_t>(smooth_size), tap);
  std::vector<double> smooth = convolve_same(projection, kernel);
  std::vector<double> scratch = smooth;
  const double floor = percentile(scratch, 10.0);
  for (double& v : smooth) {
    v = py_max(0.0, v - floor);
  }
  return smooth;
}

// Active rows merged across gaps of at most `max_gap` blank rows.
std::vector<Run> merged_active_runs(const std::vector<double>& smooth, double peak, int64_t h) {
  std::unique_ptr<bool[]> active(new bool[smooth.size()]);
  for (size_t i = 0; i < smooth.size(); ++i) {
    active[i] = smooth[i] >= peak * 0.18;
  }
  const int64_t max_gap = std::max<int64_t>(round_to_int(static_cast<double>(h) * 0.035), 1);
  std::vector<Run> merged;
  for (const Run& run : separator_runs(std::span<const bool>(active.get(), smooth.size()))) {
    if (!merged.empty() && run.start - merged.back().end - 1 <= max_gap) {
      merged.back().end = run.end;
    } else {
      merged.push_back(run);
    }
  }
  return merged;
}

// Smallest column at which the running column weight reaches quantile x total: the weighted
// quantile of the column indices of every band element (equal columns are interchangeable).
double column_quantile(const std::vector<double>& column_weights, double total, double quantile) {
  const double target = quantile * total;
  double running = 0.0;
  for (size_t x = 0; x < column_weights.size(); ++x) {
    running += column_weights[x];
    if (running >= target) {
      return static_cast<double>(x);
    }
  }
  return static_cast<double>(column_weights.size()) - 1.0;
}

// The rows of the three maps as a separator window's groups read them: from the maps themselves,
// or (EnergyRows) derived from a window's mask and grey plane as they are read.
class MapRows {
 public:
  MapRows(const cv::Mat& binary, const cv::Mat& gray_energy, const cv::Mat& combined)
      : binary_(binary), gray_energy_(gray_energy), combined_(combined) {}
  int rows() const { return combined_.rows; }
  int cols() const { return combined_.cols; }
  double combined_sum(int y) const { return row_sum(combined_, y); }
  double gray_energy_sum(int y) const { return row_sum(gray_energy_, y); }
  double binary_sum(int y) const { return row_sum(binary_, y); }
  // columns[x] += the combined map's pixel (y, x), for every x.
  void add_combined_row(int y, std::vector<double>& columns) const {
    const float* row = combined_.ptr<float>(y);
    for (size_t x = 0; x < columns.size(); ++x) {
      columns[x] += row[x];
    }
  }

 private:
  const cv::Mat& binary_;
  const cv::Mat& gray_energy_;
  const cv::Mat& combined_;
};

// Whether every sum of at most `count` of these non-negative floats is exact in double, in any
// order: each value is an integer multiple of the smallest unit q among their last mantissa bits,
// so every partial sum is a multiple of q below count x the largest value; below 2^53 q it is
// represented exactly and no addition rounds.
bool sums_exact_in_any_order(std::span<const float> values, int64_t count) {
  int lowest = std::numeric_limits<int>::max();
  float largest = 0.0f;
  for (float v : values) {
    if (!(v >= 0.0f) || std::isinf(v)) {
      return false;
    }
    if (v > 0.0f) {
      // A float is its 24-bit significand times 2^(biased exponent - 150) (subnormals: 2^-149).
      const int biased = static_cast<int>((std::bit_cast<uint32_t>(v) >> 23) & 0xffu);
      lowest = std::min(lowest, std::max(biased, 1) - 150);
      largest = std::max(largest, v);
    }
  }
  if (largest == 0.0f) {
    return true;
  }
  return static_cast<double>(count) * static_cast<double>(largest) < std::ldexp(1.0, 53 + lowest);
}

class EnergyRows {
 public:
  // Row width from which rows are summed four columns at a time (where that is exact): below it
  // the 768-value check costs more than the in-order sums of the window's rows.
  static constexpr int kUnorderedSumColumns = 64;

  explicit EnergyRows(const WindowEnergy& e) : e_(e) {
    for (size_t v = 0; v < 256; ++v) {
      // As the combined map has it: 0.5 x binary + 0.5 x grey energy, in single precision. Dark
      // pixels take the first 256 entries, lit ones the next.
      const float energy = e.energy_of[v];
      combined_[v] = 0.5f * 0.0f + 0.5f * energy;
      combined_[256 + v] = 0.5f * 1.0f + 0.5f * energy;
      wide_[v] = combined_[v];
      wide_[256 + v] = combined_[256 + v];
      wide_energy_[v] = energy;
    }
    // Narrow rows are summed in order: the check would cost more than it saves.
    if (e.gray.cols >= kUnorderedSumColumns) {
      combined_exact_ = sums_exact_in_any_order(combined_, e.gray.cols);
      energy_exact_ = sums_exact_in_any_order(e.energy_of, e.gray.cols);
    }
  }
  int rows() const { return e_.gray.rows; }
  int cols() const { return e_.gray.cols; }

  double combined_sum(int y) const {
    const uint8_t* g = e_.gray.ptr<uint8_t>(y);
    const uint8_t* m = e_.mask.ptr<uint8_t>(y);
    if (!combined_exact_) {
      double sum = 0.0;
      for (int x = 0; x < cols(); ++x) {
        sum += combined_[index(g[x], m[x])];
      }
      return sum;
    }
    return table_sum([&](int x) { return wide_[index(g[x], m[x])]; });
  }
  double gray_energy_sum(int y) const {
    const uint8_t* g = e_.gray.ptr<uint8_t>(y);
    if (!energy_exact_) {
      double sum = 0.0;
      for (int x = 0; x < cols(); ++x) {
        sum += e_.energy_of[g[x]];
      }
      return sum;
    }
    return table_sum([&](int x) { return wide_energy_[g[x]]; });
  }
  // A sum of ones and zeros: the count of lit pixels, exact.
  double binary_sum(int y) const {
    const uint8_t* m = e_.mask.ptr<uint8_t>(y);
    int64_t lit = 0;
    for (int x = 0; x < cols(); ++x) {
      lit += static_cast<int64_t>(m[x] != 0);
    }
    return static_cast<double>(lit);
  }
  void add_combined_row(int y, std::vector<double>& columns) const {
    const uint8_t* g = e_.gray.ptr<uint8_t>(y);
    const uint8_t* m = e_.mask.ptr<uint8_t>(y);
    for (size_t x = 0; x < columns.size(); ++x) {
      columns[x] += wide_[index(g[x], m[x])];  // a float widened: the same value
    }
  }

 private:
  static size_t index(uint8_t level, uint8_t mask) {
    return static_cast<size_t>(level) | (static_cast<size_t>(mask != 0) << 8);
  }
  // Four running sums: allowed only where every order gives the same sum (checked above).
  template <typename Value>
  double table_sum(Value value) const {
    double s0 = 0.0;
    double s1 = 0.0;
    double s2 = 0.0;
    double s3 = 0.0;
    const int n = cols();
    int x = 0;
    for (; x + 4 <= n; x += 4) {
      s0 += value(x);
      s1 += value(x + 1);
      s2 += value(x + 2);
      s3 += value(x + 3);
    }
    for (; x < n; ++x) {
      s0 += value(x);
    }
    return (s0 + s1) + (s2 + s3);
  }

  const WindowEnergy& e_;
  std::array<float, 512> combined_{};
  std::array<double, 512> wide_{};  // the same values in double, for the sums
  std::array<double, 256> wide_energy_{};
  bool combined_exact_ = false;
  bool energy_exact_ = false;
};

template <typename Rows>
double band_sum(const Rows& rows, int64_t first, int64_t last, double (Rows::*sum)(int) const) {
  double total = 0.0;
  for (int64_t y = first; y <= last; ++y) {
    total += (rows.*sum)(static_cast<int>(y));
  }
  return total;
}

struct RowTotals {
  std::vector<double> combined_rows;
  double total_energy = 0.0;
};

// The group of rows [top, bottom], or nothing when the band is too weak.
template <typename Rows>
std::optional<SeparatorGroup> measure_band(const Rows& rows, const RowTotals& sums, Run run) {
  const int64_t h = rows.rows();
  const int64_t w = rows.cols();
  const int64_t top = run.start;
  const int64_t bottom = run.end;
  const int64_t last_row = std::min(bottom, h - 1);
  const double energy = top <= last_row ? sum_range(sums.combined_rows, top, last_row) : 0.0;
  const double fraction = energy / py_max(sums.total_energy, 1.0);
  if (!(energy > 0.0) || fraction < 0.03) {
    return std::nullopt;
  }
  std::vector<double> columns(static_cast<size_t>(w), 0.0);
  double weighted_y = 0.0;
  for (int64_t y = top; y <= last_row; ++y) {
    rows.add_combined_row(static_cast<int>(y), columns);
    weighted_y += static_cast<double>(y) * sums.combined_rows[static_cast<size_t>(y)];
  }
  double weighted_x = 0.0;
  double column_total = 0.0;
  for (int64_t x = 0; x < w; ++x) {
    weighted_x += static_cast<double>(x) * columns[static_cast<size_t>(x)];
    column_total += columns[static_cast<size_t>(x)];
  }
  SeparatorGroup g;
  g.y_min = top;
  g.y_max = bottom;
  g.center_x = weighted_x / energy;
  g.center_y = weighted_y / energy;
  const double useful_left = column_quantile(columns, column_total, 0.05);
  const double useful_right = column_quantile(columns, column_total, 0.95);
  g.width = useful_right - useful_left + 1.0;
  g.height = bottom - top + 1;
  g.energy = energy;
  g.gray_energy = band_sum(rows, top, last_row, &Rows::gray_energy_sum);
  g.binary_energy = band_sum(rows, top, last_row, &Rows::binary_sum);
  g.energy_fraction = fraction;
  g.x_normalized = g.center_x / py_max(static_cast<double>(w), 1.0);
  g.y_normalized = g.center_y / py_max(static_cast<double>(h), 1.0);
  const double reliability_scale =
      py_max(0.01 * static_cast<double>(h) * static_cast<double>(w), 1.0);
  g.reliability = py_min(energy / reliability_scale, 1.0);
  return g;
}

std::vector<double> energy_profile(const RowTotals& sums) {
  const int64_t h = static_cast<int64_t>(sums.combined_rows.size());
  std::vector<double> profile;
  for (int64_t index = 0; index < 6; ++index) {
    const int64_t start = (index * h) / 6;
    const int64_t end = ((index + 1) * h) / 6;
    const double share =
        sum_range(sums.combined_rows, start, end - 1) / py_max(sums.total_energy, 1.0);
    profile.push_back(python_round(share, 4));
  }
  return profile;
}

template <typename Rows>
SeparatorGroups groups_of(const Rows& rows) {
  const int64_t h = rows.rows();
  if (h == 0) {
    return {};
  }
  RowTotals sums;
  sums.combined_rows.resize(static_cast<size_t>(h));
  for (int y = 0; y < rows.rows(); ++y) {
    sums.combined_rows[static_cast<size_t>(y)] = rows.combined_sum(y);
  }
  const std::vector<double> smooth = smoothed_projection(sums.combined_rows);
  double peak = 0.0;
  for (double v : smooth) {
    peak = std::max(peak, v);
  }
  if (!(peak > 0.0)) {
    return {};
  }
  sums.total_energy = sum_range(sums.combined_rows, 0, h - 1);
  SeparatorGroups result;
  for (const Run& run : merged_active_runs(smooth, peak, h)) {
    const int64_t height = run.end - run.start + 1;
    const bool touches_edge = run.start == 0 || run.end == h - 1;
    if (touches_edge && static_cast<double>(height) <= static_cast<double>(h) * 0.08) {
      continue;
    }
    if (std::optional<SeparatorGroup> group = measure_band(rows, sums, run)) {
      result.groups.push_back(*group);
    }
  }
  result.energy_profile = energy_profile(sums);
  return result;
}

}  // namespace

WindowEnergy separator_window_energy(const cv::Mat& gray, const cv::Mat& value,
                                     const cv::Mat& blurred_gray, const MaskHistograms* histograms,
                                     MaskScratch* scratch) {
  WindowEnergy e;
  std::array<uint32_t, 256> counted{};
  if (histograms != nullptr) {
    e.mask = separator_mask_from_histograms(gray, value, blurred_gray, *histograms, scratch);
  } else {
    e.mask = separator_mask_from_planes(gray, value, blurred_gray, &counted);
  }
  const std::array<uint32_t, 256>& hist = histograms != nullptr ? histograms->gray : counted;
  e.gray = gray;
  const uint64_t total = static_cast<uint64_t>(gray.rows) * static_cast<uint64_t>(gray.cols);
  const double background = percentile_from_histogram(hist.data(), total, 55.0);
  const double highlight = percentile_from_histogram(hist.data(), total, 99.0);
  // The map is computed in single precision like the float32 arrays it mirrors; with 8-bit grey
  // there are only 256 distinct energies.
  const float offset = static_cast<float>(background);
  const float scale = static_cast<float>(py_max(highlight - background, 1.0));
  for (int v = 0; v < 256; ++v) {
    if (hist[static_cast<size_t>(v)] == 0) {
      continue;  // not in the window
    }
    float t = (static_cast<float>(v) - offset) / scale;
    t = std::min(std::max(t, 0.0f), 1.0f);
    e.energy_of[static_cast<size_t>(v)] = t == 0.0f || t == 1.0f ? t : std::pow(t, 1.5f);
  }
  return e;
}

EnergyMaps separator_energy_maps(const WindowEnergy& energy) {
  const cv::Mat& gray = energy.gray;
  EnergyMaps maps{cv::Mat(gray.size(), CV_32FC1), cv::Mat(gray.size(), CV_32FC1),
                  cv::Mat(gray.size(), CV_32FC1)};
  for (int y = 0; y < gray.rows; ++y) {
    const uint8_t* g = gray.ptr<uint8_t>(y);
    const uint8_t* m = energy.mask.ptr<uint8_t>(y);
    float* b = maps.binary.ptr<float>(y);
    float* e = maps.gray_energy.ptr<float>(y);
    float* c = maps.combined.ptr<float>(y);
    for (int x = 0; x < gray.cols; ++x) {
      b[x] = m[x] > 0 ? 1.0f : 0.0f;
      e[x] = energy.energy_of[g[x]];
      c[x] = 0.5f * b[x] + 0.5f * e[x];
    }
  }
  return maps;
}

EnergyMaps separator_energy_from_planes(const cv::Mat& gray, const cv::Mat& value,
                                        const cv::Mat& blurred_gray) {
  return separator_energy_maps(separator_window_energy(gray, value, blurred_gray));
}

EnergyMaps separator_energy_map(const cv::Mat& corridor, const cv::Mat& blurred_gray) {
  const WindowPlanes planes = separator_planes(corridor);
  cv::Mat blurred = blurred_gray;
  if (blurred.empty()) {
    cv::GaussianBlur(planes.gray, blurred, cv::Size(0, 0), kSeparatorBlurSigma);
  }
  return separator_energy_from_planes(planes.gray, planes.value, blurred);
}

SeparatorGroups separator_groups(const cv::Mat& binary, const cv::Mat& gray_energy,
                                 const cv::Mat& combined) {
  const cv::Size size = combined.size();
  require_float_map(combined, size);
  require_float_map(gray_energy, size);
  require_float_map(binary, size);
  return groups_of(MapRows(binary, gray_energy, combined));
}

SeparatorGroups separator_groups(const WindowEnergy& energy) {
  return groups_of(EnergyRows(energy));
}

}  // namespace native_ocr::zonescan
