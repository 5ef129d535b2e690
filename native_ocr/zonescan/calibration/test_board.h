// Scoreboard fields drawn for the calibration tests: lit seven-segment digits over faintly lit
// unlit segments, a colon or decimal point between a clock's pairs, and clutter around the field.
// The display's true box is known.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TEST_BOARD_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TEST_BOARD_H_

#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "native_ocr/segsense/test_drawing.h"

namespace native_ocr::zonescan::calibration::testing {

struct Board {
  std::string cells = "12:34";  // digits, ' ' for a dark cell, ':' or '.' between pairs
  int digit_height = 60;
  int margin_x = 40;
  int margin_y = 30;
  cv::Scalar background{20, 15, 15};
  cv::Scalar lit{60, 80, 240};
  double ghost = 0.12;  // unlit segments' brightness as a share of the lit one
  bool label_below = false;
  bool sliver_right = false;  // a neighbouring field's digit cut by the right border
  int edge_at = -1;           // a housing edge: a thin line down the whole crop at this column
  bool dark_on_light = false;
};

struct DrawnBoard {
  cv::Mat image;     // 8-bit BGR
  cv::Rect display;  // the digits' true box (blank cells included)
};

inline DrawnBoard draw_board(const Board& b) {
  const int h = b.digit_height;
  // Cells a glyph wide with a gap between; a separator takes the place of a gap, wider.
  const int glyph = h * 60 / 100, gap = h * 22 / 100, stroke = std::max(2, h / 9);
  const int separator_width = h * 45 / 100;
  const int pitch = glyph + gap;
  int width = -gap;
  for (char c : b.cells) {
    width += (c == ':' || c == '.') ? separator_width - gap : pitch;
  }
  const int sliver = b.sliver_right ? glyph / 2 + h / 3 : 0;
  cv::Mat lit = cv::Mat::zeros(h + 2 * b.margin_y + (b.label_below ? h / 2 : 0),
                               width + 2 * b.margin_x + sliver, CV_8UC1);
  cv::Mat ghost = cv::Mat::zeros(lit.size(), CV_8UC1);
  int x = b.margin_x;
  const int y = b.margin_y;
  for (char c : b.cells) {
    if (c == ':' || c == '.') {
      x -= gap;
      const int cx = x + separator_width / 2 - stroke / 2;
      if (c == ':') {
        segsense::testing::fill(lit, cx, y + h * 3 / 10, stroke, stroke);
      }
      segsense::testing::fill(lit, cx, y + (c == ':' ? h * 65 / 100 : h - stroke), stroke, stroke);
      x += separator_width;
      continue;
    }
    const segsense::testing::GlyphBox box{x, y, glyph, h, stroke};
    segsense::testing::draw_digit(ghost, 8, box);
    if (c != ' ') {
      segsense::testing::draw_digit(lit, c - '0', box);
    }
    x += pitch;
  }
  if (b.sliver_right) {
    const int sx = lit.cols - glyph / 2;
    segsense::testing::draw_digit(lit, 8, {sx, y, glyph, h, stroke});
  }
  if (b.label_below) {
    for (int i = 0; i < 4; ++i) {  // four letter-sized blocks
      segsense::testing::fill(lit, b.margin_x + i * h / 3, y + h + h / 6, h / 4, h / 4);
    }
  }
  if (b.edge_at >= 0) {
    segsense::testing::fill(lit, b.edge_at, 0, 2, lit.rows);
  }
  cv::Mat image(lit.size(), CV_8UC3, b.background);
  const cv::Scalar ghost_colour = b.background + b.ghost * (b.lit - b.background);
  image.setTo(ghost_colour, ghost);
  image.setTo(b.lit, lit);
  if (b.dark_on_light) {
    image = cv::Scalar::all(255) - image;
  }
  cv::GaussianBlur(image, image, cv::Size(3, 3), 0);
  return {image, cv::Rect(b.margin_x, y, width, h)};
}

}  // namespace native_ocr::zonescan::calibration::testing

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TEST_BOARD_H_
