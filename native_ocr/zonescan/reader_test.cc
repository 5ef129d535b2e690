#include "native_ocr/zonescan/reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/display_traits.h"
#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan {
namespace {

// A cell as the fake classifier reports it.
struct Cell {
  SlotStatus status;
  std::optional<int64_t> digit;
};
const Cell kEmpty{SlotStatus::kEmpty, std::nullopt};
const Cell kUnknown{SlotStatus::kUnknown, std::nullopt};
Cell digit(int64_t d) {
  return {SlotStatus::kDigit, d};
}

// Reports the given cells for the digit slots of any layout, in order, and remembers the layouts
// it was asked to read.
class FakeClassifier final : public SlotClassifier {
 public:
  explicit FakeClassifier(std::vector<Cell> cells) : cells_(std::move(cells)) {}
  std::vector<SlotResult> read_slots(const cv::Mat& /*binary*/,
                                     const Layout& layout) const override {
    layouts.push_back(layout);
    std::vector<SlotResult> out;
    size_t i = 0;
    for (const Slot& slot : layout) {
      if (slot.kind != SlotKind::kDigit) {
        continue;
      }
      const Cell cell = i < cells_.size() ? cells_[i] : kEmpty;
      ++i;
      out.push_back({slot, cell.status, cell.digit, {}});
    }
    return out;
  }
  mutable std::vector<Layout> layouts;

