#include "native_ocr/zonescan/calibration/picture.h"

#include <gtest/gtest.h>

namespace native_ocr::zonescan::calibration {
namespace {

bool same_colour(const cv::Vec3b& pixel, const cv::Scalar& colour) {
  return pixel[0] == colour[0] && pixel[1] == colour[1] && pixel[2] == colour[2];
}

PictureInput two_cells(bool valid) {
  PictureInput input;
  input.crop = cv::Mat(20, 40, CV_8UC3, cv::Scalar(10, 20, 30));
  input.binary = cv::Mat::zeros(20, 40, CV_8UC1);
  input.binary(cv::Rect(30, 5, 4, 10)).setTo(255);
  PictureCell digit;
  digit.box = {20, 0, 39, 19};
  digit.state = CellState::kDigit;
  digit.text = "7";
  digit.confidence = 0.93;
  PictureCell empty;
  empty.box = {0, 0, 19, 19};
  empty.state = CellState::kEmpty;
  input.cells = {empty, digit};
  input.valid = valid;
  input.caption = valid ? "7" : "missing_units";
  return input;
}

TEST(PictureTest, PanelsAtTheCropScaleWithStrips) {
  const cv::Mat picture = render_picture(two_cells(true));
  const int scale = picture_scale(20, 40);
  EXPECT_EQ(scale, 8);
  EXPECT_EQ(picture.type(), CV_8UC3);
  EXPECT_EQ(picture.rows, 20 * scale + 2 * kStripHeight);
  EXPECT_EQ(picture.cols, 2 * 40 * scale + kPanelGap);
  // The crop panel shows the crop, the display panel the binary image, enlarged.
  EXPECT_TRUE(same_colour(picture.at<cv::Vec3b>(5 * scale + 3, 10 * scale + 3), {10, 20, 30}));
  const int shown = 40 * scale + kPanelGap;
  EXPECT_TRUE(same_colour(picture.at<cv::Vec3b>(8 * scale, shown + 31 * scale), {255, 255, 255}));
  EXPECT_TRUE(same_colour(picture.at<cv::Vec3b>(8 * scale, shown + 25 * scale), {0, 0, 0}));
}

TEST(PictureTest, CellBoxesInTheirStateColours) {
  const cv::Mat picture = render_picture(two_cells(true));
  const int scale = picture_scale(20, 40);
  const int shown = 40 * scale + kPanelGap;
  // The top edge of each box, on both panels.
  for (int x0 : {0, shown}) {
    EXPECT_TRUE(same_colour(picture.at<cv::Vec3b>(0, x0 + 25 * scale), kDigitColour));
    EXPECT_TRUE(same_colour(picture.at<cv::Vec3b>(0, x0 + 5 * scale), kEmptyColour));
  }
}

TEST(PictureTest, CaptionStripIsGreenForAValueRedForAReason) {
  const int scale = picture_scale(20, 40);
  const int row = 20 * scale + kStripHeight + 2;  // inside the caption strip, above the text
  const cv::Vec3b ok = render_picture(two_cells(true)).at<cv::Vec3b>(row, 200);
  const cv::Vec3b bad = render_picture(two_cells(false)).at<cv::Vec3b>(row, 200);
  EXPECT_GT(ok[1], ok[2]);
  EXPECT_GT(bad[2], bad[1]);
}

TEST(PictureTest, SeparatorBoxAndNoDisplay) {
  PictureInput input = two_cells(false);
  input.binary.release();  // no prepared display: a black panel
  input.separator = PictureSeparator{{18, 0, 21, 19}, ":", true, 0.8};
  const cv::Mat picture = render_picture(input);
  const int scale = picture_scale(20, 40);
  EXPECT_TRUE(same_colour(picture.at<cv::Vec3b>(0, 19 * scale), kSeparatorColour));
  const int shown = 40 * scale + kPanelGap;
  EXPECT_TRUE(same_colour(picture.at<cv::Vec3b>(8 * scale, shown + 31 * scale), {0, 0, 0}));
}

TEST(PictureScaleTest, LimitsForTinyAndWideCrops) {
  EXPECT_EQ(picture_scale(10, 10), 8);
  EXPECT_EQ(picture_scale(400, 100), 1);
  EXPECT_EQ(picture_scale(20, 600), 1);  // 900 columns per panel at most
  EXPECT_EQ(picture_scale(0, 0), 8);
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration
