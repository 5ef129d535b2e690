// The binding files of native_ocr.zonescan. Each owns a group of module functions and registers
// them through one function declared here and listed in module.cc; a new group is a new
// <group>_bindings.cc, one declaration here and one line in module.cc (and in CMakeLists.txt).
// What the files share lives beside: zone_arguments.h (zones, settings and image files read from
// Python), result_dicts.h (the core's results as dictionaries) and reader_entry.h (the readers'
// entry points on crops and zones).
#ifndef NATIVE_OCR_ZONESCAN_PYTHON_BINDINGS_H_
#define NATIVE_OCR_ZONESCAN_PYTHON_BINDINGS_H_

#include "native_ocr/pyglue/pyglue.h"

namespace native_ocr::zonescan {

// settings_bindings.cc: DEFAULT_PROCESSING, SINGLE_DIGIT_ROLES, normalize_settings, _processing,
// _role, layout_for_role.
void add_settings_bindings(pyglue::ModuleBuilder& module);
// geometry_bindings.cc: normalized_zone_bounds, decode_bgr_image, crop_zone_from_image,
// crop_zone, _box, equal_digit_slots, clock_slots.
void add_geometry_bindings(pyglue::ModuleBuilder& module);
// display_bindings.cc: process_image, prepare_display_from_crop, prepare_display_from_image,
// prepare_display.
void add_display_bindings(pyglue::ModuleBuilder& module);
// separator_bindings.cc: the clock separator detector's functions (_clock_separator_mask ...
// _detect_clock_separator_without_regions).
void add_separator_bindings(pyglue::ModuleBuilder& module);
// sheet_blur_check.cc: the callable registered as _ensure_reflected_sheet_blur.
pyglue::Ref new_ensure_callable();
// reader_bindings.cc: _read_slots and the score, period and single-digit readers.
void add_reader_bindings(pyglue::ModuleBuilder& module);
// clock_bindings.cc: read_clock_from_crop, read_clock_from_image, read_clock, read_clock_zone.
void add_clock_bindings(pyglue::ModuleBuilder& module);
// zones_bindings.cc: read_zones, every zone of a frame in one call (over BoardReader); the zone
// objects become BoardZone values in board_zone_bindings.cc.
void add_zones_bindings(pyglue::ModuleBuilder& module);
// calibration_bindings.cc: calibrate_zone, trust_reading, render_reading.
void add_calibration_bindings(pyglue::ModuleBuilder& module);
// zone_check_bindings.cc: check_zone.
void add_zone_check_bindings(pyglue::ModuleBuilder& module);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_PYTHON_BINDINGS_H_
