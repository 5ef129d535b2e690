// The binding files of native_ocr.zonescan. Each owns a group of module functions and registers
// them through one function declared here and listed in module.cc; a new group is a new
// <group>_bindings.cc, one declaration here and one line in module.cc (and in CMakeLists.txt).
// Shared conversions between the core's types and Python objects live here too.
#ifndef NATIVE_OCR_ZONESCAN_PYTHON_BINDINGS_H_
#define NATIVE_OCR_ZONESCAN_PYTHON_BINDINGS_H_

#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/board_reader.h"
#include "native_ocr/zonescan/layout.h"
#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/separator/separator_detector.h"
#include "native_ocr/zonescan/settings.h"
#include "native_ocr/zonescan/zone.h"

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

// separator_dict_bindings.cc: the separator detector's results as the dictionaries the module
// returns, in their documented key order.

// {y_min, ..., reliability}: the 13 keys of a group.
pyglue::Ref group_dict(const SeparatorGroup& group);

// {colon, decimal, colon_score, decimal_score} whose candidates name the given group objects.
// `into` receives the four entries (a window evaluation appends them after its own keys).
void add_topology(pyglue::DictBuilder& into, const SeparatorTopology& topology,
                  const std::vector<pyglue::Ref>& group_objects);

// The 8-key window evaluation; the candidates share the group dictionaries of its list.
pyglue::Ref window_dict(const WindowEvaluation& evaluation);

// The 7-key search geometry.
pyglue::Ref geometry_dict(const SearchGeometry& geometry);

// The 5-key spatial prior, appended to `into`.
void add_spatial_prior(pyglue::DictBuilder& into, const SpatialPrior& prior);

// The 23-key detector result.
pyglue::Ref detection_dict(const SeparatorDetection& detection);

// normalize_settings(settings): the new normalised dictionary (defaults, then the caller's keys
// merged in, each standard key converted with int()/float()/bool() and clamped). When `typed` is
// given it receives the same settings as the core's struct. Conversion errors propagate.
pyglue::Ref normalize_settings(PyObject* settings, ProcessingSettings* typed = nullptr);

// A layout as the list of slot dictionaries {"kind", "slot", "box"}.
pyglue::Ref slot_list(const Layout& layout);

// decode_bgr_image(path): the decoded three-channel image as a numpy array, or None.
pyglue::Ref decode_bgr_image(PyObject* path);

// The zone's pixel bounds in an image of this size (KeyError/TypeError for a malformed zone,
// ValueError/OverflowError for an edge without an integer value): zone_rect, then rect_bounds.
Bounds zone_bounds(PyObject* zone, int64_t image_width, int64_t image_height);
ZoneRect zone_rect(PyObject* zone);
Bounds rect_bounds(const ZoneRect& rect, int64_t image_width, int64_t image_height);

// crop_zone_from_image(zone, image): a view into `image`, or None (no image, or no pixel). `rect`,
// when given, receives the zone's position once it has been read.
pyglue::Ref crop_zone_from_image(PyObject* zone, PyObject* image, ZoneRect* rect = nullptr);

// prepare_display_from_crop(crop, detect_separator, processing): the prepared display dictionary
// (binary, angle, crop_size, separator, processing), or None for a missing or empty crop.
pyglue::Ref prepare_display_dict(PyObject* crop, PyObject* detect_separator, PyObject* processing);

// decode_bgr_image's decoding: the file at the text of `path` (str(path)) as a three-channel BGR
// image, or an empty image when it is missing, unreadable or its name cannot name a file.
cv::Mat decode_bgr_file(PyObject* path);

// The zone's role and processing settings as found (_role and _processing).
pyglue::Ref zone_role(PyObject* zone);
pyglue::Ref zone_processing(PyObject* zone);

// What every reader shares (reading_bindings.cc): the crop entry point, the role a reader uses,
// the classifier, and one builder per result shape.

// A reader's crop: the caller's array read through the buffer protocol (held, never written), or
// none for None or an array without pixels.
class CropInput {
 public:
  explicit CropInput(PyObject* crop);
  bool empty() const { return !view_ || view_->empty(); }
  // The pixels as the core reads them. TypeError/ValueError unless an 8-bit 2-D or 3-D array.
  CropView view() const;

