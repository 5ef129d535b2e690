// Framing a digit cell: choosing the columns of the glyph's frame so that it spans a full
// seven-segment digit even when only some segments are lit (a 1 lights only the right-hand
// verticals). Wide glyphs are framed by their own columns; narrow ones are widened to the nominal
// digit width and anchored on the side where their strokes sit.
#ifndef NATIVE_OCR_SEGSENSE_CELL_FRAMING_H_
#define NATIVE_OCR_SEGSENSE_CELL_FRAMING_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include <opencv2/core/mat.hpp>

#include "native_ocr/segsense/structural_frame.h"

namespace native_ocr::segsense {

// A structure at least this wide (fraction of the cell width) is framed as wide.
inline constexpr double kWideGlyphMinWidthRatio = 0.45;
// The widest row of a single stroke stays below this multiple of the median row width.
inline constexpr double kVerticalStrokeMaxWidthRatio = 1.8;
// A single stroke is at most this wide relative to its height.
inline constexpr double kVerticalStrokeMaxAspect = 0.45;
// A single stroke needs at least this many rows with ink.
inline constexpr int64_t kVerticalStrokeMinRows = 4;
// A connected component smaller than this many pixels never counts,
inline constexpr int64_t kComponentMinArea = 4;
// nor does one smaller than this fraction of the largest component.
inline constexpr double kComponentAreaFraction = 0.15;

struct CellFrame {
  Box frame_box{};  // [fx1, fy1, fx2, fy2], cell-local, inclusive
  std::string_view frame_method;
  std::string_view horizontal_frame_source;
  std::string_view horizontal_structure_position;  // "wide", "right", "left" or "ambiguous"
  Structure structure;
};

// The frame of a 0/1 cell, or none when the cell has no ink. The frame always has at least one
// row and one column inside the cell.
std::optional<CellFrame> frame_from_cell(const cv::Mat& cell);
// The same, given the cell's row counts.
std::optional<CellFrame> frame_from_cell(const cv::Mat& cell, std::span<const double> row_counts);

// Whether a glyph (a 0/1 sub-array) is one upright stroke: one significant component, at least
// kVerticalStrokeMinRows inked rows, no row much wider than the median row, and narrow for its
// height. top..bottom and left..right are the structure's extent the glyph was cut from.
bool single_vertical_mass(const cv::Mat& glyph, int64_t top, int64_t bottom, int64_t left,
                          int64_t right);

// The number of 4-connected components of nonzero pixels that reach
// max(kComponentMinArea, largest area * kComponentAreaFraction) pixels.
int64_t significant_component_count(const cv::Mat& mask);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_CELL_FRAMING_H_
