// The binding files of native_ocr.zonescan. Each owns a group of module functions and registers
// them through one function declared here and listed in module.cc; a new group is a new
// <group>_bindings.cc, one declaration here and one line in module.cc (and in CMakeLists.txt).
// Shared conversions between the core's types and Python objects live here too.
#ifndef NATIVE_OCR_ZONESCAN_BINDINGS_H_
#define NATIVE_OCR_ZONESCAN_BINDINGS_H_

#include <functional>
#include <initializer_list>
#include <optional>

#include <opencv2/core.hpp>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/layout.h"
#include "native_ocr/zonescan/settings.h"

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
// _detect_clock_separator_without_regions); installs the detection branch below.
void add_separator_bindings(pyglue::ModuleBuilder& module);
// reader_bindings.cc: _read_slots and the score, period and single-digit readers.
void add_reader_bindings(pyglue::ModuleBuilder& module);
// clock_bindings.cc: read_clock_from_crop, read_clock_from_image, read_clock, read_clock_zone.
void add_clock_bindings(pyglue::ModuleBuilder& module);
// calibration_bindings.cc: calibrate_zone, trust_reading, render_reading.
void add_calibration_bindings(pyglue::ModuleBuilder& module);

// normalize_settings(settings): the new normalised dictionary (defaults, then the caller's keys
// merged in, each standard key converted with int()/float()/bool() and clamped). When `typed` is
// given it receives the same settings as the core's struct. Conversion errors propagate.
pyglue::Ref normalize_settings(PyObject* settings, ProcessingSettings* typed = nullptr);

// A layout as the list of slot dictionaries {"kind", "slot", "box"}.
pyglue::Ref slot_list(const Layout& layout);

// decode_bgr_image(path): the decoded three-channel image as a numpy array, or None.
pyglue::Ref decode_bgr_image(PyObject* path);

// crop_zone_from_image(zone, image): a view into `image`, or None (no image, or no pixel).
pyglue::Ref crop_zone_from_image(PyObject* zone, PyObject* image);

// The detection branch of prepare_display_from_crop. It gets the caller's crop (unrotated,
// unprocessed), the prepared display and the normalised settings, and returns the display's
// "separator" value (a dictionary or None).
struct SeparatorRequest {
  PyObject* crop;                      // the caller's crop object
  const cv::Mat& crop_pixels;          // its pixels, read in place where possible
  bool crop_is_3d;                     // the crop has three dimensions (blue-green-red)
  const cv::Mat& binary;               // the prepared display
  const ProcessingSettings& settings;  // the normalised settings
  PyObject* settings_dict;             // the same, as the dictionary the display reports
};
using SeparatorBranch = pyglue::Ref (*)(const SeparatorRequest& request);

// What the readers share (reader_support.cc).

// The module of that name from sys.modules, imported when it is not there yet.
pyglue::Ref module_named(const pyglue::Name& name);

// native_ocr.zonescan.<name>(*args), looked up through the module object at every call so that the
// readers use what the module exposes (_read_slots, _role, _processing).
pyglue::Ref call_zonescan_function(const char* name, std::initializer_list<PyObject*> args);

// A reader's prepared display: the binary image and the normalised rotation it reports as angle.
struct ReaderDisplay {
  cv::Mat binary;
  double angle = 0.0;
};

// The prepared display of a crop, made as prepare_display_from_crop makes it; none for a missing
// or empty crop. `with_crop`, when given, is called with the unrotated, unprocessed crop pixels
// after the display is made, while they are still readable (the interpreter lock is released for
// both). Settings and image errors propagate.
std::optional<ReaderDisplay> prepare_reader_display(
    PyObject* crop, PyObject* processing,
    const std::function<void(const cv::Mat& crop_pixels)>& with_crop = nullptr);

// Installs the detection branch (call from a registration function). Until one is installed, a
// requested detection leaves "separator" None.
void set_separator_branch(SeparatorBranch branch);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_BINDINGS_H_
