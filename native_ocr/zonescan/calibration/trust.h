// Trust in a reading: whether the host can show a valid value, from what the reading holds.
//
// A valid reading is scored by a linear rule over the digit cells it read (trust_features): the
// weakest cell's confidence, its pattern margin over the runner-up and how far its segment
// activations stand from the on/off line; how many glyphs touch their cell's side (a cell cut
// through a digit); how evenly the glyphs fill the display (spread of their heights, tops and
// bottoms, the shortest against the crop); whether the zone moved a pixel reads the same (when
// the caller measured it), or with its threshold a few levels either side; how evenly their strokes
// are drawn (ink per lit segment, width of the glyphs that are not a 1: a glowing unlit segment
// taken as lit is thinner than the lit ones); and, for clocks, the separator's confidence. The
// weights are fitted by bench/boards/fit_trust.py on one half of a test bed of board sequences
// (trust_weights.h); a reading is trusted when its score reaches kTrustLine. An invalid reading is
// never trusted, nor one whose every cell reads an 8 (every segment lit: what bright unlit
// segments, a label or a block of clutter read as).
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_

#include <array>
#include <string>
#include <vector>

#include "native_ocr/zonescan/calibration/trust_weights.h"
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
  int digit = -1;                      // the digit read (-1: not known)
  double ink_ratio = 0.0;              // the cell's inked share
};

struct TrustInput {
  bool valid = false;
  std::string reason;            // the reader's reason, said back when the reading is not valid
  std::vector<TrustCell> cells;  // the cells whose status is "digit", left to right
  int crop_height = 0;
  bool clock = false;
  double separator_confidence = 0.0;  // clocks: the detector's, 0 when none was found
  // The share of the reads of the zone moved one pixel left, right, up and down that read the
  // same value; 1 when not measured.
  double shift_agreement = 1.0;
  // The same for the zone's threshold moved kNearThresholdStep down and up, and
  // kFarThresholdStep; 1 when not measured.
  double near_threshold_agreement = 1.0;
  double far_threshold_agreement = 1.0;
};

// Grey levels the zone's threshold is moved by to see whether a reading holds: a glowing unlit
// segment or a faint lit one flips within a few levels, a clean reading holds over tens.
inline constexpr int kNearThresholdStep = 8;
inline constexpr int kFarThresholdStep = 16;

struct Trust {
  bool trusted = false;
  double confidence = 0.0;  // 0..1: the score through the logistic function; 0 when not valid
  std::string why;          // "ok", "uncertain", "all_lit", "no_digits" or the reader's reason
};

inline constexpr size_t kTrustFeatures = kTrustWeights.size();

// What the rule weighs, in the order of kTrustWeights, for a valid reading with at least one
// digit cell.
std::array<double, kTrustFeatures> trust_features(const TrustInput& input);

// The rule's score of a valid reading with at least one digit cell.
double trust_score(const TrustInput& input);

// Whether every cell read an 8.
bool all_lit(const TrustInput& input);

Trust trust_reading(const TrustInput& input);

// What a typed reading holds for the rule.
TrustInput trust_input(const Reading& reading);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_
