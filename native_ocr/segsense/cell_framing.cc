#include "native_ocr/segsense/cell_framing.h"

#include <algorithm>
#include <vector>

namespace native_ocr::segsense {
namespace {

constexpr double kRightSide = 0.6666666666666666;
constexpr double kLeftSide = 0.3333333333333333;

enum class Side { kRight, kLeft, kAmbiguous };

Side choose_side(const Structure& s, int64_t cw) {
  const int64_t frame_width = s.nominal_frame_width;
  const bool right_fits = s.right - frame_width + 1 >= 0;
  const bool left_fits = s.left + frame_width - 1 < cw;
  const double center = static_cast<double>(s.left + s.right + 1) /
                        (2.0 * static_cast<double>(std::max<int64_t>(cw, 1)));
  if (right_fits && !left_fits) {
    return Side::kRight;
  }
  if (left_fits && !right_fits) {
    return Side::kLeft;
  }
  if (center >= kRightSide) {
    return Side::kRight;
  }
  if (center <= kLeftSide) {
    return Side::kLeft;
  }
  return Side::kAmbiguous;
}

void set_method(CellFrame* frame, std::string_view method, std::string_view source,
                std::string_view position) {
  frame->frame_method = method;
  frame->horizontal_frame_source = source;
  frame->horizontal_structure_position = position;
}

// The frame's columns for a narrow structure: widened to the nominal digit width on one side.
void frame_narrow(const cv::Mat& cell, CellFrame* frame) {
  const Structure& s = frame->structure;
  const int64_t cw = cell.cols;
  const int64_t width = s.nominal_frame_width;
  const bool has_bar = s.horizontal_bar_extent.has_value();
  const Side side = choose_side(s, cw);
  if (side == Side::kRight) {
    frame->frame_box[0] = std::max<int64_t>(0, s.support_right - width + 1);
    frame->frame_box[2] = s.support_right;
    const std::string_view method =
        has_bar ? "horizontal_bar_extent" : "nominal_width_right_anchored";
    set_method(frame, method, method, "right");
  } else if (side == Side::kLeft) {
    frame->frame_box[0] = s.support_left;
    frame->frame_box[2] = std::min(s.support_left + width - 1, cw - 1);
    const std::string_view method =
        has_bar ? "horizontal_bar_extent" : "nominal_width_left_anchored";
    set_method(frame, method, method, "left");
  } else if (single_vertical_mass(
                 cell(cv::Range(static_cast<int>(s.top), static_cast<int>(s.bottom) + 1),
                      cv::Range(static_cast<int>(s.left), static_cast<int>(s.right) + 1)),
                 s.top, s.bottom, s.left, s.right)) {
    frame->frame_box[0] = std::max<int64_t>(0, s.support_right - width + 1);
    frame->frame_box[2] = s.support_right;
    set_method(frame, "nominal_width_right_anchored", "nominal_width_right_anchored", "right");
  } else {
    frame->frame_box[0] = s.support_left;
    frame->frame_box[2] = s.support_right;
    set_method(frame, "projection_vertical_preserved_horizontal", "observed_fallback", "ambiguous");
  }
}

// Width of the widest run of nonzero pixels in a row, 0 when the row has none.
int64_t widest_run(const uint8_t* row, int cols) {
  int64_t widest = 0;
  int64_t current = 0;
  for (int x = 0; x < cols; ++x) {
    current = row[x] != 0 ? current + 1 : 0;
    widest = std::max(widest, current);
  }
  return widest;
}

double median(std::vector<int64_t> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n % 2 == 1) {
    return static_cast<double>(values[n / 2]);
  }
  return (static_cast<double>(values[n / 2 - 1]) + static_cast<double>(values[n / 2])) / 2.0;
}

}  // namespace

std::optional<CellFrame> frame_from_cell(const cv::Mat& cell) {
  return frame_from_cell(cell, row_counts(cell));
}

