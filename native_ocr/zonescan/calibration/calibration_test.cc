#include "native_ocr/zonescan/calibration/calibration.h"

#include <gtest/gtest.h>

#include "native_ocr/zonescan/calibration/classifier_choice.h"
#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/calibration/test_board.h"
#include "native_ocr/zonescan/learned_classifier.h"
#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan::calibration {
namespace {

using testing::Board;
using testing::draw_board;

const SegmentClassifier kClassifier;

Reading read_cut(const cv::Mat& image, const Calibration& c, std::string_view role) {
  const cv::Mat cut = image(cv::Range(c.cut.y1, c.cut.y2), cv::Range(c.cut.x1, c.cut.x2));
  return read_crop(reader_for_role(role), CropView{cut, true}, role, c.settings, kClassifier);
}

Calibration calibrate_drawn(const cv::Mat& image, std::string_view role,
                            const std::optional<std::string>& expected = std::nullopt) {
  return calibrate_crop(CropView{image, true}, role, expected, kClassifier);
}

bool contains(const Cut& cut, const cv::Rect& box) {
  return cut.x1 <= box.x && cut.y1 <= box.y && cut.x2 >= box.x + box.width &&
         cut.y2 >= box.y + box.height;
}

struct Case {
  const char* cells;
  const char* role;
  const char* value;  // as the reader writes it
};

class BlindCalibrationTest : public ::testing::TestWithParam<Case> {};

TEST_P(BlindCalibrationTest, FitsTheDisplayAndReadsIt) {
  const Case& c = GetParam();
  Board board;
  board.cells = c.cells;
  board.margin_x = 70;  // a loose zone: the display is a small part of the crop
  board.margin_y = 45;
  board.label_below = true;
  const auto drawn = draw_board(board);
  const Calibration result =
      calibrate_crop(CropView{drawn.image, true}, c.role, std::nullopt, kClassifier);
  ASSERT_TRUE(result.found);
  EXPECT_EQ(result.reason, "ok");
  EXPECT_TRUE(contains(result.cut, drawn.display));
  // Tight: at most a fifth of the display's size of margin on each side.
  EXPECT_LE(result.cut.width(), drawn.display.width * 1.4 + 2);
  EXPECT_LE(result.cut.height(), drawn.display.height * 1.4 + 2);
  EXPECT_EQ(reading_text(read_cut(drawn.image, result, c.role)), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BlindCalibrationTest,
    ::testing::Values(Case{"12:34", "clock", "12:34"}, Case{" 5:30", "clock", "5:30"},
                      Case{"59.8 ", "clock", "59.8"}, Case{" 7", "home_score", "7"},
                      Case{"86", "guest_score", "86"}, Case{"3", "period", "3"}),
    [](const ::testing::TestParamInfo<Case>& param) {
      return std::string(param.param.role) + "_" + std::to_string(param.index);
    });

TEST(TaughtCalibrationTest, ReadsExactlyTheExpectedValue) {
  Board board;
  board.cells = "10:28";
  board.ghost = 0.35;  // bright unlit segments: a low threshold reads eights
  const auto drawn = draw_board(board);
  const Calibration result =
      calibrate_crop(CropView{drawn.image, true}, "clock", std::string("10:28"), kClassifier);
  ASSERT_TRUE(result.found);
  EXPECT_EQ(result.reason, "ok");
  EXPECT_EQ(reading_text(read_cut(drawn.image, result, "clock")), "10:28");
  // The middle of the working band sits well above the unlit segments' level.
  const double ghost_grey = 0.35 * 120;
  EXPECT_GT(result.settings.threshold, ghost_grey);
}

TEST(BlindCalibrationTest, StableFirstReadingTeachesTheSearch) {
  Board board;
  board.cells = "10:28";
  board.ghost = 0.35;
  const cv::Mat image = draw_board(board).image;
  const Calibration blind = calibrate_drawn(image, "clock");
  const Calibration taught = calibrate_drawn(image, "clock", std::string("10:28"));
  EXPECT_EQ(blind.reason, "ok");
  EXPECT_EQ(blind.cut.x1, taught.cut.x1);
  EXPECT_EQ(blind.cut.x2, taught.cut.x2);
  EXPECT_EQ(blind.settings.threshold, taught.settings.threshold);
}

TEST(BlindCalibrationTest, GlowingUnlitSegmentsAreLeftOut) {
  // Unlit segments so bright that Otsu's threshold of the tight cut lights them all (88); the
  // ladder above it reads the value with fewer segments lit.
  for (const double ghost : {0.3, 0.45, 0.6}) {
    Board board;
    board.cells = "17";
    board.ghost = ghost;
    const cv::Mat image = draw_board(board).image;
    const Calibration blind = calibrate_drawn(image, "home_score");
    EXPECT_EQ(reading_text(read_cut(image, blind, "home_score")), "17") << ghost;
    EXPECT_GT(blind.settings.threshold, ghost * 120 + 20) << ghost;
  }
}

TEST(TaughtCalibrationTest, ValueNotShownFallsBackToBlindWithReason) {
  Board board;
  board.cells = "42";
  const auto drawn = draw_board(board);
  const Calibration taught =
      calibrate_crop(CropView{drawn.image, true}, "home_score", std::string("17"), kClassifier);
  EXPECT_TRUE(taught.found);
  EXPECT_EQ(taught.reason, "expected_not_read");
  const Calibration blind =
      calibrate_crop(CropView{drawn.image, true}, "home_score", std::nullopt, kClassifier);
  EXPECT_EQ(taught.cut.x1, blind.cut.x1);
  EXPECT_EQ(taught.settings.threshold, static_cast<int>(blind.settings.threshold));
}

TEST(CalibrationTest, IsDeterministic) {
  Board board;
  board.cells = "47.1 ";
  const auto drawn = draw_board(board);
  const CropView crop{drawn.image, true};
  const Calibration a = calibrate_crop(crop, "clock", std::string("47.1"), kClassifier);
  const Calibration b = calibrate_crop(crop, "clock", std::string("47.1"), kClassifier);
  EXPECT_EQ(a.cut.x1, b.cut.x1);
  EXPECT_EQ(a.cut.x2, b.cut.x2);
  EXPECT_EQ(a.cut.y1, b.cut.y1);
  EXPECT_EQ(a.settings.threshold, b.settings.threshold);
}

TEST(CalibrationTest, FlatCropHasNoDisplay) {
  const cv::Mat flat(80, 200, CV_8UC3, cv::Scalar(30, 30, 30));
  const Calibration result =
      calibrate_crop(CropView{flat, true}, "clock", std::nullopt, kClassifier);
  EXPECT_FALSE(result.found);
  EXPECT_EQ(result.reason, "no_display");
  EXPECT_EQ(result.cut.x2, 200);
  EXPECT_EQ(result.settings.threshold, 150);
}

TEST(CalibrationTest, DarkOnLightBoardIsInverted) {
  Board board;
  board.cells = "63";
  board.dark_on_light = true;
  const cv::Mat image = draw_board(board).image;
  const Calibration result = calibrate_drawn(image, "home_score");
  ASSERT_TRUE(result.found);
  EXPECT_TRUE(result.settings.invert);
  EXPECT_EQ(reading_text(read_cut(image, result, "home_score")), "63");
}

// A clock of three cells ("dd.d", "d:dd") in a zone drawn round the display: four cells about the
// middle misread it, so calibration lays out three cells about the separator the finder saw.
TEST(CalibrationTest, AClockOfThreeCellsIsLaidOutAboutItsSeparator) {
  const struct {
    const char* digits;
    SeparatorKind kind;
    const char* value;
  } cases[] = {{"242", SeparatorKind::kDecimalPoint, "24.2"},
               {"425", SeparatorKind::kColon, "4:25"}};
  for (const auto& c : cases) {
    const cv::Mat clock = zonescan::testing::draw_three_cell_clock(150, 60, c.digits, c.kind);
    cv::Mat image(66, 156, CV_8UC3, cv::Scalar(30, 20, 15));
    clock.copyTo(image(cv::Rect(3, 3, clock.cols, clock.rows)));
    for (const bool taught : {false, true}) {
      const Calibration result = calibrate_drawn(
          image, "clock", taught ? std::optional<std::string>(c.value) : std::nullopt);
      EXPECT_EQ(result.settings.clock_cells, 3) << c.value << " taught " << taught;
      EXPECT_EQ(reading_text(read_cut(image, result, "clock")), c.value) << taught;
    }
  }
}

TEST(ReadingTextTest, ClockNumberAndInvalid) {
  Reading clock;
  clock.valid = true;
  clock.clock_value = "9.5";
  EXPECT_EQ(reading_text(clock), "9.5");
  Reading score;
  score.valid = true;
  score.value = 7;
  EXPECT_EQ(reading_text(score), "7");
  score.valid = false;
  EXPECT_EQ(reading_text(score), "");
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration

namespace native_ocr::zonescan::calibration {
namespace {

TEST(BlindCalibrationTest, LabelStripAgainstTheDigitsIsLeftOut) {
  // A label printed a few pixels under the digits, across the display's width: at every lit
  // level it joins the digits' glyphs, so only a box without the strip reads the score.
  Board board;
  board.cells = "42";
  const auto drawn = draw_board(board);
  cv::Mat image = drawn.image.clone();
  const cv::Rect& d = drawn.display;
  cv::rectangle(image, cv::Rect(d.x, d.y + d.height + 3, d.width, board.digit_height / 5),
                board.lit, cv::FILLED);
  const Calibration blind = calibrate_drawn(image, "home_score");
  ASSERT_TRUE(blind.found);
  EXPECT_EQ(reading_text(read_cut(image, blind, "home_score")), "42");
  EXPECT_LT(blind.cut.y2, d.y + d.height + 3 + board.digit_height / 5);
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration

namespace native_ocr::zonescan::calibration {
namespace {

// A seven-segment classifier that reads every cell as a 7, with the real learned classifier
// behind it: calibration can only read the display through the learned one.
class SevensClassifier final : public SlotClassifier {
 public:
  std::vector<SlotResult> read_slots(const cv::Mat& /*binary*/,
                                     const Layout& layout) const override {
    std::vector<SlotResult> out;
    for (const Slot& slot : layout) {
      if (slot.kind == SlotKind::kDigit) {
        out.push_back(SlotResult{slot, SlotStatus::kDigit, 7, {}});
      }
    }
    return out;
  }
  const SlotClassifier& chosen_for(CellClassifier choice) const override {
    return choice == CellClassifier::kLearned ? static_cast<const SlotClassifier&>(learned_)
                                              : *this;
  }

 private:
  LearnedClassifier learned_;
};

TEST(ClassifierChoiceTest, TheLearnedClassifierReadsTheZoneWhenOnlyItReadsTheValue) {
  Board board;
  board.cells = "42";
  const cv::Mat image = draw_board(board).image;
  const CropView crop{image, true};
  const SevensClassifier sevens;
  // Taught: only the learned classifier reads the expected value; the search's "not read" is
  // answered by it.
  const Calibration taught = calibrate_crop(crop, "home_score", std::string("42"), sevens);
  EXPECT_EQ(taught.settings.classifier, CellClassifier::kLearned);
  EXPECT_EQ(taught.reason, "ok");
  EXPECT_EQ(reading_text(read_crop(ReaderKind::kScore, CropView{sub(image, taught.cut), true},
                                   "home_score", taught.settings, sevens)),
            "42");
  // Taught a value neither reads: the search's answer stands.
  const Calibration wrong = calibrate_crop(crop, "home_score", std::string("19"), sevens);
  EXPECT_EQ(wrong.settings.classifier, CellClassifier::kSegments);
  EXPECT_EQ(wrong.reason, "expected_not_read");
  // Blind: the clean learned reading is the better supported one.
  EXPECT_EQ(calibrate_crop(crop, "home_score", std::nullopt, sevens).settings.classifier,
            CellClassifier::kLearned);
}

// Where both classifiers read the first value alike, the learned reading reads the zone unless it
// is less steady under one-pixel moves: a tie, fully steady or not, goes to it. A learned reading
// of all 8s or of another value than the one taught is never taken.
TEST(ClassifierChoiceTest, BothReadingAlikeTheLearnedOneIsKeptUnlessLessSteady) {
  const ClassifierEvidence fragile{"42", 0.5, 0.9}, steady{"42", 1.0, 1.3};
  for (const std::optional<std::string>& expected :
       {std::optional<std::string>("42"), std::optional<std::string>()}) {
    EXPECT_TRUE(learned_reads_better(fragile, steady, expected));
    EXPECT_TRUE(learned_reads_better(steady, steady, expected));
    EXPECT_TRUE(learned_reads_better(fragile, fragile, expected));
    EXPECT_FALSE(learned_reads_better(steady, fragile, expected));
  }
  // The tie is decided by steadiness alone, not by the supports (on other scales).
  EXPECT_TRUE(
      learned_on_ties(ClassifierEvidence{"42", 1.0, 1.5}, ClassifierEvidence{"42", 1.0, 0.6}));
  EXPECT_FALSE(
      learned_on_ties(ClassifierEvidence{"42", 1.0, 0.6}, ClassifierEvidence{"42", 0.75, 1.5}));
  const ClassifierEvidence eights{"88", 0.0, 0.0}, other{"43", 1.0, 1.5};
  EXPECT_FALSE(learned_reads_better(fragile, eights, std::nullopt));
  EXPECT_FALSE(learned_reads_better(eights, eights, std::nullopt));
  // Taught, only the learned classifier reading the value: it is taken however unsteady.
  EXPECT_TRUE(learned_reads_better(other, fragile, std::string("42")));
  EXPECT_FALSE(learned_reads_better(fragile, other, std::string("42")));
  // Blind, reading different values: only a clear lead takes the learned reading.
  EXPECT_TRUE(learned_reads_better(fragile, other, std::nullopt));
  EXPECT_FALSE(learned_reads_better(ClassifierEvidence{"42", 1.0, 1.45}, other, std::nullopt));
}

// A clean drawn board both classifiers read alike and steadily: the tie gives it the learned
// classifier, and the zone reads its later values. (The drawn 7, three segments over faint
// ghosts, is one the learned model takes for a 1: the later value leaves it out.)
TEST(ClassifierChoiceTest, TheChosenClassifierReadsTheBoard) {
  Board board;
  board.cells = "42";
  const Calibration blind = calibrate_drawn(draw_board(board).image, "home_score");
  EXPECT_EQ(blind.settings.classifier, CellClassifier::kLearned);
  board.cells = "39";
  const cv::Mat later = draw_board(board).image;
  EXPECT_EQ(reading_text(read_crop(ReaderKind::kScore, CropView{sub(later, blind.cut), true},
                                   "home_score", blind.settings, kClassifier)),
            "39");
}

}  // namespace
}  // namespace native_ocr::zonescan::calibration
