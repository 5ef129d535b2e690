#include "native_ocr/segsense/structural_frame.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::segsense {
namespace {

int64_t run_length(const Run& run) {
  return run.end - run.start + 1;
}

// Runs of the row (or column) counts of a cell that reach a threshold of
// max(kStructuralMinPixels, largest * kStructuralProjectionRatio).
Runs active_runs(std::span<const double> projection) {
  double largest = 0.0;
  for (double v : projection) {
    largest = std::max(largest, v);
  }
  const double threshold =
      std::max(static_cast<double>(kStructuralMinPixels), largest * kStructuralProjectionRatio);
  return runs_at_least(projection, threshold);
}

std::vector<double> column_counts(const cv::Mat& cell, int64_t top, int64_t bottom) {
  std::vector<int> counts(static_cast<size_t>(cell.cols), 0);
  for (int64_t y = top; y <= bottom; ++y) {
    const uint8_t* row = cell.ptr<uint8_t>(static_cast<int>(y));
    for (int x = 0; x < cell.cols; ++x) {
      counts[static_cast<size_t>(x)] += row[x] != 0;
    }
  }
  return std::vector<double>(counts.begin(), counts.end());
}

double nominal_segment_length(const Runs& row_runs, int64_t top, int64_t bottom,
                              int64_t stroke_thickness) {
  std::vector<int64_t> lengths;
  for (const Run& run : row_runs) {
    lengths.push_back(run_length(run));
  }
  std::sort(lengths.begin(), lengths.end(), std::greater<>());
  if (lengths.size() >= 2) {
    return static_cast<double>(lengths[0] + lengths[1]) / 2.0;
  }
  if (lengths.size() == 1) {
    return static_cast<double>(lengths[0]);
  }
  return std::max(static_cast<double>(bottom - top + 1 - stroke_thickness) * 0.5, 1.0);
}

// The first (last) nonzero byte of a row that has one, eight bytes at a time.
int first_nonzero(const uint8_t* row, int n) {
  int i = 0;
  for (uint64_t word = 0; i + 8 <= n; i += 8) {
    std::memcpy(&word, row + i, 8);
    if (word != 0) {
      return i + std::countr_zero(word) / 8;  // little-endian: the lowest byte comes first
    }
  }
  while (row[i] == 0) {
    ++i;
  }
  return i;
}

int last_nonzero(const uint8_t* row, int n) {
  int end = n;
  for (uint64_t word = 0; end >= 8; end -= 8) {
    std::memcpy(&word, row + end - 8, 8);
    if (word != 0) {
      return end - 1 - std::countl_zero(word) / 8;
    }
  }
  while (row[end - 1] == 0) {
    --end;
  }
  return end - 1;
}

int64_t gap_limit(int64_t extent) {
  return std::max<int64_t>(1, round_to_int(static_cast<double>(extent) * kMarginalRunMinGapRatio));
}

}  // namespace

std::vector<double> row_counts(const cv::Mat& cell) {
  std::vector<double> counts(static_cast<size_t>(cell.rows));
  for (int y = 0; y < cell.rows; ++y) {
    const uint8_t* row = cell.ptr<uint8_t>(y);
    int count = 0;
    for (int x = 0; x < cell.cols; ++x) {
      count += row[x] != 0;
    }
    counts[static_cast<size_t>(y)] = count;
  }
  return counts;
}

std::optional<Box> tight_bounds(const cv::Mat& mask) {
  return tight_bounds(mask, row_counts(mask));
}

std::optional<Box> tight_bounds(const cv::Mat& mask, std::span<const double> counts) {
  int64_t x1 = mask.cols, y1 = -1, x2 = -1, y2 = -1;
  for (int y = 0; y < mask.rows; ++y) {
    if (counts[static_cast<size_t>(y)] == 0) {
      continue;  // only rows with ink are scanned, and only up to their first and last ink
    }
    const uint8_t* row = mask.ptr<uint8_t>(y);
    const int first = first_nonzero(row, mask.cols);
    const int last = last_nonzero(row, mask.cols);
    x1 = std::min<int64_t>(x1, first);
    x2 = std::max<int64_t>(x2, last);
    y1 = y1 < 0 ? y : y1;
    y2 = y;
  }
  if (y2 < 0) {
    return std::nullopt;
  }
  return Box{x1, y1, x2, y2};
}

