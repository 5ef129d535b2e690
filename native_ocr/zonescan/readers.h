// The decisions of the score, period and single-digit readers: how the classifier's slot results
// become a value, a validity flag and a reason.
#ifndef NATIVE_OCR_ZONESCAN_READERS_H_
#define NATIVE_OCR_ZONESCAN_READERS_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace native_ocr::zonescan {

enum class SlotStatus { kDigit, kEmpty, kUnknown };

// What a reader needs of one slot result: its status and, for a digit, the digit.
struct SlotOutcome {
  SlotStatus status = SlotStatus::kUnknown;
  std::optional<int64_t> digit;
};

// A reader's decision: the value, whether it is valid, and why not.
struct Decision {
  std::optional<int64_t> value;
  bool valid = false;
  std::string_view reason;  // "ok", or why the reading is not valid
};

// "digit", "empty" or "unknown"; anything else reads as unknown.
SlotStatus slot_status(std::string_view status);
std::string_view slot_status_name(SlotStatus status);

// A two-digit field read left to right: the units must be a digit; an empty tens slot reads as a
// single digit ("7"), a digit tens slot as a two-digit number, an unknown one is "unrecognized".
Decision decide_score(const SlotOutcome& tens, const SlotOutcome& units);

// A one-digit field: valid when the slot holds a digit; otherwise the slot's status is the reason.
Decision decide_single(const SlotOutcome& slot);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_READERS_H_
