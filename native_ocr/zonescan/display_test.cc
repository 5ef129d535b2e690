#include "native_ocr/zonescan/display.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// A grey test card: a bright bar on a dark ground, off centre so that rotation shows.
cv::Mat card(int rows = 30, int cols = 40) {
  cv::Mat m(rows, cols, CV_8UC1, cv::Scalar(20));
  cv::rectangle(m, cv::Rect(5, 4, 8, 20), cv::Scalar(220), cv::FILLED);
  m.at<uint8_t>(2, 30) = 151;
  m.at<uint8_t>(3, 30) = 150;
  return m;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

ProcessingSettings grey_only() {
  ProcessingSettings s;
  s.binarize = false;
  return s;
}

TEST(GammaTable, MatchesTheFloatFormula) {
  const auto g2 = gamma_table(2.0);
  const auto g05 = gamma_table(0.5);
  const int at[] = {0, 1, 64, 128, 200, 254, 255};
  const int expect2[] = {0, 15, 127, 180, 225, 254, 255};
  const int expect05[] = {0, 0, 16, 64, 156, 253, 255};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(g2[static_cast<size_t>(at[i])], expect2[i]) << at[i];
    EXPECT_EQ(g05[static_cast<size_t>(at[i])], expect05[i]) << at[i];
  }
  const auto identity = gamma_table(1.0);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(identity[static_cast<size_t>(i)], i);
  }
}

TEST(ProcessImage, DefaultThresholdIsStrictlyGreater) {
  const cv::Mat out = process_image(card(), false, ProcessingSettings{});
  EXPECT_EQ(out.at<uint8_t>(2, 30), 255);
  EXPECT_EQ(out.at<uint8_t>(3, 30), 0);
  EXPECT_EQ(out.at<uint8_t>(10, 8), 255);
  EXPECT_EQ(out.type(), CV_8UC1);
}

TEST(ProcessImage, GreyAndEqualChannelColourAgree) {
  const cv::Mat grey = card();
  cv::Mat colour;
  cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
  EXPECT_TRUE(same(process_image(grey, false, {}), process_image(colour, true, {})));
}

TEST(ProcessImage, ThreeDimensionalSingleChannelIsRefusedByOpenCV) {
  EXPECT_THROW(process_image(card(), true, {}), cv::Exception);
}

TEST(ProcessImage, ReadsViewsAndLeavesTheInputAlone) {
  cv::Mat frame(60, 80, CV_8UC3, cv::Scalar(10, 200, 90));
  const cv::Mat before = frame.clone();
  const cv::Mat roi = frame(cv::Rect(7, 5, 33, 21));
  ProcessingSettings s;
  s.invert = true;
  s.morphology = Morphology::kDilate;
  s.morph_size = 3;
  const cv::Mat out = process_image(roi, true, s);
  EXPECT_EQ(out.size(), roi.size());
  EXPECT_TRUE(same(frame, before));
  EXPECT_TRUE(same(out, process_image(roi.clone(), true, s)));
}

TEST(ProcessImage, RotationBelowTheThresholdIsSkipped) {
  ProcessingSettings s = grey_only();
  const cv::Mat plain = process_image(card(), false, s);
  s.rotation = 0.0005;
  EXPECT_TRUE(same(process_image(card(), false, s), plain));
  s.rotation = 10;
  const cv::Mat turned = process_image(card(), false, s);
  EXPECT_FALSE(same(turned, plain));
  EXPECT_EQ(turned.at<uint8_t>(0, 0), 0);  // uncovered corner
}

TEST(ProcessImage, EvenBlurSidesAreRaisedByOne) {
  ProcessingSettings s = grey_only();
  auto with_blur = [&](int64_t blur) {
    s.blur = blur;
    return process_image(card(), false, s);
  };
  EXPECT_TRUE(same(with_blur(1), with_blur(0)));
  EXPECT_TRUE(same(with_blur(2), with_blur(3)));
  EXPECT_FALSE(same(with_blur(4), with_blur(3)));
  EXPECT_TRUE(same(with_blur(4), with_blur(5)));
}