Runs contiguous_runs(std::span<const int64_t> indices) {
  Runs runs;
  if (indices.empty()) {
    return runs;
  }
  int64_t start = indices[0];
  int64_t previous = start;
  for (size_t i = 1; i < indices.size(); ++i) {
    const int64_t v = indices[i];
    // v > previous + 1, written so that neither side can overflow.
    if (v > previous && static_cast<uint64_t>(v) - static_cast<uint64_t>(previous) > 1) {
      runs.push_back({start, previous});
      start = v;
    }
    previous = v;
  }
  runs.push_back({start, previous});
  return runs;
}

Runs runs_at_least(std::span<const double> projection, double threshold) {
  Runs runs;
  bool open = false;
  for (size_t i = 0; i < projection.size(); ++i) {
    const int64_t index = static_cast<int64_t>(i);
    if (projection[i] >= threshold) {
      if (open) {
        runs.back().end = index;
      } else {
        runs.push_back({index, index});
        open = true;
      }
    } else {
      open = false;
    }
  }
  return runs;
}

Runs remove_marginal_runs(Runs runs, double cell_height) {
  const double max_height = cell_height * kMarginalRunMaxHeightRatio;
  const double min_gap = cell_height * kMarginalRunMinGapRatio;
  // Lengths and gaps in doubles: the runs may come from a caller, with any values.
  auto span = [](int64_t from, int64_t to) {
    return static_cast<double>(to) - static_cast<double>(from);
  };
  while (runs.size() > 1) {
    const Run& first = runs[0];
    if (first.start != 0 || span(first.start, first.end) + 1.0 > max_height ||
        span(first.end, runs[1].start) - 1.0 < min_gap) {
      break;
    }
    runs.erase(runs.begin());
  }
  while (runs.size() > 1) {
    const Run& last = runs.back();
    if (static_cast<double>(last.end) != cell_height - 1.0 ||
        span(last.start, last.end) + 1.0 > max_height ||
        span(runs[runs.size() - 2].end, last.start) - 1.0 < min_gap) {
      break;
    }
    runs.pop_back();
  }
  return runs;
}

std::optional<Run> extend_from_core(std::span<const double> projection, const Runs& core_runs,
                                    double max_gap) {
  const Runs weak = runs_at_least(projection, static_cast<double>(kStructuralMinPixels));
  // Weak runs are disjoint, so "already linked" is a flag per weak run.
  std::vector<bool> linked(weak.size(), false);
  std::optional<Run> extent;
  for (size_t i = 0; i < weak.size(); ++i) {
    for (const Run& core : core_runs) {
      if (runs_overlap(weak[i], core)) {
        linked[i] = true;
        extent =
            extent ? Run{std::min(extent->start, weak[i].start), std::max(extent->end, weak[i].end)}
                   : weak[i];
        break;
      }
    }
  }
  if (!extent) {
    return std::nullopt;
  }
  auto within = [max_gap](int64_t gap) { return gap >= 0 && static_cast<double>(gap) <= max_gap; };
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t i = 0; i < weak.size(); ++i) {
      if (linked[i]) {
        continue;
      }
      const Run& run = weak[i];
      if (within(extent->start - run.end - 1) || within(run.start - extent->end - 1)) {
        linked[i] = true;
        extent->start = std::min(extent->start, run.start);
        extent->end = std::max(extent->end, run.end);
        changed = true;
      }
    }
  }
  return extent;
}

