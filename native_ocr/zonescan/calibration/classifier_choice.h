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

// The classifier of a calibrated zone (out.cut and out.settings of `crop`): the seven-segment one,
// unless the learned one reads the first value and it does not. Taught: the learned classifier
// reads the expected value on the calibrated cut where the seven-segment one does not. Blind: the
// two read different values and the learned reading's evidence leads by kLearnedLead. Sets
// out.settings.classifier (and out.reason "ok" when the learned classifier reads the expected
// value).
void choose_classifier(const CropView& crop, std::string_view role,
                       const std::optional<std::string>& expected, const SlotClassifier& classifier,
                       Calibration& out);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_CLASSIFIER_CHOICE_H_
