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

// Whether the calibration's cut and settings read the crop: validly, and as `expected` if given.
bool calibration_reads(const CropView& crop, std::string_view role, const Calibration& found,
                       const std::optional<std::string>& expected,
                       const SlotClassifier& classifier);

// The kind of separator the calibration's clock reading uses; none when it found none or the
// reading is not valid.
std::optional<SeparatorKind> read_separator_kind(const CropView& crop, std::string_view role,
                                                 const Calibration& found,
                                                 const SlotClassifier& classifier);

// The display traits to try, most likely first (only polarity, slant and clock_cells are set):
// the polarity the finder saw, the slant estimated from the strokes of the calibration's cut and
// no slant, and for a clock role 4, 3 and 2 cells. The design's own reading (light, upright, four
// cells) and, outside clocks, what only inversion already gave, are left out.
std::vector<ProcessingSettings> trait_candidates(const CropView& crop, std::string_view role,
                                                 bool dark_on_light, const Calibration& found,
                                                 const SlotClassifier& classifier);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_TRAITS_CHOICE_H_
