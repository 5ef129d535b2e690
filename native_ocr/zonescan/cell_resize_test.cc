#include "native_ocr/zonescan/cell_resize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// cv::resize of the box's values: what resize_cell must give, bit for bit.
cv::Mat reference(const cv::Mat& grey, const Box& box, const std::array<float, 256>& table,
                  const cv::Size& size) {
  const cv::Mat cell =
      grey(cv::Rect(static_cast<int>(box[0]), static_cast<int>(box[1]),
                    static_cast<int>(box[2] - box[0] + 1), static_cast<int>(box[3] - box[1] + 1)));
  cv::Mat values(cell.size(), CV_32FC1);
  for (int r = 0; r < cell.rows; ++r) {
    for (int c = 0; c < cell.cols; ++c) {
      values.at<float>(r, c) = table[cell.at<uint8_t>(r, c)];
    }
  }
  cv::Mat out;
  cv::resize(values, out, size, 0, 0, cv::INTER_AREA);
  return out;
}

// Every cell size from smaller than the feature image (OpenCV interpolates) through whole
// multiples of it (its fast path) to several times larger (windows of fractional width, summed
// here), cut at an offset from a display with random levels and a table like a display's.
TEST(ResizeCell, IsOpenCvsAreaResizeBitForBit) {
  std::array<float, 256> table{};
  for (size_t i = 0; i < table.size(); ++i) {
    table[i] = std::clamp((static_cast<float>(i) - 30.0f) / 183.0f, 0.0f, 1.0f);
  }
  cv::Mat grey(260, 260, CV_8UC1);
  cv::randu(grey, 0, 256);
  const cv::Size feature(14, 24);
  int differing = 0, sizes = 0;
  for (int rows = 1; rows <= 250; rows += rows < 60 ? 1 : 7) {
    for (int cols = 1; cols <= 250; cols += cols < 40 ? 1 : 5) {
      const Box box{3, 5, 3 + cols - 1, 5 + rows - 1};
      cv::Mat out(feature, CV_32FC1);
      resize_cell(grey, box, table, out);
      const cv::Mat want = reference(grey, box, table, feature);
      ++sizes;
      if (std::memcmp(out.data, want.data, out.total() * sizeof(float)) != 0) {
        ADD_FAILURE() << cols << "x" << rows << " differs";
        if (++differing > 5) {
          return;
        }
      }
    }
  }
  EXPECT_GT(sizes, 4000);
}

}  // namespace
}  // namespace native_ocr::zonescan
