// What calibration tries on a display its plain search did not read: a dark-on-light display as
// its negative (so a clock finds its separator), a slanted one sheared upright, a clock of fewer
// cells.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_TRAITS_CHOICE_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_TRAITS_CHOICE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "native_ocr/zonescan/calibration/calibration.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan::calibration {

// The crop read as the calibration's cut and settings read it (nothing for an empty cut).
Reading calibration_reading(const CropView& crop, std::string_view role, const Calibration& found,
                            const SlotClassifier& classifier);

// Whether a reading is valid, and reads `expected` if given.
bool reads_as(const Reading& reading, const std::optional<std::string>& expected);

// The kind of separator a valid clock reading uses; none when it found none or is not valid.
std::optional<SeparatorKind> separator_kind_of(const Reading& reading);

// The display traits to try, most likely first (only polarity, slant and clock_cells are set):
// the polarity the finder saw, the slant estimated from the strokes of the calibration's `plain`
// reading and no slant, and for a clock role 4, 3 and 2 cells. The plain reading's own traits
// (light, upright, four cells) and, outside clocks, what only inversion already gave, are left
// out.
std::vector<ProcessingSettings> trait_candidates(std::string_view role, bool dark_on_light,
                                                 const Reading& plain);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_TRAITS_CHOICE_H_