 private:
  std::vector<Cell> cells_;
};

PreparedDisplay display(int cols = 100, int rows = 30) {
  PreparedDisplay d;
  d.binary = cv::Mat::zeros(rows, cols, CV_8UC1);
  d.angle = 2.5;
  return d;
}

// A prepared clock display whose detector found a colon or a decimal point at x.
PreparedDisplay clock_display(std::optional<char> mark, double x = 100.0) {
  PreparedDisplay d = display(200, 60);
  if (mark) {
    SeparatorDetection found;
    found.x = x;
    found.kind = *mark == ':' ? SeparatorKind::kColon : SeparatorKind::kDecimalPoint;
    found.confidence = 0.9;
    d.separator = found;
  }
  return d;
}

Reading read(ReaderKind reader, std::vector<Cell> cells, std::string_view role = "",
             const PreparedDisplay& d = display()) {
  const FakeClassifier classifier(std::move(cells));
  return read_prepared(reader, d, role, classifier);
}

TEST(ReaderForRole, GroupsOfRoles) {
  EXPECT_EQ(reader_for_role("clock"), ReaderKind::kClock);
  EXPECT_EQ(reader_for_role("guest_penalty_2"), ReaderKind::kClock);
  EXPECT_EQ(reader_for_role("period"), ReaderKind::kPeriod);
  EXPECT_EQ(reader_for_role("home_timeouts"), ReaderKind::kSingleDigit);
  EXPECT_EQ(reader_for_role("down"), ReaderKind::kSingleDigit);
  EXPECT_EQ(reader_for_role("guest_shots"), ReaderKind::kScore);
  EXPECT_EQ(reader_for_role(""), ReaderKind::kScore);
  EXPECT_EQ(reader_for_role("Clock"), ReaderKind::kScore);
}

TEST(ScoreReader, DecidesFromTheTwoCells) {
  Reading r = read(ReaderKind::kScore, {kEmpty, digit(7)});
  EXPECT_EQ(r.shape, ReadingShape::kFull);
  EXPECT_EQ(r.value, 7);
  EXPECT_TRUE(r.valid);
  EXPECT_EQ(r.reason, "ok");
  EXPECT_EQ(read(ReaderKind::kScore, {digit(1), digit(0)}).value, 10);
  EXPECT_EQ(read(ReaderKind::kScore, {kUnknown, digit(4)}).reason, "unrecognized");
  EXPECT_EQ(read(ReaderKind::kScore, {digit(3), kEmpty}).reason, "missing_units");
}

TEST(ScoreReader, EmptyRoleReadsAsHomeScoreAndOneDigitRoleIsALayoutResult) {
  const Reading home = read(ReaderKind::kScore, {digit(2), digit(1)});
  EXPECT_EQ(home.layout, layout_for_role("home_score", 100, 30));
  EXPECT_EQ(home.slots.size(), 2u);
  EXPECT_EQ(home.angle, 2.5);

  const Reading period = read(ReaderKind::kScore, {digit(2)}, "period");
  EXPECT_EQ(period.shape, ReadingShape::kLayoutWithSlots);
  EXPECT_EQ(period.reason, "layout");
  EXPECT_FALSE(period.valid);
  EXPECT_EQ(period.slots.size(), 1u);
}

TEST(PeriodReader, IgnoresTheRoleAndPassesTheSlotStatusThrough) {
  const Reading r = read(ReaderKind::kPeriod, {digit(3)}, "home_score");
  EXPECT_EQ(r.layout.size(), 1u);
  EXPECT_EQ(r.value, 3);
  EXPECT_EQ(read(ReaderKind::kPeriod, {kEmpty}).reason, "empty");
  EXPECT_EQ(read(ReaderKind::kPeriod, {kUnknown}).reason, "unknown");
  EXPECT_FALSE(read(ReaderKind::kPeriod, {kUnknown}).value);
}

TEST(SingleDigitReader, RefusesRolesOutsideTheSetBeforeAnyWork) {
  const FakeClassifier classifier({digit(4)});
  const Reading r = read_crop(ReaderKind::kSingleDigit, CropView{}, "period", {}, classifier);
  EXPECT_EQ(r.shape, ReadingShape::kLayout);
  EXPECT_EQ(r.reason, "layout");
  EXPECT_EQ(read_crop(ReaderKind::kSingleDigit, CropView{}, "", {}, classifier).reason, "layout");
  EXPECT_EQ(read_crop(ReaderKind::kSingleDigit, CropView{}, "down", {}, classifier).reason,
            "no_frame");
  EXPECT_TRUE(classifier.layouts.empty());
}

TEST(SingleDigitReader, ReadsTheOneCell) {
  const Reading r = read(ReaderKind::kSingleDigit, {digit(4)}, "guest_timeouts");
  EXPECT_EQ(r.value, 4);
  EXPECT_EQ(r.reason, "ok");
  EXPECT_EQ(read(ReaderKind::kSingleDigit, {kEmpty}, "down").reason, "empty");
  EXPECT_EQ(read(ReaderKind::kSingleDigit, {kUnknown}, "down").reason, "unknown");
}

struct ClockRow {
  std::vector<Cell> cells;
  std::optional<char> mark;
  std::optional<std::string> expected;
};

TEST(ClockReader, CellsAndSeparatorMakeTheString) {
  const ClockRow rows[] = {
      {{digit(1), digit(2), digit(3), digit(4)}, ':', "12:34"},
      {{kEmpty, digit(5), digit(3), digit(0)}, ':', "5:30"},
      {{digit(1), digit(2), digit(3), kEmpty}, ':', "12:3"},
      {{digit(5), digit(9), digit(8), kEmpty}, '.', "59.8"},
      {{digit(5), digit(9), digit(8), digit(7)}, '.', "59.8"},
      {{digit(5), digit(9), digit(8), kEmpty}, std::nullopt, "59:8"},
      {{digit(5), digit(9), digit(8), kUnknown}, '.', std::nullopt},
      {{kEmpty, kEmpty, digit(4), digit(5)}, ':', std::nullopt},
      {{digit(5), digit(9), kEmpty, digit(8)}, '.', std::nullopt},
  };
  for (const ClockRow& row : rows) {
    const Reading r = read(ReaderKind::kClock, row.cells, "", clock_display(row.mark));
    EXPECT_EQ(r.clock_value, row.expected) << (row.expected ? *row.expected : "none");
    EXPECT_EQ(r.valid, row.expected.has_value());
    EXPECT_EQ(r.reason, row.expected ? "raw" : "unrecognized");
    EXPECT_EQ(clock_mode(r.clock_separator.kind), row.mark == '.' ? "tenths" : "minutes");
  }
}

TEST(ClockReader, TheSeparatorPlacesTheGap) {
  const FakeClassifier classifier({digit(1), digit(2), digit(3), digit(4)});
  const Reading found =
      read_prepared(ReaderKind::kClock, clock_display(':', 120.0), "", classifier);
  EXPECT_EQ(found.layout, clock_slots(200, 60, 120.0));
  EXPECT_TRUE(found.clock_separator.found);
  EXPECT_EQ(found.clock_separator.x, 120.0);
  EXPECT_EQ(found.clock_separator.confidence, 0.9);

  const Reading none =
      read_prepared(ReaderKind::kClock, clock_display(std::nullopt), "", classifier);
  EXPECT_EQ(none.layout, clock_slots(200, 60));
  EXPECT_FALSE(none.clock_separator.found);
  EXPECT_EQ(none.clock_separator.status(), "unknown");
  EXPECT_FALSE(none.separator);
}

TEST(ClockReader, ATwoDigitRoleReadsTwoCellsAndNoValue) {
  const Reading r =
      read(ReaderKind::kClock, {digit(1), digit(2)}, "home_score", clock_display(':'));
  EXPECT_EQ(r.slots.size(), 2u);
  EXPECT_EQ(find_separator(r.layout), nullptr);
  EXPECT_FALSE(r.clock_value);
  EXPECT_EQ(r.reason, "unrecognized");
}

TEST(ReadCrop, NoCropIsNoFrameForEveryReader) {
  const FakeClassifier classifier({});
  for (ReaderKind kind : {ReaderKind::kScore, ReaderKind::kPeriod, ReaderKind::kClock}) {
    const Reading r = read_crop(kind, CropView{}, "", {}, classifier);
    EXPECT_EQ(r.shape, ReadingShape::kNoFrame);
    EXPECT_EQ(r.reason, "no_frame");
    EXPECT_FALSE(r.valid);
  }
  EXPECT_TRUE(classifier.layouts.empty());
}

TEST(ReadCrop, ACropPastTheLongestSideIsRefusedBeforeAnyWork) {
  const FakeClassifier classifier({digit(1), digit(2)});
  const cv::Mat wide(1, kMaxCropSide + 1, CV_8UC1, cv::Scalar(0));
  const cv::Mat tall(kMaxCropSide + 1, 1, CV_8UC1, cv::Scalar(0));
  for (ReaderKind kind : {ReaderKind::kScore, ReaderKind::kPeriod, ReaderKind::kClock}) {
    for (const cv::Mat& crop : {wide, tall}) {
      const Reading r = read_crop(kind, {crop, false}, "", {}, classifier);
      EXPECT_EQ(r.shape, ReadingShape::kNoFrame);
      EXPECT_EQ(r.reason, kCropTooLarge);
    }
  }
  EXPECT_TRUE(classifier.layouts.empty());
  const cv::Mat longest(2, kMaxCropSide, CV_8UC1, cv::Scalar(0));
  EXPECT_EQ(read_crop(ReaderKind::kScore, {longest, false}, "", {}, classifier).shape,
            ReadingShape::kFull);
}

TEST(ReadCrop, AGivenSeparatorDetectionStandsForTheDetectors) {
  const SegmentClassifier classifier;
  const CropView crop{testing::draw_clock(200, 60, "5980", testing::Mark::kDecimal), true};
  const Reading found = read_crop(ReaderKind::kClock, crop, "clock", {}, classifier);
  ASSERT_TRUE(found.separator);
  ASSERT_EQ(found.separator->kind, SeparatorKind::kDecimalPoint);
  const Reading given =
      read_crop_given_separator(ReaderKind::kClock, crop, "clock", {}, found.separator, classifier);
  EXPECT_EQ(given.clock_value, found.clock_value);
  EXPECT_EQ(given.layout, found.layout);
  // Nothing given is nothing found: the colon fallback, whatever the pixels show.
  const Reading none =
      read_crop_given_separator(ReaderKind::kClock, crop, "clock", {}, std::nullopt, classifier);
  EXPECT_FALSE(none.clock_separator.found);
  EXPECT_EQ(none.clock_separator.kind, SeparatorKind::kColon);
  EXPECT_EQ(read_crop_given_separator(ReaderKind::kClock, CropView{}, "clock", {}, found.separator,
                                      classifier)
                .shape,
            ReadingShape::kNoFrame);
}

TEST(ReadCrop, BgraCropReadsLikeItsBgrPart) {
  const cv::Mat bgr =
      testing::draw_clock(200, 60, "1234", testing::Mark::kColon, 0.0, cv::Scalar(40, 190, 255));
  cv::Mat bgra;
  cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
  const SegmentClassifier classifier;
  const Reading a = read_crop(ReaderKind::kClock, {bgr, true}, "", {}, classifier);
  const Reading b = read_crop(ReaderKind::kClock, {bgra, true}, "", {}, classifier);
  EXPECT_EQ(cv::norm(a.binary, b.binary, cv::NORM_INF), 0.0);
  EXPECT_EQ(a.layout, b.layout);
  EXPECT_EQ(a.clock_value, "12:34");
  EXPECT_EQ(a.clock_value, b.clock_value);
  ASSERT_TRUE(a.separator && b.separator);
  EXPECT_EQ(a.separator->x, b.separator->x);
  EXPECT_EQ(a.separator->confidence, b.separator->confidence);
}

TEST(ReadCrop, GreyCropInAThreeDimensionalArrayIsRefusedByTheColourConversion) {
  const SegmentClassifier classifier;
  const cv::Mat grey(20, 40, CV_8UC1, cv::Scalar(200));
  EXPECT_THROW(read_crop(ReaderKind::kScore, {grey, true}, "", {}, classifier), cv::Exception);
  const Reading two_d = read_crop(ReaderKind::kScore, {grey, false}, "", {}, classifier);
  EXPECT_EQ(two_d.shape, ReadingShape::kFull);
}

TEST(SegmentClassifier, SkipsTheSeparatorAndReadsBlankCellsAsEmpty) {
  const SegmentClassifier classifier;
  const Layout layout = clock_slots(100, 30);
  const std::vector<SlotResult> results =
      classifier.read_slots(cv::Mat::zeros(30, 100, CV_8UC1), layout);
  ASSERT_EQ(results.size(), 4u);
  for (size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].status, SlotStatus::kEmpty);
    EXPECT_EQ(results[i].slot.index, static_cast<int64_t>(i));
  }
}

