#include "native_ocr/zonescan/clock_reader.h"

namespace native_ocr::zonescan {

std::optional<std::string> clock_side_text(std::span<const ClockCell> side) {
  std::string text;
  for (const ClockCell& cell : side) {
    switch (cell.status) {
      case SlotStatus::kDigit:
        text += cell.text;
        break;
      case SlotStatus::kEmpty:
        break;
      case SlotStatus::kUnknown:
        return std::nullopt;
    }
  }
  return text;
}

std::optional<std::string> clock_value(std::span<const ClockCell> left,
                                       std::span<const ClockCell> right, bool decimal_point) {
  const std::optional<std::string> left_text = clock_side_text(left);
  const std::optional<std::string> right_text = clock_side_text(right);
  if (!left_text || !right_text || left_text->empty()) {
    return std::nullopt;
  }
  if (decimal_point) {
    // Only the first right cell is read as tenths; an empty one leaves no tenths.
    const std::string tenths =
        right.empty() || right[0].status != SlotStatus::kDigit ? std::string() : right[0].text;
    if (tenths.empty()) {
      return std::nullopt;
    }
    return *left_text + "." + tenths;
  }
  if (right_text->empty()) {
    return std::nullopt;
  }
  return *left_text + ":" + *right_text;
}

}  // namespace native_ocr::zonescan