std::optional<CellFrame> frame_from_cell(const cv::Mat& cell, std::span<const double> row_counts) {
  auto structure = structural_frame(cell, row_counts);
  if (!structure) {
    return std::nullopt;
  }
  CellFrame frame;
  frame.structure = *structure;
  const Structure& s = frame.structure;
  frame.frame_box[1] = s.top;
  frame.frame_box[3] = s.bottom;
  if (s.width_ratio >= kWideGlyphMinWidthRatio) {
    frame.frame_box[0] = s.left;
    frame.frame_box[2] = s.right;
    set_method(&frame, "projection_wide", "projection_wide", "wide");
  } else {
    frame_narrow(cell, &frame);
  }
  return frame;
}

bool single_vertical_mass(const cv::Mat& glyph, int64_t top, int64_t bottom, int64_t left,
                          int64_t right) {
  if (glyph.empty() || significant_component_count(glyph) != 1) {
    return false;
  }
  std::vector<int64_t> widths;
  for (int y = 0; y < glyph.rows; ++y) {
    const int64_t widest = widest_run(glyph.ptr<uint8_t>(y), glyph.cols);
    if (widest > 0) {
      widths.push_back(widest);
    }
  }
  if (static_cast<int64_t>(widths.size()) < kVerticalStrokeMinRows) {
    return false;
  }
  const double stroke = median(widths);
  const double widest = static_cast<double>(*std::max_element(widths.begin(), widths.end()));
  if (widest >= std::max(stroke * kVerticalStrokeMaxWidthRatio, stroke + 2.0)) {
    return false;
  }
  // In doubles: the extent may come from a caller's structure, far outside the cell.
  const double height = std::max(static_cast<double>(bottom) - static_cast<double>(top) + 1.0, 1.0);
  const double width = static_cast<double>(right) - static_cast<double>(left) + 1.0;
  return width <= height * kVerticalStrokeMaxAspect;
}

namespace {

// The areas of the 4-connected components of a mask's non-zero pixels, in scan order.
std::vector<int64_t> component_areas(const cv::Mat& mask) {
  const int rows = mask.rows;
  const int cols = mask.cols;
  std::vector<uint8_t> visited(static_cast<size_t>(rows) * static_cast<size_t>(cols), 0);
  std::vector<int> stack;
  std::vector<int64_t> areas;
  auto ink = [&](int y, int x) { return mask.ptr<uint8_t>(y)[x] != 0; };
  for (int y0 = 0; y0 < rows; ++y0) {
    for (int x0 = 0; x0 < cols; ++x0) {
      const size_t start =
          static_cast<size_t>(y0) * static_cast<size_t>(cols) + static_cast<size_t>(x0);
      if (!ink(y0, x0) || visited[start]) {
        continue;
      }
      visited[start] = 1;
      stack.assign(1, static_cast<int>(start));
      int64_t area = 0;
      while (!stack.empty()) {
        const int p = stack.back();
        stack.pop_back();
        ++area;
        const int y = p / cols;
        const int x = p % cols;
        auto visit = [&](int ny, int nx) {
          const int q = ny * cols + nx;
          if (!visited[static_cast<size_t>(q)] && ink(ny, nx)) {
            visited[static_cast<size_t>(q)] = 1;
            stack.push_back(q);
          }
        };
        if (y > 0) {
          visit(y - 1, x);
        }
        if (y + 1 < rows) {
          visit(y + 1, x);
        }
        if (x > 0) {
          visit(y, x - 1);
        }
        if (x + 1 < cols) {
          visit(y, x + 1);
        }
      }
      areas.push_back(area);
    }
  }
  return areas;
}

}  // namespace

int64_t significant_component_count(const cv::Mat& mask) {
  const std::vector<int64_t> areas = component_areas(mask);
  if (areas.empty()) {
    return 0;
  }
  const double largest = static_cast<double>(*std::max_element(areas.begin(), areas.end()));
  const double minimum =
      std::max(static_cast<double>(kComponentMinArea), largest * kComponentAreaFraction);
  return std::count_if(areas.begin(), areas.end(),
                       [minimum](int64_t a) { return static_cast<double>(a) >= minimum; });
}

}  // namespace native_ocr::segsense
