#include "native_ocr/segsense/segment_classifier.h"

#include <gtest/gtest.h>

#include "native_ocr/segsense/test_drawing.h"

namespace native_ocr::segsense {
namespace {

using testing::fill;

Segments all(double v) {
  Segments s;
  s.fill(v);
  return s;
}

TEST(MeanInk, RoundsBoundsHalfToEvenAndClamps) {
  cv::Mat cell = cv::Mat::zeros(4, 4, CV_8UC1);
  fill(cell, 0, 0, 2, 4);  // columns 0 and 1 inked
  // 0.5 -> 0, 2.5 -> 2: columns 0..1 of every row.
  EXPECT_DOUBLE_EQ(mean_ink(cell, 0.5, 0.0, 2.5, 4.0), 1.0);
  // 1.5 -> 2, 3.5 -> 4: columns 2..3.
  EXPECT_DOUBLE_EQ(mean_ink(cell, 1.5, 0.0, 3.5, 4.0), 0.0);
  EXPECT_DOUBLE_EQ(mean_ink(cell, -10.0, -10.0, 100.0, 100.0), 0.5);
  // Collapsed or inverted rectangles measure nothing.
  EXPECT_EQ(mean_ink(cell, 1.4, 0.0, 1.2, 4.0), 0.0);
  EXPECT_EQ(mean_ink(cell, 3.0, 0.0, 1.0, 4.0), 0.0);
}

TEST(SegmentStrengths, ProbeRectanglesOfA20By10Frame) {
  // A covers rows 0..2 and columns 2..7; B columns 8..9 and rows 3..7.
  cv::Mat a = cv::Mat::zeros(20, 10, CV_8UC1);
  fill(a, 2, 0, 6, 3);
  Segments s = segment_strengths(a);
  EXPECT_DOUBLE_EQ(s[0], 1.0);
  fill(a, 2, 3, 6, 1);  // row 3 is below A's probe
  EXPECT_DOUBLE_EQ(segment_strengths(a)[0], 1.0);

  cv::Mat b = cv::Mat::zeros(20, 10, CV_8UC1);
  fill(b, 8, 3, 2, 5);
  s = segment_strengths(b);
  EXPECT_DOUBLE_EQ(s[1], 1.0);
  for (int i : {0, 2, 3, 4, 5, 6}) {
    EXPECT_EQ(s[static_cast<size_t>(i)], 0.0) << kSegmentNames[static_cast<size_t>(i)];
  }
}

TEST(SegmentStrengths, FramesUnder8By5AreNotMeasured) {
  cv::Mat ink(7, 40, CV_8UC1, cv::Scalar(1));
  EXPECT_EQ(segment_strengths(ink), all(0.0));
  ink = cv::Mat(40, 4, CV_8UC1, cv::Scalar(1));
  EXPECT_EQ(segment_strengths(ink), all(0.0));
  ink = cv::Mat(8, 5, CV_8UC1, cv::Scalar(1));
  EXPECT_EQ(segment_strengths(ink), all(1.0));
}

TEST(Activation, DividesByThirtyPercentAndClips) {
  EXPECT_EQ(activation(0.15), 0.15 / 0.3);
  EXPECT_EQ(activation(0.3), 1.0);
  EXPECT_EQ(activation(0.9), 1.0);
  EXPECT_EQ(activation(-0.1), 0.0);
}

TEST(ClassifyActivations, AllSegmentsOnIsEight) {
  const Classification c = classify_activations(all(0.5), all(1.0));
  ASSERT_TRUE(c.value);
  EXPECT_EQ(*c.value, 8);
  EXPECT_EQ(c.best.score, 1.0);
  EXPECT_EQ(c.second.digit, 0);  // 0, 6 and 9 tie; table order keeps 0 first
  EXPECT_EQ(c.second.score, 0.6171428571428571);
  EXPECT_EQ(c.confidence, 1.0);
}

TEST(ClassifyActivations, SevenWithUpperLeftTiesNineAndKeepsTableOrder) {
  const Segments acts = {1, 1, 1, 0, 0, 1, 0};
  const Classification c = classify_activations(acts, acts);
  EXPECT_EQ(c.value, 7);
  EXPECT_EQ(c.best.score, 0.6171428571428571);
  EXPECT_EQ(c.second.digit, 9);
  EXPECT_EQ(c.second.variant, 1);
  EXPECT_EQ(c.confidence, 0.5245714285714286);
}

TEST(ClassifyActivations, NineWithoutBottomBarIsVariantOne) {
  const Segments acts = {1, 1, 1, 0, 0, 1, 1};
  const Classification c = classify_activations(acts, acts);
  EXPECT_EQ(c.value, 9);
  EXPECT_EQ(c.best.variant, 1);
  EXPECT_EQ(c.best.score, 1.0);
  EXPECT_EQ(c.second.digit, 4);  // the other 9 is never the runner-up
}

TEST(ClassifyActivations, NothingLitIsAnUnacceptedOne) {
  const Classification c = classify_activations(all(0.0), all(0.0));
  EXPECT_EQ(c.value, std::nullopt);
  EXPECT_EQ(c.best.digit, 1);
  EXPECT_EQ(c.best.score, 0.5142857142857142);
  EXPECT_EQ(c.confidence, 0.5228571428571428);
}

TEST(ScorePattern, AcceptanceThresholdIsInclusive) {
  // Activations that give the 1 pattern a score of exactly 0.58 are not easy to hit, so check
  // the blend itself: one segment at 0.5 against a pattern otherwise matched.
  const Segments acts = {0, 1, 1, 0, 0, 0, 0.5};
  const std::array<bool, 7> one = {false, true, true, false, false, false, false};
  const double q = 0.5;
  EXPECT_EQ(score_pattern(acts, one), (6.0 + q) / 7 * 0.72 + q * 0.28);
}

}  // namespace
}  // namespace native_ocr::segsense
