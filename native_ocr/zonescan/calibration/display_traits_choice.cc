#include "native_ocr/zonescan/calibration/display_traits_choice.h"

#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/display_traits.h"
#include "native_ocr/zonescan/layout.h"

namespace native_ocr::zonescan::calibration {
Reading calibration_reading(const CropView& crop, std::string_view role, const Calibration& found,
                            const SlotClassifier& classifier) {
  const CropView view{sub(crop.pixels, found.cut), crop.three_dimensional};
  if (view.empty()) {
    return {};
  }
  return read_crop(reader_for_role(role), view, role, found.settings, classifier);
}

bool reads_as(const Reading& reading, const std::optional<std::string>& expected) {
  const std::string text = reading_text(reading);
  return !text.empty() && (!expected || text == *expected);
}

std::optional<SeparatorKind> separator_kind_of(const Reading& reading) {
  if (!reading.valid || !reading.clock_separator.found) {
    return std::nullopt;
  }
  return reading.clock_separator.kind;
}

std::vector<ProcessingSettings> trait_candidates(std::string_view role, bool dark_on_light,
                                                 const Reading& plain) {
  const double slant = plain.binary.empty() ? 0.0 : estimate_slant(plain.binary);
  std::vector<double> slants = {slant};
  if (slant != 0.0) {
    slants.push_back(0.0);
  }
  const bool clock = role_group(role) == RoleGroup::kClockLike;
  std::vector<int64_t> cells = {kMaxClockCells};
  if (clock) {
    for (int64_t n = kMaxClockCells - 1; n >= kMinClockCells; --n) {
      cells.push_back(n);
    }
  }
  std::vector<ProcessingSettings> out;
  for (double s : slants) {
    for (int64_t n : cells) {
      const bool only_inversion = s == 0.0 && n == kMaxClockCells && (!dark_on_light || !clock);
      if (only_inversion) {
        continue;
      }
      ProcessingSettings traits;
      traits.polarity = dark_on_light ? Polarity::kDark : Polarity::kLight;
      traits.slant = s;
      traits.clock_cells = n;
      out.push_back(traits);
    }
  }
  return out;
}

}  // namespace native_ocr::zonescan::calibration
