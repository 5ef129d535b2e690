// Clock crops drawn for the separator tests: seven-segment digits in the clock layout's cells and
// a colon, a decimal point or nothing in the gap between them.
#ifndef NATIVE_OCR_ZONESCAN_SEPARATOR_TEST_CLOCK_IMAGES_H_
#define NATIVE_OCR_ZONESCAN_SEPARATOR_TEST_CLOCK_IMAGES_H_

#include <algorithm>
#include <cmath>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/layout.h"

namespace native_ocr::zonescan::testing {

enum class Mark { kNone, kColon, kDecimal };

// Segments a..g of each digit, as bits 0..6.
inline int segment_bits(char digit) {
  static const int kBits[10] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};
  return digit >= '0' && digit <= '9' ? kBits[digit - '0'] : 0;
}

inline void draw_digit(cv::Mat* image, const Box& cell, char digit, const cv::Scalar& colour) {
  const int w = static_cast<int>(cell[2] - cell[0] + 1);
  const int h = static_cast<int>(cell[3] - cell[1] + 1);
  const int x0 = static_cast<int>(cell[0]) + w / 6;
  const int x1 = static_cast<int>(cell[2]) - w / 6;
  const int y0 = h / 6;
  const int y1 = h - 1 - h / 6;
  const int ym = (y0 + y1) / 2;
  const int t = std::max(2, w / 7);
  const cv::Rect segments[7] = {{x0, y0, x1 - x0 + 1, t},         {x1 - t + 1, y0, t, ym - y0 + 1},
                                {x1 - t + 1, ym, t, y1 - ym + 1}, {x0, y1 - t + 1, x1 - x0 + 1, t},
                                {x0, ym, t, y1 - ym + 1},         {x0, y0, t, ym - y0 + 1},
                                {x0, ym - t / 2, x1 - x0 + 1, t}};
  const int bits = segment_bits(digit);
  for (int s = 0; s < 7; ++s) {
    if (bits & (1 << s)) {
      cv::rectangle(*image, segments[s], colour, cv::FILLED);
    }
  }
}

// A width x height BGR clock crop: four digits (a space leaves a cell dark) in the cells of the
// centred clock layout, and `mark` centred `mark_shift` columns right of the separator gap.
inline cv::Mat draw_clock(int width, int height, const std::string& digits, Mark mark,
                          double mark_shift = 0.0,
                          const cv::Scalar& colour = cv::Scalar(60, 70, 240)) {
  cv::Mat image(height, width, CV_8UC3, cv::Scalar(30, 20, 15));
  const Layout layout = clock_slots(width, height);
  size_t digit = 0;
  for (const Slot& slot : layout) {
    if (slot.kind == SlotKind::kDigit && digit < digits.size()) {
      draw_digit(&image, slot.box, digits[digit++], colour);
    }
  }
  const Box gap = find_separator(layout)->box;
  const double cx = (static_cast<double>(gap[0]) + static_cast<double>(gap[2])) / 2.0 + mark_shift;
  const int radius = std::max(1, static_cast<int>(std::lround(height * 0.06)));
  const int x = static_cast<int>(std::lround(cx));
  if (mark == Mark::kColon) {
    cv::circle(image, {x, static_cast<int>(height * 0.32)}, radius, colour, cv::FILLED);
    cv::circle(image, {x, static_cast<int>(height * 0.68)}, radius, colour, cv::FILLED);
  } else if (mark == Mark::kDecimal) {
    cv::circle(image, {x, static_cast<int>(height * 0.8)}, radius, colour, cv::FILLED);
  }
  return image;
}

// A width x height clock of three cells as a display draws it: "dd.d" with the point after the
// second digit or "d:dd" with the colon after the first, in the reader's three-cell layout.
inline cv::Mat draw_three_cell_clock(int width, int height, const std::string& digits,
                                     SeparatorKind kind,
                                     const cv::Scalar& colour = cv::Scalar(60, 70, 240)) {
  cv::Mat image(height, width, CV_8UC3, cv::Scalar(30, 20, 15));
  size_t next = 0;
  for (const Slot& slot : clock_cell_slots(width, height, std::nullopt, 3, kind)) {
    if (slot.kind == SlotKind::kDigit) {
      draw_digit(&image, slot.box, next < digits.size() ? digits[next++] : ' ', colour);
      continue;
    }
    const int x = static_cast<int>((slot.box[0] + slot.box[2]) / 2);
    const int radius = std::max(1, static_cast<int>(std::lround(height * 0.05)));
    if (kind == SeparatorKind::kColon) {
      cv::circle(image, {x, static_cast<int>(height * 0.32)}, radius, colour, cv::FILLED);
      cv::circle(image, {x, static_cast<int>(height * 0.68)}, radius, colour, cv::FILLED);
    } else {
      cv::circle(image, {x, static_cast<int>(height * 0.8)}, radius, colour, cv::FILLED);
    }
  }
  return image;
}

}  // namespace native_ocr::zonescan::testing

#endif  // NATIVE_OCR_ZONESCAN_SEPARATOR_TEST_CLOCK_IMAGES_H_
