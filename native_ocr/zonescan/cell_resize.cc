#include "native_ocr/zonescan/cell_resize.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// Floats in one register (GCC and Clang vector extensions): four in SSE2, NEON and every x86-64,
// eight in AVX. Each lane's products and sums are the scalar ones (no fused multiply-add).
using Float4 = float __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));
// Source rows summed together, each tap's weight applied to all of them at once: two sums of eight
// (four of four) in flight per tap; sixteen took a cell of 87x122 in 5.8 us of CPU against 6.3 for
// eight (bench/learned/learned_core_bench, BM_ResizeCell).
constexpr int kRows = 16;
// The share of a source pixel below which OpenCV leaves a partly covered edge pixel out of a
// window (its computeResizeAreaTab).
constexpr double kEdgeShare = 1e-3;

// One source pixel's part in a destination pixel along an axis.
struct Tap {
  int to = 0;
  int from = 0;
  float weight = 0.0f;
};

// The taps of `source` pixels averaged into `destination` pixels `scale` source pixels wide, in
// OpenCV's order: destination by destination, each window's pixels left to right, weighted by
// the share of them the window covers over the window's width.
std::vector<Tap> area_taps(int source, int destination, double scale) {
  std::vector<Tap> taps;
  taps.reserve(static_cast<size_t>(source + destination));
  for (int d = 0; d < destination; ++d) {
    const double begin = d * scale, end = begin + scale;
    const double width = std::min(scale, source - begin);
    int first = static_cast<int>(std::ceil(begin));
    const int last = std::min(static_cast<int>(std::floor(end)), source - 1);
    first = std::min(first, last);
    if (first - begin > kEdgeShare) {
      taps.push_back({d, first - 1, static_cast<float>((first - begin) / width)});
    }
    for (int s = first; s < last; ++s) {
      taps.push_back({d, s, static_cast<float>(1.0 / width)});
    }
    if (end - last > kEdgeShare) {
      taps.push_back(
          {d, last, static_cast<float>(std::min(std::min(end - last, 1.0), width) / width)});
    }
  }
  return taps;
}

// Whether cv::resize with INTER_AREA averages windows of a non-integral size for these sizes:
// it shrinks both ways, and not by whole factors both ways (that is its faster path).
bool averages_windows(const cv::Size& source, const cv::Size& destination) {
  const double scale_x = 1.0 / (static_cast<double>(destination.width) / source.width);
  const double scale_y = 1.0 / (static_cast<double>(destination.height) / source.height);
  if (!(scale_x >= 1.0 && scale_y >= 1.0)) {
    return false;
  }
  const bool whole = std::abs(scale_x - cv::saturate_cast<int>(scale_x)) < DBL_EPSILON &&
                     std::abs(scale_y - cv::saturate_cast<int>(scale_y)) < DBL_EPSILON;
  return !whole;
}

// The horizontal sums of source rows [top, top + rows) (rows <= kRows) of `cell`: `across`
// receives each row's sum for every destination column, row after row. The rows' values are
// laid out column by column, kRows to a column, so that each tap weighs all of them at once in
// vectors V. Inlined into its caller, whose target decides the instructions.
template <typename V>
[[gnu::always_inline]] inline void row_sums_in(const cv::Mat& cell,
                                               const std::array<float, 256>& table,
                                               std::span<const Tap> taps,
                                               std::span<const int> first_tap, int top, int rows,
                                               float* columns, float* across) {
  constexpr int kVectors = kRows / static_cast<int>(sizeof(V) / sizeof(float));
  const int width = cell.cols;
  std::array<const uint8_t*, kRows> in;
  for (int r = 0; r < kRows; ++r) {
    // Rows past the last repeat it; their sums are not kept.
    in[static_cast<size_t>(r)] = cell.ptr<uint8_t>(top + std::min(r, rows - 1));
  }
  for (int c = 0; c < width; ++c) {
    float* out = columns + static_cast<ptrdiff_t>(c) * kRows;
    for (int r = 0; r < kRows; ++r) {
      out[r] = table[in[static_cast<size_t>(r)][c]];
    }
  }
  const int destination = static_cast<int>(first_tap.size()) - 1;
  for (int d = 0; d < destination; ++d) {
    V sum[kVectors] = {};
    for (int k = first_tap[static_cast<size_t>(d)]; k < first_tap[static_cast<size_t>(d) + 1];
         ++k) {
      const Tap& t = taps[static_cast<size_t>(k)];
      const float* column = columns + static_cast<ptrdiff_t>(t.from) * kRows;
      for (int j = 0; j < kVectors; ++j) {
        V value;
        std::memcpy(&value, column + j * (kRows / kVectors), sizeof value);
        sum[j] += value * t.weight;
      }
    }
    float sums[kRows];
    std::memcpy(sums, sum, sizeof sums);
    for (int r = 0; r < rows; ++r) {
      across[static_cast<ptrdiff_t>(r) * destination + d] = sums[r];
    }
  }
}

void row_sums_narrow(const cv::Mat& cell, const std::array<float, 256>& table,
                     std::span<const Tap> taps, std::span<const int> first_tap, int top, int rows,
                     float* columns, float* across) {
  row_sums_in<Float4>(cell, table, taps, first_tap, top, rows, columns, across);
}

