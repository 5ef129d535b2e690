#include "native_ocr/zonescan/board_reader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// Reads every digit slot as the last digit of the display's width, so that a value tells which
// crop was read; a display 33 pixels wide makes it throw.
class WidthClassifier final : public SlotClassifier {
 public:
  std::vector<SlotResult> read_slots(const cv::Mat& binary, const Layout& layout) const override {
    if (binary.cols == 33) {
      throw std::runtime_error("classifier failed");
    }
    std::vector<SlotResult> out;
    for (const Slot& slot : layout) {
      if (slot.kind == SlotKind::kDigit) {
        out.push_back({slot, SlotStatus::kDigit, binary.cols % 10, {}});
      }
    }
    return out;
  }
};

cv::Mat scoreboard(int width, int height) {
  cv::Mat image(height, width, CV_8UC3);
  cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(255));
  cv::GaussianBlur(image, image, cv::Size(9, 9), 0);
  return image;
}

// On a 200 x 100 frame: a score zone 46 x 30 at (20, 10), a down zone 27 x 40, one outside the
// frame, one whose role the single-digit reader refuses.
std::vector<BoardZone> zones() {
  return {make_board_zone("home", {0.1, 0.1, 0.23, 0.3}, "home_score", {}),
          make_board_zone("down", {0.5, 0.5, 0.135, 0.4}, "down", {}),
          make_board_zone("away", {1.5, 0.2, 0.1, 0.1}, "guest_score", {}), [] {
            BoardZone z = make_board_zone("refused", {0.0, 0.0, 0.5, 0.5}, "down", {});
            z.role.clear();
            return z;
          }()};
}

TEST(BoardReader, ReadsEveryZoneOfADecodedFrameInOrder) {
  const WidthClassifier classifier;
  const BoardReader reader(zones(), classifier, 2);
  const cv::Mat bgr = scoreboard(200, 100);
  cv::Mat bgrx, grey;
  cv::cvtColor(bgr, bgrx, cv::COLOR_BGR2BGRA);
  cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
  for (const cv::Mat& frame : {bgr, bgrx, grey}) {
    const std::vector<ZoneReading> out = reader.read(frame);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].reading.value, 66);
    EXPECT_EQ(out[0].bounds, cv::Rect(20, 10, 46, 30));
    EXPECT_EQ(out[1].reading.value, 7);
    EXPECT_EQ(out[1].reading.reader, ReaderKind::kSingleDigit);
    EXPECT_EQ(out[2].reading.shape, ReadingShape::kNoFrame);
    EXPECT_FALSE(out[2].bounds);
    EXPECT_EQ(out[3].reading.shape, ReadingShape::kLayout);
    for (const ZoneReading& r : out) {
      EXPECT_FALSE(r.error);
    }
  }
}

TEST(BoardReader, APreviewFileReadsAsItsDecodedFrame) {
  std::vector<BoardZone> many;
  for (int i = 0; i < 12; ++i) {
    many.push_back(make_board_zone("z", {0.07 * i, 0.05 * i, 0.11 + 0.01 * i, 0.2}, "clock", {}));
  }
  const SegmentClassifier classifier;
  const std::string path = ::testing::TempDir() + "board_reader_test.jpg";
  ASSERT_TRUE(cv::imwrite(path, scoreboard(320, 180)));
  const cv::Mat decoded = cv::imread(path);
  const std::vector<ZoneReading> expected = BoardReader(many, classifier, 1).read(decoded);
  for (size_t threads : {1, 3}) {
    const std::vector<ZoneReading> got = BoardReader(many, classifier, threads).read_file(path);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].bounds, expected[i].bounds) << i;
      EXPECT_EQ(got[i].reading.clock_value, expected[i].reading.clock_value) << i;
      EXPECT_EQ(got[i].reading.reason, expected[i].reading.reason) << i;
      ASSERT_EQ(got[i].reading.binary.size(), expected[i].reading.binary.size()) << i;
      EXPECT_EQ(cv::norm(got[i].reading.binary, expected[i].reading.binary, cv::NORM_INF), 0.0);
    }
  }
  std::remove(path.c_str());
}

TEST(BoardReader, SourcesWithoutAFrameGiveNoFrame) {
  const WidthClassifier classifier;
  const BoardReader reader(zones(), classifier, 1);
  for (const std::vector<ZoneReading>& out :
       {reader.read_file(::testing::TempDir()), reader.read_bytes({}), reader.read(cv::Mat())}) {
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].reading.shape, ReadingShape::kNoFrame);
    EXPECT_EQ(out[1].reading.shape, ReadingShape::kNoFrame);
    EXPECT_EQ(out[3].reading.shape, ReadingShape::kLayout);
  }
}

TEST(BoardReader, AReaderErrorStaysWithItsZone) {
  const WidthClassifier classifier;
  std::vector<BoardZone> two = zones();
  two[1].rect.width = 0.165;  // 33 pixels: the classifier throws
  const std::vector<ZoneReading> out = BoardReader(two, classifier, 2).read(scoreboard(200, 100));
  EXPECT_FALSE(out[0].error);
  EXPECT_EQ(out[0].reading.value, 66);
  ASSERT_TRUE(out[1].error);
  EXPECT_THROW(std::rethrow_exception(out[1].error), std::runtime_error);
}

}  // namespace
}  // namespace native_ocr::zonescan
