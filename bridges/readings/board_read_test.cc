#include "bridges/readings/board_read.h"

#include <gtest/gtest.h>

#include "native_ocr/zonescan/calibration/frame_trust.h"
#include "native_ocr/zonescan/calibration/test_board.h"
#include "native_ocr/zonescan/separator/test_clock_images.h"

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

// A clock whose digits change but whose separator columns do not keeps its detection, and reads
// exactly what the reader reads from the crop; a change in those columns detects again.
TEST(BoardReadTest, ClockKeepsItsSeparatorOnlyWhileItsColumnsAreUnchanged) {
  namespace zs = native_ocr::zonescan;
  using zs::testing::Mark;
  BoardRead board({zs::make_board_zone("clock", {0.0, 0.0, 1.0, 1.0}, "clock", {})});
  const zs::SegmentClassifier classifier;
  // What the reader reads from a whole-frame clock zone, trusted as weighed with that frame.
  auto in_frame = [&](const zs::ZoneReading& zone, const cv::Mat& crop,
                      const zs::ProcessingSettings& settings) {
    ZoneResult out = result_of(zone);
    zs::calibration::FrameZone at;
    at.frame = {crop, true};
    at.rect = {0.0, 0.0, 1.0, 1.0};
    at.role = "clock";
    at.settings = settings;
    out.trusted =
        out.valid &&
        zs::calibration::trust_in_frame(zone.reading, {crop, true}, at, classifier).trusted;
    return out;
  };
  auto reader_reads = [&](const cv::Mat& crop) {
    zs::ZoneReading zone;
    zone.reading = zs::read_crop(zs::ReaderKind::kClock, zs::CropView{crop, true}, "clock",
                                 zs::clamp_settings({}), classifier);
    return in_frame(zone, crop, zs::clamp_settings({}));
  };
  auto same = [](const ZoneResult& a, const ZoneResult& b) {
    return a.text == b.text && a.valid == b.valid && a.reason == b.reason && a.trusted == b.trusted;
  };
  const cv::Mat first = zs::testing::draw_clock(160, 60, "1234", Mark::kColon);
  EXPECT_TRUE(same(board.read(first)[0], reader_reads(first)));
  EXPECT_EQ(board.separators_kept(), 0u);

  const cv::Mat digits_changed = zs::testing::draw_clock(160, 60, "1239", Mark::kColon);
  EXPECT_TRUE(same(board.read(digits_changed)[0], reader_reads(digits_changed)));
  EXPECT_EQ(board.zones_read(), 1u);
  EXPECT_EQ(board.separators_kept(), 1u);

  const cv::Mat decimal = zs::testing::draw_clock(160, 60, "1239", Mark::kDecimal);
  EXPECT_TRUE(same(board.read(decimal)[0], reader_reads(decimal)));
  EXPECT_EQ(board.separators_kept(), 0u);

  // A clock of three cells searches two parts of its crop: read as the reader reads it, never
  // from the memo.
  zs::ProcessingSettings three;
  three.clock_cells = 3;
  three.threshold = 100;
  BoardRead short_clock({zs::make_board_zone("clock", {0.0, 0.0, 1.0, 1.0}, "clock", three)});
  for (const char* digits : {"242", "243"}) {
    const cv::Mat tenths =
        zs::testing::draw_three_cell_clock(150, 60, digits, zs::SeparatorKind::kDecimalPoint);
    zs::ZoneReading zone;
    zone.reading = zs::read_crop(zs::ReaderKind::kClock, zs::CropView{tenths, true}, "clock",
                                 zs::clamp_settings(three), classifier);
    const ZoneResult& read = short_clock.read(tenths)[0];
    EXPECT_TRUE(same(read, in_frame(zone, tenths, zs::clamp_settings(three))));
    EXPECT_EQ(read.text, std::string(digits, 2) + "." + digits[2]);
  }
  EXPECT_EQ(short_clock.separators_kept(), 0u);
}

// Trust is weighed with the frame once per value: a trusted value read again from changed pixels
// keeps its trust unweighed, a new value is weighed.
TEST(BoardReadTest, TrustIsWeighedWithTheFrameOncePerTrustedValue) {
  namespace zs = native_ocr::zonescan;
  auto frame_of = [](const std::string& cells) {
    zs::calibration::testing::Board b;
    b.cells = cells;
    b.lit = cv::Scalar::all(240);
    b.margin_x = b.margin_y = 3;
    const cv::Mat drawn = zs::calibration::testing::draw_board(b).image;
    cv::Mat frame(drawn.rows * 2, drawn.cols * 2, CV_8UC3, b.background);
    drawn.copyTo(frame(cv::Rect(drawn.cols / 2, drawn.rows / 2, drawn.cols, drawn.rows)));
    return frame;
  };
  zs::ProcessingSettings settings;
  settings.threshold = 120;
  BoardRead board({zs::make_board_zone("home", {0.25, 0.25, 0.5, 0.5}, "home_score", settings)});
  cv::Mat frame = frame_of("42");
  ASSERT_EQ(board.read(frame)[0].text, "42");
  EXPECT_TRUE(board.read(frame)[0].trusted);  // the same pixels: not read again
  EXPECT_EQ(board.zones_read(), 0u);
  frame.at<cv::Vec3b>(frame.rows / 4 + 1, frame.cols / 4 + 1) += cv::Vec3b(3, 3, 3);
  EXPECT_TRUE(board.read(frame)[0].trusted);
  EXPECT_EQ(board.zones_read(), 1u);
  EXPECT_EQ(board.trusts_weighed(), 0u);
  EXPECT_EQ(board.read(frame_of("43"))[0].text, "43");
  EXPECT_EQ(board.trusts_weighed(), 1u);
}

}  // namespace
}  // namespace readings
