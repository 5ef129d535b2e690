// Trust in a reading: whether the host can show a valid value, from what the reading holds.
//
// A valid reading is scored by a linear rule over the digit cells it read (trust_features): the
// weakest cell's confidence, its pattern margin over the runner-up and how far its segment
// activations stand from the on/off line; how many glyphs touch their cell's side (a cell cut
// through a digit); how evenly the glyphs fill the display (spread of their heights, tops and
// bottoms, the shortest against the crop); whether the zone moved a pixel reads the same (when
// the caller measured it), or with its threshold a few levels either side; how evenly their strokes
// are drawn (ink per lit segment, width of the glyphs that are not a 1: a glowing unlit segment
// taken as lit is thinner than the lit ones); a 1 read at the outer side of the outermost cells
// (a border's or an edge's stroke); ink left in a cell read as empty (a faint or cut leading 1);
// how unevenly the glyphs sit in their cells (a layout that gained or lost a cell cuts each
// digit at another place); whether the zone reads through a display trait; for clocks, the
// separator's confidence; when the zone and image are given, ink the cells do not account for
// (just beyond the outermost cells: a digit the box cut off; anywhere else in the zone: a second
// row, a label, a housing); and, when a second classifier was asked about the same cells
// (second_opinion.h), the share of cells it read alike, the learned classifier's lowest probability
// and its highest probability where the two differ. Readings through a display trait and plain
// readings are different populations, each with its own rule: the weights are fitted by
// bench/boards/fit_trust.py (trust_weights.h) on the tuning halves of test beds, the plain rule
// on board sequences, the traits rule on displays, and a rule per classifier for a result weighed
// alone (nothing measured on the frame: a learned result by its own cells' probabilities and
// boxes, since its cells report no segments); a reading is trusted when its score reaches its
// rule's line and its features lie within the range that rule's fit saw.
//
// Never trusted, whatever the score: an invalid reading; one whose every cell reads an 8 (every
// segment lit: what bright unlit segments, a label or a block of clutter read as); one whose
// ground is lit (most of its digit cells inked: a light ground that passed the threshold, or a
// display read with the wrong polarity); one the role cannot show (a clock's seconds past 59 or
// one seconds digit after a colon, a period 0, a down outside 1..4); and one whose features lie
// outside what the fit saw (the rule does not know it: "uncertain"). Cells the second classifier
// reads otherwise are weighed, not refused outright: an untrusted reading that the rule would have
// trusted had the two agreed says "classifiers_disagree", as does a learned reading the
// seven-segment classifier reads no digit of.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "native_ocr/numerics/inclusive.h"
#include "native_ocr/zonescan/calibration/trust_weights.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan::calibration {

// What a second classifier made of a reading's cells (second_opinion.h).
struct SecondOpinionSummary {
  std::string classifier;        // the classifier asked: "learned" or "segments"
  std::vector<int> disagreeing;  // the result's slot items it read otherwise, in order
  int cells = 0;                 // the cells it was asked about (digit and empty)
  // The learned classifier's lowest probability over the reading's cells (its own answers when it
  // was asked, the reading's confidences when it made the reading).
  double learned_probability = 1.0;
  // Its highest probability over the cells the two read otherwise (0 when none): how sure the
  // learned classifier is where it contradicts the seven-segment one.
  double contradiction = 0.0;
};

// One digit cell read as a digit: what the classifier reported.
struct TrustCell {
  double confidence = 0.0;
  double pattern_score = 0.0;
  double runner_up_score = 0.0;
  std::array<double, 7> activation{};  // segments A..G, 0..1
  Box box{};                           // the cell, display pixels
  Box glyph_box{};                     // the framed glyph, display pixels
  int digit = -1;                      // the digit read (-1: not known)
  double ink_ratio = 0.0;              // the cell's inked share
};

