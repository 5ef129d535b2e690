#include "native_ocr/zonescan/calibration/trust.h"

#include <gtest/gtest.h>

#include "native_ocr/zonescan/calibration/test_board.h"

namespace native_ocr::zonescan::calibration {
namespace {

using testing::Board;
using testing::draw_board;

// A cell read cleanly: full confidence, a wide margin, activations at 0 or 1, the glyph inside
// its cell and filling most of the crop's height.
TrustCell clean_cell(int x) {
  TrustCell c;
  c.confidence = 1.0;
  c.pattern_score = 1.0;
  c.runner_up_score = 0.617;
  c.activation = {1, 1, 0, 1, 1, 0, 1};
  c.box = {x, 0, x + 20, 39};
  c.glyph_box = {x + 3, 4, x + 17, 35};
  return c;
}

TrustInput clean_reading() {
  TrustInput input;
  input.valid = true;
  input.reason = "ok";
  input.cells = {clean_cell(0), clean_cell(21)};
  input.crop_height = 40;
  return input;
}

TEST(TrustTest, CleanReadingIsTrusted) {
  const Trust t = trust_reading(clean_reading());
  EXPECT_TRUE(t.trusted);
  EXPECT_EQ(t.why, "ok");
  EXPECT_GT(t.confidence, 0.95);
}

TEST(TrustTest, InvalidReadingIsNeverTrustedAndSaysWhy) {
  TrustInput input = clean_reading();
  input.valid = false;
  input.reason = "unrecognized";
  const Trust t = trust_reading(input);
  EXPECT_FALSE(t.trusted);
  EXPECT_EQ(t.confidence, 0.0);
  EXPECT_EQ(t.why, "unrecognized");
  input.valid = true;
  input.cells.clear();
  EXPECT_EQ(trust_reading(input).why, "no_digits");
}

TEST(TrustTest, EachSignOfAMisreadLowersTheScore) {
  const double clean = trust_score(clean_reading());
  TrustInput borderline = clean_reading();
  borderline.cells[1].activation[2] = 0.55;  // a segment barely on
  TrustInput cut = clean_reading();
  cut.cells[1].glyph_box[0] = cut.cells[1].box[0];  // glyph cut by its cell's side
  cut.cells[0].glyph_box[2] = cut.cells[0].box[2];
  TrustInput uneven = clean_reading();
  uneven.cells[1].glyph_box[3] = 22;  // one glyph much shorter than the other
  TrustInput no_separator = clean_reading();
  no_separator.clock = true;
  no_separator.separator_confidence = 0.0;
  for (const TrustInput* worse : {&borderline, &cut, &uneven, &no_separator}) {
    EXPECT_LT(trust_score(*worse), clean);
  }
  EXPECT_FALSE(trust_reading(uneven).trusted);
  borderline.cells[1].confidence = 0.6;  // a segment barely on, in a cell read without conviction
  EXPECT_FALSE(trust_reading(borderline).trusted);
  TrustInput moved = clean_reading();
  moved.shift_agreement = 0.5;  // half the one-pixel moves read another value
  moved.far_threshold_agreement = 0.0;
  EXPECT_LT(trust_score(moved), clean);
}

TEST(TrustTest, TypedReadingsOfDrawnBoards) {
  // What trust_input takes from a reading: the digit cells only, the crop's height, and for a
  // clock the detector's confidence.
  Board board;
  board.cells = " 5:30";
  board.margin_x = 8;
  board.margin_y = 6;
  const auto drawn = draw_board(board);
  const SegmentClassifier classifier;
  ProcessingSettings settings;
  settings.threshold = 110;
  const Reading clock =
      read_crop(ReaderKind::kClock, CropView{drawn.image, true}, "clock", settings, classifier);
  ASSERT_TRUE(clock.valid);
  ASSERT_EQ(clock.clock_value, "5:30");
  const TrustInput input = trust_input(clock);
  EXPECT_TRUE(input.clock);
  EXPECT_EQ(input.cells.size(), 3u);  // the blank leading cell is not a digit
  EXPECT_EQ(input.crop_height, drawn.image.rows);
  ASSERT_TRUE(clock.separator.has_value());
  EXPECT_EQ(input.separator_confidence, clock.separator->confidence);
  EXPECT_TRUE(trust_reading(input).trusted);
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration

namespace native_ocr::zonescan::calibration {
namespace {

TEST(TrustTest, CellsAllReadingEightAreNeverTrusted) {
  // What bright unlit segments, a label or a block of clutter read as, however cleanly.
  TrustInput eights = clean_reading();
  for (TrustCell& c : eights.cells) {
    c.digit = 8;
    c.activation = {1, 1, 1, 1, 1, 1, 1};
  }
  const Trust t = trust_reading(eights);
  EXPECT_FALSE(t.trusted);
  EXPECT_EQ(t.why, "all_lit");
  EXPECT_EQ(t.confidence, 0.0);
  eights.cells[0].digit = 3;  // one other digit: weighed like any reading
  EXPECT_NE(trust_reading(eights).why, "all_lit");
}

TEST(TrustTest, UnevenStrokesAndWidthsAreMeasured) {
  // Ink per lit segment over the glyph height: equal cells spread 0; a cell whose extra "lit"
  // segment is a thin glowing one carries less ink per segment.
  TrustInput even = clean_reading();
  for (TrustCell& c : even.cells) {
    c.ink_ratio = 0.3;
    c.digit = 0;
  }
  const auto flat = trust_features(even);
  EXPECT_DOUBLE_EQ(flat[10], 0.0);
  EXPECT_DOUBLE_EQ(flat[11], 0.0);
  TrustInput uneven = even;
  uneven.cells[1].activation = {1, 1, 1, 1, 1, 1, 1};  // 7 segments lit on the same ink as 5
  uneven.cells[1].glyph_box[2] -= 6;                   // and narrower
  const auto spread = trust_features(uneven);
  EXPECT_NEAR(spread[10], 2.0 / 7.0, 1e-9);
  EXPECT_NEAR(spread[11], 6.0 / 32.0, 1e-9);
  uneven.cells[1].digit = 1;  // a 1 is narrow in every face: its width is not compared
  EXPECT_DOUBLE_EQ(trust_features(uneven)[11], 0.0);
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration
