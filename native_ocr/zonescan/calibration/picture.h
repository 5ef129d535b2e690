// What the reader saw, as a picture for the operator: the zone's crop enlarged, the prepared
// binary display beside it at the same scale, every digit cell's box (green for a digit, red for
// an unreadable cell, grey for an empty one) with its character and confidence beneath, the
// separator's box (magenta) with its character, and a caption strip with the value (green) or the
// reason there is none (red).
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_PICTURE_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_PICTURE_H_

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/numerics/inclusive.h"

namespace native_ocr::zonescan::calibration {

enum class CellState { kDigit, kEmpty, kUnknown };

struct PictureCell {
  Box box{};  // display pixels
  std::optional<Box> glyph_box;
  CellState state = CellState::kUnknown;
  std::string text;  // the character read ("7"), empty when none
  double confidence = 0.0;
};

struct PictureSeparator {
  Box box{};
  std::string text;  // ":" or "."
  bool found = false;
  double confidence = 0.0;
};

struct PictureInput {
  cv::Mat crop;    // 8-bit, 1 or 3 channels (blue-green-red); only read
  cv::Mat binary;  // the prepared display, 8-bit single channel, the crop's size; may be empty
  std::vector<PictureCell> cells;
  std::optional<PictureSeparator> separator;
  bool valid = false;
  std::string caption;  // the value, or the reason there is none
};

// Colours of the picture (blue, green, red).
inline const cv::Scalar kDigitColour(0, 200, 0);
inline const cv::Scalar kUnknownColour(0, 0, 230);
inline const cv::Scalar kEmptyColour(140, 140, 140);
inline const cv::Scalar kSeparatorColour(230, 0, 230);

// Pixels of the crop per picture pixel: about 160 rows for the crop, at most 8 times and at most
// 900 columns per panel, never below 1.
int picture_scale(int crop_rows, int crop_cols);

// Height of the caption strip and of the labels strip under the panels.
inline constexpr int kStripHeight = 24;

// The picture: two panels side by side (crop, display) separated by kPanelGap columns, then the
// labels strip and the caption strip. A new 8-bit three-channel image.
inline constexpr int kPanelGap = 8;
cv::Mat render_picture(const PictureInput& input);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_PICTURE_H_
