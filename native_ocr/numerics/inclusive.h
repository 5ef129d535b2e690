// Inclusive index ranges, the one vocabulary of the readers for stretches of rows or columns and
// for boxes of pixels.
#ifndef NATIVE_OCR_NUMERICS_INCLUSIVE_H_
#define NATIVE_OCR_NUMERICS_INCLUSIVE_H_

#include <array>
#include <cstdint>
#include <vector>

namespace native_ocr {

// [start, end]: an inclusive stretch of consecutive row or column indices, start <= end.
struct Run {
  int64_t start = 0;
  int64_t end = 0;
  bool operator==(const Run&) const = default;
};
using Runs = std::vector<Run>;

// [x1, y1, x2, y2]: INCLUSIVE pixel corners (the box covers columns x1 .. x2 and rows y1 .. y2).
// Whose coordinates (a display's, a cell's) is said where a box is kept.
using Box = std::array<int64_t, 4>;

}  // namespace native_ocr

#endif  // NATIVE_OCR_NUMERICS_INCLUSIVE_H_
