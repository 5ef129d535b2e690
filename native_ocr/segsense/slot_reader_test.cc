#include "native_ocr/segsense/slot_reader.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "native_ocr/segsense/test_drawing.h"

namespace native_ocr::segsense {
namespace {

using testing::draw_digit;
using testing::fill;
using testing::GlyphBox;

SlotReading read(const cv::Mat& display, const Box& box) {
  CellScratch scratch;
  return read_slot(view_of(display), box, &scratch);
}

SlotReading read_whole(const cv::Mat& display) {
  return read(display, {0, 0, display.cols - 1, display.rows - 1});
}

TEST(ClipBox, ClampsAndOrders) {
  EXPECT_EQ(clip_box({-5, -5, 10000, 10000}, 40, 30), (Box{0, 0, 39, 29}));
  EXPECT_EQ(clip_box({20, 10, 5, 2}, 40, 30), (Box{5, 2, 20, 10}));
  EXPECT_EQ(clip_box({3, 4, 5, 6}, 0, 0), (Box{0, 0, 0, 0}));
  const int64_t big = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(clip_box({-big, big, big, -big}, 40, 30), (Box{0, 0, 39, 29}));
}

TEST(ReadSlot, ReadsEveryDigit) {
  for (int digit = 0; digit <= 9; ++digit) {
    cv::Mat display = cv::Mat::zeros(48, 32, CV_8UC1);
    draw_digit(display, digit, {6, 6, 20, 36, 4}, 255);
    const SlotReading r = read_whole(display);
    ASSERT_FALSE(r.empty) << digit;
    EXPECT_EQ(r.classification.value, digit);
    EXPECT_EQ(r.classification.best.variant, 0) << digit;
  }
}

TEST(ReadSlot, ReadsNineWithoutItsBottomBar) {
  cv::Mat display = cv::Mat::zeros(48, 32, CV_8UC1);
  testing::draw_segments(display, testing::pattern_of(9, 1), {6, 6, 20, 36, 4}, 255);
  const SlotReading r = read_whole(display);
  EXPECT_EQ(r.classification.value, 9);
  EXPECT_EQ(r.classification.best.variant, 1);
}

TEST(ReadSlot, NarrowOneAndSevenInWideCells) {
  // The glyph occupies the right part of a cell twice its width; the 1 lights only B and C.
  for (int digit : {1, 7}) {
    cv::Mat display = cv::Mat::zeros(48, 50, CV_8UC1);
    draw_digit(display, digit, {24, 6, 20, 36, 4}, 255);
    const SlotReading r = read_whole(display);
    EXPECT_EQ(r.classification.value, digit);
    EXPECT_NE(r.frame.horizontal_structure_position, "wide") << digit;
  }
}

TEST(ReadSlot, ThinMarksAtTheEdgesDoNotChangeTheDigit) {
  cv::Mat display = cv::Mat::zeros(60, 36, CV_8UC1);
  draw_digit(display, 4, {8, 10, 20, 40, 4}, 255);
  fill(display, 0, 0, 36, 2, 255);
  fill(display, 3, 58, 30, 2, 255);
  const SlotReading r = read_whole(display);
  EXPECT_EQ(r.classification.value, 4);
  EXPECT_EQ(r.frame.frame_box[1], 10);
  EXPECT_EQ(r.frame.frame_box[3], 49);
}

TEST(ReadSlot, GlyphBoxIsInDisplayCoordinates) {
  cv::Mat display = cv::Mat::zeros(50, 100, CV_8UC1);
  draw_digit(display, 8, {56, 7, 24, 36, 4}, 255);
  const SlotReading r = read(display, {50, 0, 99, 49});
  EXPECT_EQ(r.box, (Box{50, 0, 99, 49}));
  EXPECT_EQ(r.glyph_box, (Box{56, 7, 79, 42}));
  EXPECT_EQ(r.classification.value, 8);
  EXPECT_DOUBLE_EQ(r.observed_width_ratio, 24.0 / 50.0);
}

TEST(ReadSlot, EmptyAndNearEmptyCells) {
  // 125 pixels with 3 ink pixels: ratio 0.024, empty confidence exactly 0.6, empty.
  cv::Mat cell = cv::Mat::zeros(25, 5, CV_8UC1);
  fill(cell, 0, 0, 3, 1);
  SlotReading r = read_whole(cell);
  EXPECT_TRUE(r.empty);
  EXPECT_EQ(r.ink_ratio, 3.0 / 125.0);
  EXPECT_EQ(r.empty_confidence, r.confidence);
  EXPECT_NEAR(r.empty_confidence, 0.6, 1e-15);
  EXPECT_GE(r.empty_confidence, 0.6);

  // 40 pixels with 1 ink pixel: ratio 0.025, empty confidence 0.5833: goes on to framing.
  cell = cv::Mat::zeros(8, 5, CV_8UC1);
  cell.at<uint8_t>(3, 3) = 1;
  r = read_whole(cell);
  EXPECT_FALSE(r.empty);
  EXPECT_EQ(r.classification.value, std::nullopt);
  EXPECT_EQ(r.classification.best.digit, 1);

  r = read_whole(cv::Mat::zeros(20, 20, CV_8UC1));
  EXPECT_TRUE(r.empty);
  EXPECT_EQ(r.confidence, 1.0);
  EXPECT_EQ(r.ink_ratio, 0.0);
}

TEST(ReadSlot, TinyCellsAreReadAsUnknown) {
  cv::Mat cell(7, 4, CV_8UC1, cv::Scalar(1));
  const SlotReading r = read_whole(cell);
  EXPECT_FALSE(r.empty);
  EXPECT_EQ(r.classification.value, std::nullopt);
  EXPECT_EQ(r.classification.confidence, 0.5228571428571428);
}

TEST(ReadSlot, EmptyDisplayGivesEmptyCells) {
  cv::Mat display(0, 30, CV_8UC1);
  const SlotReading r = read(display, {5, 5, 20, 20});
  EXPECT_TRUE(r.empty);
  EXPECT_EQ(r.box, (Box{5, 0, 20, 0}));
  EXPECT_EQ(r.confidence, 1.0);
  EXPECT_EQ(r.empty_confidence, 1.0);
  EXPECT_EQ(r.ink_ratio, 0.0);
}

// The same 8 drawn into a float display with negative and NaN background: only positive
// numbers are ink, and a NaN channel hides the pixel.
TEST(ReadSlot, AnyElementTypeAndChannels) {
  cv::Mat ink = cv::Mat::zeros(48, 32, CV_8UC1);
  draw_digit(ink, 8, {6, 6, 20, 36, 4}, 1);
  std::vector<double> pixels(48 * 32 * 2);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 32; ++x) {
      const size_t i = static_cast<size_t>(y * 32 + x) * 2;
      pixels[i] = ink.at<uint8_t>(y, x) ? 0.5 : -3.0;
      pixels[i + 1] = ink.at<uint8_t>(y, x) ? -1.0 : -2.0;
    }
  }
  pixels[(10 * 32 + 1) * 2] = std::numeric_limits<double>::quiet_NaN();
  DisplayView view;
  view.data = reinterpret_cast<const char*>(pixels.data());
  view.type = ElementType::kFloat64;
  view.rows = 48;
  view.cols = 32;
  view.channels = 2;
  view.row_stride = 32 * 2 * 8;
  view.col_stride = 2 * 8;
  view.channel_stride = 8;
  CellScratch scratch;
  const SlotReading r = read_slot(view, {0, 0, 31, 47}, &scratch);
  EXPECT_EQ(r.classification.value, 8);
  EXPECT_EQ(cv::countNonZero(scratch.cell != ink), 0);

