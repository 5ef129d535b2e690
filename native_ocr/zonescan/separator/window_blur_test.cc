#include "native_ocr/zonescan/separator/window_blur.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

TEST(Reflect101, BouncesAsOftenAsNeeded) {
  EXPECT_EQ(reflect_101(-1, 5), 1);
  EXPECT_EQ(reflect_101(5, 5), 3);
  EXPECT_EQ(reflect_101(-7, 3), 1);  // -7 -> 7 -> -3 -> 3 -> 1
  EXPECT_EQ(reflect_101(9, 1), 0);
}

// Each window's blur equals OpenCV's blur of that window cut out on its own, for many window
// widths and image heights (the detector's fast path rests on this).
TEST(WindowBlur, EqualsBlurringEachWindowAlone) {
  const std::optional<WindowBlur> blur = WindowBlur::from_opencv(7.0);
  ASSERT_TRUE(blur.has_value()) << "OpenCV's blur no longer has the expected fixed-point form";
  EXPECT_LE(blur->radius(), 21);  // the outermost fixed-point taps may round to 0
  cv::RNG rng(99);
  for (int height : {1, 2, 5, 20, 42, 43, 44, 60, 85, 120}) {
    cv::Mat gray(height, 150, CV_8UC1);
    rng.fill(gray, cv::RNG::UNIFORM, 0, 256);
    std::vector<std::pair<int, int>> columns;
    for (int width = 1; width <= 50; width += (width < 12 ? 1 : 7)) {
      columns.emplace_back(width, 2 * width - 1);
      columns.emplace_back(150 - width, 149);
    }
    const std::vector<cv::Mat> blurred = blur->blur_windows(gray, columns);
    ASSERT_EQ(blurred.size(), columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
      cv::Mat expected;
      cv::GaussianBlur(gray.colRange(columns[i].first, columns[i].second + 1).clone(), expected,
                       cv::Size(0, 0), 7.0);
      ASSERT_EQ(cv::countNonZero(blurred[i] != expected), 0)
          << "height " << height << " columns " << columns[i].first << ".." << columns[i].second;
    }
  }
}

TEST(WindowBlur, OtherSigmasToo) {
  cv::RNG rng(5);
  for (double sigma : {1.0, 2.5, 4.0}) {
    const std::optional<WindowBlur> blur = WindowBlur::from_opencv(sigma);
    ASSERT_TRUE(blur.has_value()) << sigma;
    cv::Mat gray(33, 40, CV_8UC1);
    rng.fill(gray, cv::RNG::UNIFORM, 0, 256);
    cv::Mat expected;
    cv::GaussianBlur(gray.colRange(3, 10).clone(), expected, cv::Size(0, 0), sigma);
    EXPECT_EQ(cv::countNonZero(blur->blur_windows(gray, {{3, 9}})[0] != expected), 0) << sigma;
  }
}

// One window at a time, with the inner columns shared: the same bytes as blur_windows, for windows
// narrower than the kernel, as wide as it, and far wider, anywhere in the range.
TEST(WindowBlurSequence, EqualsBlurWindows) {
  const std::optional<WindowBlur> blur = WindowBlur::from_opencv(7.0);
  ASSERT_TRUE(blur.has_value());
  cv::RNG rng(7);
  for (int height : {1, 3, 60, 130}) {
    cv::Mat gray(height, 300, CV_8UC1);
    rng.fill(gray, cv::RNG::UNIFORM, 0, 256);
    const int first = 20;
    const int last = 280;
    const WindowBlurSequence sequence(*blur, gray, first, last);
    cv::Mat got;
    for (int width : {1, 5, 42, 43, 44, 90, 261}) {
      for (int left : {first, first + 1, 150, last - width + 1}) {
        if (left < first || left + width - 1 > last) {
          continue;
        }
        const int right = left + width - 1;
        sequence.blur_into(left, right, got);
        const cv::Mat expected = blur->blur_windows(gray, {{left, right}})[0];
        ASSERT_EQ(cv::countNonZero(got != expected), 0)
            << "height " << height << " columns " << left << ".." << right;
      }
    }
  }
}

}  // namespace
}  // namespace native_ocr::zonescan
