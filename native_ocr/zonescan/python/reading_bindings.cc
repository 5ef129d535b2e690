// What every reader binding shares: the crop entry point, the role a reader uses, the choice of
// classifier, and the result dictionaries of a Reading (one builder per result shape).
#include <cstdint>
#include <string>
#include <utility>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/segsense/python/bindings.h"
#include "native_ocr/zonescan/python/reader_entry.h"
#include "native_ocr/zonescan/python/result_dicts.h"
#include "native_ocr/zonescan/python/zone_arguments.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Name;
using pyglue::Ref;

const Name kValue("value"), kRawValue("raw_value"), kDigits("digits"), kDigitItems("digit_items"),
    kValid("valid"), kReason("reason"), kOcrItems("ocr_items"), kGeometryItems("geometry_items"),
    kSeparatorX("separator_x"), kSeparatorChar("separator_char"), kClockMode("clock_mode"),
    kStable("stable"), kAccepted("accepted"), kDebug("debug"), kAngle("angle"),
    kCropSize("crop_size"), kLayoutKey("layout"), kSeparator("separator");
const Name kKind("kind"), kChar("char"), kStatus("status"), kConfidence("confidence"), kBox("box");

// item.get("char") of a slot result (a dictionary, or anything with a get method).
Ref char_of(PyObject* item) {
  return pyglue::get_or_none(item, kChar);
}

// The largest digit, either sign, a replaced classifier may report: the score reader's
// 10 * tens + units of any two stays inside int64 (10**17 - 1).
constexpr int64_t kMaxSlotDigit = 99'999'999'999'999'999;

// A digit slot's char as int() converts it; ValueError past kMaxSlotDigit.
int64_t slot_digit(PyObject* chr) {
  const int64_t digit = pyglue::python_int(chr);
  if (digit < -kMaxSlotDigit || digit > kMaxSlotDigit) {
    throw pyglue::ValueError("a digit slot's char must lie within -" +
                             std::to_string(kMaxSlotDigit) + ".." + std::to_string(kMaxSlotDigit));
  }
  return digit;
}

// [item.get("char") for item in items], for any sequence of slot results.
Ref digits_of(PyObject* items) {
  Ref list = pyglue::check(PySequence_List(items));
  Ref digits = pyglue::check(PyList_New(0));
  const Py_ssize_t n = PyList_Size(list.get());
  for (Py_ssize_t i = 0; i < n; ++i) {
    Ref chr = char_of(PyList_GetItem(list.get(), i));
    pyglue::check_status(PyList_Append(digits.get(), chr.get()));
  }
  return digits;
}

segsense::Candidate candidate(const PatternMatch& m) {
  return {m.digit, m.variant, m.pattern, m.score};
}

// A slot result as the seven-segment module's reading, for its result dictionary: every field
// that dictionary reports, from the readers' diagnostics.
segsense::SlotReading segsense_reading(const SlotResult& result) {
  const SlotDiagnostics& d = result.diagnostics;
  segsense::SlotReading r;
  r.empty = result.status == SlotStatus::kEmpty;
  r.box = d.box;
  r.confidence = d.confidence;
  r.empty_confidence = d.empty_confidence;
  r.ink_ratio = d.ink_ratio;
  r.glyph_box = d.glyph_box;
  r.frame.frame_method = d.frame.method;
  r.frame.horizontal_frame_source = d.frame.horizontal_source;
  r.frame.horizontal_structure_position = d.frame.horizontal_position;
  segsense::Structure& s = r.frame.structure;
  s.vertical_core_top = d.frame.vertical_core_top;
  s.vertical_core_bottom = d.frame.vertical_core_bottom;
  s.top = d.frame.top;
  s.bottom = d.frame.bottom;
  s.left = d.frame.left;
  s.right = d.frame.right;
  s.width_ratio = d.frame.width_ratio;
  s.nominal_segment_length = d.frame.nominal_segment_length;
  s.nominal_frame_width = d.frame.nominal_frame_width;
  if (result.digit) {
    r.classification.value = static_cast<int>(*result.digit);
  }
  r.classification.strengths = d.strengths;
  r.classification.activations = d.activations;
  r.classification.best = candidate(d.best);
  r.classification.second = candidate(d.runner_up);
  r.observed_width_ratio = d.observed_width_ratio;
  return r;
}

// The classifier's result dictionaries for the digit slots of the layout, in order.
Ref slot_results(const Reading& r, PyObject* layout_list) {
  Ref items = pyglue::check(PyList_New(static_cast<Py_ssize_t>(r.slots.size())));
  size_t next = 0;
  for (size_t i = 0; i < r.layout.size() && next < r.slots.size(); ++i) {
    if (r.layout[i].kind != SlotKind::kDigit) {
      continue;
    }
    PyObject* slot = PyList_GetItem(layout_list, static_cast<Py_ssize_t>(i));
    Ref result = segsense::new_slot_result(slot, segsense_reading(r.slots[next]));
    PyList_SetItem(items.get(), static_cast<Py_ssize_t>(next++), result.release());
  }
  return items;
}

