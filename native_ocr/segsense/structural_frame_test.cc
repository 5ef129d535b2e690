#include "native_ocr/segsense/structural_frame.h"

#include <vector>

#include <gtest/gtest.h>

#include "native_ocr/segsense/test_drawing.h"

namespace native_ocr::segsense {
namespace {

using testing::fill;

Runs runs_of(std::vector<int64_t> indices) {
  return contiguous_runs(indices);
}

// A projection with `count` at the given inclusive index ranges and 0 elsewhere.
std::vector<double> projection(size_t size, const Runs& lit, double count = 5) {
  std::vector<double> out(size, 0.0);
  for (const Run& r : lit) {
    for (int64_t i = r.start; i <= r.end; ++i) {
      out[static_cast<size_t>(i)] = count;
    }
  }
  return out;
}

TEST(ContiguousRuns, SplitsAtGaps) {
  EXPECT_EQ(runs_of({2, 3, 4, 7, 9, 10}), (Runs{{2, 4}, {7, 7}, {9, 10}}));
  EXPECT_EQ(runs_of({}), Runs{});
  EXPECT_EQ(runs_of({5}), (Runs{{5, 5}}));
}

TEST(RemoveMarginalRuns, DropsThinEdgeRunsSeparatedByAGap) {
  EXPECT_EQ(remove_marginal_runs({{0, 1}, {5, 30}, {38, 39}}, 40), (Runs{{5, 30}}));
  // With 41 rows the bottom run no longer touches the last row.
  EXPECT_EQ(remove_marginal_runs({{0, 1}, {5, 30}, {38, 39}}, 41), (Runs{{5, 30}, {38, 39}}));
  // A single run is never removed, however thin.
  EXPECT_EQ(remove_marginal_runs({{0, 1}}, 40), (Runs{{0, 1}}));
  // Too tall (5 > 4.0) or too close (gap 1 < 1.2) to be a marginal mark.
  EXPECT_EQ(remove_marginal_runs({{0, 4}, {8, 30}}, 40), (Runs{{0, 4}, {8, 30}}));
  EXPECT_EQ(remove_marginal_runs({{0, 1}, {3, 30}}, 40), (Runs{{0, 1}, {3, 30}}));
  // Only a run touching the edge row goes: the next thin run is kept.
  EXPECT_EQ(remove_marginal_runs({{0, 0}, {3, 3}, {6, 6}}, 40), (Runs{{3, 3}, {6, 6}}));
}

TEST(ExtendFromCore, LinksRunsWithinTheGap) {
  const Runs core = {{10, 20}};
  // Three blank rows (7..9) above the core with max_gap 3: linked; four blank rows: not.
  EXPECT_EQ(extend_from_core(projection(30, {{5, 6}, {10, 20}}), core, 3),
            (native_ocr::Run{5, 20}));
  EXPECT_EQ(extend_from_core(projection(30, {{4, 5}, {10, 20}}), core, 3),
            (native_ocr::Run{10, 20}));
  // Nothing overlapping the core: none.
  EXPECT_EQ(extend_from_core(projection(30, {{0, 3}}), core, 3), std::nullopt);
  // Counts under the weak threshold never link.
  EXPECT_EQ(extend_from_core(projection(30, {{10, 20}}), core, 3), (native_ocr::Run{10, 20}));
}

TEST(ExtendFromCore, ChainsRunsAcrossPasses) {
  const Runs core = {{10, 12}};
  // 16..17 links to the core, then 20..21 (later in the same pass) links to it.
  EXPECT_EQ(extend_from_core(projection(40, {{10, 12}, {16, 17}, {20, 21}}), core, 3),
            (native_ocr::Run{10, 21}));
  // 3..4 becomes reachable only after 6..7 was linked, which comes later: a second pass.
  EXPECT_EQ(extend_from_core(projection(40, {{3, 4}, {6, 7}, {10, 12}}), core, 2),
            (native_ocr::Run{3, 12}));
}

TEST(HorizontalBarExtent, PrefersWidestThenGreatestStart) {
  cv::Mat cell = cv::Mat::zeros(10, 20, CV_8UC1);
  fill(cell, 3, 2, 12, 1);  // columns 3..14
  fill(cell, 5, 6, 12, 1);  // columns 5..16
  EXPECT_EQ(horizontal_bar_extent(cell, 0, 9, 6), (native_ocr::Run{5, 16}));
  // Rows outside top..bottom are not looked at.
  EXPECT_EQ(horizontal_bar_extent(cell, 0, 3, 6), (native_ocr::Run{3, 14}));

  cv::Mat short_bar = cv::Mat::zeros(3, 20, CV_8UC1);
  fill(short_bar, 0, 1, 11, 1);
  EXPECT_EQ(horizontal_bar_extent(short_bar, 0, 2, 6), std::nullopt);              // needs 12
  EXPECT_EQ(horizontal_bar_extent(short_bar, 0, 2, 0), (native_ocr::Run{0, 10}));  // needs 2
}

TEST(TightBounds, BoxOfAllInk) {
  cv::Mat cell = cv::Mat::zeros(10, 8, CV_8UC1);
  EXPECT_EQ(tight_bounds(cell), std::nullopt);
  cell.at<uint8_t>(2, 6) = 1;
  cell.at<uint8_t>(7, 1) = 1;
  EXPECT_EQ(tight_bounds(cell), (Box{1, 2, 6, 7}));
}

TEST(StructuralFrame, EmptyCellHasNoStructure) {
  EXPECT_EQ(structural_frame(cv::Mat::zeros(12, 9, CV_8UC1)), std::nullopt);
  EXPECT_EQ(structural_frame(cv::Mat(0, 0, CV_8UC1)), std::nullopt);
}

TEST(StructuralFrame, SolidBlockIsOneRun) {
  cv::Mat cell = cv::Mat::zeros(30, 20, CV_8UC1);
  fill(cell, 4, 5, 6, 20);
  auto s = structural_frame(cell);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->top, 5);
  EXPECT_EQ(s->bottom, 24);
  EXPECT_EQ(s->left, 4);
  EXPECT_EQ(s->right, 9);
  EXPECT_DOUBLE_EQ(s->nominal_segment_length, 20.0);
  EXPECT_DOUBLE_EQ(s->width_ratio, 0.3);
  // round(20 + 2 * 6) = 32, limited to the cell width.
  EXPECT_EQ(s->nominal_frame_width, 20);
  EXPECT_EQ(s->horizontal_bar_extent, std::nullopt);  // 6-wide rows do not reach 12
}

TEST(StructuralFrame, DiagonalHairlineHasNoActiveRows) {
  cv::Mat cell = cv::Mat::zeros(20, 20, CV_8UC1);
  for (int i = 3; i < 15; ++i) {
    cell.at<uint8_t>(i, i + 2) = 1;
  }
  auto s = structural_frame(cell);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->tight_box, (Box{5, 3, 16, 14}));
  EXPECT_EQ(s->vertical_core_top, 3);
  EXPECT_EQ(s->bottom, 14);
  EXPECT_EQ(s->left, 5);
  EXPECT_EQ(s->right, 16);
  EXPECT_EQ(s->support_left, 5);
  EXPECT_EQ(s->support_right, 16);
  // Fallback: max((14 - 3 + 1 - 12) * 0.5, 1.0).
  EXPECT_DOUBLE_EQ(s->nominal_segment_length, 1.0);
}