#if defined(__x86_64__) && defined(__GNUC__)
// Eight lanes at a time where the processor has AVX2 (the target names AVX2 only: no FMA).
[[gnu::target("avx2")]] void row_sums_wide(const cv::Mat& cell, const std::array<float, 256>& table,
                                           std::span<const Tap> taps,
                                           std::span<const int> first_tap, int top, int rows,
                                           float* columns, float* across) {
  row_sums_in<Float8>(cell, table, taps, first_tap, top, rows, columns, across);
}

void row_sums(const cv::Mat& cell, const std::array<float, 256>& table, std::span<const Tap> taps,
              std::span<const int> first_tap, int top, int rows, float* columns, float* across) {
  static const bool wide = __builtin_cpu_supports("avx2");
  (wide ? row_sums_wide : row_sums_narrow)(cell, table, taps, first_tap, top, rows, columns,
                                           across);
}
#else
void row_sums(const cv::Mat& cell, const std::array<float, 256>& table, std::span<const Tap> taps,
              std::span<const int> first_tap, int top, int rows, float* columns, float* across) {
  row_sums_narrow(cell, table, taps, first_tap, top, rows, columns, across);
}
#endif

// The index of each destination pixel's first tap, and one past the last tap.
std::vector<int> first_taps(std::span<const Tap> taps, int destination) {
  std::vector<int> first(static_cast<size_t>(destination) + 1);
  size_t k = 0;
  for (int d = 0; d <= destination; ++d) {
    while (k < taps.size() && taps[k].to < d) {
      ++k;
    }
    first[static_cast<size_t>(d)] = static_cast<int>(k);
  }
  return first;
}

// The taps of one cell size resized to one destination size, and scratch rows.
struct Plan {
  cv::Size size, destination;
  std::vector<Tap> across, down;
  std::vector<int> first;
  std::vector<float> columns, sums;
};

// The area resize of `cell` (8-bit, through `table`) into `out` where averages_windows holds:
// OpenCV's sums, each destination pixel's in its order (the horizontal sum of every source row
// it covers, then the rows' sums weighted top to bottom).
void average_windows(const cv::Mat& cell, const std::array<float, 256>& table, cv::Mat& out) {
  const int width = out.cols;
  // The taps of the last sizes seen on this thread (a layout's cells are mostly of one size) and
  // the working rows, kept between cells.
  thread_local Plan plan;
  if (plan.size != cell.size() || plan.destination != out.size()) {
    plan.across = area_taps(cell.cols, width, 1.0 / (static_cast<double>(width) / cell.cols));
    plan.down = area_taps(cell.rows, out.rows, 1.0 / (static_cast<double>(out.rows) / cell.rows));
    plan.first = first_taps(plan.across, width);
    plan.size = cell.size();
    plan.destination = out.size();
  }
  const std::vector<Tap>& across = plan.across;
  const std::vector<Tap>& down = plan.down;
  const std::vector<int>& first = plan.first;
  std::vector<float>& columns = plan.columns;
  std::vector<float>& sums = plan.sums;
  columns.resize(static_cast<size_t>(cell.cols) * kRows);
  sums.resize(static_cast<size_t>(cell.rows) * static_cast<size_t>(width));
  for (int top = 0; top < cell.rows; top += kRows) {
    row_sums(cell, table, across, first, top, std::min(kRows, cell.rows - top), columns.data(),
             sums.data() + static_cast<ptrdiff_t>(top) * width);
  }
  std::vector<float> column(static_cast<size_t>(width), 0.0f);
  int row = down.front().to;
  for (const Tap& t : down) {
    const float* in = sums.data() + static_cast<ptrdiff_t>(t.from) * width;
    if (t.to != row) {
      float* done = out.ptr<float>(row);
      for (int c = 0; c < width; ++c) {
        done[c] = column[static_cast<size_t>(c)];
        column[static_cast<size_t>(c)] = t.weight * in[c];
      }
      row = t.to;
    } else {
      for (int c = 0; c < width; ++c) {
        column[static_cast<size_t>(c)] += t.weight * in[c];
      }
    }
  }
  std::copy(column.begin(), column.end(), out.ptr<float>(row));
}

}  // namespace

void resize_cell(const cv::Mat& grey, const Box& box, const std::array<float, 256>& table,
                 cv::Mat& out) {
  const cv::Rect rect(static_cast<int>(box[0]), static_cast<int>(box[1]),
                      static_cast<int>(box[2] - box[0] + 1), static_cast<int>(box[3] - box[1] + 1));
  const cv::Mat cell = grey(rect);
  if (averages_windows(cell.size(), out.size())) {
    average_windows(cell, table, out);
    return;
  }
  cv::Mat values(cell.size(), CV_32FC1);
  for (int r = 0; r < cell.rows; ++r) {
    const uint8_t* in = cell.ptr<uint8_t>(r);
    float* to = values.ptr<float>(r);
    for (int c = 0; c < cell.cols; ++c) {
      to[c] = table[in[c]];
    }
  }
  cv::resize(values, out, out.size(), 0, 0, cv::INTER_AREA);
}

}  // namespace native_ocr::zonescan