struct TrustInput {
  bool valid = false;
  std::string reason;             // the reader's reason, said back when the reading is not valid
  std::vector<TrustCell> cells;   // the cells whose status is "digit", left to right
  std::vector<double> empty_ink;  // the inked share of each cell read as empty, left to right
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
  // The zone's role when known (empty otherwise) and the value as the reader wrote it ("12:34",
  // "59.8", "7"); a clock's value is read as minutes:seconds or seconds.tenths by its separator.
  std::string role;
  std::string value;
  // Whether the zone is read through a display trait (a dark polarity or an inverted ground: dark
  // digits on a light ground, as on an LCD; a slant; a clock of other than four cells): a path of
  // the reader the classifiers have seen less of, and where a confident misread is most common.
  // False when unknown.
  bool display_traits = false;
  // Ink the cells do not account for, measured on the frame when the zone and image are given
  // (zone_agreement.h's ink_around_cells); 0 otherwise. The most lit column share just beyond the
  // outermost cells, over the rows the glyphs occupy (a digit the box cut off, a housing edge or a
  // neighbour's stroke), and the share of the zone's lit pixels outside every glyph (a second row,
  // a label, a housing or a lit ground the reading does not account for).
  double beyond_edge_ink = 0.0;
  double stray_ink = 0.0;
  // What the second classifier said about the reading's cells; not asked: none.
  std::optional<SecondOpinionSummary> second_opinion;
};

// Grey levels the zone's threshold is moved by to see whether a reading holds: a glowing unlit
// segment or a faint lit one flips within a few levels, a clean reading holds over tens.
inline constexpr int kNearThresholdStep = 8;
inline constexpr int kFarThresholdStep = 16;

struct Trust {
  bool trusted = false;
  double confidence = 0.0;  // 0..1: the score through the logistic function; 0 when not valid
  // "ok", "uncertain", "all_lit", "lit_ground", "beyond_role", "classifiers_disagree",
  // "no_digits" or the reader's reason
  std::string why;
};

inline constexpr size_t kTrustFeatures = kPlainRule.weights.size();

// The inked share of the digit cells above which their ground counts as lit. A lit seven-segment
// digit inks at most about half of its cell (an 8 in the boldest face, cut tight); a light ground
// that passed the threshold inks nearly all of it.
inline constexpr double kLitGroundShare = 0.6;
// How far past the range the fit saw (as a share of that range's span) a feature may lie before
// the rule calls the reading unknown to it.
inline constexpr double kFamiliarMargin = 0.1;

// Whether settings read a zone through a display trait (TrustInput::display_traits): a dark
// polarity, an inverted ground, a slant or a clock of other than four cells.
bool reads_through_traits(const ProcessingSettings& settings);

// What the rule weighs, in the order of TrustRule::weights, for a valid reading with at least one
// digit cell.
std::array<double, kTrustFeatures> trust_features(const TrustInput& input);

// The score of a valid reading with at least one digit cell, by its rule (rule_for).
double trust_score(const TrustInput& input);

// Whether every cell read an 8.
bool all_lit(const TrustInput& input);

// Whether the digit cells are mostly ink (over kLitGroundShare of their pixels).
bool lit_ground(const TrustInput& input);

// Whether the value is one the role cannot show (a clock's seconds past 59 or not two digits after
// its colon, a period 0, a down outside 1..4).
bool beyond_role(const TrustInput& input);

// Whether the outcome is settled before the score (not valid, no digit cell, or refused by the
// rule outright): the re-reads of the zone cannot change it.
bool decided_before_score(const TrustInput& input);

// Whether the learned classifier made the reading: the second opinion asked was the seven-segment
// classifier's, or, weighed alone, no digit cell reports a segment measured (no ink, no pattern
// score, no activation: what a learned cell reports; a seven-segment digit always has ink).
bool read_by_learned(const TrustInput& input);

// The rule a reading is weighed by: read through a display trait, the traits rule (fitted on
// displays); with the second opinion asked, the plain rule (fitted on boards, on the readings of
// both classifiers: the seven-segment one's cells weigh either, beside the learned
// probabilities); the result alone otherwise, a learned one by its own cells' rule.
const TrustRule& rule_for(const TrustInput& input);

// Whether a feature lies outside the range the rule's fit saw, widened by kFamiliarMargin of its
// span.
bool unfamiliar(const std::array<double, kTrustFeatures>& features, const TrustRule& rule);

Trust trust_reading(const TrustInput& input);

// A seven-segment slot result read as a digit, as the trust rule weighs it.
TrustCell trust_cell(const SlotResult& slot);

// What a typed reading holds for the rule.
TrustInput trust_input(const Reading& reading);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_H_