TEST(ProcessImage, InvertWithoutThresholdGivesTheInvertedGrey) {
  ProcessingSettings s = grey_only();
  s.invert = true;
  cv::Mat expected;
  cv::bitwise_not(card(), expected);
  EXPECT_TRUE(same(process_image(card(), false, s), expected));
}

TEST(ProcessImage, ContrastBrightnessSaturateTheAbsoluteValue) {
  ProcessingSettings s = grey_only();
  s.contrast = 0.2;
  s.brightness = -150;
  // |20 * 0.2 - 150| = 146 and |220 * 0.2 - 150| = 106
  const cv::Mat out = process_image(card(), false, s);
  EXPECT_EQ(out.at<uint8_t>(0, 0), 146);
  EXPECT_EQ(out.at<uint8_t>(10, 8), 106);
}

TEST(ProcessImage, Morphology) {
  const cv::Mat binary = process_image(card(), false, {});
  ProcessingSettings s;
  s.morphology = Morphology::kOpen;
  s.morph_size = 1;
  EXPECT_TRUE(same(process_image(card(), false, s), binary));
  s.morphology = Morphology::kOpen;
  s.morph_size = 3;
  // The lone bright pixel goes, the bar stays.
  const cv::Mat opened = process_image(card(), false, s);
  EXPECT_EQ(opened.at<uint8_t>(2, 30), 0);
  EXPECT_EQ(opened.at<uint8_t>(10, 8), 255);
  s.morphology = Morphology::kDilate;
  EXPECT_EQ(cv::countNonZero(process_image(card(), false, s)), (8 + 2) * (20 + 2) + 9);
  s.morphology = Morphology::kErode;
  EXPECT_EQ(cv::countNonZero(process_image(card(), false, s)), (8 - 2) * (20 - 2));
}

TEST(ProcessImageInto, FillsTheCallersMemoryOnEveryPath) {
  ProcessingSettings plain;
  ProcessingSettings everything;
  everything.rotation = 4;
  everything.blur = 3;
  everything.invert = true;
  everything.morphology = Morphology::kClose;
  everything.morph_size = 3;
  for (const ProcessingSettings& s : {plain, everything, grey_only()}) {
    std::vector<uint8_t> memory(30 * 40, 7);
    cv::Mat out(30, 40, CV_8UC1, memory.data());
    process_image_into(card(), false, s, out);
    EXPECT_EQ(out.data, memory.data());
    EXPECT_TRUE(same(out, process_image(card(), false, s)));
  }
}

// The grey display (levels, rotation and blur; no threshold) finished by finish_grey is the
// binary display process_image makes, whatever the steps; an identity grey display is a new image.
TEST(FinishGrey, MakesProcessImagesDisplayFromTheGreyOne) {
  const cv::Mat grey = card();
  const cv::Mat unchanged = process_image(grey, false, grey_only());
  EXPECT_NE(unchanged.data, grey.data);
  EXPECT_TRUE(same(unchanged, grey));
  ProcessingSettings s;
  for (const bool binarize : {true, false}) {
    for (const bool invert : {false, true}) {
      for (const Morphology m : {Morphology::kNone, Morphology::kClose}) {
        for (const double rotation : {0.0, 4.0}) {
          s.binarize = binarize;
          s.invert = invert;
          s.morphology = m;
          s.morph_size = 3;
          s.rotation = rotation;
          s.blur = rotation > 0.0 ? 3 : 0;
          s.contrast = invert ? 1.4 : 1.0;
          s.threshold = 100;
          ProcessingSettings levels = s;
          levels.binarize = false;
          levels.invert = false;
          levels.morphology = Morphology::kNone;
          const cv::Mat finished = finish_grey(process_image(grey, false, levels), s);
          EXPECT_TRUE(same(finished, process_image(grey, false, s)))
              << binarize << invert << static_cast<int>(m) << rotation;
        }
      }
    }
  }
}

}  // namespace
}  // namespace native_ocr::zonescan
