#include "native_ocr/zonescan/calibration/second_opinion.h"

#include <algorithm>

#include "native_ocr/zonescan/learned_classifier.h"

namespace native_ocr::zonescan::calibration {
namespace {

Layout layout_of(std::span<const ReadCell> cells) {
  Layout layout;
  for (const ReadCell& c : cells) {
    layout.push_back(Slot{SlotKind::kDigit, c.item, c.box});
  }
  return layout;
}

// Both read the same digit, or both the cell as empty; an unknown never agrees.
bool same_answer(SlotStatus a, const std::optional<int64_t>& da, SlotStatus b,
                 const std::optional<int64_t>& db) {
  return (a == SlotStatus::kEmpty && b == SlotStatus::kEmpty) ||
         (a == SlotStatus::kDigit && b == SlotStatus::kDigit && da == db);
}

Opinion learned_opinion(const CropView& crop, const ProcessingSettings& settings,
                        std::span<const ReadCell> cells) {
  std::vector<SlotResult> read;
  for (const ReadCell& c : cells) {
    read.push_back(SlotResult{Slot{SlotKind::kDigit, c.item, c.box}, c.status, c.digit, {}});
  }
  Opinion out;
  out.summary.classifier = std::string(classifier_name(CellClassifier::kLearned));
  // The grey display the learned reader reads: that of the upright crop for a dark or slanted
  // display (the cells' boxes are in its pixels).
  const std::vector<SecondOpinion> opinions =
      second_opinion(grey_display(upright_crop(crop, settings), settings), read);
  for (size_t i = 0; i < opinions.size(); ++i) {
    out.summary.learned_probability =
        std::min(out.summary.learned_probability, opinions[i].learned.probability);
    if (!opinions[i].agrees) {
      out.summary.disagreeing.push_back(cells[i].item);
      out.summary.contradiction =
          std::max(out.summary.contradiction, opinions[i].learned.probability);
    }
  }
  return out;
}

Opinion segment_opinion(const CropView& crop, ProcessingSettings settings,
                        std::span<const ReadCell> cells) {
  settings.classifier = CellClassifier::kSegments;
  const PreparedDisplay display = prepare_display(crop, settings, false);
  const std::vector<SlotResult> read =
      SegmentClassifier().read_slots(display.binary, layout_of(cells));
  Opinion out;
  out.summary.classifier = std::string(classifier_name(CellClassifier::kSegments));
  for (size_t i = 0; i < cells.size() && i < read.size(); ++i) {
    out.summary.learned_probability =
        std::min(out.summary.learned_probability, cells[i].confidence);
    if (!same_answer(cells[i].status, cells[i].digit, read[i].status, read[i].digit)) {
      out.summary.disagreeing.push_back(cells[i].item);
      out.summary.contradiction = std::max(out.summary.contradiction, cells[i].confidence);
    }
    if (read[i].status == SlotStatus::kDigit) {
      out.segment_cells.push_back(trust_cell(read[i]));
    } else if (read[i].status == SlotStatus::kEmpty) {
      out.segment_empty_ink.push_back(read[i].diagnostics.ink_ratio);
    }
  }
  return out;
}

}  // namespace

Opinion ask_second_opinion(const CropView& crop, const ProcessingSettings& settings,
                           std::span<const ReadCell> cells) {
  Opinion out = settings.classifier == CellClassifier::kLearned
                    ? segment_opinion(crop, settings, cells)
                    : learned_opinion(crop, settings, cells);
  out.summary.cells = static_cast<int>(cells.size());
  return out;
}

}  // namespace native_ocr::zonescan::calibration
