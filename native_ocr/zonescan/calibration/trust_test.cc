#include "native_ocr/zonescan/calibration/trust.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/calibration/frame_trust.h"
#include "native_ocr/zonescan/calibration/second_opinion.h"
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

// A clean reading the other classifier reads alike, surely, on a zone whose re-reads hold: what
// trust_reading given the zone and image weighs.
TEST(TrustTest, CleanReadingIsTrusted) {
  TrustInput input = clean_reading();
  input.second_opinion = SecondOpinionSummary{"learned", {}, 2, 1.0};
  const Trust t = trust_reading(input);
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
  for (const TrustInput* worse : {&borderline, &cut, &uneven}) {
    EXPECT_LT(trust_score(*worse), clean);
  }
  TrustInput sure = clean_reading();  // the learned classifier agrees, sure of it or not
  sure.second_opinion = SecondOpinionSummary{"learned", {}, 2, 1.0};
  TrustInput doubted = sure;
  doubted.second_opinion->learned_probability = 0.5;
  EXPECT_LT(trust_score(doubted), trust_score(sure));
  TrustInput clock = clean_reading();  // a clock is weighed against its own clean separator
  clock.clock = true;
  clock.separator_confidence = 1.0;
  TrustInput no_separator = clock;
  no_separator.separator_confidence = 0.0;
  EXPECT_LT(trust_score(no_separator), trust_score(clock));
  EXPECT_FALSE(trust_reading(uneven).trusted);
  // A segment barely on, in a cell read without conviction, with a doubtful second opinion, whose
  // value does not hold when the threshold moves far or the zone moves a pixel one way.
  borderline.cells[1].confidence = 0.6;
  borderline.second_opinion = doubted.second_opinion;
  borderline.far_threshold_agreement = 0.0;
  borderline.shift_agreement = 0.75;
  EXPECT_FALSE(trust_reading(borderline).trusted);
  // The re-reads are measured with the zone and image, when the second classifier is asked too.
  TrustInput moved = sure;
  moved.shift_agreement = 0.5;  // half the one-pixel moves read another value
  moved.far_threshold_agreement = 0.0;
  EXPECT_LT(trust_score(moved), trust_score(sure));
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

TEST(TrustTest, InkInAnEmptyCellAndGlyphsCutAtOtherPlacesAreMeasured) {
  // Ink left in a cell read as empty (a faint or cut leading 1), against the most in a digit cell.
  TrustInput lost = clean_reading();
  for (TrustCell& c : lost.cells) {
    c.ink_ratio = 0.4;
    c.digit = 0;
  }
  EXPECT_DOUBLE_EQ(trust_features(lost)[16], 0.0);
  lost.empty_ink = {0.0, 0.1};
  EXPECT_DOUBLE_EQ(trust_features(lost)[16], 0.25);
  // Both glyphs centred in their cells spread 0; one pushed to its cell's side by a layout cut at
  // another place spreads by its offset over the cell's width. A 1 is not compared.
  EXPECT_DOUBLE_EQ(trust_features(lost)[17], 0.0);
  lost.cells[1].glyph_box[0] += 3;
  lost.cells[1].glyph_box[2] += 3;
  EXPECT_NEAR(trust_features(lost)[17], 3.0 / 21.0, 1e-12);
  lost.cells[1].digit = 1;
  EXPECT_DOUBLE_EQ(trust_features(lost)[17], 0.0);
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration

namespace native_ocr::zonescan::calibration {
namespace {

TEST(TrustTest, WhatTheRuleRefusesWhateverTheScore) {
  TrustInput ground = clean_reading();  // a light ground that passed the threshold
  for (TrustCell& c : ground.cells) {
    c.ink_ratio = 0.9;
  }
  EXPECT_EQ(trust_reading(ground).why, "lit_ground");
  struct Value {
    const char* role;
    bool clock;
    const char* value;
    bool beyond;
  };
  for (const Value& v : {Value{"clock", true, "12:75", true}, Value{"clock", true, "75.3", true},
                         Value{"clock", true, "12:59", false}, Value{"clock", true, "12:7", true},
                         Value{"clock", true, "59.9", false}, Value{"period", false, "0", true},
                         Value{"period", false, "3", false}, Value{"down", false, "5", true},
                         Value{"down", false, "4", false}, Value{"home_score", false, "0", false},
                         Value{"", false, "99", false}}) {
    TrustInput input = clean_reading();
    input.role = v.role;
    input.clock = v.clock;
    input.separator_confidence = 1.0;
    input.value = v.value;
    EXPECT_EQ(beyond_role(input), v.beyond) << v.role << " " << v.value;
    EXPECT_EQ(trust_reading(input).why == "beyond_role", v.beyond) << v.value;
  }
  EXPECT_TRUE(decided_before_score(ground));
  EXPECT_FALSE(decided_before_score(clean_reading()));
  // A cell the learned classifier reads otherwise is weighed by how sure it is there: sure of
  // another digit, it refuses a reading that would otherwise pass, and says so.
  TrustInput disagreed = clean_reading();
  disagreed.second_opinion = SecondOpinionSummary{"learned", {1}, 2, 0.99, 0.99};
  TrustInput unsure = disagreed;
  unsure.second_opinion->contradiction = 0.3;
  EXPECT_LT(trust_score(disagreed), trust_score(unsure));
  Trust t = trust_reading(disagreed);
  EXPECT_FALSE(t.trusted);
  EXPECT_EQ(t.why, "classifiers_disagree");
  EXPECT_GT(t.confidence, 0.0);
  // A reading the rule would not trust had the two agreed is uncertain, whatever they say.
  disagreed.cells[1].glyph_box[3] = 22;
  disagreed.far_threshold_agreement = 0.0;
  disagreed.shift_agreement = 0.5;
  EXPECT_EQ(trust_reading(disagreed).why, "uncertain");
  disagreed.cells.clear();  // a learned reading the seven-segment classifier reads no digit of
  EXPECT_EQ(trust_reading(disagreed).why, "classifiers_disagree");
}

TEST(TrustTest, FeaturesOutsideTheFittedRangeAreUncertain) {
  auto features = trust_features(clean_reading());
  for (const TrustRule* rule : {&kPlainRule, &kAloneRule}) {
    EXPECT_FALSE(unfamiliar(features, *rule));
    for (size_t i : {size_t{0}, kTrustFeatures - 1}) {
      auto outside = features;
      const double span = rule->high[i] - rule->low[i];
      outside[i] = rule->low[i] - 2 * kFamiliarMargin * span - 1.0;
      EXPECT_TRUE(unfamiliar(outside, *rule)) << i;
    }
  }
  // The second opinion's features: the share read alike, the learned probability and how sure it
  // is where the two differ; without the opinion, what a full agreement gives.
  TrustInput asked = clean_reading();
  asked.second_opinion = SecondOpinionSummary{"learned", {0}, 2, 0.75, 0.9};
  const auto f = trust_features(asked);
  EXPECT_DOUBLE_EQ(f[kTrustFeatures - 3], 0.5);
  EXPECT_DOUBLE_EQ(f[kTrustFeatures - 2], 0.75);
  EXPECT_DOUBLE_EQ(f[kTrustFeatures - 1], 0.9);
  const auto alone = trust_features(clean_reading());
  EXPECT_DOUBLE_EQ(alone[kTrustFeatures - 3], 1.0);
  EXPECT_DOUBLE_EQ(alone[kTrustFeatures - 1], 0.0);
}

TEST(TrustTest, TheOtherClassifierIsAskedAboutTheSameCells) {
  Board board;
  board.cells = "42";
  board.margin_x = 8;
  board.margin_y = 6;
  const auto drawn = draw_board(board);
  const CropView crop{drawn.image, true};
  ProcessingSettings settings;
  settings.threshold = 110;
  const Reading segments =
      read_crop(ReaderKind::kScore, crop, "home_score", settings, SegmentClassifier());
  ASSERT_EQ(segments.value, 42);
  std::vector<ReadCell> cells = read_cells(segments);
  Opinion o = ask_second_opinion(crop, settings, cells);
  EXPECT_EQ(o.summary.classifier, "learned");
  EXPECT_TRUE(o.summary.disagreeing.empty());
  EXPECT_GT(o.summary.learned_probability, 0.6);
  EXPECT_TRUE(o.segment_cells.empty());
  cells[1].digit = 7;  // a reading that took the 2 for a 7
  EXPECT_EQ(ask_second_opinion(crop, settings, cells).summary.disagreeing, std::vector<int>{1});
  // A learned reading: the seven-segment classifier answers, and its cells are what trust weighs.
  settings.classifier = CellClassifier::kLearned;
  const Reading learned =
      read_crop(ReaderKind::kScore, crop, "home_score", settings, SegmentClassifier());
  ASSERT_EQ(learned.value, 42);
  o = ask_second_opinion(crop, settings, read_cells(learned));
  EXPECT_EQ(o.summary.classifier, "segments");
  EXPECT_TRUE(o.summary.disagreeing.empty());
  ASSERT_EQ(o.segment_cells.size(), 2u);
  EXPECT_EQ(o.segment_cells[1].digit, 2);
  EXPECT_GT(o.segment_cells[0].pattern_score, 0.0);
  // Dark digits on a light ground read through the dark polarity: the learned classifier is asked
  // about the display the reader read (the upright grey negative), so it reads the same digits.
  board.dark_on_light = true;
  const auto dark = draw_board(board);
  const CropView dark_crop{dark.image, true};
  ProcessingSettings polarity;
  polarity.polarity = Polarity::kDark;
  polarity.threshold = 110;
  const Reading read_dark =
      read_crop(ReaderKind::kScore, dark_crop, "home_score", polarity, SegmentClassifier());
  ASSERT_EQ(read_dark.value, 42);
  o = ask_second_opinion(dark_crop, polarity, read_cells(read_dark));
  EXPECT_TRUE(o.summary.disagreeing.empty());
  EXPECT_GT(o.summary.learned_probability, 0.6);
  // Slanted digits read through the slant setting: the cells lie on the sheared-upright display,
  // and the learned classifier is asked about that display, not the slanted crop.
  constexpr double kLean = 14.0;
  const double k = std::tan(kLean * CV_PI / 180.0), middle = (drawn.image.rows - 1) / 2.0;
  const cv::Mat lean = (cv::Mat_<double>(2, 3) << 1.0, -k, k * middle, 0.0, 1.0, 0.0);
  cv::Mat slanted;
  cv::warpAffine(drawn.image, slanted, lean, drawn.image.size(), cv::INTER_LINEAR,
                 cv::BORDER_CONSTANT, board.background);
  ProcessingSettings upright;
  upright.slant = kLean;
  upright.threshold = 110;
  const CropView slanted_crop{slanted, true};
  const Reading read_slanted =
      read_crop(ReaderKind::kScore, slanted_crop, "home_score", upright, SegmentClassifier());
  ASSERT_EQ(read_slanted.value, 42);
  o = ask_second_opinion(slanted_crop, upright, read_cells(read_slanted));
  EXPECT_TRUE(o.summary.disagreeing.empty());
  // Its weakest probability is exactly that of the learned reader's own reading of the zone.
  ProcessingSettings learned_upright = upright;
  learned_upright.classifier = CellClassifier::kLearned;
  const Reading own = read_crop(ReaderKind::kScore, slanted_crop, "home_score", learned_upright,
                                SegmentClassifier());
  ASSERT_EQ(own.value, 42);
  double weakest = 1.0;
  for (const SlotResult& slot : own.slots) {
    weakest = std::min(weakest, slot.diagnostics.confidence);
  }
  EXPECT_DOUBLE_EQ(o.summary.learned_probability, weakest);
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration

namespace native_ocr::zonescan::calibration {
namespace {

// Readings through a display trait and plain readings are weighed by rules of their own: the
// traits rule whenever the zone says traits, the plain rule when the second classifier was asked
// about a plain reading, and the rule of the result alone otherwise.
TEST(TrustTest, EachPopulationIsWeighedByItsOwnRule) {
  TrustInput input = clean_reading();
  EXPECT_EQ(&rule_for(input), &kAloneRule);
  // A learned reading alone: its cells report no segments, so it is weighed by its own rule,
  // mostly by the learned probability; with the zone and image the seven-segment classifier's
  // cells are weighed, by the plain rule.
  TrustInput learned = clean_reading();
  for (TrustCell& c : learned.cells) {
    c = TrustCell{0.99, 0.0, 0.0, {}, c.box, c.box, c.digit, 0.0};
  }
  EXPECT_TRUE(read_by_learned(learned));
  EXPECT_FALSE(read_by_learned(input));
  EXPECT_EQ(&rule_for(learned), &kLearnedAloneRule);
  TrustInput unsure = learned;
  unsure.cells[1].confidence = 0.6;
  EXPECT_LT(trust_score(unsure), trust_score(learned));
  learned.second_opinion = SecondOpinionSummary{"segments", {}, 2, 0.99};
  EXPECT_TRUE(read_by_learned(learned));
  EXPECT_EQ(&rule_for(learned), &kPlainRule);
  input.second_opinion = SecondOpinionSummary{"learned", {}, 2, 1.0};
  EXPECT_EQ(&rule_for(input), &kPlainRule);
  input.display_traits = true;
  EXPECT_EQ(&rule_for(input), &kTraitsRule);
  input.second_opinion.reset();
  EXPECT_EQ(&rule_for(input), &kTraitsRule);
}

// Under every rule: ink the cells do not account for never raises the score, and a reading whose
// every cell is an 8 or whose ground is lit is refused whatever the rule.
TEST(TrustTest, InkTheCellsDoNotAccountForNeverRaisesTheScore) {
  for (const bool traits : {false, true}) {
    TrustInput clean = clean_reading();
    clean.second_opinion = SecondOpinionSummary{"learned", {}, 2, 1.0};
    clean.display_traits = traits;
    TrustInput cut = clean;  // a digit's strokes just beyond the outermost cell
    cut.beyond_edge_ink = 0.9;
    TrustInput stray = clean;  // a second row or a label in the zone
    stray.stray_ink = 0.4;
    EXPECT_LE(trust_score(cut), trust_score(clean)) << traits;
    EXPECT_LE(trust_score(stray), trust_score(clean)) << traits;
    TrustInput eights = clean;
    for (TrustCell& c : eights.cells) {
      c.digit = 8;
      c.activation = {1, 1, 1, 1, 1, 1, 1};
    }
    EXPECT_EQ(trust_reading(eights).why, "all_lit") << traits;
    TrustInput ground = clean;
    for (TrustCell& c : ground.cells) {
      c.ink_ratio = 0.9;
    }
    EXPECT_EQ(trust_reading(ground).why, "lit_ground") << traits;
  }
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration
