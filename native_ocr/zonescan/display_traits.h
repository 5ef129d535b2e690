// What a real display needs before preparation: its polarity turned to light digits on a dark
// ground and its slant sheared upright; and the estimate of the slant from the strokes.
#ifndef NATIVE_OCR_ZONESCAN_DISPLAY_TRAITS_H_
#define NATIVE_OCR_ZONESCAN_DISPLAY_TRAITS_H_

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan {

// Whether the settings ask for the crop to be turned (polarity "dark") or sheared (a slant).
bool needs_upright(const ProcessingSettings& settings);

// The crop as grey (BGR to grey when the caller's array had three dimensions), as its negative
// for a dark polarity, and sheared by -slant about its middle row: a digit leaning right by the
// slant stands upright, rows above the middle move left. Uncovered pixels are 0 (unlit).
// Throws cv::Exception for what OpenCV refuses.
cv::Mat upright_grey(const cv::Mat& image, bool three_dimensional, const ProcessingSettings& s);

// The slant of the strokes of a display whose lit pixels are non-zero (a prepared display), in
// degrees the digits lean right, a whole degree in [-kSlantSearchLeft, kMaxSlant]: the shear that
// makes the column profile the most peaked (upright vertical strokes pile into few columns).
// 0 for a display with too few lit pixels to tell.
inline constexpr int kSlantSearchLeft = 5;
double estimate_slant(const cv::Mat& binary);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_DISPLAY_TRAITS_H_