TEST(ClockReader, FewerCellsSplitBySeparatorKind) {
  struct Row {
    int64_t cells;
    std::optional<char> mark;
    std::vector<Cell> read;
    std::string expected;
    size_t left;
  };
  const Row rows[] = {{3, '.', {digit(2), digit(4), digit(2)}, "24.2", 2},
                      {3, '.', {kEmpty, digit(4), digit(2)}, "4.2", 2},
                      {3, ':', {digit(4), digit(2), digit(5)}, "4:25", 1},
                      {3, std::nullopt, {digit(4), digit(2), digit(5)}, "4:25", 1},
                      {2, '.', {digit(4), digit(2)}, "4.2", 1}};
  for (const Row& row : rows) {
    PreparedDisplay d = clock_display(row.mark, 130.0);
    d.clock_cells = row.cells;
    const Reading r = read(ReaderKind::kClock, row.read, "clock", d);
    EXPECT_EQ(r.clock_value, row.expected) << row.expected;
    ASSERT_EQ(r.slots.size(), static_cast<size_t>(row.cells));
    EXPECT_EQ(r.layout[row.left].kind, SlotKind::kSeparator) << row.expected;
  }
  // Four cells, and any count on a role that is no clock's, keep the design's layouts.
  PreparedDisplay four = clock_display('.', 130.0);
  EXPECT_EQ(read(ReaderKind::kClock, {}, "clock", four).layout, clock_slots(200, 60, 130.0));
  four.clock_cells = 3;
  EXPECT_EQ(read(ReaderKind::kClock, {}, "home_score", four).layout.size(), 2u);
}

