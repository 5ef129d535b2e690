#include "native_ocr/zonescan/separator/separator_mask.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

TEST(RemoveSmallComponents, KeepsComponentsOfAtLeastMinArea) {
  cv::Mat mask = cv::Mat::zeros(10, 10, CV_8UC1);
  mask.at<uint8_t>(0, 0) = 7;    // one pixel
  mask.at<uint8_t>(4, 4) = 255;  // three pixels joined only diagonally
  mask.at<uint8_t>(5, 5) = 255;
  mask.at<uint8_t>(6, 6) = 255;
  const cv::Mat original = mask.clone();

  cv::Mat all = remove_small_components(mask, 1);
  EXPECT_EQ(all.at<uint8_t>(0, 0), 255);
  EXPECT_EQ(cv::countNonZero(all), 4);

  cv::Mat exact = remove_small_components(mask, 3);
  EXPECT_EQ(exact.at<uint8_t>(0, 0), 0);
  EXPECT_EQ(exact.at<uint8_t>(5, 5), 255);
  EXPECT_EQ(cv::countNonZero(exact), 3);

  EXPECT_EQ(cv::countNonZero(remove_small_components(mask, 4)), 0);
  EXPECT_EQ(cv::countNonZero(mask != original), 0) << "input modified";
}

TEST(RemoveSmallComponents, RejectsColourMasks) {
  EXPECT_THROW(remove_small_components(cv::Mat::zeros(3, 3, CV_8UC3), 1), cv::Exception);
}

cv::Mat bgr(int rows, int cols, uint8_t level) {
  return cv::Mat(rows, cols, CV_8UC3, cv::Scalar(level, level, level));
}

TEST(ClockSeparatorMask, DarkWindowIsEmptyAndSaturatedWindowIsFull) {
  EXPECT_EQ(cv::countNonZero(clock_separator_mask(bgr(100, 10, 90))), 0);
  cv::Mat white = clock_separator_mask(bgr(100, 10, 255));
  EXPECT_EQ(cv::countNonZero(white), 1000);
}

TEST(ClockSeparatorMask, FindsADotAndDropsASpeck) {
  cv::Mat window = bgr(60, 12, 20);
  cv::circle(window, {6, 20}, 3, cv::Scalar(80, 80, 250), cv::FILLED);
  window.at<cv::Vec3b>(50, 2) = cv::Vec3b(255, 255, 255);  // one bright pixel
  cv::Mat mask = clock_separator_mask(window);
  EXPECT_EQ(mask.at<uint8_t>(20, 6), 255);
  EXPECT_EQ(mask.at<uint8_t>(50, 2), 0);
  EXPECT_EQ(mask.at<uint8_t>(40, 6), 0);
}

TEST(ClockSeparatorMask, GivenBlurEqualsOwnBlur) {
  cv::Mat window(40, 9, CV_8UC3);
  cv::randu(window, 0, 256);
  cv::Mat gray;
  cv::cvtColor(window, gray, cv::COLOR_BGR2GRAY);
  cv::Mat blurred;
  cv::GaussianBlur(gray, blurred, cv::Size(0, 0), 7.0);
  EXPECT_EQ(cv::countNonZero(clock_separator_mask(window, blurred) != clock_separator_mask(window)),
            0);
}

// Bright blocks of at least 2x2 on a dark window (too few to move the brightness cut off its
// floor) are the mask before its closing: the result is OpenCV's closing of them, on windows of
// odd and even widths and one a single column wide, blocks at the edges too.
TEST(ClockSeparatorMask, BrightBlocksComeOutAsOpenCvClosesThem) {
  cv::RNG rng(0x3a5c);
  for (const cv::Size size : {cv::Size(31, 47), cv::Size(40, 60), cv::Size(1, 90)}) {
    cv::Mat value = cv::Mat::zeros(size, CV_8UC1);
    if (size.width == 1) {
      value.rowRange(10, 14).setTo(255);
    }
    const int lit_limit = size.area() * 5 / 100;
    while (size.width > 1 && cv::countNonZero(value) + 4 <= lit_limit) {
      const int x = rng.uniform(0, size.width - 1);
      const int y = rng.uniform(0, size.height - 1);
      cv::rectangle(value, cv::Rect(x, y, 2, 2), cv::Scalar(255), cv::FILLED);
    }
    const cv::Mat dark = cv::Mat::zeros(size, CV_8UC1);
    cv::Mat expected;
    cv::morphologyEx(value, expected, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3)));
    const cv::Mat got = separator_mask_from_planes(dark, value, dark);
    EXPECT_EQ(cv::countNonZero(got != expected), 0) << size;
  }
}

