#include "native_ocr/segsense/cell_framing.h"

#include <vector>

#include <gtest/gtest.h>

#include "native_ocr/segsense/test_drawing.h"

namespace native_ocr::segsense {
namespace {

using testing::digit_cell;
using testing::fill;

TEST(SignificantComponentCount, IgnoresSmallComponents) {
  cv::Mat mask = cv::Mat::zeros(30, 30, CV_8UC1);
  fill(mask, 0, 0, 10, 10);  // 100 pixels
  fill(mask, 20, 20, 5, 2);  // 10 pixels: under 15 % of 100
  EXPECT_EQ(significant_component_count(mask), 1);
  fill(mask, 20, 20, 5, 4);  // 20 pixels
  EXPECT_EQ(significant_component_count(mask), 2);

  cv::Mat small = cv::Mat::zeros(10, 10, CV_8UC1);
  EXPECT_EQ(significant_component_count(small), 0);
  fill(small, 0, 0, 3, 1);
  fill(small, 5, 5, 1, 3);
  EXPECT_EQ(significant_component_count(small), 0);  // 3 and 3, under the minimum of 4
}

TEST(SignificantComponentCount, DiagonalNeighboursAreSeparate) {
  cv::Mat mask = cv::Mat::zeros(6, 6, CV_8UC1);
  fill(mask, 0, 0, 2, 2);
  fill(mask, 2, 2, 2, 2);  // touches the first block only at a corner
  EXPECT_EQ(significant_component_count(mask), 2);
  // A U shape is one component even though the flood fill reaches it from two arms.
  cv::Mat u = cv::Mat::zeros(8, 8, CV_8UC1);
  fill(u, 0, 0, 2, 8);
  fill(u, 6, 0, 2, 8);
  fill(u, 0, 6, 8, 2);
  EXPECT_EQ(significant_component_count(u), 1);
}

// A glyph whose inked rows have the given widest-run widths, all starting at column 0.
cv::Mat rows_of_widths(const std::vector<int>& widths, int cols) {
  cv::Mat glyph = cv::Mat::zeros(static_cast<int>(widths.size()), cols, CV_8UC1);
  for (size_t i = 0; i < widths.size(); ++i) {
    fill(glyph, 0, static_cast<int>(i), widths[i], 1);
  }
  return glyph;
}

TEST(SingleVerticalMass, RejectsARowMuchWiderThanTheMedian) {
  // Median 3, limit max(5.4, 5.0): 9 fails, 5 passes on to the aspect test.
  EXPECT_FALSE(single_vertical_mass(rows_of_widths({3, 3, 4, 3, 9}, 9), 0, 19, 0, 8));
  EXPECT_TRUE(single_vertical_mass(rows_of_widths({3, 3, 4, 3, 5}, 5), 0, 19, 0, 4));
  // Same glyph, but its structure is too wide for its height: 5 > 10 * 0.45.
  EXPECT_FALSE(single_vertical_mass(rows_of_widths({3, 3, 4, 3, 5}, 5), 0, 9, 0, 4));
}

TEST(SingleVerticalMass, NeedsOneComponentAndFourRows) {
  EXPECT_FALSE(single_vertical_mass(rows_of_widths({2, 2, 2}, 2), 0, 19, 0, 1));
  EXPECT_TRUE(single_vertical_mass(rows_of_widths({2, 2, 2, 2}, 2), 0, 19, 0, 1));
  cv::Mat two = cv::Mat::zeros(20, 2, CV_8UC1);
  fill(two, 0, 0, 2, 8);
  fill(two, 0, 12, 2, 8);
  EXPECT_FALSE(single_vertical_mass(two, 0, 19, 0, 1));
  EXPECT_FALSE(single_vertical_mass(cv::Mat(0, 3, CV_8UC1), 0, 19, 0, 1));
}

TEST(FrameFromCell, WideGlyphUsesItsOwnColumns) {
  const cv::Mat cell = digit_cell(40, 30, 8, {5, 4, 20, 32, 3});
  auto f = frame_from_cell(cell);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->frame_box, (Box{5, 4, 24, 35}));
  EXPECT_EQ(f->frame_method, "projection_wide");
  EXPECT_EQ(f->horizontal_frame_source, "projection_wide");
  EXPECT_EQ(f->horizontal_structure_position, "wide");
  EXPECT_EQ(frame_from_cell(cv::Mat::zeros(5, 5, CV_8UC1)), std::nullopt);
}

TEST(FrameFromCell, WidthRatioOfExactlyTheLimitIsWide) {
  cv::Mat cell = cv::Mat::zeros(30, 20, CV_8UC1);
  fill(cell, 0, 0, 9, 30);  // 9 / 20 = 0.45
  EXPECT_EQ(frame_from_cell(cell)->frame_method, "projection_wide");
  cell = cv::Mat::zeros(30, 20, CV_8UC1);
  fill(cell, 11, 0, 8, 30);
  EXPECT_NE(frame_from_cell(cell)->frame_method, "projection_wide");
}

TEST(FrameFromCell, NarrowOneAtTheRightIsRightAnchored) {
  // A 1 whose verticals sit at columns 25..27 of a 30-column cell: widened to the left.
  cv::Mat cell = digit_cell(40, 30, 1, {10, 4, 18, 32, 3});
  auto f = frame_from_cell(cell);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->structure.left, 25);
  EXPECT_EQ(f->structure.right, 27);
  EXPECT_EQ(f->horizontal_structure_position, "right");
  EXPECT_EQ(f->frame_method, "nominal_width_right_anchored");
  EXPECT_EQ(f->frame_box[2], 27);
  EXPECT_EQ(f->frame_box[0], std::max<int64_t>(0, 27 - f->structure.nominal_frame_width + 1));
}

TEST(FrameFromCell, NarrowSevenUsesItsBar) {
  // A 7 in a wide cell: its top bar is a horizontal bar, so the method names it.
  cv::Mat cell = digit_cell(40, 60, 7, {4, 4, 14, 32, 3});
  auto f = frame_from_cell(cell);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->frame_method, "horizontal_bar_extent");
  EXPECT_EQ(f->horizontal_structure_position, "left");
  EXPECT_EQ(f->frame_box[0], f->structure.support_left);
}

TEST(FrameFromCell, AmbiguousLoneBarIsASingleStroke) {
  // A centred upright bar where a frame of the nominal width fits on both sides.
  cv::Mat cell = cv::Mat::zeros(40, 40, CV_8UC1);
  fill(cell, 19, 5, 3, 30);
  auto f = frame_from_cell(cell);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->horizontal_structure_position, "right");
  EXPECT_EQ(f->frame_method, "nominal_width_right_anchored");
  EXPECT_EQ(f->frame_box[2], 21);
}

TEST(FrameFromCell, AmbiguousNonStrokeKeepsItsColumns) {
  // Two separate upright bars close together in the middle: not a single stroke.
  cv::Mat cell = cv::Mat::zeros(40, 60, CV_8UC1);
  fill(cell, 26, 5, 3, 14);
  fill(cell, 31, 21, 3, 14);
  auto f = frame_from_cell(cell);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->horizontal_structure_position, "ambiguous");
  EXPECT_EQ(f->frame_method, "projection_vertical_preserved_horizontal");
  EXPECT_EQ(f->horizontal_frame_source, "observed_fallback");
  EXPECT_EQ(f->frame_box[0], f->structure.support_left);
  EXPECT_EQ(f->frame_box[2], f->structure.support_right);
}

}  // namespace
}  // namespace native_ocr::segsense
