// Drawing seven-segment digits into 0/1 cells, for tests and benchmarks.
#ifndef NATIVE_OCR_SEGSENSE_TEST_DRAWING_H_
#define NATIVE_OCR_SEGSENSE_TEST_DRAWING_H_

#include <algorithm>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "native_ocr/segsense/segment_classifier.h"

namespace native_ocr::segsense::testing {

// Where a glyph sits: its top-left corner, size and stroke thickness, in pixels.
struct GlyphBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int stroke = 1;
};

// Sets the rectangle to `value`, clipped to the image.
inline void fill(cv::Mat& image, int x, int y, int width, int height, uint8_t value = 1) {
  for (int r = std::max(y, 0); r < std::min(y + height, image.rows); ++r) {
    for (int c = std::max(x, 0); c < std::min(x + width, image.cols); ++c) {
      image.ptr<uint8_t>(r)[c] = value;
    }
  }
}

// Lights the segments of `pattern` (A..G) of a glyph.
inline void draw_segments(cv::Mat& image, const Pattern& pattern, const GlyphBox& g,
                          uint8_t value = 1) {
  const int t = g.stroke;
  const int mid = g.y + (g.height - t) / 2;
  const int upper = mid - g.y + t;
  const int lower = g.y + g.height - mid;
  const int right = g.x + g.width - t;
  const int bottom = g.y + g.height - t;
  const cv::Rect rects[kSegmentCount] = {
      {g.x, g.y, g.width, t},    {right, g.y, t, upper}, {right, mid, t, lower},
      {g.x, bottom, g.width, t}, {g.x, mid, t, lower},   {g.x, g.y, t, upper},
      {g.x, mid, g.width, t},
  };
  for (int i = 0; i < kSegmentCount; ++i) {
    if (pattern[i]) {
      fill(image, rects[i].x, rects[i].y, rects[i].width, rects[i].height, value);
    }
  }
}

inline Pattern pattern_of(int digit, int variant = 0) {
  for (const DigitPattern& p : kDigitPatterns) {
    if (p.digit == digit && p.variant == variant) {
      return p.pattern;
    }
  }
  return Pattern{};
}

inline void draw_digit(cv::Mat& image, int digit, const GlyphBox& g, uint8_t value = 1) {
  draw_segments(image, pattern_of(digit), g, value);
}

// A rows x cols cell holding one digit.
inline cv::Mat digit_cell(int rows, int cols, int digit, const GlyphBox& g) {
  cv::Mat cell = cv::Mat::zeros(rows, cols, CV_8UC1);
  draw_digit(cell, digit, g);
  return cell;
}

}  // namespace native_ocr::segsense::testing

#endif  // NATIVE_OCR_SEGSENSE_TEST_DRAWING_H_
