#include "native_ocr/segsense/slot_reader.h"

#include <algorithm>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::segsense {
namespace {

// Ink ratio at which the empty confidence reaches 0, and the empty confidence from which a cell
// counts as empty.
constexpr double kEmptyInkRatio = 0.06;
constexpr double kEmptyConfidence = 0.6;

// max(0, min(v, size - 1)); 0 for an empty (or negative) size.
int64_t clamp_coordinate(int64_t v, int64_t size) {
  if (size <= 0) {
    return 0;
  }
  return std::max<int64_t>(0, std::min(v, size - 1));
}

double ink_fraction(const std::vector<double>& row_counts, int64_t pixels) {
  double ink = 0.0;  // exact: a sum of small integers
  for (double count : row_counts) {
    ink += count;
  }
  return ink / static_cast<double>(pixels);
}

}  // namespace

Box clip_box(const Box& box, int64_t width, int64_t height) {
  int64_t x1 = clamp_coordinate(box[0], width);
  int64_t y1 = clamp_coordinate(box[1], height);
  int64_t x2 = clamp_coordinate(box[2], width);
  int64_t y2 = clamp_coordinate(box[3], height);
  if (x2 < x1) {
    std::swap(x1, x2);
  }
  if (y2 < y1) {
    std::swap(y1, y2);
  }
  return {x1, y1, x2, y2};
}

SlotReading read_slot(const DisplayView& display, const Box& raw_box, CellScratch* scratch) {
  SlotReading out;
  out.box = clip_box(raw_box, display.cols, display.rows);
  const auto [x1, y1, x2, y2] = out.box;
  // Along an empty dimension the clipped corners are 0 and the cell has no elements.
  const int64_t rows = display.rows == 0 ? 0 : y2 - y1 + 1;
  const int64_t cols = display.cols == 0 ? 0 : x2 - x1 + 1;
  if (rows == 0 || cols == 0) {
    return out;
  }
  cv::Mat* cell = &scratch->cell;
  binarize_region(display, y1, x1, rows, cols, cell, &scratch->row_counts);
  const double ink_ratio = ink_fraction(scratch->row_counts, rows * cols);
  const double empty_confidence = py_clamp(1.0 - ink_ratio / kEmptyInkRatio, 0.0, 1.0);
  if (empty_confidence >= kEmptyConfidence) {
    out.confidence = out.empty_confidence = empty_confidence;
    out.ink_ratio = ink_ratio;
    return out;
  }
  auto frame = frame_from_cell(*cell, scratch->row_counts);
  if (!frame) {
    return out;  // not reached with ink present; reported like a cell without elements
  }
  out.empty = false;
  out.frame = *frame;
  const auto [fx1, fy1, fx2, fy2] = frame->frame_box;
  const cv::Mat glyph = (*cell)(cv::Range(static_cast<int>(fy1), static_cast<int>(fy2) + 1),
                                cv::Range(static_cast<int>(fx1), static_cast<int>(fx2) + 1));
  out.classification = classify_frame(glyph);
  out.confidence = out.classification.confidence;
  out.empty_confidence = empty_confidence;
  out.ink_ratio = ink_ratio;
  const Box& observed = frame->structure.tight_box;
  out.observed_width_ratio = static_cast<double>(observed[2] - observed[0] + 1) /
                             static_cast<double>(std::max<int64_t>(cols, 1));
  out.glyph_box = {x1 + fx1, y1 + fy1, x1 + fx2, y1 + fy2};
  return out;
}

}  // namespace native_ocr::segsense