TEST(StructuralFrame, ThinMarksAtTheEdgesAreNotStructure) {
  cv::Mat cell = cv::Mat::zeros(50, 30, CV_8UC1);
  testing::draw_digit(cell, 8, {6, 8, 18, 34, 3});
  fill(cell, 0, 0, 30, 1);   // a line along the top edge
  fill(cell, 2, 48, 25, 2);  // and a thicker one along the bottom
  auto s = structural_frame(cell);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->tight_box, (Box{0, 0, 29, 49}));
  EXPECT_EQ(s->vertical_core_top, 8);
  EXPECT_EQ(s->vertical_core_bottom, 41);
  EXPECT_EQ(s->top, 8);
  EXPECT_EQ(s->bottom, 41);
  EXPECT_EQ(s->left, 6);
  EXPECT_EQ(s->right, 23);
}

TEST(StructuralFrame, WeakRowsNextToTheCoreExtendIt) {
  // A wide bar with a thin tail below it: the tail rows hold 2 pixels, under 20 % of 20 but at
  // the weak threshold, and join the extent.
  cv::Mat cell = cv::Mat::zeros(40, 30, CV_8UC1);
  fill(cell, 5, 10, 20, 10);
  fill(cell, 5, 20, 2, 8);
  auto s = structural_frame(cell);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->vertical_core_top, 10);
  EXPECT_EQ(s->vertical_core_bottom, 19);
  EXPECT_EQ(s->bottom, 27);
  // Every column is active, so the stroke is the bar's own width and the bar is not twice it.
  EXPECT_EQ(s->horizontal_bar_extent, std::nullopt);
}

}  // namespace
}  // namespace native_ocr::segsense
