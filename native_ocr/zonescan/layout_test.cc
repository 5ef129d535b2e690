#include "native_ocr/zonescan/layout.h"

#include <cmath>

#include <gtest/gtest.h>

namespace native_ocr::zonescan {
namespace {

std::vector<Box> boxes(const Layout& layout) {
  std::vector<Box> out;
  for (const Slot& s : layout) {
    out.push_back(s.box);
  }
  return out;
}

TEST(MakeBox, RoundsHalfToEven) {
  EXPECT_EQ(make_box(0.5, 1.5, 2.5, 3.5), (Box{0, 2, 2, 4}));
  EXPECT_EQ(make_box(-0.5, 2.49, 2.51, -1.5), (Box{0, 2, 3, -2}));
}

TEST(EqualDigitSlots, SplitsWidthAndMayShareAColumn) {
  EXPECT_EQ(boxes(equal_digit_slots(100, 30, 2)),
            (std::vector<Box>{{0, 0, 49, 29}, {50, 0, 99, 29}}));
  EXPECT_EQ(boxes(equal_digit_slots(25, 10, 2)), (std::vector<Box>{{0, 0, 12, 9}, {12, 0, 24, 9}}));
  Layout degenerate = equal_digit_slots(0, 0, 0);
  ASSERT_EQ(degenerate.size(), 1u);
  EXPECT_EQ(degenerate[0].box, (Box{0, 0, 0, 0}));
  EXPECT_EQ(degenerate[0].index, 0);
}

TEST(ClockSlots, CentredAndClampedSeparator) {
  Layout l = clock_slots(100, 30);
  EXPECT_EQ(
      boxes(l),
      (std::vector<Box>{
          {0, 0, 23, 29}, {24, 0, 46, 29}, {47, 0, 52, 29}, {53, 0, 75, 29}, {76, 0, 99, 29}}));
  EXPECT_EQ(l[2].kind, SlotKind::kSeparator);
  EXPECT_FALSE(l[2].index.has_value());
  EXPECT_EQ(l[3].index, 2);
  EXPECT_EQ(boxes(clock_slots(200, 40, 150.0)), (std::vector<Box>{{0, 0, 66, 39},
                                                                  {67, 0, 134, 39},
                                                                  {134, 0, 144, 39},
                                                                  {146, 0, 172, 39},
                                                                  {173, 0, 199, 39}}));
  EXPECT_EQ(
      boxes(clock_slots(10, 8)),
      (std::vector<Box>{{0, 0, 0, 7}, {2, 0, 2, 7}, {3, 0, 6, 7}, {7, 0, 8, 7}, {8, 0, 9, 7}}));
}

TEST(ClockSlots, FarOrNanSeparatorIsClampedLikeThePythonExpression) {
  EXPECT_EQ(boxes(clock_slots(200, 40, -1e9)), boxes(clock_slots(200, 40, 60.0)));
  EXPECT_EQ(boxes(clock_slots(200, 40, 1e9)), boxes(clock_slots(200, 40, 140.0)));
  // max(0.3w, min(0.7w, nan)) is 0.7w.
  EXPECT_EQ(boxes(clock_slots(200, 40, std::nan(""))), boxes(clock_slots(200, 40, 140.0)));
}

TEST(LayoutForRole, PicksTheGroupLayout) {
  EXPECT_EQ(layout_for_role("guest_shots", 40, 20).size(), 2u);
  EXPECT_EQ(layout_for_role("down", 40, 20).size(), 1u);
  EXPECT_EQ(layout_for_role("Clock", 40, 20).size(), 1u);
  EXPECT_EQ(layout_for_role("home_penalty_2", 100, 30).size(), 5u);
  EXPECT_EQ(boxes(layout_for_role("clock", 200, 40, 150.0)), boxes(clock_slots(200, 40, 150.0)));
  EXPECT_EQ(boxes(layout_for_role("period", 200, 40, 150.0)), boxes(equal_digit_slots(200, 40, 1)));
  EXPECT_NE(find_separator(layout_for_role("clock", 100, 30)), nullptr);
  EXPECT_EQ(find_separator(layout_for_role("home_score", 100, 30)), nullptr);
}

TEST(ClockCellSlots, SidesByCountAndSeparatorKind) {
  EXPECT_EQ(clock_cell_slots(200, 60, 90.0, 4, SeparatorKind::kDecimalPoint),
            clock_slots(200, 60, 90.0));
  // "dd.d" without a detection: the gap at two thirds, two equal cells left, one right.
  const Layout tenths = clock_cell_slots(300, 60, std::nullopt, 3, SeparatorKind::kDecimalPoint);
  ASSERT_EQ(tenths.size(), 4u);
  EXPECT_EQ(tenths[2].kind, SlotKind::kSeparator);
  EXPECT_NEAR((tenths[2].box[0] + tenths[2].box[2]) / 2.0, 200.0, 1.0);
  EXPECT_EQ(tenths[0].box[2] - tenths[0].box[0], tenths[1].box[2] - tenths[1].box[0]);
  EXPECT_EQ(tenths[3].box[2], 299);
  EXPECT_EQ(tenths[3].index, 2);
  // "d:dd": one cell left of the colon; "d.d": one each side.
  EXPECT_EQ(clock_cell_slots(300, 60, std::nullopt, 3, SeparatorKind::kColon)[1].kind,
            SlotKind::kSeparator);
  EXPECT_EQ(clock_cell_slots(300, 60, 150.0, 2, SeparatorKind::kDecimalPoint).size(), 3u);
}

}  // namespace
}  // namespace native_ocr::zonescan
