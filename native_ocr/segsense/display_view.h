// A read-only, strided view of a display array of any common element type, and the binarisation
// every cell goes through: ink is an element greater than 0 (for a three-dimensional array, the
// maximum over its channels, where a NaN channel makes the maximum NaN and so not ink).
#ifndef NATIVE_OCR_SEGSENSE_DISPLAY_VIEW_H_
#define NATIVE_OCR_SEGSENSE_DISPLAY_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>

namespace native_ocr::segsense {

enum class ElementType {
  kBool,
  kInt8,
  kUInt8,
  kInt16,
  kUInt16,
  kInt32,
  kUInt32,
  kInt64,
  kUInt64,
  kFloat16,
  kFloat32,
  kFloat64,
};

size_t element_size(ElementType type);

// Rows x columns (x channels). Strides are in bytes and may be negative; the view never writes.
// A two-dimensional array is a view with one channel.
struct DisplayView {
  const char* data = nullptr;
  ElementType type = ElementType::kUInt8;
  int64_t rows = 0;
  int64_t cols = 0;
  int64_t channels = 1;
  int64_t row_stride = 0;
  int64_t col_stride = 0;
  int64_t channel_stride = 0;
};

// A view of a 0/1 (or any 8-bit) cv::Mat, for tests and callers that already hold a cell.
DisplayView view_of(const cv::Mat& mat);

// Writes the 0/1 binarisation of rows y..y+rows-1 and columns x..x+cols-1 of the view into *cell
// (CV_8UC1, reallocated only when its size differs). The region must lie inside the view. When
// row_counts is given it receives the number of ink pixels of every row.
void binarize_region(const DisplayView& view, int64_t y, int64_t x, int64_t rows, int64_t cols,
                     cv::Mat* cell, std::vector<double>* row_counts = nullptr);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_DISPLAY_VIEW_H_
