#include "native_ocr/zonescan/clock_reader.h"

#include <vector>

#include <gtest/gtest.h>

namespace native_ocr::zonescan {
namespace {

ClockCell d(const char* text) {
  return {SlotStatus::kDigit, text};
}
const ClockCell kEmpty{SlotStatus::kEmpty, ""};
const ClockCell kUnknown{SlotStatus::kUnknown, ""};

std::optional<std::string> read(std::vector<ClockCell> left, std::vector<ClockCell> right,
                                bool decimal = false) {
  return clock_value(left, right, decimal);
}

TEST(ClockValue, ColonJoinsTheCellsAsRead) {
  EXPECT_EQ(read({d("1"), d("2")}, {d("3"), d("4")}), "12:34");
  EXPECT_EQ(read({kEmpty, d("5")}, {d("3"), d("0")}), "5:30");
  EXPECT_EQ(read({d("1"), d("2")}, {d("3"), kEmpty}), "12:3");
  EXPECT_EQ(read({d("9"), d("9")}, {d("9"), d("9")}), "99:99");  // no range check
}

TEST(ClockValue, DecimalPointReadsOnlyTheFirstRightCell) {
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), kEmpty}, true), "59.8");
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), d("7")}, true), "59.8");
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), kEmpty}, false), "59:8");
  EXPECT_EQ(read({d("5"), d("9")}, {kEmpty, d("8")}, true), std::nullopt);
  EXPECT_EQ(read({d("5"), d("9")}, {}, true), std::nullopt);
}

TEST(ClockValue, UnreadableOrEmptySidesGiveNothing) {
  EXPECT_EQ(read({d("5"), d("9")}, {d("8"), kUnknown}, true), std::nullopt);
  EXPECT_EQ(read({kEmpty, kEmpty}, {d("4"), d("5")}), std::nullopt);
  EXPECT_EQ(read({d("1"), d("2")}, {kEmpty, kEmpty}), std::nullopt);
  EXPECT_EQ(read({kUnknown, d("2")}, {d("3"), d("4")}), std::nullopt);
  EXPECT_EQ(read({d("1"), d("2")}, {}), std::nullopt);  // a layout with two digit cells
}

TEST(ClockSideText, EmptyCellsDropOut) {
  const std::vector<ClockCell> side{kEmpty, d("7")};
  EXPECT_EQ(clock_side_text(side), "7");
  EXPECT_EQ(clock_side_text({}), "");
}

TEST(ClockSeparator, FallsBackToAColonInMinutesMode) {
  ClockSeparator none;
  EXPECT_EQ(none.separator_char(), ":");
  EXPECT_EQ(none.mode(), "minutes");
  EXPECT_EQ(none.status(), "unknown");
  ClockSeparator point{true, 99.5, true, 0.9};
  EXPECT_EQ(point.separator_char(), ".");
  EXPECT_EQ(point.mode(), "tenths");
  EXPECT_EQ(point.status(), "separator");
}

}  // namespace
}  // namespace native_ocr::zonescan