// {"value": None, "valid": False, "reason": reason}, then the extra key if any.
Ref early_dict(std::string_view reason, const Name* key = nullptr, Ref extra = Ref()) {
  pyglue::DictBuilder builder;
  builder.set(kValue, pyglue::none())
      .set(kValid, pyglue::new_bool(false))
      .set(kReason, pyglue::new_str(reason));
  if (key != nullptr) {
    builder.set(*key, std::move(extra));
  }
  return builder.build();
}

Ref crop_size(const Reading& r) {
  return pyglue::new_int_list({r.width(), r.height()});
}

// The seven keys of the score, period and single-digit readers.
Ref number_dict(const Reading& r, Ref items, Ref layout) {
  Ref debug = pyglue::DictBuilder()
                  .set(kAngle, pyglue::new_float(python_round(r.angle, 2)))
                  .set(kCropSize, crop_size(r))
                  .set(kLayoutKey, layout)
                  .build();
  Ref digits = digits_of(items.get());
  return pyglue::DictBuilder()
      .set(kValue, r.value ? pyglue::new_int(*r.value) : pyglue::none())
      .set(kDigits, std::move(digits))
      .set(kValid, pyglue::new_bool(r.valid))
      .set(kReason, pyglue::new_str(r.reason))
      .set(kOcrItems, std::move(items))
      .set(kGeometryItems, std::move(layout))
      .set(kDebug, std::move(debug))
      .build();
}

// The clock's own entry in ocr_items, between the two sides.
Ref separator_item(const ClockSeparator& separator, const Layout& layout) {
  const Slot* slot = find_separator(layout);
  return pyglue::DictBuilder()
      .set(kKind, pyglue::new_str("separator"))
      .set(kChar, pyglue::new_str(separator_char(separator.kind)))
      .set(kStatus, pyglue::new_str(separator.status()))
      .set(kConfidence, pyglue::new_float(separator.confidence))
      .set(kBox, slot ? pyglue::new_int_list_from(slot->box) : pyglue::none())
      .build();
}

// The first two slot results, the separator item, then results 3 and 4.
Ref clock_ocr_items(PyObject* items, Ref separator) {
  Ref out = pyglue::check(PyList_New(0));
  const Py_ssize_t n = PyList_Size(items);
  for (Py_ssize_t i = 0; i < std::min<Py_ssize_t>(n, 4); ++i) {
    if (i == 2) {
      pyglue::check_status(PyList_Append(out.get(), separator.get()));
    }
    pyglue::check_status(PyList_Append(out.get(), PyList_GetItem(items, i)));
  }
  if (n < 3) {
    pyglue::check_status(PyList_Append(out.get(), separator.get()));
  }
  return out;
}

// The fourteen keys of the clock reader. `digit_items` is kept as given (a replaced classifier's
// own object); the sides are taken from its list form.
Ref clock_dict(const Reading& r, Ref digit_items, Ref layout) {
  const ClockSeparator& separator = r.clock_separator;
  Ref items = pyglue::check(PySequence_List(digit_items.get()));
  Ref detection = r.separator ? detection_dict(*r.separator) : pyglue::none();
  Ref debug = pyglue::DictBuilder()
                  .set(kAngle, pyglue::new_float(python_round(r.angle, 2)))
                  .set(kCropSize, crop_size(r))
                  .set(kLayoutKey, layout)
                  .set(kSeparator, std::move(detection))
                  .build();
  Ref value = r.clock_value ? pyglue::new_str(*r.clock_value) : pyglue::none();
  return pyglue::DictBuilder()
      .set(kValue, value)
      .set(kRawValue, value)
      .set(kDigits, digits_of(items.get()))
      .set(kDigitItems, std::move(digit_items))
      .set(kOcrItems, clock_ocr_items(items.get(), separator_item(separator, r.layout)))
      .set(kGeometryItems, layout)
      .set(kSeparatorX, separator.x ? pyglue::new_float(*separator.x) : pyglue::none())
      .set(kSeparatorChar, pyglue::new_str(separator_char(separator.kind)))
      .set(kClockMode, pyglue::new_str(clock_mode(separator.kind)))
      .set(kValid, pyglue::new_bool(r.valid))
      .set(kStable, pyglue::new_bool(true))
      .set(kAccepted, pyglue::new_bool(r.valid))
      .set(kReason, pyglue::new_str(r.reason))
      .set(kDebug, std::move(debug))
      .build();
}

// A module attribute that is still the builtin function the module `owner` defines (the module
// itself is its self), not a replacement.
bool is_own_function(PyObject* owner, const char* name) {
  Ref attribute = pyglue::check(PyObject_GetAttrString(owner, name));
  return PyCFunction_Check(attribute.get()) && PyCFunction_GetSelf(attribute.get()) == owner;
}

// Reads a prepared display with the linked-in classifier (lock released) or, when the module's
// classifier has been replaced, through it; returns the result dictionary.
Ref read_and_build(ReaderKind reader, const PreparedDisplay& display, const std::string& role) {
  Ref replaced;
  if (linked_classifier(&replaced)) {
    Reading reading;
    {
      pyglue::GilRelease unlocked;
      reading = read_prepared(reader, display, role, SegmentClassifier());
    }
    return reading_dict(reading);
  }
  const PythonSlotClassifier classifier(std::move(replaced));
  const Reading reading = read_prepared(reader, display, role, classifier);
  return reading_dict(reading, classifier.items());
}

}  // namespace

