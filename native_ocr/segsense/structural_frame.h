// The structure of a digit cell: the rows and columns that carry its strokes, found from row and
// column ink projections, with thin marks at the cell's top and bottom edges dropped, plus the
// stroke thickness, nominal segment length, nominal digit width and widest horizontal bar.
// All positions are cell-local (row 0, column 0 = the cell's top-left pixel).
#ifndef NATIVE_OCR_SEGSENSE_STRUCTURAL_FRAME_H_
#define NATIVE_OCR_SEGSENSE_STRUCTURAL_FRAME_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "native_ocr/numerics/inclusive.h"

namespace native_ocr::segsense {

// A row or column is active when its count reaches this fraction of the largest count.
inline constexpr double kStructuralProjectionRatio = 0.2;
// The active threshold is never below this count; also the threshold of weak runs.
inline constexpr int64_t kStructuralMinPixels = 2;
// A marginal row run is at most this fraction of the cell height tall.
inline constexpr double kMarginalRunMaxHeightRatio = 0.1;
// A marginal run is separated from its neighbour by at least this fraction of the height in blank
// rows; also scales the extension gap.
inline constexpr double kMarginalRunMinGapRatio = 0.03;

struct Structure {
  Box tight_box{};
  int64_t vertical_core_top = 0;
  int64_t vertical_core_bottom = 0;
  int64_t top = 0;  // also the vertical extended top
  int64_t bottom = 0;
  int64_t left = 0;
  int64_t right = 0;
  int64_t support_left = 0;
  int64_t support_right = 0;
  double width_ratio = 0.0;
  double nominal_segment_length = 0.0;
  int64_t nominal_frame_width = 0;
  std::optional<Run> horizontal_bar_extent;
};

// The number of nonzero pixels of every row of an 8-bit mask.
std::vector<double> row_counts(const cv::Mat& cell);

// The smallest box holding every nonzero pixel of an 8-bit mask, or none for a mask without ink.
// The second form takes the mask's row counts.
std::optional<Box> tight_bounds(const cv::Mat& mask);
std::optional<Box> tight_bounds(const cv::Mat& mask, std::span<const double> counts);

// Maximal runs of consecutive values in an ascending index sequence.
Runs contiguous_runs(std::span<const int64_t> indices);

// Runs of the indices i where projection[i] >= threshold.
Runs runs_at_least(std::span<const double> projection, double threshold);

// Drops thin runs touching the first or last row when a blank gap separates them from the next
// run; a single remaining run is always kept.
Runs remove_marginal_runs(Runs runs, double cell_height);

inline bool runs_overlap(const Run& first, const Run& second) {
  return first.start <= second.end && first.end >= second.start;
}

// Grows the extent of the weak runs (projection >= kStructuralMinPixels) that overlap the core
// runs by every weak run within max_gap blank indices of it, repeatedly. None when no weak run
// touches the core.
std::optional<Run> extend_from_core(std::span<const double> projection, const Runs& core_runs,
                                    double max_gap);

// The widest horizontal run at least 2 * max(1, stroke_thickness) long in rows
// row_begin..row_end-1 (which must lie inside the cell), or none. Ties prefer the greater start,
// then the greater end. Given the cell's row counts, rows with too little ink are not scanned.
struct BarCandidate {
  int64_t width = 0;
  int64_t start = 0;
  int64_t end = 0;
  auto operator<=>(const BarCandidate&) const = default;
};
std::optional<BarCandidate> widest_bar_in_rows(const cv::Mat& cell, int64_t row_begin,
                                               int64_t row_end, double stroke_thickness,
                                               std::span<const double> counts = {});
std::optional<Run> horizontal_bar_extent(const cv::Mat& cell, int64_t top, int64_t bottom,
                                         double stroke_thickness);

// The structure of a 0/1 cell, or none when the cell has no ink. The second form takes the cell's
// row counts.
std::optional<Structure> structural_frame(const cv::Mat& cell);
std::optional<Structure> structural_frame(const cv::Mat& cell, std::span<const double> rows);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_STRUCTURAL_FRAME_H_