 private:
  std::optional<pyglue::ArrayView> view_;
};

// The role text the reader uses: the score and clock readers take a falsy role as "" (their
// default) and otherwise need exactly a str (TypeError "Argument 'role' has incorrect type ...");
// the single-digit reader takes any str as is and anything else as "" (refused later); the period
// reader ignores the role.
std::string reader_role(ReaderKind reader, PyObject* role);

// The module of that name from sys.modules, imported when it is not there yet.
pyglue::Ref module_named(const pyglue::Name& name);

// True when the single-digit reader accepts the role (a str in SINGLE_DIGIT_ROLES).
bool single_digit_role(PyObject* role);

// Whether the readers may call the linked-in classifier: native_ocr.segsense is imported (at the
// first slot read) and neither the module's _read_slots nor segsense.read_slots has been replaced.
// Otherwise `replaced` receives the _read_slots callable to use.
bool linked_classifier(pyglue::Ref* replaced);

// The classifier the module's _read_slots names when it has been replaced: called with the
// display as a numpy array and the layout as slot dictionaries; its results are read back for
// their status and char. items() is the object it returned for the last read.
class PythonSlotClassifier final : public SlotClassifier {
 public:
  explicit PythonSlotClassifier(pyglue::Ref function) : function_(std::move(function)) {}
  std::vector<SlotResult> read_slots(const cv::Mat& binary, const Layout& layout) const override;
  const pyglue::Ref& items() const { return items_; }

 private:
  pyglue::Ref function_;
  mutable pyglue::Ref items_;
};

// The result dictionary of a reading, in its reader's key order. `items`, when given, is what a
// replaced classifier returned (used as the slot results); otherwise the slot results are built
// from the reading. The layout is built once and shared by geometry_items and debug.layout.
pyglue::Ref reading_dict(const Reading& reading, pyglue::Ref items = pyglue::Ref());

// A reader on a crop object: the chain of read_prepared with the interpreter lock released around
// the core's work, then the result dictionary. Errors raise as the reader's own would.
pyglue::Ref read_crop_object(ReaderKind reader, PyObject* crop, PyObject* role,
                             PyObject* processing);

// A zone as its reader looks at it: the role (for the readers that use one) and the processing
// settings, fetched around `cut` (which makes the crop) in the reader's order: the clock reader
// cuts the crop first, the period reader takes no role.
struct ZoneParts {
  pyglue::Ref role;
  pyglue::Ref processing;
};
template <typename Cut>
ZoneParts zone_parts(ReaderKind reader, PyObject* zone, Cut&& cut) {
  ZoneParts parts;
  if (reader == ReaderKind::kScore || reader == ReaderKind::kSingleDigit) {
    parts.role = zone_role(zone);
  }
  cut();
  if (reader == ReaderKind::kClock) {
    parts.role = zone_role(zone);
  }
  parts.processing = zone_processing(zone);
  return parts;
}

// A zone of `array` (a caller's frame) or of `file` (a preview file that gave a frame; neither:
// no frame) as the board reader's typed zone, parsed as its own reader parses it (role, crop
// position, settings, in that reader's order, raising what it raises). The settings are
// normalised and the role checked only for a zone with pixels to read; *work says whether it has.
BoardZone board_zone(PyObject* zone, PyObject* array, const FrameFile* file, bool* work);

// A reader on a zone of a decoded frame (None: no frame): zone_parts with the zone's crop of the
// image, then read_crop_object.
pyglue::Ref read_zone_object(ReaderKind reader, PyObject* zone, PyObject* image);

// The module functions of a reader on a zone of a decoded frame (zone, image) and of a preview
// file (zone, preview_path), named kName.
template <ReaderKind R, const char* kName>
pyglue::Ref py_read_zone_from_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig(kName, {"zone", "image"}, 2);
  auto [zone, image] = kSig.parse(args, kwargs);
  return read_zone_object(R, zone, image);
}
template <ReaderKind R, const char* kName>
pyglue::Ref py_read_zone_from_file(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig(kName, {"zone", "preview_path"}, 2);
  auto [zone, path] = kSig.parse(args, kwargs);
  pyglue::Ref image = decode_bgr_image(path);
  return read_zone_object(R, zone, image.get());
}

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_PYTHON_BINDINGS_H_