Ref module_named(const Name& name) {
  Ref module = Ref::steal(PyImport_GetModule(name.get()));
  if (!module) {
    if (PyErr_Occurred()) {
      throw pyglue::PythonError();
    }
    module = pyglue::check(PyImport_Import(name.get()));
  }
  return module;
}

CropView crop_view(const pyglue::ImageArgument& crop) {
  return {crop.pixels("crop"), crop.colour()};
}

bool single_digit_role(PyObject* role) {
  return role != nullptr && PyUnicode_Check(role) && is_single_digit_role(pyglue::utf8(role));
}

std::string reader_role(ReaderKind reader, PyObject* role) {
  switch (reader) {
    case ReaderKind::kPeriod:
      return std::string();
    case ReaderKind::kSingleDigit:
      return role != nullptr && PyUnicode_Check(role) ? std::string(pyglue::utf8(role))
                                                      : std::string();
    case ReaderKind::kScore:
    case ReaderKind::kClock:
      break;
  }
  if (role == nullptr || !pyglue::truth(role)) {
    return std::string();
  }
  pyglue::require_exact_str(role, "role");
  return std::string(pyglue::utf8(role));
}

bool linked_classifier(Ref* replaced) {
  static const Name kZonescan("native_ocr.zonescan"), kSegsense("native_ocr.segsense");
  Ref zonescan = module_named(kZonescan);
  Ref segsense = module_named(kSegsense);  // imported at the first slot read, as the host expects
  if (is_own_function(zonescan.get(), "_read_slots") &&
      is_own_function(segsense.get(), "read_slots")) {
    return true;
  }
  *replaced = pyglue::check(PyObject_GetAttrString(zonescan.get(), "_read_slots"));
  return false;
}

std::vector<SlotResult> PythonSlotClassifier::read_slots(const cv::Mat& binary,
                                                         const Layout& layout) const {
  Ref array = pyglue::new_array(binary);
  Ref slots = slot_list(layout);
  items_ = pyglue::check(
      PyObject_CallFunctionObjArgs(function_.get(), array.get(), slots.get(), nullptr));
  Ref list = pyglue::check(PySequence_List(items_.get()));
  std::vector<SlotResult> out;
  for (Py_ssize_t i = 0; i < PyList_Size(list.get()); ++i) {
    PyObject* item = PyList_GetItem(list.get(), i);
    const Ref status = pyglue::get_item(item, kStatus);
    SlotResult result;
    result.status = PyUnicode_Check(status.get()) ? slot_status(pyglue::utf8(status.get()))
                                                  : SlotStatus::kUnknown;
    if (result.status == SlotStatus::kDigit) {
      result.digit = slot_digit(char_of(item).get());
    }
    out.push_back(std::move(result));
  }
  return out;
}

Ref reading_dict(const Reading& r, Ref items) {
  switch (r.shape) {
    case ReadingShape::kNoFrame:
    case ReadingShape::kLayout:
      return early_dict(r.reason);
    case ReadingShape::kLayoutWithGeometry:
      return early_dict(r.reason, &kGeometryItems, slot_list(r.layout));
    case ReadingShape::kLayoutWithSlots:
    case ReadingShape::kFull:
      break;
  }
  Ref layout = slot_list(r.layout);
  if (!items) {
    items = slot_results(r, layout.get());
  }
  if (r.reader == ReaderKind::kClock) {
    return clock_dict(r, std::move(items), std::move(layout));
  }
  if (r.shape == ReadingShape::kLayoutWithSlots) {
    return early_dict(r.reason, &kOcrItems, std::move(items));
  }
  return number_dict(r, std::move(items), std::move(layout));
}

Ref read_crop_object(ReaderKind reader, PyObject* crop, PyObject* role, PyObject* processing) {
  if (reader == ReaderKind::kSingleDigit && !single_digit_role(role)) {
    return early_dict("layout");
  }
  const pyglue::ImageArgument input(crop, pyglue::ImageArgument::Presence::kOptional);
  if (input.empty()) {
    return early_dict("no_frame");
  }
  ProcessingSettings settings;
  normalize_settings(processing, &settings);
  const CropView view = crop_view(input);
  if (crop_too_large(view)) {
    return early_dict(kCropTooLarge);
  }
  PreparedDisplay display;
  {
    pyglue::GilRelease unlocked;
    display = prepare_display(view, settings, reader == ReaderKind::kClock);
  }
  return read_and_build(reader, display, reader_role(reader, role));
}

Ref read_zone_object(ReaderKind reader, PyObject* zone, PyObject* image) {
  Ref crop;
  const ZoneParts parts =
      zone_parts(reader, zone, [&] { crop = crop_zone_from_image(zone, image); });
  return read_crop_object(reader, crop.get(), parts.role.get(), parts.processing.get());
}

}  // namespace native_ocr::zonescan
