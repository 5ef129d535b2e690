// Which classifier reads a calibrated zone, and the evidence calibration weighs a reading by.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_CLASSIFIER_CHOICE_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_CLASSIFIER_CHOICE_H_

#include <optional>
#include <string>
#include <string_view>

#include "native_ocr/zonescan/calibration/calibration.h"
#include "native_ocr/zonescan/calibration/trust.h"

namespace native_ocr::zonescan::calibration {

// Weight of the one-pixel shift test (the share of four nudged cuts reading the same text)
// beside the reading's support (0..1) in a proposal's evidence: a box whose reading a
// pixel changes sits on a cell's edge.
inline constexpr double kNudgeWeight = 0.5;

// How clearly the cells read as digits, 0..1: the mean of the weakest cell's confidence, its
// pattern margin over the runner-up and how far its segments stand from the on/off line (at most
// half, doubled). Not the fitted trust rule: the box is chosen by what the classifier reports,
// so that refitting trust does not move calibrated zones.
double reading_support(const TrustInput& trust);

// A classifier's evidence for a calibrated cut: the text it reads, the share of the four one-pixel
// moves of the cut reading the same text (steady), and its support (the seven-segment classifier's
// reading_support, the learned classifier's weakest probability) plus kNudgeWeight times steady
// (score); steady and score 0 for a reading that is not valid or reads all 8s.
struct ClassifierEvidence {
  std::string text;
  double steady = 0.0;
  double score = 0.0;
};

// Whether the learned classifier's reading of the first value is the one to keep. Taught: it reads
// the expected value, and the seven-segment one does not or is at most as steady. Blind: its
// reading is valid and not all 8s, and either the two read the same text and the learned one is at
// least as steady (learned_on_ties), or they differ and the learned evidence leads by kLearnedLead.
// Steadiness decides where both read alike because it is on one scale for both classifiers (their
// supports are not), and a reading that a pixel changes is the one the later values lose.
bool learned_reads_better(const ClassifierEvidence& mine, const ClassifierEvidence& theirs,
                          const std::optional<std::string>& expected);

// Both classifiers read the first value alike: whether the learned one reads the zone, by the
// share of the four one-pixel moves of the cut each reads the same (steady). At least as steady
// takes the learned reading: on a tie the learned classifier reads the later values better, even
// where both readings hold under every move (it sees the grey cell, before the threshold drops a
// faint stroke or lifts a glowing unlit one). Chosen on the tuning halves, blind / taught exact:
// the seven-segment reading kept on a tie (strictly steadier) read 78.4 / 82.4 % of the board
// bed's later values, 84.0 / 85.5 % of the second bed's and 98.1 / 99.0 % of the dev boards';
// the learned reading on a tie 82.8 / 87.7 %, 86.6 / 87.7 % and 98.8 / 99.0 %.
bool learned_on_ties(const ClassifierEvidence& mine, const ClassifierEvidence& theirs);

// The classifier of a calibrated zone (out.cut and out.settings of `crop`): both classifiers read
// the cut, and learned_reads_better decides. Sets out.settings.classifier (and out.reason "ok" when
// the learned classifier is taken).
void choose_classifier(const CropView& crop, std::string_view role,
                       const std::optional<std::string>& expected, const SlotClassifier& classifier,
                       Calibration& out);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_CLASSIFIER_CHOICE_H_
