// The second opinion trust asks about a reading: the other classifier run over the same cells of
// the same crop. A reading of the seven-segment classifier is checked by the learned one on the
// grey display; a reading of the learned classifier by the seven-segment one on the binary
// display, whose results are then what the trust rule weighs (the learned classifier reports no
// segments).
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_SECOND_OPINION_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_SECOND_OPINION_H_

#include <optional>
#include <span>
#include <vector>

#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan::calibration {

// One digit slot of a reading as its result reports it.
struct ReadCell {
  int item = 0;  // its place among the result's slot items
  Box box{};     // the slot's box in prepared-display pixels
  SlotStatus status = SlotStatus::kUnknown;
  std::optional<int64_t> digit;
  double confidence = 0.0;  // the reading classifier's
};

struct Opinion {
  SecondOpinionSummary summary;
  // A learned reading's digit cells as the seven-segment classifier read them, and the inked
  // share of those it read as empty; empty otherwise.
  std::vector<TrustCell> segment_cells;
  std::vector<double> segment_empty_ink;
};

// The classifier settings.classifier does not name, asked about `cells` of a non-empty crop read
// with `settings`. OpenCV errors propagate.
Opinion ask_second_opinion(const CropView& crop, const ProcessingSettings& settings,
                           std::span<const ReadCell> cells);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_SECOND_OPINION_H_
