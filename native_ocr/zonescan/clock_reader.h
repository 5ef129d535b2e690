// The clock reader's decisions: how four digit cells and the detected separator become a clock
// string such as 12:34 or 59.8.
#ifndef NATIVE_OCR_ZONESCAN_CLOCK_READER_H_
#define NATIVE_OCR_ZONESCAN_CLOCK_READER_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "native_ocr/zonescan/readers.h"

namespace native_ocr::zonescan {

// One digit cell as read: its status and, for a digit, the digit's text.
struct ClockCell {
  SlotStatus status = SlotStatus::kUnknown;
  std::string text;
};

// The cells of one side concatenated ("" when all are empty or there are none); nothing when a
// cell is neither a digit nor empty.
std::optional<std::string> clock_side_text(std::span<const ClockCell> side);

// The clock string of the two sides. With a decimal point: the left text, ".", and the first right
// cell (the second is ignored); otherwise left ":" right. Nothing when a side is unreadable or a
// needed part is empty. Cells are kept exactly as read: no zero padding, no range check.
std::optional<std::string> clock_value(std::span<const ClockCell> left,
                                       std::span<const ClockCell> right, bool decimal_point);

// The separator the reading uses: the detector's, or a colon in minutes mode when none was found.
struct ClockSeparator {
  bool found = false;
  std::optional<double> x;
  bool decimal_point = false;
  double confidence = 0.0;

  std::string_view separator_char() const { return decimal_point ? "." : ":"; }
  std::string_view mode() const { return decimal_point ? "tenths" : "minutes"; }
  std::string_view status() const { return found ? "separator" : "unknown"; }
};

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_CLOCK_READER_H_
