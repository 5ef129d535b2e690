// Trust in a reading: whether the host can show a valid value, from what the reading holds.
//
// A valid reading is scored by a fixed linear rule over the digit cells it read: the weakest
// cell's confidence, its pattern margin over the runner-up and how far its segment activations
// stand from the on/off line; how many glyphs touch their cell's side (a cell cut through a
// digit); how evenly the glyphs fill the display (spread of their heights, tops and bottoms, the
// shortest against the crop); and, for clocks, the separator's confidence. The weights were fitted
// on the readings of one half of a set of board sequences and checked on the other; a reading is
// trusted when its score reaches kTrustLine. An invalid reading is never trusted.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_

#include <array>
#include <string>
#include <vector>

#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan::calibration {

// One digit cell read as a digit: what the classifier reported.
struct TrustCell {
  double confidence = 0.0;
  double pattern_score = 0.0;
  double runner_up_score = 0.0;
  std::array<double, 7> activation{};  // segments A..G, 0..1
  std::array<int, 4> box{};            // the cell, inclusive [x1, y1, x2, y2]
  std::array<int, 4> glyph_box{};      // the framed glyph, inclusive
};

struct TrustInput {
  bool valid = false;
  std::string reason;            // the reader's reason, said back when the reading is not valid
  std::vector<TrustCell> cells;  // the cells whose status is "digit", left to right
  int crop_height = 0;
  bool clock = false;
  double separator_confidence = 0.0;  // clocks: the detector's, 0 when none was found
};

struct Trust {
  bool trusted = false;
  double confidence = 0.0;  // 0..1: the score through the logistic function; 0 when not valid
  std::string why;          // "ok", "uncertain", "no_digits" or the reader's reason
};

// The score at and above which a reading is trusted (confidence 0.88).
inline constexpr double kTrustLine = 2.0;

// The rule's score of a valid reading with at least one digit cell.
double trust_score(const TrustInput& input);

Trust trust_reading(const TrustInput& input);

// What a typed reading holds for the rule.
TrustInput trust_input(const Reading& reading);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_
