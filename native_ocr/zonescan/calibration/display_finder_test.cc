#include "native_ocr/zonescan/calibration/display_finder.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/calibration/test_board.h"

namespace native_ocr::zonescan::calibration {
namespace {

using testing::Board;
using testing::draw_board;

cv::Mat grey_of(const cv::Mat& bgr) {
  cv::Mat grey;
  cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
  return grey;
}

Board board_of(const char* cells) {
  Board board;
  board.cells = cells;
  return board;
}

std::optional<FoundDisplay> find_in(const testing::DrawnBoard& drawn, int cells) {
  return find_display(grey_of(drawn.image), cells);
}

// The found box lies within `slack` pixels of the true one on every side.
void expect_box(const FoundDisplay& found, const cv::Rect& truth, double slack) {
  EXPECT_NEAR(found.left, truth.x, slack);
  EXPECT_NEAR(found.right, truth.x + truth.width - 1, slack);
  EXPECT_NEAR(found.top, truth.y, slack);
  EXPECT_NEAR(found.bottom, truth.y + truth.height - 1, slack);
}

TEST(GreyStatisticsTest, MedianAndPercentileFollowNumpy) {
  cv::Mat grey = (cv::Mat_<uint8_t>(1, 4) << 10, 20, 30, 40);
  EXPECT_DOUBLE_EQ(grey_median(grey), 25.0);  // even count: the mean of the middle two
  EXPECT_DOUBLE_EQ(grey_percentile(grey, 50), 25.0);
  EXPECT_DOUBLE_EQ(grey_percentile(grey, 99.5), 39.85);
  EXPECT_DOUBLE_EQ(grey_percentile(grey, 0), 10.0);
  cv::Mat odd = (cv::Mat_<uint8_t>(1, 3) << 7, 1, 5);
  EXPECT_DOUBLE_EQ(grey_median(odd), 5.0);
}

TEST(FindDisplayTest, ClockWithBlankLeadingCellKeepsFourCells) {
  const Board board = board_of(" 5:30");
  const auto drawn = draw_board(board);
  const auto found = find_in(drawn, 4);
  ASSERT_TRUE(found.has_value());
  ASSERT_TRUE(found->separator_x.has_value());
  expect_box(*found, drawn.display, 0.12 * board.digit_height);
}

TEST(FindDisplayTest, ClockWhoseFirstLitDigitIsAOneKeepsItsColon) {
  // The lit part starts at the 1, just left of the colon: the colon lies near the lit part's
  // left end, and the blank leading cell is found from it.
  for (const char* cells : {" 1:33", " 1:08", "11:11"}) {
    const Board board = board_of(cells);
    const auto drawn = draw_board(board);
    const auto found = find_in(drawn, 4);
    ASSERT_TRUE(found.has_value()) << cells;
    ASSERT_TRUE(found->separator_x.has_value()) << cells;
    expect_box(*found, drawn.display, 0.12 * board.digit_height);
  }
}

TEST(FindDisplayTest, SeparatorKindAndALayoutOfFewerCells) {
  const Board colon = board_of(" 5:30");
  const auto with_colon = find_in(draw_board(colon), 4);
  ASSERT_TRUE(with_colon.has_value());
  EXPECT_EQ(with_colon->separator_kind, SeparatorKind::kColon);
  EXPECT_EQ(for_clock_cells(*with_colon, 4).left, with_colon->left);

  const Board tenths = board_of("59.8 ");
  const auto drawn = draw_board(tenths);
  const auto found = find_in(drawn, 4);
  ASSERT_TRUE(found.has_value());
  ASSERT_EQ(found->separator_kind, SeparatorKind::kDecimalPoint);
  // Four cells keep a cell either side of the point; "dd.d" ends at the tenths digit.
  const FoundDisplay three = for_clock_cells(*found, 3);
  EXPECT_EQ(three.right, found->glyph_right);
  EXPECT_LT(three.right, found->right - 0.3 * tenths.digit_height);
  EXPECT_LE(three.left, found->glyph_left);

  // A blank leading cell: "d.d" read as "dd.d" keeps room for the missing tens digit.
  FoundDisplay lone = *found;
  lone.glyph_left = *found->separator_x - 0.2 * found->digit_height;
  EXPECT_LT(for_clock_cells(lone, 3).left, *found->separator_x - found->digit_height);
}

TEST(FindDisplayTest, TenthsClockKeepsItsTrailingCell) {
  const Board board = board_of("59.8 ");
  const auto drawn = draw_board(board);
  const auto found = find_in(drawn, 4);
  ASSERT_TRUE(found.has_value());
  EXPECT_GT(found->right, drawn.display.x + drawn.display.width - 0.3 * board.digit_height);
}

TEST(FindDisplayTest, ScoreOfOneDigitWidensToTwoCells) {
  const Board board = board_of(" 7");
  const auto drawn = draw_board(board);
  const auto found = find_in(drawn, 2);
  ASSERT_TRUE(found.has_value());
  // The blank tens cell is inside: the box starts within a fifth of a digit of the true left.
  EXPECT_NEAR(found->left, drawn.display.x, 0.2 * board.digit_height);
  EXPECT_NEAR(found->right, drawn.display.x + drawn.display.width - 1, 2);
}

TEST(FindDisplayTest, LeavesOutLabelSliverAndEdge) {
  Board board = board_of("12:34");
  board.label_below = true;
  board.sliver_right = true;
  board.edge_at = 0;
  const auto drawn = draw_board(board);
  const auto found = find_in(drawn, 4);
  ASSERT_TRUE(found.has_value());
  expect_box(*found, drawn.display, 0.12 * board.digit_height);
}

TEST(FindDisplayTest, LeavesOutAHousingEdgeInsideTheZone) {
  // A zone drawn past the housing: its edge crosses the crop from top to bottom.
  Board board = board_of("16");
  board.edge_at = 12;
  const auto drawn = draw_board(board);
  const auto found = find_in(drawn, 2);
  ASSERT_TRUE(found.has_value());
  expect_box(*found, drawn.display, 3);
}

TEST(FindDisplayTest, DarkOnLightBoardIsFoundInverted) {
  Board board;
  board.cells = "42";
  board.dark_on_light = true;
  const auto drawn = draw_board(board);
  const cv::Mat grey = grey_of(drawn.image);
  const cv::Mat before = grey.clone();
  const auto found = find_display(grey, 2);
  ASSERT_TRUE(found.has_value());
  EXPECT_TRUE(found->dark_on_light);
  expect_box(*found, drawn.display, 3);
  EXPECT_EQ(cv::norm(grey, before, cv::NORM_INF), 0.0);  // the caller's pixels stay as they were
}

TEST(FindDisplayTest, NothingLitOrTooSmallIsNone) {
  EXPECT_FALSE(find_display(cv::Mat(60, 120, CV_8UC1, cv::Scalar(40)), 2).has_value());
  cv::Mat faint(60, 120, CV_8UC1, cv::Scalar(40));
  faint(cv::Rect(10, 10, 20, 30)).setTo(50);  // 10 levels over the background: not a display
  EXPECT_FALSE(find_display(faint, 2).has_value());
  EXPECT_FALSE(find_display(cv::Mat(5, 120, CV_8UC1, cv::Scalar(200)), 2).has_value());
}

TEST(MergeIntoGlyphsTest, SegmentsOfOneDigitMergeNeighboursApartDoNot) {
  // Two strokes a pixel apart, and a third far away.
  const std::vector<Blob> pieces = {
      {{0, 0, 3, 19}, 80}, {{0, 21, 3, 40}, 80}, {{30, 0, 33, 40}, 164}};
  const auto glyphs = merge_into_glyphs(pieces);
  ASSERT_EQ(glyphs.size(), 2u);
  EXPECT_EQ(glyphs[0].height(), 41);
  EXPECT_EQ(glyphs[0].area, 160);
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration

namespace native_ocr::zonescan::calibration {
namespace {

TEST(FindDisplayTest, LeavesOutAHousingOutlineRoundTheZone) {
  const Board board = board_of("42");
  const auto drawn = draw_board(board);
  cv::Mat image = drawn.image.clone();
  cv::rectangle(image, cv::Point(1, 1), cv::Point(image.cols - 2, image.rows - 2),
                cv::Scalar(200, 200, 200), 2);
  const auto found = find_display(grey_of(image), 2);
  ASSERT_TRUE(found.has_value());
  expect_box(*found, drawn.display, 3);
}

TEST(WithoutStripsTest, DropsALabelStripApartByAnUnlitRow) {
  cv::Mat grey(60, 100, CV_8UC1, cv::Scalar(10));
  grey(cv::Rect(20, 10, 40, 31)).setTo(200);  // rows 10-40: the digits' rows
  grey(cv::Rect(25, 42, 30, 5)).setTo(200);   // rows 42-46: a label under them
  const auto range = lit_range(grey);
  ASSERT_TRUE(range.has_value());
  FoundDisplay found;
  found.left = 20;
  found.right = 59;
  found.top = 10;
  found.bottom = 46;
  found.level = 100;
  const auto trimmed = without_strips(*range, found);
  ASSERT_TRUE(trimmed.has_value());
  EXPECT_EQ(trimmed->top, 10);
  EXPECT_EQ(trimmed->bottom, 40);
  EXPECT_EQ(trimmed->digit_height, 31);
  found.bottom = 40;  // nothing to drop
  EXPECT_FALSE(without_strips(*range, found).has_value());
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration
