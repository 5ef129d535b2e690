#include "native_ocr/zonescan/calibration/classifier_choice.h"

#include <algorithm>

#include "native_ocr/zonescan/calibration/cut_reader.h"

namespace native_ocr::zonescan::calibration {
namespace {

// Blind, the two classifiers reading different values: how much better the learned classifier's
// evidence on the calibrated cut must be than the seven-segment classifier's for it to read the
// zone, on the scale of the box evidence (support 0..1 plus kNudgeWeight times the one-pixel
// agreement). On the tuning halves of both board beds any lead from 0.1 down to 0 reads the same
// share of blind values exactly; from -0.3 down (always the learned reading) the second bed loses
// 0.3 points: 0.1 keeps the seven-segment reading where the two are close.
constexpr double kLearnedLead = 0.1;

// A cut read by the role's reader with `settings` (whose classifier choice routes the cells).
Reading read_cut(const CropView& crop, std::string_view role, const Cut& cut,
                 const ProcessingSettings& settings, const SlotClassifier& classifier) {
  const CropView view{sub(crop.pixels, cut), crop.three_dimensional};
  const ReaderKind kind = reader_for_role(role);
  return read_prepared(kind, prepare_display(view, settings, kind == ReaderKind::kClock), role,
                       classifier);
}

ClassifierEvidence classifier_evidence(const CropView& crop, std::string_view role, const Cut& cut,
                                       const ProcessingSettings& settings,
                                       const SlotClassifier& classifier) {
  const Reading reading = read_cut(crop, role, cut, settings, classifier);
  ClassifierEvidence out{reading_text(reading), 0.0, 0.0};
  if (out.text.empty() || all_lit(trust_input(reading))) {
    return out;
  }
  double support_of = 1.0;
  for (const SlotResult& slot : reading.slots) {
    support_of = std::min(support_of, slot.diagnostics.confidence);
  }
  if (settings.classifier == CellClassifier::kSegments) {
    support_of = reading_support(trust_input(reading));
  }
  int same = 0;
  for (const Cut& moved : nudged(cut, crop.pixels.cols, crop.pixels.rows)) {
    same += reading_text(read_cut(crop, role, moved, settings, classifier)) == out.text;
  }
  out.steady = same / static_cast<double>(kMovedCuts);
  out.score = support_of + kNudgeWeight * out.steady;
  return out;
}

}  // namespace

bool learned_reads_better(const ClassifierEvidence& mine, const ClassifierEvidence& theirs,
                          const std::optional<std::string>& expected) {
  if (expected) {
    if (theirs.text != *expected) {
      return false;
    }
    if (mine.text != *expected) {
      return true;
    }
  } else if (theirs.score <= 0.0) {
    return false;
  } else if (theirs.text != mine.text) {
    return theirs.score >= mine.score + kLearnedLead;
  }
  return learned_on_ties(mine, theirs);
}

bool learned_on_ties(const ClassifierEvidence& mine, const ClassifierEvidence& theirs) {
  return theirs.steady >= mine.steady;
}

void choose_classifier(const CropView& crop, std::string_view role,
                       const std::optional<std::string>& expected, const SlotClassifier& classifier,
                       Calibration& out) {
  ProcessingSettings learned = out.settings;
  learned.classifier = CellClassifier::kLearned;
  const ClassifierEvidence mine =
      classifier_evidence(crop, role, out.cut, out.settings, classifier);
  const ClassifierEvidence theirs = classifier_evidence(crop, role, out.cut, learned, classifier);
  if (learned_reads_better(mine, theirs, expected)) {
    out.settings = learned;
    out.reason = "ok";
  }
}

// How clearly the cells read as digits, 0..1: the mean of the weakest cell's confidence, its
// pattern margin over the runner-up and how far its segments stand from the on/off line (at most
// half, doubled). Not the fitted trust rule: the box is chosen by what the classifier reports,
// so that refitting trust does not move calibrated zones.
double reading_support(const TrustInput& trust) {
  const auto f = trust_features(trust);
  constexpr size_t kConfidence = 0, kMarginAt = 1, kCrispAt = 2;
  constexpr double kParts = 3.0;
  return (f[kConfidence] + std::clamp(f[kMarginAt], 0.0, 1.0) + 2 * f[kCrispAt]) / kParts;
}

}  // namespace native_ocr::zonescan::calibration
