#include "native_ocr/zonescan/calibration/zone_agreement.h"

#include <gtest/gtest.h>

#include "native_ocr/zonescan/calibration/frame_trust.h"
#include "native_ocr/zonescan/calibration/test_board.h"
#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/separator/separator_detector.h"

namespace native_ocr::zonescan::calibration {
namespace {

using testing::Board;
using testing::draw_board;

// A frame with the board in its middle and the zone drawn around the board's crop.
struct Framed {
  cv::Mat frame;
  FrameZone zone;
};

// White segments over a dark board (grey 240 lit, the unlit ones at the board's ghost share),
// cut close as the readers' layouts want it.
Framed framed(Board board, const std::string& role, int threshold) {
  board.lit = cv::Scalar::all(240);
  board.margin_x = board.margin_y = 3;
  const cv::Mat drawn = draw_board(board).image;
  Framed out;
  out.frame = cv::Mat(drawn.rows * 2, drawn.cols * 2, CV_8UC3, board.background);
  drawn.copyTo(out.frame(cv::Rect(drawn.cols / 2, drawn.rows / 2, drawn.cols, drawn.rows)));
  out.zone.frame = {out.frame, true};
  out.zone.rect = {0.25, 0.25, 0.5, 0.5};
  out.zone.role = role;
  out.zone.settings.threshold = threshold;
  return out;
}

TEST(ZoneAgreementTest, ACleanReadingHoldsUnderEveryMoveAndAnotherValueUnderNone) {
  Board b;
  b.cells = "12:34";
  const Framed f = framed(b, "clock", 120);
  const SegmentClassifier classifier;
  const Agreement same = zone_agreement(f.zone, {std::nullopt, "12:34"}, classifier);
  EXPECT_EQ(same.shift, 1.0);
  EXPECT_EQ(same.near_threshold, 1.0);
  EXPECT_EQ(same.far_threshold, 1.0);
  // A clock's value is text: the number 1234 is not it, nor is another time.
  for (const ReadValue& other : {ReadValue{1234, std::nullopt}, ReadValue{std::nullopt, "12:35"}}) {
    const Agreement a = zone_agreement(f.zone, other, classifier);
    EXPECT_EQ(a.shift + a.near_threshold + a.far_threshold, 0.0);
  }
}

// Each move is exactly the zone's reader on the moved zone: the threshold moves share one grey
// display and one separator search (the caller's, when it gives the reading's), which must not
// change what they read, whatever else the settings turn, blur or invert; and a zone moved off the
// frame's edge reads what a crop of the frame reads.
TEST(ZoneAgreementTest, EveryMoveReadsAsTheReaderReadsTheMovedZone) {
  Board b;
  b.cells = "4.7";
  b.ghost = 0.3;  // unlit segments near the thresholds, so that moves read differently
  Framed f = framed(b, "clock", 150);
  const SegmentClassifier classifier;
  const CropView crop = {f.frame(cv::Range(f.frame.rows / 4, f.frame.rows * 3 / 4),
                                 cv::Range(f.frame.cols / 4, f.frame.cols * 3 / 4)),
                         true};
  std::vector<ProcessingSettings> variants(5, f.zone.settings);
  variants[1].rotation = 2.0;
  variants[1].blur = 3;
  variants[2].invert = true;
  variants[3].classifier = CellClassifier::kLearned;
  variants[4].slant = 6.0;
  for (size_t v = 0; v < variants.size(); ++v) {
    for (const int threshold : {70, 80, 90, 100, 150}) {
      f.zone.settings = variants[v];
      f.zone.settings.threshold = threshold;
      const Reading at = read_crop(ReaderKind::kClock, crop, "clock", f.zone.settings, classifier);
      double expected[2] = {0, 0};
      int k = 0;
      for (const int step : {kNearThresholdStep, kFarThresholdStep}) {
        for (const int way : {-1, 1}) {
          ProcessingSettings moved = f.zone.settings;
          moved.threshold = std::clamp<int64_t>(threshold + way * step, 0, 255);
          expected[k / 2] +=
              keeps_value(read_crop(ReaderKind::kClock, crop, "clock", moved, classifier),
                          {std::nullopt, at.clock_value}) /
              2.0;
          ++k;
        }
      }
      for (const bool given : {false, true}) {
        f.zone.separator_known = given;
        f.zone.separator = given ? at.separator : std::nullopt;
        const Agreement a = zone_agreement(f.zone, {std::nullopt, at.clock_value}, classifier);
        EXPECT_EQ(a.near_threshold, expected[0]) << v << " " << threshold << " " << given;
        EXPECT_EQ(a.far_threshold, expected[1]) << v << " " << threshold << " " << given;
      }
    }
  }
  f.zone.settings = variants[0];
  f.zone.separator_known = false;
  // The whole frame as the zone: the moves left and up lose a column or row at the edge.
  f.zone.rect = {0.0, 0.0, 1.0, 1.0};
  f.zone.role = "";
  EXPECT_NO_THROW(zone_agreement(f.zone, {47, std::nullopt}, classifier));
}

TEST(ZoneAgreementTest, AZoneWithoutPixelsOrARefusedRoleKeepsNothing) {
  Board b;
  b.cells = "7";
  Framed f = framed(b, "down", 120);
  const SegmentClassifier classifier;
  EXPECT_EQ(zone_agreement(f.zone, {7, std::nullopt}, classifier).far_threshold, 1.0);
  f.zone.role = "guest_score_typo";  // read by the score reader, as two cells
  f.zone.rect.width = 0.0;
  const Agreement none = zone_agreement(f.zone, {7, std::nullopt}, classifier);
  EXPECT_EQ(none.shift + none.near_threshold + none.far_threshold, 0.0);
}

// The digit cells a zone of the frame reads, as the trust rule weighs them.
std::vector<TrustCell> cells_read(const FrameZone& zone) {
  const cv::Rect pixels = *zone_pixels(zone.rect, zone.frame.pixels.size());
  const Reading r = read_crop(reader_for_role(zone.role), CropView{zone.frame.pixels(pixels), true},
                              zone.role, zone.settings, SegmentClassifier());
  return trust_input(r).cells;
}

// Ink the cells do not account for: the strokes of a digit the zone cut off lie just beyond its
// outermost cell, a label below the digits lies outside every glyph; a zone round the digits alone
// has neither, and a zone at the frame's edge has nothing beyond it to measure.
TEST(ZoneAgreementTest, InkAroundTheCellsShowsADigitCutOffAndALabel) {
  Board b;
  b.cells = "16";
  Framed f = framed(b, "home_score", 120);
  const InkAround whole = ink_around_cells(f.zone, cells_read(f.zone));
  EXPECT_EQ(whole.beyond_edges, 0.0);
  EXPECT_LT(whole.stray, 0.02);
  // The zone's left edge moved past the 1: a one-digit zone reads the 6 alone.
  f.zone.role = "period";
  const double glyph_right = (3 + b.digit_height * 60 / 100) / (2.0 * f.frame.cols / 2);
  f.zone.rect.x += glyph_right + 2.0 / f.frame.cols;
  f.zone.rect.width -= glyph_right + 2.0 / f.frame.cols;
  const std::vector<TrustCell> six = cells_read(f.zone);
  ASSERT_EQ(six.size(), 1u);
  EXPECT_EQ(six[0].digit, 6);
  const InkAround cut = ink_around_cells(f.zone, six);
  EXPECT_GT(cut.beyond_edges, 0.6);
  EXPECT_LT(cut.stray, 0.02);
  b.label_below = true;
  Framed labelled = framed(b, "home_score", 120);
  const InkAround label = ink_around_cells(labelled.zone, cells_read(labelled.zone));
  EXPECT_GT(label.stray, whole.stray + 0.05);
  // The whole frame as the zone, and a zone covering no pixel.
  f.zone.rect = {0.0, 0.0, 1.0, 1.0};
  EXPECT_EQ(ink_around_cells(f.zone, cells_read(f.zone)).beyond_edges, 0.0);
  f.zone.rect.width = 0.0;
  EXPECT_EQ(ink_around_cells(f.zone, six).stray, 0.0);
}

// Trust weighed with the frame, from the typed reading: a clean reading of either classifier is
// trusted; the same reading with a cell taken for another digit keeps its value under no re-read
// and is not.
TEST(ZoneAgreementTest, TrustInTheFrameWeighsTheTypedReadingWithItsZone) {
  Board b;
  b.cells = "42";
  for (const CellClassifier kind : {CellClassifier::kSegments, CellClassifier::kLearned}) {
    Framed f = framed(b, "home_score", 120);
    f.zone.settings.classifier = kind;
    const cv::Mat crop = f.frame(*zone_pixels(f.zone.rect, f.frame.size()));
    const SegmentClassifier classifier;
    Reading reading =
        read_crop(ReaderKind::kScore, {crop, true}, "home_score", f.zone.settings, classifier);
    ASSERT_EQ(reading.value, 42);
    const Trust clean = trust_in_frame(reading, {crop, true}, f.zone, classifier);
    EXPECT_TRUE(clean.trusted) << clean.why;
    reading.slots[1].digit = 7;
    reading.value = 47;
    EXPECT_FALSE(trust_in_frame(reading, {crop, true}, f.zone, classifier).trusted);
  }
}

// The moved crops of a clock read with the separator detections the caller keeps, one asked for
// each move; the detector's own give the same shares as the search.
TEST(ZoneAgreementTest, MovedClockCropsReadWithTheSeparatorsTheCallerKeeps) {
  struct Kept final : MovedSeparators {
    std::vector<int> moves;
    std::optional<SeparatorDetection> detect(int move, const cv::Mat& crop) override {
      moves.push_back(move);
      return detect_clock_separator_without_regions(crop, 0.0);
    }
  };
  Board b;
  b.cells = "12:34";
  b.ghost = 0.3;  // unlit segments near the threshold, so that some moves read otherwise
  const Framed f = framed(b, "clock", 150);
  const SegmentClassifier classifier;
  for (const char* value : {"12:34", "12:35"}) {
    Kept kept;
    EXPECT_EQ(zone_agreement(f.zone, {std::nullopt, value}, classifier, {}, &kept).shift,
              zone_agreement(f.zone, {std::nullopt, value}, classifier).shift);
    EXPECT_EQ(kept.moves, (std::vector<int>{0, 1, 2, 3}));
  }
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration
