#include "native_ocr/zonescan/learned_classifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/separator/test_clock_images.h"

namespace native_ocr::zonescan {
namespace {

ProcessingSettings learned_settings() {
  ProcessingSettings s;
  s.classifier = CellClassifier::kLearned;
  return s;
}

// A 200x60 clock crop with faint unlit segments under the digits (every cell's 8 at `ghost` of
// the lit colour's height over the background), light on dark, or dark on light when `lcd`.
cv::Mat ghosted_clock(const std::string& digits, bool lcd = false, double ghost = 0.1) {
  const cv::Scalar lit(60, 70, 240), background(30, 20, 15);
  cv::Mat image = testing::draw_clock(200, 60, "8888", testing::Mark::kColon, 0.0,
                                      background + (lit - background) * ghost);
  const Layout layout = clock_slots(200, 60);
  size_t next = 0;
  for (const Slot& slot : layout) {
    if (slot.kind == SlotKind::kDigit) {
      testing::draw_digit(&image, slot.box, digits[next++], lit);
    }
  }
  if (lcd) {
    cv::bitwise_not(image, image);
  }
  return image;
}

std::string clock_of(const cv::Mat& crop, const ProcessingSettings& settings) {
  const Reading r =
      read_crop(ReaderKind::kClock, CropView{crop, true}, "clock", settings, SegmentClassifier());
  return r.clock_value.value_or("-");
}

TEST(LearnedClassifier, TheSettingChoosesItForTheBuiltInClassifierOnly) {
  const SegmentClassifier segments;
  EXPECT_EQ(&segments.chosen_for(CellClassifier::kSegments), &segments);
  const SlotClassifier& learned = segments.chosen_for(CellClassifier::kLearned);
  EXPECT_NE(dynamic_cast<const LearnedClassifier*>(&learned), nullptr);
  EXPECT_EQ(&learned, &segments.chosen_for(CellClassifier::kLearned));  // one shared instance

  // Only the learned choice prepares the grey display.
  const cv::Mat crop = ghosted_clock("1234");
  EXPECT_TRUE(prepare_display({crop, true}, {}, true).grey.empty());
  const PreparedDisplay display = prepare_display({crop, true}, learned_settings(), true);
  ASSERT_EQ(display.grey.size(), crop.size());
  EXPECT_EQ(display.classifier, CellClassifier::kLearned);
}

TEST(LearnedClassifier, ReadsGhostedClocksInBothPolarities) {
  for (const std::string digits : {"1234", "5678", "9015"}) {
    const std::string want = digits.substr(0, 2) + ":" + digits.substr(2);
    EXPECT_EQ(clock_of(ghosted_clock(digits, false, 0.05), learned_settings()), want) << digits;
    EXPECT_EQ(clock_of(ghosted_clock(digits, true, 0.05), learned_settings()), want) << digits;
  }
  // A blank leading cell is empty, not an 8 of ghosts.
  EXPECT_EQ(clock_of(ghosted_clock(" 905"), learned_settings()), "9:05");
}

TEST(LearnedClassifier, SlotResultsCarryTheAnswerForTheResultDictionary) {
  const cv::Mat grey = grey_display({ghosted_clock(" 905"), true}, {});
  const std::vector<SlotResult> cells = LearnedClassifier().read_slots(grey, clock_slots(200, 60));
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[0].status, SlotStatus::kEmpty);
  EXPECT_EQ(cells[0].diagnostics.confidence, cells[0].diagnostics.empty_confidence);
  ASSERT_EQ(cells[1].status, SlotStatus::kDigit);
  EXPECT_EQ(cells[1].digit, 9);
  EXPECT_GE(cells[1].diagnostics.confidence, 0.6);
  EXPECT_EQ(cells[1].diagnostics.box, cells[1].slot.box);
}

// Answers are kept per display by its pixels: a buffer drawn over in place, or a display read in
// between, is read afresh.
TEST(LearnedClassifier, AnswersFollowTheDisplaysPixels) {
  const Layout layout = clock_slots(200, 60);
  const auto digits = [&](const cv::Mat& grey) {
    std::string out;
    for (const SlotResult& r : LearnedClassifier().read_slots(grey, layout)) {
      out += r.digit ? static_cast<char>('0' + *r.digit) : '-';
    }
    return out;
  };
  cv::Mat grey = grey_display({ghosted_clock("1234"), true}, {});
  const cv::Mat first = grey.clone();
  EXPECT_EQ(digits(grey), "1234");
  grey_display({ghosted_clock("5678"), true}, {}).copyTo(grey);  // the same buffer
  EXPECT_EQ(digits(grey), "5678");
  EXPECT_EQ(digits(first), "1234");
  EXPECT_EQ(second_opinion(grey, LearnedClassifier().read_slots(first, layout))[0].learned.digit,
            5);
}

TEST(LearnedClassifier, EmptyAndFlatDisplaysHaveEmptyCells) {
  const CellAnswer none = classify_cell(level_table(cv::Mat()), cv::Mat(), {0, 0, 9, 9});
  EXPECT_EQ(none.status, SlotStatus::kEmpty);
  cv::Mat flat(40, 60, CV_8UC1, cv::Scalar(40));
  cv::randn(flat, 40, 4);
  const CellAnswer blank = classify_cell(level_table(flat), flat, {0, 0, 29, 39});
  EXPECT_EQ(blank.status, SlotStatus::kEmpty);
}

TEST(LevelTable, FlipsDarkStrokesOnLightAndNeverStretchesNoise) {
  cv::Mat lcd(40, 100, CV_8UC1, cv::Scalar(200));
  lcd(cv::Rect(10, 5, 30, 30)).setTo(20);
  const LevelTable flipped = level_table(lcd);
  EXPECT_EQ(flipped[20], 1.0f);
  EXPECT_EQ(flipped[200], 0.0f);
  cv::Mat flat(40, 100, CV_8UC1, cv::Scalar(100));
  flat(cv::Rect(0, 0, 100, 4)).setTo(104);
  EXPECT_LT(level_table(flat)[104], 0.25f);  // 4 levels over a span of at least 24
}

TEST(SecondOpinion, AgreesOnlyOnTheSameDigitOrBothEmpty) {
  const cv::Mat crop = ghosted_clock(" 905");
  Reading r = read_crop(ReaderKind::kClock, {crop, true}, "clock", {}, SegmentClassifier());
  std::vector<SlotResult>& cells = r.slots;
  ASSERT_EQ(cells.size(), 4u);
  for (SlotResult& c : cells) {  // what the segment classifier should read there
    c.status = c.slot.index == 0 ? SlotStatus::kEmpty : SlotStatus::kDigit;
  }
  cells[1].digit = 9;
  cells[2].digit = 0;
  cells[3].digit = 5;
  EXPECT_TRUE(all_agree(second_opinion({crop, true}, {}, r)));

  cells[2].digit = 8;                      // a ghost taken as lit
  cells[3].status = SlotStatus::kUnknown;  // unread
  const std::vector<SecondOpinion> opinions = second_opinion(grey_display({crop, true}, {}), cells);
  EXPECT_TRUE(opinions[0].agrees && opinions[1].agrees);
  EXPECT_FALSE(opinions[2].agrees);
  EXPECT_EQ(opinions[2].learned.digit, 0);
  EXPECT_FALSE(opinions[3].agrees);
  EXPECT_FALSE(all_agree(opinions));
  EXPECT_FALSE(all_agree({}));
}

}  // namespace
}  // namespace native_ocr::zonescan
