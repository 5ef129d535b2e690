// The separator of a clock of three digit cells. Its separator is not in the middle of the
// display, where the clock separator detector looks: the colon of "d:dd" sits a third of the way
// in, the decimal point of "dd.d" two thirds of the way in. Each is searched for as the middle of
// the part of the crop centred on it.
#ifndef NATIVE_OCR_ZONESCAN_THREE_CELL_SEPARATOR_H_
#define NATIVE_OCR_ZONESCAN_THREE_CELL_SEPARATOR_H_

#include <optional>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/separator/separator_detector.h"
#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan {

// Whether a clock read with these settings searches its separator as a clock of three cells
// (two parts of the crop) rather than in the middle corridor.
inline bool searches_three_cells(const ProcessingSettings& settings) {
  return settings.clock_cells == 3;
}

// The detection with every column moved `dx` columns right (a detection made on a part of a crop
// that starts `dx` columns in, in that crop's columns).
SeparatorDetection shifted_detection(SeparatorDetection detection, int dx);

// The separator of a three-cell clock crop (8-bit BGR): a colon found around the first third or
// a decimal point found around the second; when both are, the more confident, with the other as
// its alternative. When neither is, what the detector finds on the whole crop. An alternative's
// columns move with the detection's (shifted_detection).
std::optional<SeparatorDetection> three_cell_separator(const cv::Mat& crop);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_THREE_CELL_SEPARATOR_H_
