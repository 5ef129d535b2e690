#include "native_ocr/zonescan/three_cell_separator.h"

#include <gtest/gtest.h>

#include <string>

#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan {
namespace {

constexpr int kWidth = 150;
constexpr int kHeight = 60;

cv::Mat three_cell_clock(const std::string& digits, SeparatorKind kind) {
  return testing::draw_three_cell_clock(kWidth, kHeight, digits, kind);
}

std::string read_three_cells(const cv::Mat& image) {
  ProcessingSettings settings;
  settings.threshold = 100;
  settings.clock_cells = 3;
  const Reading r =
      read_crop(ReaderKind::kClock, {image, true}, "clock", settings, SegmentClassifier());
  return r.clock_value.value_or("");
}

TEST(ThreeCellClock, FindsTheSeparatorOffTheMiddleAndReadsItsLayout) {
  const cv::Mat tenths = three_cell_clock("242", SeparatorKind::kDecimalPoint);
  const std::optional<SeparatorDetection> point = three_cell_separator(tenths);
  ASSERT_TRUE(point);
  EXPECT_EQ(point->kind, SeparatorKind::kDecimalPoint);
  EXPECT_NEAR(point->x, 2.0 * kWidth / 3.0, 0.1 * kWidth);
  EXPECT_EQ(read_three_cells(tenths), "24.2");

  const cv::Mat minutes = three_cell_clock("425", SeparatorKind::kColon);
  const std::optional<SeparatorDetection> colon = three_cell_separator(minutes);
  ASSERT_TRUE(colon);
  EXPECT_EQ(colon->kind, SeparatorKind::kColon);
  EXPECT_NEAR(colon->x, kWidth / 3.0, 0.1 * kWidth);
  EXPECT_EQ(read_three_cells(minutes), "4:25");
}

TEST(ThreeCellClock, ShiftingMovesEveryColumnAndTheAlternative) {
  SeparatorDetection d;
  d.x = 10.0;
  d.dots = {{10.0, 5.0}};
  d.corridor_search = {8, 0, 12, 20};
  d.candidate_window = {9, 0, 11, 20};
  d.best_colon = PublicHypothesis{};
  d.best_colon->hypothesis_x = 10.0;
  d.groups = {PublicGroup{}};
  d.groups[0].center_x = 10.0;
  SeparatorDetection other;
  other.x = 20.0;
  d.alternative = std::make_shared<const SeparatorDetection>(other);
  const SeparatorDetection moved = shifted_detection(d, 7);
  EXPECT_EQ(moved.x, 17.0);
  EXPECT_EQ(moved.dots[0][0], 17.0);
  EXPECT_EQ(moved.dots[0][1], 5.0);
  EXPECT_EQ(moved.corridor_search, (Box{15, 0, 19, 20}));
  EXPECT_EQ(moved.candidate_window, (Box{16, 0, 18, 20}));
  EXPECT_EQ(moved.best_colon->hypothesis_x, 17.0);
  EXPECT_EQ(moved.groups[0].center_x, 17.0);
  ASSERT_TRUE(moved.alternative);
  EXPECT_EQ(moved.alternative->x, 27.0);
  EXPECT_EQ(d.alternative->x, 20.0);  // the original's alternative is left as it was
}

}  // namespace
}  // namespace native_ocr::zonescan
