#include "native_ocr/zonescan/separator/separator_windows.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan {
namespace {

TEST(SeparatorSearchCorridor, WidensTheSlotByAThirdOfItsWidth) {
  SearchGeometry g = separator_search_corridor(100, 30);
  EXPECT_EQ(g.physical_left, 47);
  EXPECT_EQ(g.physical_right, 52);
  EXPECT_EQ(g.window_width, 6);
  EXPECT_EQ(g.max_shift, 2);
  EXPECT_EQ(g.search_left, 45);
  EXPECT_EQ(g.search_right, 54);
  EXPECT_EQ(separator_search_starts(g), (std::vector<int64_t>{45, 46, 47, 48, 49}));

  SearchGeometry wide = separator_search_corridor(200, 60);
  EXPECT_EQ(wide.window_width, 11);
  EXPECT_EQ(wide.max_shift, 3);
  EXPECT_EQ(separator_search_starts(wide), (std::vector<int64_t>{91, 92, 93, 94, 95, 96, 97}));
}

TEST(SeparatorSearchStarts, AlwaysIncludeTheSlotStart) {
  SearchGeometry g;
  g.search_left = 10;
  g.search_right = 12;
  g.window_width = 5;
  g.physical_left = 10;
  EXPECT_EQ(separator_search_starts(g), (std::vector<int64_t>{10}));
  g.physical_left = 14;
  EXPECT_EQ(separator_search_starts(g), (std::vector<int64_t>{10, 14}));
  g.physical_left = 4;
  EXPECT_EQ(separator_search_starts(g), (std::vector<int64_t>{4, 10}));
}

TEST(SeparatorWindowBounds, ClampedInsideTheSource) {
  EXPECT_EQ(separator_window_bounds(98, 100, 6).left, 94);
  EXPECT_EQ(separator_window_bounds(98, 100, 6).right, 99);
  EXPECT_EQ(separator_window_bounds(0, 2, 6).left, 0);
  EXPECT_EQ(separator_window_bounds(0, 2, 6).right, 1);
}

TEST(ReflectBlurRadius, HalfTheOddKernelWidth) {
  EXPECT_EQ(reflect_blur_radius(7.0), 21);
  EXPECT_EQ(reflect_blur_radius(1.0), 3);
  EXPECT_EQ(reflect_blur_radius(0.5), 2);
  EXPECT_THROW(reflect_blur_radius(std::nan("")), std::invalid_argument);
}

cv::Mat per_window_blur(const cv::Mat& gray, double sigma = 7.0) {
  cv::Mat out;
  cv::GaussianBlur(gray, out, cv::Size(0, 0), sigma);
  return out;
}

// The whole fast path rests on this: every cut-out of the sheet equals blurring its window alone.
TEST(ReflectedSheetBlurs, EqualPerWindowBlurPixelForPixel) {
  cv::RNG rng(12345);
  for (int height : {1, 2, 3, 7, 21, 42, 43, 44, 60, 85, 131}) {
    for (int width = 1; width <= 48; width += (width < 12 ? 1 : 5)) {
      std::vector<cv::Mat> grays;
      for (int i = 0; i < 3; ++i) {
        cv::Mat g(height, width + i, CV_8UC1);
        rng.fill(g, cv::RNG::UNIFORM, 0, 256);
        grays.push_back(g);
      }
      std::vector<cv::Mat> sheet = reflected_sheet_blurs(grays);
      ASSERT_EQ(sheet.size(), grays.size());
      for (size_t i = 0; i < grays.size(); ++i) {
        cv::Mat expected = per_window_blur(grays[i]);
        ASSERT_EQ(sheet[i].size(), expected.size());
        ASSERT_EQ(cv::countNonZero(sheet[i] != expected), 0)
            << "height " << height << " width " << grays[i].cols;
      }
    }
  }
}

TEST(ReflectedSheetBlurs, EmptyAndSingleImagesAndViews) {
  EXPECT_TRUE(reflected_sheet_blurs({}).empty());
  cv::Mat big(30, 40, CV_8UC1);
  cv::randu(big, 0, 256);
  // A view is blurred as an image of its own, never reading its parent's pixels.
  cv::Mat view = big.colRange(10, 16);
  std::vector<cv::Mat> one = reflected_sheet_blurs({view});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(cv::countNonZero(one[0] != per_window_blur(view.clone())), 0);
  std::vector<cv::Mat> two = reflected_sheet_blurs({view, big.colRange(20, 26)});
  EXPECT_EQ(cv::countNonZero(two[0] != per_window_blur(view.clone())), 0);
  EXPECT_THROW(reflected_sheet_blurs({big, big.rowRange(0, 10)}), cv::Exception);
}

// Margins that outgrow the images are allowed up to a fixed work; margins within the images' own
// size are allowed whatever the radius, since the blur of the images costs as much.
TEST(ReflectedSheetBlurs, RefusesMarginsFarBeyondTheImages) {
  const std::vector<cv::Mat> windows = {cv::Mat(5, 11, CV_8UC1, cv::Scalar(9)),
                                        cv::Mat(5, 1, CV_8UC1, cv::Scalar(200))};
  EXPECT_TRUE(sheet_blur_padding_bounded(windows, 21));
  EXPECT_TRUE(sheet_blur_padding_bounded(windows, 150));
  EXPECT_FALSE(sheet_blur_padding_bounded(windows, 600));
  EXPECT_FALSE(sheet_blur_padding_bounded(windows, 4096));
  EXPECT_THROW(reflected_sheet_blurs(windows, 1365.3), cv::Exception);
  EXPECT_THROW(reflected_sheet_blurs({windows[0]}, 1365.3), cv::Exception);
  const std::vector<cv::Mat> large = {cv::Mat(2000, 2000, CV_8UC1), cv::Mat(2000, 2000, CV_8UC1)};
  EXPECT_TRUE(sheet_blur_padding_bounded(large, 400));
  EXPECT_FALSE(sheet_blur_padding_bounded(large, 4096));
}

TEST(EnsureReflectedSheetBlur, SetsTheFlagOnce) {
  ensure_reflected_sheet_blur();
  EXPECT_TRUE(reflected_sheet_blur_ready());
  ensure_reflected_sheet_blur();
  EXPECT_TRUE(reflected_sheet_blur_ready());
}

TEST(SeparatorWindowViewsAndBlurs, OnePerStartMatchingTheWindowColumns) {
  cv::Mat clock = testing::draw_clock(100, 30, "1234", testing::Mark::kColon);
  std::vector<cv::Mat> views = separator_window_views(clock);
  std::vector<cv::Mat> blurs = separator_window_blurs(clock);
  ASSERT_EQ(views.size(), 5u);
  ASSERT_EQ(blurs.size(), 5u);
  for (size_t i = 0; i < views.size(); ++i) {
    EXPECT_TRUE(views[i].isContinuous());
    EXPECT_EQ(
        cv::countNonZero(
            views[i].reshape(1) !=
            clock.colRange(45 + static_cast<int>(i), 51 + static_cast<int>(i)).clone().reshape(1)),
        0);
    cv::Mat gray;
    cv::cvtColor(views[i], gray, cv::COLOR_BGR2GRAY);
    EXPECT_EQ(cv::countNonZero(blurs[i] != per_window_blur(gray)), 0);
  }
}

TEST(EvaluateSeparatorWindow, FindsTheColonInTheSlotWindow) {
  cv::Mat clock = testing::draw_clock(200, 60, "1234", testing::Mark::kColon);
  WindowEvaluation e = evaluate_separator_window(clock, 94, 11);
  EXPECT_EQ(e.left, 94);
  EXPECT_EQ(e.right, 104);
  ASSERT_EQ(e.groups.size(), 2u);
  ASSERT_TRUE(e.topology.colon.has_value());
  EXPECT_GT(e.topology.colon_score, 0.8);
  EXPECT_EQ(e.energy_profile.size(), 6u);
  // A start past the last full window is clamped.
  EXPECT_EQ(evaluate_separator_window(clock, 195, 11).right, 199);
}

void expect_same_evaluation(const WindowEvaluation& a, const WindowEvaluation& b) {
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.right, b.right);
  EXPECT_EQ(a.energy_profile, b.energy_profile);
  ASSERT_EQ(a.groups.size(), b.groups.size());
  for (size_t i = 0; i < a.groups.size(); ++i) {
    const SeparatorGroup& x = a.groups[i];
    const SeparatorGroup& y = b.groups[i];
    EXPECT_EQ(x.y_min, y.y_min);
    EXPECT_EQ(x.y_max, y.y_max);
    EXPECT_EQ(x.center_x, y.center_x);
    EXPECT_EQ(x.center_y, y.center_y);
    EXPECT_EQ(x.width, y.width);
    EXPECT_EQ(x.energy, y.energy);
    EXPECT_EQ(x.gray_energy, y.gray_energy);
    EXPECT_EQ(x.binary_energy, y.binary_energy);
    EXPECT_EQ(x.reliability, y.reliability);
  }
  EXPECT_EQ(a.topology.colon_score, b.topology.colon_score);
  EXPECT_EQ(a.topology.decimal_score, b.topology.decimal_score);
}

