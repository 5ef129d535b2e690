#include "bridges/readings/board_read.h"

#include <gtest/gtest.h>

namespace readings {
namespace {

BoardZone zone(const char* name, double x) {
  return native_ocr::zonescan::make_board_zone(name, {x, 0.0, 0.5, 1.0}, "home_score", {});
}

TEST(BoardReadTest, ReadsAgainOnlyTheZonesWhosePixelsChanged) {
  BoardRead board({zone("left", 0.0), zone("right", 0.5)});
  cv::Mat frame(36, 64, CV_8UC3, cv::Scalar::all(10));
  board.read(frame);
  EXPECT_EQ(board.zones_read(), 2u);
  EXPECT_EQ(board.read(frame).size(), 2u);
  EXPECT_EQ(board.zones_read(), 0u);
  frame.at<cv::Vec3b>(5, 40) = cv::Vec3b(200, 200, 200);  // inside the right zone only
  const std::vector<ZoneResult>& results = board.read(frame);
  EXPECT_EQ(board.zones_read(), 1u);
  EXPECT_EQ(results[0].reason, "missing_units");  // kept, as read on the dark frame
  cv::Mat larger(72, 128, CV_8UC3, cv::Scalar::all(10));
  board.read(larger);
  EXPECT_EQ(board.zones_read(), 2u);  // another frame size: nothing is kept

  // The caller's word on which crops may have changed: an untouched zone is not even compared, a
  // touched one is compared and read only when its pixels differ.
  larger.setTo(cv::Scalar::all(200));
  board.read(larger, {false, true});
  EXPECT_EQ(board.zones_read(), 1u);
  EXPECT_EQ(board.read(larger, {true, true})[0].reason, board.read(larger)[0].reason);
  board.read(larger, {true, true});
  EXPECT_EQ(board.zones_read(), 0u);
}

}  // namespace
}  // namespace readings
