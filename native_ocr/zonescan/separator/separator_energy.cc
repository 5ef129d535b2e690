#include "native_ocr/zonescan/separator/separator_energy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include <opencv2/imgproc.hpp>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/zonescan/separator/separator_mask.h"

namespace native_ocr::zonescan {
namespace {

double clip01(double v) {
  return py_clamp(v, 0.0, 1.0);
}

// The smaller divided by the larger of two non-negative measures (0.0 when both are 0).
double ratio(double a, double b) {
  const double larger = std::max(a, b);
  return larger > 0.0 ? std::min(a, b) / larger : 0.0;
}

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

// Row sums of a single-precision map, accumulated in double.
std::vector<double> row_sums(const cv::Mat& map) {
  std::vector<double> sums(static_cast<size_t>(map.rows), 0.0);
  for (int y = 0; y < map.rows; ++y) {
    sums[static_cast<size_t>(y)] = row_sum(map, y);
  }
  return sums;
}

// Sum of rows first .. last of a map, row by row.
double band_sum(const cv::Mat& map, int64_t first, int64_t last) {
  double total = 0.0;
  for (int64_t y = first; y <= last; ++y) {
    total += row_sum(map, static_cast<int>(y));
  }
  return total;
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

struct MapSums {
  std::vector<double> combined_rows;
  const cv::Mat* gray_energy;  // summed only over the bands that become groups
  const cv::Mat* binary;
  double total_energy = 0.0;
};

// The group of rows [top, bottom], or nothing when the band is too weak.
std::optional<SeparatorGroup> measure_band(const cv::Mat& combined, const MapSums& sums, Run run) {
  const int64_t h = combined.rows;
  const int64_t w = combined.cols;
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
    const float* row = combined.ptr<float>(static_cast<int>(y));
    for (int64_t x = 0; x < w; ++x) {
      columns[static_cast<size_t>(x)] += row[x];
    }
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
  g.gray_energy = band_sum(*sums.gray_energy, top, last_row);
  g.binary_energy = band_sum(*sums.binary, top, last_row);
  g.energy_fraction = fraction;
  g.x_normalized = g.center_x / py_max(static_cast<double>(w), 1.0);
  g.y_normalized = g.center_y / py_max(static_cast<double>(h), 1.0);
  const double reliability_scale =
      py_max(0.01 * static_cast<double>(h) * static_cast<double>(w), 1.0);
  g.reliability = py_min(energy / reliability_scale, 1.0);
  return g;
}

std::vector<double> energy_profile(const MapSums& sums) {
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

// One upper/lower pair scored as a colon.
ColonCandidate score_colon_pair(const std::vector<SeparatorGroup>& groups, size_t u, size_t l,
                                double corridor_width, double corridor_height) {
  const SeparatorGroup& upper = groups[u];
  const SeparatorGroup& lower = groups[l];
  ColonCandidate c;
  c.upper = u;
  c.lower = l;
  const double presence = std::sqrt(upper.reliability * lower.reliability);
  const double dx = std::fabs(upper.center_x - lower.center_x);
  const double spread = dx / py_max(corridor_width * 0.2, 1.0);
  c.alignment = std::exp(-0.5 * (spread * spread));
  c.similarity =
      std::pow(ratio(upper.energy, lower.energy) * ratio(upper.width, lower.width) *
                   ratio(static_cast<double>(upper.height), static_cast<double>(lower.height)),
               0.3333333333333333);
  const double separation_ratio = (lower.center_y - upper.center_y) / py_max(corridor_height, 1.0);
  c.separation = clip01((separation_ratio - 0.12) / 0.18) * clip01((0.8 - separation_ratio) / 0.2);
  c.topology = 0.5 * clip01((0.6 - upper.y_normalized) / 0.2) +
               0.5 * clip01((lower.y_normalized - 0.4) / 0.2);
  const double pair_x = (upper.center_x + lower.center_x) / 2.0;
  c.centrality = 1.0 - py_min(std::fabs(pair_x / py_max(corridor_width, 1.0) - 0.5) / 0.5, 1.0);
  c.score = (presence * c.alignment) *
            ((((0.2 * c.similarity + 0.25) + 0.25 * c.separation) + 0.15 * c.topology) +
             0.15 * c.centrality);
  return c;
}

}  // namespace

EnergyMaps separator_energy_from_planes(const cv::Mat& gray, const cv::Mat& value,
                                        const cv::Mat& blurred_gray) {
  std::array<uint32_t, 256> hist{};
  const cv::Mat mask = separator_mask_from_planes(gray, value, blurred_gray, &hist);
  const uint64_t total = static_cast<uint64_t>(gray.rows) * static_cast<uint64_t>(gray.cols);
  const double background = percentile_from_histogram(hist.data(), total, 55.0);
  const double highlight = percentile_from_histogram(hist.data(), total, 99.0);
  // The map is computed in single precision like the float32 arrays it mirrors; with 8-bit grey
  // there are only 256 distinct energies.
  const float offset = static_cast<float>(background);
  const float scale = static_cast<float>(py_max(highlight - background, 1.0));
  std::array<float, 256> energy_of{};
  for (int v = 0; v < 256; ++v) {
    if (hist[static_cast<size_t>(v)] == 0) {
      continue;  // not in the window
    }
    float t = (static_cast<float>(v) - offset) / scale;
    t = std::min(std::max(t, 0.0f), 1.0f);
    energy_of[static_cast<size_t>(v)] = t == 0.0f || t == 1.0f ? t : std::pow(t, 1.5f);
  }
  EnergyMaps maps{cv::Mat(gray.size(), CV_32FC1), cv::Mat(gray.size(), CV_32FC1),
                  cv::Mat(gray.size(), CV_32FC1)};
  for (int y = 0; y < gray.rows; ++y) {
    const uint8_t* g = gray.ptr<uint8_t>(y);
    const uint8_t* m = mask.ptr<uint8_t>(y);
    float* b = maps.binary.ptr<float>(y);
    float* e = maps.gray_energy.ptr<float>(y);
    float* c = maps.combined.ptr<float>(y);
    for (int x = 0; x < gray.cols; ++x) {
      b[x] = m[x] > 0 ? 1.0f : 0.0f;
      e[x] = energy_of[g[x]];
      c[x] = 0.5f * b[x] + 0.5f * e[x];
    }
  }
  return maps;
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
  const int64_t h = combined.rows;
  if (h == 0) {
    return {};
  }
  MapSums sums{row_sums(combined), &gray_energy, &binary, 0.0};
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
    if (std::optional<SeparatorGroup> group = measure_band(combined, sums, run)) {
      result.groups.push_back(*group);
    }
  }
  result.energy_profile = energy_profile(sums);
  return result;
}

SeparatorTopology separator_topology(const std::vector<SeparatorGroup>& groups,
                                     double corridor_width, double corridor_height) {
  std::vector<size_t> upper_groups;
  std::vector<size_t> lower_groups;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (groups[i].y_normalized < 0.55) {
      upper_groups.push_back(i);
    }
    if (groups[i].y_normalized > 0.45) {
      lower_groups.push_back(i);
    }
  }
  SeparatorTopology result;
  for (size_t u : upper_groups) {
    for (size_t l : lower_groups) {
      if (groups[l].center_y <= groups[u].center_y) {
        continue;
      }
      const ColonCandidate c = score_colon_pair(groups, u, l, corridor_width, corridor_height);
      if (!result.colon || c.score > result.colon->score) {
        result.colon = c;
      }
    }
  }
  double upper_reliability = 0.0;
  for (size_t i = 0; i < upper_groups.size(); ++i) {
    const double r = groups[upper_groups[i]].reliability;
    upper_reliability = i == 0 ? r : py_max(upper_reliability, r);
  }
  for (size_t l : lower_groups) {
    const SeparatorGroup& lower = groups[l];
    const double lower_position = clip01((lower.y_normalized - 0.5) / 0.25);
    const double score =
        lower.reliability * ((0.25 * lower_position + 0.35) + 0.4 * (1.0 - upper_reliability));
    if (!result.decimal || score > result.decimal->score) {
      result.decimal = DecimalCandidate{score, l};
    }
  }
  result.colon_score = result.colon ? result.colon->score : 0.0;
  result.decimal_score = result.decimal ? result.decimal->score : 0.0;
  return result;
}

}  // namespace native_ocr::zonescan