// The decimal-point clock as an LCD shows it: dark digits on a light ground.
cv::Mat lcd_clock() {
  cv::Mat lit = testing::draw_clock(200, 60, "5980", testing::Mark::kDecimal);
  cv::Mat out;
  cv::bitwise_not(lit, out);
  return out;
}

TEST(PrepareDisplay, ADarkPolarityIsTheInvertedThresholdAndFindsThePoint) {
  const cv::Mat lcd = lcd_clock();
  ProcessingSettings dark;
  dark.polarity = Polarity::kDark;
  dark.threshold = 100;
  ProcessingSettings inverted;
  inverted.invert = true;
  inverted.threshold = 254 - 100;
  const PreparedDisplay d = prepare_display({lcd, true}, dark, true);
  const PreparedDisplay i = prepare_display({lcd, true}, inverted, true);
  EXPECT_EQ(cv::norm(d.binary, i.binary, cv::NORM_INF), 0);
  ASSERT_TRUE(d.separator);
  EXPECT_EQ(d.separator->kind, SeparatorKind::kDecimalPoint);
  // The light ground hides the point.
  EXPECT_FALSE(i.separator && i.separator->kind == SeparatorKind::kDecimalPoint);
}

// dst(x, y) = src(x - k (middle - y), y): the top leans right by `degrees`.
cv::Mat leaning(const cv::Mat& image, double degrees) {
  const double k = std::tan(degrees * CV_PI / 180.0), middle = (image.rows - 1) / 2.0;
  const cv::Mat m = (cv::Mat_<double>(2, 3) << 1.0, -k, k * middle, 0.0, 1.0, 0.0);
  cv::Mat out;
  cv::warpAffine(image, out, m, image.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  return out;
}

TEST(PrepareDisplay, TheSlantIsShearedUprightAndEstimatedFromTheStrokes) {
  cv::Mat grey;
  cv::cvtColor(testing::draw_clock(200, 60, "1714", testing::Mark::kColon), grey,
               cv::COLOR_BGR2GRAY);
  const cv::Mat slanted = leaning(grey, 10.0);
  ProcessingSettings s;
  s.threshold = 60;
  const cv::Mat upright = prepare_display({grey, false}, s, false).binary;
  const cv::Mat raw = prepare_display({slanted, false}, s, false).binary;
  EXPECT_EQ(estimate_slant(upright), 0.0);
  EXPECT_NEAR(estimate_slant(raw), 10.0, 1.0);
  EXPECT_EQ(estimate_slant(cv::Mat::zeros(60, 200, CV_8UC1)), 0.0);
  s.slant = 10.0;
  const cv::Mat straightened = prepare_display({slanted, false}, s, false).binary;
  // Straightened, the strokes are back where they were: few pixels differ, unlike the slanted.
  EXPECT_LT(cv::countNonZero(straightened != upright), cv::countNonZero(raw != upright) / 4);
}

}  // namespace
}  // namespace native_ocr::zonescan