  // A NaN channel next to a positive one is not ink.
  pixels[(20 * 32 + 7) * 2 + 1] = std::numeric_limits<double>::quiet_NaN();
  read_slot(view, {0, 0, 31, 47}, &scratch);
  EXPECT_EQ(scratch.cell.at<uint8_t>(20, 7), 0);
  EXPECT_EQ(scratch.cell.at<uint8_t>(20, 6), 1);
}

TEST(ReadSlot, HalfFloatAndNegativeStrides) {
  // Half floats 1.0 (0x3c00), -2.0 (0xc000), NaN (0x7e00) and 0; the view walks the rows
  // bottom-up.
  const uint16_t pixels[2][4] = {{0x3c00, 0xc000, 0x7e00, 0x0000}, {0x0001, 0x8001, 0, 0x3c00}};
  DisplayView view;
  view.type = ElementType::kFloat16;
  view.rows = 2;
  view.cols = 4;
  view.row_stride = -8;
  view.col_stride = 2;
  view.data = reinterpret_cast<const char*>(&pixels[1][0]);
  cv::Mat cell;
  std::vector<double> counts;
  binarize_region(view, 0, 0, 2, 4, &cell, &counts);
  EXPECT_EQ(counts, (std::vector<double>{2, 1}));
  EXPECT_EQ(cell.at<uint8_t>(0, 0), 1);  // smallest positive subnormal
  EXPECT_EQ(cell.at<uint8_t>(0, 1), 0);  // negative subnormal
  EXPECT_EQ(cell.at<uint8_t>(0, 3), 1);
  EXPECT_EQ(cell.at<uint8_t>(1, 0), 1);
  EXPECT_EQ(cell.at<uint8_t>(1, 1), 0);
  EXPECT_EQ(cell.at<uint8_t>(1, 2), 0);
  EXPECT_EQ(cell.at<uint8_t>(1, 3), 0);
}

}  // namespace
}  // namespace native_ocr::segsense
