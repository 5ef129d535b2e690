#include "native_ocr/zonescan/reader.h"

#include <vector>

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

ClockCell d(const char* text) {
  return {SlotStatus::kDigit, text};
}
const ClockCell kEmptyCell{SlotStatus::kEmpty, ""};
const ClockCell kUnknownCell{SlotStatus::kUnknown, ""};
constexpr SeparatorKind kPoint = SeparatorKind::kDecimalPoint;

std::optional<std::string> read(std::vector<ClockCell> left, std::vector<ClockCell> right,
                                SeparatorKind kind = SeparatorKind::kColon) {
  return clock_value(left, right, kind);
}

TEST(ClockValue, ColonJoinsTheCellsAsRead) {
  EXPECT_EQ(read({d("1"), d("2")}, {d("3"), d("4")}), "12:34");
  EXPECT_EQ(read({kEmptyCell, d("5")}, {d("3"), d("0")}), "5:30");
  EXPECT_EQ(read({d("1"), d("2")}, {d("3"), kEmptyCell}), "12:3");
  EXPECT_EQ(read({d("9"), d("9")}, {d("9"), d("9")}), "99:99");  // no range check
}

TEST(ClockValue, DecimalPointReadsOnlyTheFirstRightCell) {
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), kEmptyCell}, kPoint), "59.8");
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), d("7")}, kPoint), "59.8");
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), kEmptyCell}, SeparatorKind::kColon), "59:8");
  EXPECT_EQ(read({d("5"), d("9")}, {kEmptyCell, d("8")}, kPoint), std::nullopt);
  EXPECT_EQ(read({d("5"), d("9")}, {}, kPoint), std::nullopt);
}

TEST(ClockValue, UnreadableOrEmptySidesGiveNothing) {
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), kUnknownCell}, kPoint), std::nullopt);
  EXPECT_EQ(read({kEmptyCell, kEmptyCell}, {d("4"), d("5")}), std::nullopt);
  EXPECT_EQ(read({d("1"), d("2")}, {kEmptyCell, kEmptyCell}), std::nullopt);
  EXPECT_EQ(read({kUnknownCell, d("2")}, {d("3"), d("4")}), std::nullopt);
  EXPECT_EQ(read({d("1"), d("2")}, {}), std::nullopt);  // a layout with two digit cells
}

TEST(ClockSideText, EmptyCellsDropOut) {
  const std::vector<ClockCell> side{kEmptyCell, d("7")};
  EXPECT_EQ(clock_side_text(side), "7");
  EXPECT_EQ(clock_side_text({}), "");
}

TEST(ClockSeparator, FallsBackToAColonInMinutesMode) {
  ClockSeparator none;
  EXPECT_EQ(separator_char(none.kind), ":");
  EXPECT_EQ(clock_mode(none.kind), "minutes");
  EXPECT_EQ(none.status(), "unknown");
  ClockSeparator point{true, 99.5, kPoint, 0.9};
  EXPECT_EQ(separator_char(point.kind), ".");
  EXPECT_EQ(clock_mode(point.kind), "tenths");
  EXPECT_EQ(point.status(), "separator");
}

}  // namespace
}  // namespace native_ocr::zonescan
