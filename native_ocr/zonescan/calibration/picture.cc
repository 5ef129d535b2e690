#include "native_ocr/zonescan/calibration/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan::calibration {
namespace {

// A BGRA image's channel count.
constexpr int kWithAlpha = 4;
// Text: OpenCV's font scale for labels about 10 pixels tall; the baseline this far into a strip;
// the caption this far from the left.
constexpr double kTextScale = 0.45;
constexpr int kBaseline = 17;
constexpr int kCaptionIndent = 4;
// Room for a cell's label.
constexpr size_t kLabelRoom = 32;
// The panels' height is scaled towards this many pixels, by at most kMaxScale, and no wider
// than kMaxWidth; the picture is at least kMinWidth wide so that the caption fits.
constexpr double kTargetHeight = 160.0;
constexpr int kMaxScale = 8;
constexpr int kMaxWidth = 900;
constexpr int kMinWidth = 240;
// Colours: the background, the framed glyph's box (BGR), the caption text, and how much of the
// caption colour tints its strip.
constexpr int kBackgroundGrey = 32;
const cv::Scalar kGlyphColour(230, 200, 0);
const cv::Scalar kCaptionText(255, 255, 255);
constexpr double kStripTint = 0.35;

cv::Mat as_bgr(const cv::Mat& image) {
  cv::Mat out;
  if (image.channels() == 1) {
    cv::cvtColor(image, out, cv::COLOR_GRAY2BGR);
  } else if (image.channels() == kWithAlpha) {
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
cv::Rect panel_rect(const Box& box, int scale, int x0) {
  const auto at = [&](size_t k) { return static_cast<int>(box[k]); };
  return cv::Rect(x0 + at(0) * scale, at(1) * scale, (at(2) - at(0) + 1) * scale,
                  (at(3) - at(1) + 1) * scale);
}

void put_text(cv::Mat& image, const std::string& text, cv::Point at, const cv::Scalar& colour) {
  cv::putText(image, text, at, cv::FONT_HERSHEY_SIMPLEX, kTextScale, colour, 1, cv::LINE_AA);
}

std::string cell_label(const PictureCell& cell) {
  if (cell.state == CellState::kEmpty) {
    return "_";
  }
  char confidence[kLabelRoom];
  std::snprintf(confidence, sizeof confidence, "%.2f", cell.confidence);
  return (cell.text.empty() ? std::string("?") : cell.text) + " " + confidence;
}

}  // namespace

int picture_scale(int crop_rows, int crop_cols) {
  int scale = static_cast<int>(std::lround(kTargetHeight / std::max(1, crop_rows)));
  scale = std::min(scale, kMaxScale);
  scale = std::min(scale, kMaxWidth / std::max(1, crop_cols));
  return std::max(1, scale);
}

cv::Mat render_picture(const PictureInput& input) {
  const int scale = picture_scale(input.crop.rows, input.crop.cols);
  const cv::Mat crop = enlarged(as_bgr(input.crop), scale);
  cv::Mat display = input.binary.empty() ? cv::Mat(crop.size(), CV_8UC3, cv::Scalar::all(0))
                                         : enlarged(as_bgr(input.binary), scale);
  const int panel = crop.cols;
  const int width = std::max(2 * panel + kPanelGap, kMinWidth);
  cv::Mat out(crop.rows + 2 * kStripHeight, width, CV_8UC3, cv::Scalar::all(kBackgroundGrey));
  crop.copyTo(out(cv::Rect(0, 0, crop.cols, crop.rows)));
  display.copyTo(out(cv::Rect(panel + kPanelGap, 0, display.cols, display.rows)));
  const int shown = panel + kPanelGap;
  for (const PictureCell& cell : input.cells) {
    // The glyph's box under the cell's: a learned cell reports its cell as its glyph, and the
    // cell's colour (what it was read as) is the one to see.
    for (int x0 : {0, shown}) {
      if (cell.glyph_box) {
        cv::rectangle(out, panel_rect(*cell.glyph_box, scale, x0), kGlyphColour, 1);
      }
      cv::rectangle(out, panel_rect(cell.box, scale, x0), colour_of(cell.state), 1);
    }
    put_text(out, cell_label(cell),
             cv::Point(shown + static_cast<int>(cell.box[0]) * scale + 2, crop.rows + kBaseline),
             colour_of(cell.state));
  }
  if (input.separator) {
    const PictureSeparator& sep = *input.separator;
    for (int x0 : {0, shown}) {
      cv::rectangle(out, panel_rect(sep.box, scale, x0), kSeparatorColour, 1);
    }
    char label[kLabelRoom];
    std::snprintf(label, sizeof label, "%s %.2f", sep.found ? sep.text.c_str() : "no sep",
                  sep.confidence);
    put_text(out, label, cv::Point(2, crop.rows + kBaseline), kSeparatorColour);
  }
  const cv::Scalar caption_colour = input.valid ? kDigitColour : kUnknownColour;
  const cv::Rect strip(0, crop.rows + kStripHeight, width, kStripHeight);
  out(strip).setTo(caption_colour * kStripTint);
  put_text(out, (input.valid ? "value " : "no value: ") + input.caption,
           cv::Point(kCaptionIndent, crop.rows + kStripHeight + kBaseline), kCaptionText);
  return out;
}

}  // namespace native_ocr::zonescan::calibration
