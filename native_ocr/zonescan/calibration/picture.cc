#include "native_ocr/zonescan/calibration/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan::calibration {
namespace {

cv::Mat as_bgr(const cv::Mat& image) {
  cv::Mat out;
  if (image.channels() == 1) {
    cv::cvtColor(image, out, cv::COLOR_GRAY2BGR);
  } else if (image.channels() == 4) {
    cv::cvtColor(image, out, cv::COLOR_BGRA2BGR);
  } else {
    out = image.clone();
  }
  return out;
}

cv::Mat enlarged(const cv::Mat& image, int scale) {
  cv::Mat out;
  cv::resize(image, out, cv::Size(), scale, scale, cv::INTER_NEAREST);
  return out;
}

cv::Scalar colour_of(CellState state) {
  switch (state) {
    case CellState::kDigit:
      return kDigitColour;
    case CellState::kEmpty:
      return kEmptyColour;
    case CellState::kUnknown:
      break;
  }
  return kUnknownColour;
}

// An inclusive box of display pixels as a rectangle of the panel starting at column `x0`.
cv::Rect panel_rect(const std::array<int, 4>& box, int scale, int x0) {
  return cv::Rect(x0 + box[0] * scale, box[1] * scale, (box[2] - box[0] + 1) * scale,
                  (box[3] - box[1] + 1) * scale);
}

void put_text(cv::Mat& image, const std::string& text, cv::Point at, const cv::Scalar& colour) {
  cv::putText(image, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.45, colour, 1, cv::LINE_AA);
}

std::string cell_label(const PictureCell& cell) {
  if (cell.state == CellState::kEmpty) {
    return "_";
  }
  char confidence[16];
  std::snprintf(confidence, sizeof confidence, "%.2f", cell.confidence);
  return (cell.text.empty() ? std::string("?") : cell.text) + " " + confidence;
}

}  // namespace

int picture_scale(int crop_rows, int crop_cols) {
  int scale = static_cast<int>(std::lround(160.0 / std::max(1, crop_rows)));
  scale = std::min(scale, 8);
  scale = std::min(scale, 900 / std::max(1, crop_cols));
  return std::max(1, scale);
}

cv::Mat render_picture(const PictureInput& input) {
  const int scale = picture_scale(input.crop.rows, input.crop.cols);
  const cv::Mat crop = enlarged(as_bgr(input.crop), scale);
  cv::Mat display = input.binary.empty() ? cv::Mat(crop.size(), CV_8UC3, cv::Scalar::all(0))
                                         : enlarged(as_bgr(input.binary), scale);
  const int panel = crop.cols;
  const int width = std::max(2 * panel + kPanelGap, 240);
  cv::Mat out(crop.rows + 2 * kStripHeight, width, CV_8UC3, cv::Scalar::all(32));
  crop.copyTo(out(cv::Rect(0, 0, crop.cols, crop.rows)));
  display.copyTo(out(cv::Rect(panel + kPanelGap, 0, display.cols, display.rows)));
  const int shown = panel + kPanelGap;
  for (const PictureCell& cell : input.cells) {
    for (int x0 : {0, shown}) {
      cv::rectangle(out, panel_rect(cell.box, scale, x0), colour_of(cell.state), 1);
      if (cell.glyph_box) {
        cv::rectangle(out, panel_rect(*cell.glyph_box, scale, x0), cv::Scalar(230, 200, 0), 1);
      }
    }
    put_text(out, cell_label(cell), cv::Point(shown + cell.box[0] * scale + 2, crop.rows + 17),
             colour_of(cell.state));
  }
  if (input.separator) {
    const PictureSeparator& sep = *input.separator;
    for (int x0 : {0, shown}) {
      cv::rectangle(out, panel_rect(sep.box, scale, x0), kSeparatorColour, 1);
    }
    char label[32];
    std::snprintf(label, sizeof label, "%s %.2f", sep.found ? sep.text.c_str() : "no sep",
                  sep.confidence);
    put_text(out, label, cv::Point(2, crop.rows + 17), kSeparatorColour);
  }
  const cv::Scalar caption_colour = input.valid ? kDigitColour : kUnknownColour;
  const cv::Rect strip(0, crop.rows + kStripHeight, width, kStripHeight);
  out(strip).setTo(caption_colour * 0.35);
  put_text(out, (input.valid ? "value " : "no value: ") + input.caption,
           cv::Point(4, crop.rows + kStripHeight + 17), cv::Scalar(255, 255, 255));
  return out;
}

}  // namespace native_ocr::zonescan::calibration