// The search over all windows (blurs made one at a time, histograms slid column by column, the
// corridor copied out) against each window evaluated on its own from the crop with its own blur:
// equal to the last bit, on crops whose windows are narrower and far wider than the blur kernel.
TEST(EvaluateSearchWindows, EqualsEachWindowEvaluatedAlone) {
  cv::RNG rng(11);
  for (const cv::Size size : {cv::Size(200, 60), cv::Size(900, 500), cv::Size(1500, 90)}) {
    for (bool noise : {false, true}) {
      cv::Mat crop = testing::draw_clock(size.width, size.height, "1234", testing::Mark::kColon);
      if (noise) {
        cv::Mat speckle(crop.size(), crop.type());
        rng.fill(speckle, cv::RNG::UNIFORM, 0, 90);
        crop += speckle;
      }
      const WindowPlanes planes = separator_planes(crop);
      const SearchGeometry g = separator_search_corridor(crop.cols, crop.rows);
      const std::vector<WindowEvaluation> all =
          evaluate_search_windows(planes.gray, planes.value, g);
      const std::vector<int64_t> starts = separator_search_starts(g);
      ASSERT_EQ(all.size(), starts.size());
      for (size_t i = 0; i < starts.size(); ++i) {
        const WindowBounds b = separator_window_bounds(starts[i], crop.cols, g.window_width);
        cv::Mat own;
        cv::GaussianBlur(
            planes.gray.colRange(static_cast<int>(b.left), static_cast<int>(b.right) + 1).clone(),
            own, cv::Size(0, 0), 7.0);
        SCOPED_TRACE(::testing::Message() << size << " noise " << noise << " window " << i);
        expect_same_evaluation(
            all[i], evaluate_separator_window_planes(planes.gray, planes.value, starts[i],
                                                     g.window_width, own));
      }
    }
  }
}

}  // namespace
}  // namespace native_ocr::zonescan
