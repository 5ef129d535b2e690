#include "native_ocr/zonescan/readers.h"

namespace native_ocr::zonescan {

SlotStatus slot_status(std::string_view status) {
  if (status == "digit") {
    return SlotStatus::kDigit;
  }
  if (status == "empty") {
    return SlotStatus::kEmpty;
  }
  return SlotStatus::kUnknown;
}

std::string_view slot_status_name(SlotStatus status) {
  switch (status) {
    case SlotStatus::kDigit:
      return "digit";
    case SlotStatus::kEmpty:
      return "empty";
    case SlotStatus::kUnknown:
      break;
  }
  return "unknown";
}

Decision decide_score(const SlotOutcome& tens, const SlotOutcome& units) {
  if (units.status != SlotStatus::kDigit || !units.digit) {
    return {std::nullopt, false, "missing_units"};
  }
  if (tens.status == SlotStatus::kEmpty) {
    return {*units.digit, true, "ok"};
  }
  if (tens.status == SlotStatus::kDigit && tens.digit) {
    return {10 * *tens.digit + *units.digit, true, "ok"};
  }
  return {std::nullopt, false, "unrecognized"};
}

Decision decide_single(const SlotOutcome& slot) {
  if (slot.status == SlotStatus::kDigit && slot.digit) {
    return {slot.digit, true, "ok"};
  }
  return {std::nullopt, false, slot.status == SlotStatus::kEmpty ? "empty" : "unknown"};
}

}  // namespace native_ocr::zonescan