std::optional<BarCandidate> widest_bar_in_rows(const cv::Mat& cell, int64_t row_begin,
                                               int64_t row_end, double stroke_thickness,
                                               std::span<const double> counts) {
  const double min_width = 2.0 * std::max(1.0, stroke_thickness);
  std::optional<BarCandidate> best;
  for (int64_t y = row_begin; y < row_end; ++y) {
    if (!counts.empty() && counts[static_cast<size_t>(y)] < min_width) {
      continue;  // fewer ink pixels than the shortest bar
    }
    const uint8_t* row = cell.ptr<uint8_t>(static_cast<int>(y));
    // The widest run of the row; among equally wide runs the leftmost.
    BarCandidate widest;
    for (int x = 0; x < cell.cols;) {
      if (row[x] == 0) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < cell.cols && row[x] != 0) {
        ++x;
      }
      if (x - start > widest.width) {
        widest = {x - start, start, x - 1};
      }
    }
    if (widest.width > 0 && static_cast<double>(widest.width) >= min_width &&
        (!best || widest > *best)) {
      best = widest;
    }
  }
  return best;
}

std::optional<Run> horizontal_bar_extent(const cv::Mat& cell, int64_t top, int64_t bottom,
                                         double stroke_thickness) {
  auto bar = widest_bar_in_rows(cell, top, bottom + 1, stroke_thickness);
  if (!bar) {
    return std::nullopt;
  }
  return Run{bar->start, bar->end};
}

std::optional<Structure> structural_frame(const cv::Mat& cell) {
  return structural_frame(cell, row_counts(cell));
}

std::optional<Structure> structural_frame(const cv::Mat& cell, std::span<const double> rows) {
  const auto tight = tight_bounds(cell, rows);
  if (!tight) {
    return std::nullopt;
  }
  const auto [lx1, ly1, lx2, ly2] = *tight;
  const int64_t height = cell.rows;
  const int64_t width = cell.cols;
  Structure s;
  s.tight_box = *tight;

  const Runs row_runs = remove_marginal_runs(active_runs(rows), static_cast<double>(height));
  if (!row_runs.empty()) {
    s.vertical_core_top = row_runs.front().start;
    s.vertical_core_bottom = row_runs.back().end;
    const auto extended = extend_from_core(rows, row_runs, static_cast<double>(gap_limit(height)));
    s.top = extended ? extended->start : s.vertical_core_top;
    s.bottom = extended ? extended->end : s.vertical_core_bottom;
  } else {
    s.vertical_core_top = s.top = ly1;
    s.vertical_core_bottom = s.bottom = ly2;
  }

  const std::vector<double> columns = column_counts(cell, s.top, s.bottom);
  const Runs column_runs = active_runs(columns);
  s.left = column_runs.empty() ? lx1 : column_runs.front().start;
  s.right = column_runs.empty() ? lx2 : column_runs.back().end;
  const auto support =
      extend_from_core(columns, column_runs, static_cast<double>(gap_limit(width)));
  s.support_left = support ? support->start : s.left;
  s.support_right = support ? support->end : s.right;

  s.width_ratio =
      static_cast<double>(s.right - s.left + 1) / static_cast<double>(std::max<int64_t>(width, 1));
  const int64_t stroke = s.right - s.left + 1;
  s.nominal_segment_length = nominal_segment_length(row_runs, s.top, s.bottom, stroke);
  int64_t frame_width = round_to_int(s.nominal_segment_length + 2.0 * static_cast<double>(stroke));
  const auto bar = widest_bar_in_rows(cell, s.top, s.bottom + 1, static_cast<double>(stroke), rows);
  if (bar) {
    s.horizontal_bar_extent = Run{bar->start, bar->end};
  }
  if (s.horizontal_bar_extent) {
    frame_width = std::max(frame_width, run_length(*s.horizontal_bar_extent) + stroke);
  }
  frame_width = std::min(frame_width, width);
  s.nominal_frame_width = std::max(frame_width, stroke);
  return s;
}

}  // namespace native_ocr::segsense