TEST(ClockSeparatorMask, RejectsBadWindowsAndBlurs) {
  EXPECT_THROW(clock_separator_mask(cv::Mat::zeros(10, 10, CV_8UC1)), cv::Exception);
  EXPECT_THROW(clock_separator_mask(cv::Mat::zeros(10, 10, CV_16UC3)), cv::Exception);
  EXPECT_THROW(clock_separator_mask(cv::Mat()), cv::Exception);
  EXPECT_THROW(clock_separator_mask(bgr(10, 10, 0), cv::Mat::zeros(10, 9, CV_8UC1)), cv::Exception);
  EXPECT_THROW(clock_separator_mask(bgr(10, 10, 0), cv::Mat::zeros(10, 10, CV_32FC1)),
               cv::Exception);
}

std::vector<Run> runs_of(std::initializer_list<bool> bits) {
  std::vector<bool> v(bits);
  std::unique_ptr<bool[]> raw(new bool[v.size()]);
  std::copy(v.begin(), v.end(), raw.get());
  return separator_runs(std::span<const bool>(raw.get(), v.size()));
}

TEST(SeparatorRuns, InclusiveRunsInOrder) {
  EXPECT_EQ(runs_of({false, true, true, false, true}),
            (std::vector<native_ocr::Run>{{1, 2}, {4, 4}}));
  EXPECT_EQ(runs_of({true, true, true}), (std::vector<native_ocr::Run>{{0, 2}}));
  EXPECT_TRUE(runs_of({}).empty());
  EXPECT_TRUE(runs_of({false, false}).empty());
}

TEST(WeightedQuantile, FirstValueReachingTheTarget) {
  const std::vector<double> values{3, 1, 2};
  EXPECT_EQ(weighted_quantile(values, std::vector<double>{1, 1, 2}, 0.5), 2.0);
  // Quantile 0 gives the smallest value even with weight 0; quantile 1 never a trailing zero.
  EXPECT_EQ(weighted_quantile(values, std::vector<double>{0, 0, 5}, 0.0), 1.0);
  EXPECT_EQ(weighted_quantile(values, std::vector<double>{0, 0, 5}, 1.0), 2.0);
  EXPECT_EQ(weighted_quantile(values, std::vector<double>{0, 0, 0}, 0.5), 0.0);
  EXPECT_EQ(weighted_quantile({}, {}, 0.5), 0.0);
}

TEST(SearchSortedLeft, MatchesNumpyOnTiesAndEnds) {
  const std::vector<double> sorted{1, 3, 3, 4};
  EXPECT_EQ(search_sorted_left(sorted, 3.0), 1u);
  EXPECT_EQ(search_sorted_left(sorted, 0.0), 0u);
  EXPECT_EQ(search_sorted_left(sorted, 9.0), 4u);
}

// Against OpenCV's 8-connected labelling on random masks, with rows of either side of a multiple of
// 64 pixels (the run scan reads a row 64 pixels at a time) and runs touching the row ends.
TEST(RemoveSmallComponents, KeepsWhatOpenCvLabelsLargeEnough) {
  cv::RNG rng(17);
  for (int cols : {1, 7, 63, 64, 65, 130, 200}) {
    for (int density : {20, 50, 80}) {
      cv::Mat noise(40, cols, CV_8UC1);
      rng.fill(noise, cv::RNG::UNIFORM, 0, 100);
      const cv::Mat mask = noise < density;  // 0/255
      cv::Mat labels;
      cv::Mat stats;
      cv::Mat centroids;
      const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8);
      for (int64_t min_area : {1, 3, 12}) {
        cv::Mat expected = cv::Mat::zeros(mask.size(), CV_8UC1);
        for (int label = 1; label < count; ++label) {
          if (stats.at<int>(label, cv::CC_STAT_AREA) >= min_area) {
            expected.setTo(255, labels == label);
          }
        }
        EXPECT_EQ(cv::countNonZero(remove_small_components(mask, min_area) != expected), 0)
            << cols << " columns, density " << density << ", min area " << min_area;
      }
    }
  }
}

}  // namespace
}  // namespace native_ocr::zonescan
