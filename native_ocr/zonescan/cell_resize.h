// The learned classifier's picture of a cell: the grey levels of a box of a display mapped
// through a table of values, then resized by area to the model's small feature image. The result
// is cv::resize's (INTER_AREA) of the float image of the box, bit for bit; where OpenCV averages
// windows of a non-integral size (a cell cut from a display larger than the feature image, the
// usual case), the same sums are formed here sixteen source rows at a time, a few times faster
// than OpenCV's one-row-at-a-time sums on images as small as a digit cell.
#ifndef NATIVE_OCR_ZONESCAN_CELL_RESIZE_H_
#define NATIVE_OCR_ZONESCAN_CELL_RESIZE_H_

#include <array>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan {

// `out` (CV_32FC1, already of the destination size) becomes
//   cv::resize(table[grey(box)], out, out.size(), 0, 0, cv::INTER_AREA)
// for a single-channel 8-bit `grey` and a `box` (inclusive corners) inside it.
void resize_cell(const cv::Mat& grey, const Box& box, const std::array<float, 256>& table,
                 cv::Mat& out);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_CELL_RESIZE_H_
