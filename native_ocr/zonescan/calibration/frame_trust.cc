#include "native_ocr/zonescan/calibration/frame_trust.h"

#include <utility>

#include "native_ocr/zonescan/calibration/calibration.h"

namespace native_ocr::zonescan::calibration {
namespace {

// The value the re-reads must keep: a clock's text, another reader's number.
ReadValue value_of(const Reading& reading) {
  ReadValue out;
  if (reading.reader == ReaderKind::kClock) {
    out.text = reading.clock_value;
  } else {
    out.number = reading.value;
  }
  return out;
}

// A clock reading's separator (none when it found none) is what its threshold moves keep: the
// threshold does not enter the search.
void take_reading_separator(const Reading& reading, FrameZone& zone) {
  if (reading.reader != ReaderKind::kClock) {
    return;
  }
  zone.separator_known = true;
  zone.separator.reset();
  if (reading.clock_separator.x) {
    SeparatorDetection found;
    found.x = *reading.clock_separator.x;
    found.kind = reading.clock_separator.kind;
    zone.separator = std::move(found);
  }
}

void ask_about_cells(const Reading& reading, const CropView& crop, const FrameZone& zone,
                     TrustInput& input) {
  const std::vector<ReadCell> cells = read_cells(reading);
  if (crop.pixels.empty() || cells.empty() || crop_too_large(crop)) {
    return;
  }
  take_opinion(ask_second_opinion(crop, zone.settings, cells), zone.settings, input);
}

}  // namespace

std::vector<ReadCell> read_cells(const Reading& reading) {
  std::vector<ReadCell> cells;
  for (const SlotResult& s : reading.slots) {
    cells.push_back(ReadCell{static_cast<int>(s.slot.index.value_or(0)), s.slot.box, s.status,
                             s.digit, s.diagnostics.confidence});
  }
  return cells;
}

void take_opinion(Opinion opinion, const ProcessingSettings& settings, TrustInput& input) {
  if (settings.classifier == CellClassifier::kLearned) {
    input.cells = std::move(opinion.segment_cells);
    input.empty_ink = std::move(opinion.segment_empty_ink);
  }
  input.second_opinion = std::move(opinion.summary);
}

void take_agreement(const Agreement& agreement, TrustInput& input) {
  input.shift_agreement = agreement.shift;
  input.near_threshold_agreement = agreement.near_threshold;
  input.far_threshold_agreement = agreement.far_threshold;
  input.beyond_edge_ink = agreement.ink.beyond_edges;
  input.stray_ink = agreement.ink.stray;
}

Trust trust_in_frame(const Reading& reading, const CropView& crop, FrameZone zone,
                     const SlotClassifier& classifier, MovedSeparators* separators) {
  TrustInput input = trust_input(reading);
  if (input.valid) {
    input.role = zone.role;
    input.display_traits = reads_through_traits(zone.settings);
    ask_about_cells(reading, crop, zone, input);
    if (!decided_before_score(input)) {
      take_reading_separator(reading, zone);
      take_agreement(zone_agreement(zone, value_of(reading), classifier, input.cells, separators),
                     input);
    }
  }
  return trust_reading(input);
}

}  // namespace native_ocr::zonescan::calibration
