#include "native_ocr/zonescan/readers.h"

#include <gtest/gtest.h>

namespace native_ocr::zonescan {
namespace {

const SlotOutcome kEmpty{SlotStatus::kEmpty, std::nullopt};
const SlotOutcome kUnknown{SlotStatus::kUnknown, std::nullopt};

SlotOutcome digit(int64_t d) {
  return {SlotStatus::kDigit, d};
}

void expect_reading(const Decision& r, std::optional<int64_t> value, bool valid,
                    std::string_view reason) {
  EXPECT_EQ(r.value, value);
  EXPECT_EQ(r.valid, valid);
  EXPECT_EQ(r.reason, reason);
}

TEST(DecideScore, TensAndUnits) {
  expect_reading(decide_score(kEmpty, digit(7)), 7, true, "ok");
  expect_reading(decide_score(digit(1), digit(0)), 10, true, "ok");
  expect_reading(decide_score(digit(9), digit(9)), 99, true, "ok");
  expect_reading(decide_score(kUnknown, digit(4)), std::nullopt, false, "unrecognized");
}

TEST(DecideScore, UnitsMustBeADigitWhateverTheTens) {
  expect_reading(decide_score(digit(3), kEmpty), std::nullopt, false, "missing_units");
  expect_reading(decide_score(kEmpty, kUnknown), std::nullopt, false, "missing_units");
  // A result that says "digit" without a digit is not one.
  expect_reading(decide_score(kEmpty, {SlotStatus::kDigit, std::nullopt}), std::nullopt, false,
                 "missing_units");
}

TEST(DecideSingle, PassesTheSlotStatusThrough) {
  expect_reading(decide_single(digit(3)), 3, true, "ok");
  expect_reading(decide_single(kEmpty), std::nullopt, false, "empty");
  expect_reading(decide_single(kUnknown), std::nullopt, false, "unknown");
}

TEST(SlotStatus, OnlyTheThreeNames) {
  EXPECT_EQ(slot_status("digit"), SlotStatus::kDigit);
  EXPECT_EQ(slot_status("empty"), SlotStatus::kEmpty);
  EXPECT_EQ(slot_status("unknown"), SlotStatus::kUnknown);
  EXPECT_EQ(slot_status("Digit"), SlotStatus::kUnknown);
}

}  // namespace
}  // namespace native_ocr::zonescan
