#include "native_ocr/zonescan/separator/separator_detector.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan {
namespace {

using testing::draw_clock;
using testing::Mark;

TEST(SeparatorSpatialPrior, FullOnTheSlotFallingOffBesideIt) {
  SpatialPrior on = separator_spatial_prior(47, 52, 49.5, 47, 52);
  EXPECT_DOUBLE_EQ(on.spatial_prior, 1.0);
  EXPECT_TRUE(on.center_compatible);

  SpatialPrior shifted = separator_spatial_prior(49, 54, 51.5, 47, 52);
  EXPECT_DOUBLE_EQ(shifted.overlap_ratio, 4.0 / 6.0);
  EXPECT_NEAR(shifted.window_prior, 0.9204, 1e-4);
  EXPECT_NEAR(shifted.group_prior, 0.9610, 1e-4);
  EXPECT_NEAR(shifted.spatial_prior, 0.5896, 1e-4);

  SpatialPrior outside = separator_spatial_prior(49, 54, 53.0, 47, 52);
  EXPECT_FALSE(outside.center_compatible);
  EXPECT_EQ(outside.spatial_prior, 0.0);
  EXPECT_TRUE(separator_spatial_prior(49, 54, 52.9, 47, 52).center_compatible);
}

TEST(SeparatorHypothesis, ColonPositionIsEnergyWeighted) {
  EXPECT_DOUBLE_EQ(colon_local_x(2.0, 30.0, 4.0, 10.0), 2.5);
  EXPECT_DOUBLE_EQ(colon_local_x(2.0, 0.2, 4.0, 0.2), 1.2);  // divided by at least 1.0
  WindowEvaluation none;
  EXPECT_FALSE(separator_hypothesis(none, SeparatorKind::kColon, 47, 52).has_value());
  EXPECT_FALSE(separator_hypothesis(none, SeparatorKind::kDecimalPoint, 47, 52).has_value());
}

TEST(DetectClockSeparator, ColonBetweenDigitPairs) {
  cv::Mat clock = draw_clock(200, 60, "1234", Mark::kColon);
  std::optional<SeparatorDetection> d = detect_clock_separator_without_regions(clock);
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(separator_char(d->kind), ":");
  EXPECT_EQ(clock_mode(d->kind), "minutes");
  EXPECT_NEAR(d->x, 99.0, 1.0);
  EXPECT_GE(d->confidence, 0.65);
  ASSERT_EQ(d->dots.size(), 2u);
  EXPECT_LT(d->dots[0][1], d->dots[1][1]);
  ASSERT_TRUE(d->upper_group.has_value());
  EXPECT_EQ(d->physical_separator_box, (Box{94, 0, 104, 59}));
  EXPECT_EQ(d->corridor_search, (Box{91, 0, 107, 59}));
  EXPECT_EQ(d->energy_profile.size(), 6u);
  EXPECT_TRUE(d->best_colon.has_value());
  EXPECT_EQ(d->final_score, std::round(d->confidence * 10000) / 10000);
}

TEST(DetectClockSeparator, DecimalPointLowInTheGap) {
  cv::Mat clock = draw_clock(200, 60, "598 ", Mark::kDecimal);
  std::optional<SeparatorDetection> d = detect_clock_separator_without_regions(clock);
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(separator_char(d->kind), ".");
  EXPECT_EQ(clock_mode(d->kind), "tenths");
  EXPECT_FALSE(d->upper_group.has_value());
  ASSERT_EQ(d->dots.size(), 1u);
  EXPECT_GT(d->dots[0][1], 40.0);
  EXPECT_EQ(d->selected_hypothesis.kind, SeparatorKind::kDecimalPoint);
}

TEST(DetectClockSeparator, NothingInTheGapGivesNoResult) {
  EXPECT_FALSE(detect_clock_separator_without_regions(draw_clock(200, 60, "1234", Mark::kNone)));
  EXPECT_FALSE(detect_clock_separator_without_regions(cv::Mat(60, 200, CV_8UC3, cv::Scalar(0))));
}

TEST(DetectClockSeparator, ColonOffTheSlotCentreIsFoundWhereItIs) {
  cv::Mat clock = draw_clock(200, 60, "1234", Mark::kColon, 2.0);
  std::optional<SeparatorDetection> d = detect_clock_separator_without_regions(clock);
  ASSERT_TRUE(d.has_value());
  EXPECT_NEAR(d->x, 101.0, 1.0);
  // Far outside the slot the placement prior rejects it.
  EXPECT_FALSE(
      detect_clock_separator_without_regions(draw_clock(200, 60, "1234", Mark::kColon, 12.0)));
}

TEST(DetectClockSeparator, RotationAppliesFromSixTenthsOfADegree) {
  cv::Mat upright = draw_clock(200, 60, "1234", Mark::kColon);
  cv::Mat tilted;
  cv::warpAffine(upright, tilted, cv::getRotationMatrix2D({100.0f, 30.0f}, 4.0, 1.0),
                 upright.size());
  std::optional<SeparatorDetection> straightened =
      detect_clock_separator_without_regions(tilted, -4.0);
  ASSERT_TRUE(straightened.has_value());
  EXPECT_EQ(separator_char(straightened->kind), ":");
  std::optional<SeparatorDetection> plain = detect_clock_separator_without_regions(upright, 0.0);
  std::optional<SeparatorDetection> small = detect_clock_separator_without_regions(upright, 0.5);
  ASSERT_TRUE(plain && small);
  EXPECT_EQ(plain->x, small->x);
  std::optional<SeparatorDetection> turned = detect_clock_separator_without_regions(upright, -0.6);
  ASSERT_TRUE(turned.has_value());
  EXPECT_NE(turned->x, plain->x);
  // A NaN angle is not a rotation; an infinite one must not crash.
  EXPECT_TRUE(detect_clock_separator_without_regions(upright, std::nan("")).has_value());
  detect_clock_separator_without_regions(upright, INFINITY);
}

TEST(DetectClockSeparator, SheetAndPerWindowBlurAgree) {
  for (int width : {60, 100, 200, 400}) {
    cv::Mat clock = draw_clock(width, width * 3 / 10, "1234", Mark::kColon);
    DetectOptions per_window;
    per_window.per_window_blur = true;
    std::optional<SeparatorDetection> a = detect_clock_separator_without_regions(clock);
    std::optional<SeparatorDetection> b =
        detect_clock_separator_without_regions(clock, 0.0, per_window);
    ASSERT_EQ(a.has_value(), b.has_value()) << width;
    if (a) {
      EXPECT_EQ(a->x, b->x);
      EXPECT_EQ(a->confidence, b->confidence);
      EXPECT_EQ(a->energy_profile, b->energy_profile);
    }
  }
}

TEST(DetectClockSeparator, WindowBlursMustMatchTheWindows) {
  cv::Mat clock = draw_clock(100, 30, "1234", Mark::kColon);
  std::vector<cv::Mat> blurs = separator_window_blurs(clock);
  DetectOptions given;
  given.window_blurs = &blurs;
  EXPECT_EQ(detect_clock_separator_without_regions(clock, 0.0, given)->x,
            detect_clock_separator_without_regions(clock)->x);

  std::vector<cv::Mat> short_list(blurs.begin(), blurs.end() - 1);
  given.window_blurs = &short_list;
  EXPECT_THROW(detect_clock_separator_without_regions(clock, 0.0, given), std::invalid_argument);
  given.per_window_blur = true;  // the given list is then ignored
  EXPECT_TRUE(detect_clock_separator_without_regions(clock, 0.0, given).has_value());

  std::vector<cv::Mat> wrong_size(blurs.size(), cv::Mat::zeros(30, 5, CV_8UC1));
  DetectOptions bad;
  bad.window_blurs = &wrong_size;
  EXPECT_THROW(detect_clock_separator_without_regions(clock, 0.0, bad), cv::Exception);
}

TEST(DetectClockSeparator, DegenerateCropsNeverCrash) {
  EXPECT_FALSE(detect_clock_separator_without_regions(cv::Mat()));
  for (cv::Size size : {cv::Size(1, 1), cv::Size(1, 40), cv::Size(40, 1), cv::Size(3, 2),
                        cv::Size(5, 5), cv::Size(2000, 24)}) {
    cv::Mat crop(size, CV_8UC3);
    cv::randu(crop, 0, 256);
    EXPECT_NO_THROW(detect_clock_separator_without_regions(crop)) << size;
  }
  EXPECT_THROW(detect_clock_separator_without_regions(cv::Mat::zeros(30, 100, CV_8UC1)),
               cv::Exception);
  EXPECT_THROW(detect_clock_separator_without_regions(cv::Mat::zeros(30, 100, CV_32FC3)),
               cv::Exception);
}

TEST(PublicGroup, RoundsAndShiftsToSourceColumns) {
  SeparatorGroup g;
  g.center_x = 2.675;
  g.center_y = 1.005;
  g.reliability = 0.123456;
  PublicGroup p = public_group(g, 40);
  EXPECT_EQ(p.center_x, 42.67);  // 40 + 2.675 is stored just below 42.675
  EXPECT_EQ(p.center_y, 1.0);
  EXPECT_EQ(p.reliability, 0.1235);
}

}  // namespace
}  // namespace native_ocr::zonescan
