// trust_reading: the trust rule (calibration/trust.h) on a reader result dictionary, with the
// zone re-read and the second classifier asked when the zone and image are given; and what the
// calibration bindings share (calibration_glue.h).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/calibration/frame_trust.h"
#include "native_ocr/zonescan/calibration/second_opinion.h"
#include "native_ocr/zonescan/calibration/zone_agreement.h"
#include "native_ocr/zonescan/python/calibration_glue.h"
#include "native_ocr/zonescan/python/reader_entry.h"
#include "native_ocr/zonescan/python/zone_arguments.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan::calibration_glue {

using pyglue::Name;
using pyglue::Ref;

namespace {

const Name kConfidence("confidence"), kReason("reason"), kTrusted("trusted"), kWhy("why"),
    kSecondOpinion("second_opinion"), kDisagreeing("disagreeing_slots");
const Name kValid("valid"), kValue("value"), kDigitItems("digit_items"), kOcrItems("ocr_items"),
    kDebug("debug"), kCropSize("crop_size"), kSeparator("separator"), kClockMode("clock_mode");
const Name kStatus("status"), kChar("char"), kKind("kind"), kBox("box"), kGlyphBox("glyph_box"),
    kPatternScore("pattern_score"), kRunnerUpScore("runner_up_score"),
    kActivation("segment_activation"), kInkRatio("ink_ratio"), kSlot("slot");
const Name kSeparatorX("separator_x"), kSeparatorChar("separator_char");

}  // namespace

// The slot results of a reader result: `digit_items` of a clock, `ocr_items` otherwise.
PyObject* slot_items(PyObject* result) {
  PyObject* items = dict_value(result, kDigitItems);
  return items != Py_None ? items : dict_value(result, kOcrItems);
}

void require_result(PyObject* result) {
  if (!PyDict_Check(result)) {
    throw pyglue::TypeError("result must be a reader result dictionary, not " +
                            pyglue::type_name(result));
  }
}

// The zone's role, or the one given; "home_score" when neither names one.
std::string role_of(PyObject* zone, PyObject* role) {
  Ref found = role != nullptr && role != Py_None ? Ref::borrow(role) : zone_role(zone);
  if (!pyglue::truth(found.get())) {
    return "home_score";
  }
  pyglue::require_exact_str(found.get(), "role");
  return std::string(pyglue::utf8(found.get()));
}

// The zone read by the module's reader for `role`, as read_*_from_image reads it.
Ref read_with(const std::string& role, PyObject* zone, PyObject* image) {
  return read_zone_object(reader_for_role(role), zone, image);
}

namespace {

// One slot result read as a digit, as the trust rule weighs it.
calibration::TrustCell trust_cell(PyObject* item) {
  calibration::TrustCell cell;
  cell.confidence = pyglue::python_float(pyglue::get_item(item, kConfidence).get());
  cell.pattern_score = pyglue::python_float(pyglue::get_item(item, kPatternScore).get());
  cell.runner_up_score = pyglue::python_float(pyglue::get_item(item, kRunnerUpScore).get());
  const Ref acts = pyglue::get_item(item, kActivation);
  if (sequence_size(acts.get()) != 7) {
    throw pyglue::ValueError("segment_activation must hold 7 numbers");
  }
  for (Py_ssize_t s = 0; s < 7; ++s) {
    cell.activation[s] = pyglue::python_float(sequence_item(acts.get(), s).get());
  }
  cell.box = box_of(pyglue::get_item(item, kBox).get());
  cell.glyph_box = box_of(pyglue::get_item(item, kGlyphBox).get());
  PyObject* digit = dict_value(item, kChar);
  cell.digit = digit != Py_None ? static_cast<int>(pyglue::python_int(digit)) : -1;
  PyObject* ink = dict_value(item, kInkRatio);
  cell.ink_ratio = ink != Py_None ? pyglue::python_float(ink) : 0.0;
  return cell;
}

}  // namespace

calibration::TrustInput trust_input(PyObject* result) {
  require_result(result);
  calibration::TrustInput input;
  input.valid = pyglue::truth(dict_value(result, kValid));
  // No reason at all (None or absent) leaves the core's own "not_valid".
  if (PyObject* reason = dict_value(result, kReason); reason != Py_None) {
    const Ref text = pyglue::check(PyObject_Str(reason));
    input.reason = std::string(pyglue::utf8(text.get()));
  }
  input.clock = PyDict_Contains(result, kClockMode.get()) == 1;
  if (PyObject* value = dict_value(result, kValue); input.valid && value != Py_None) {
    const Ref text = pyglue::check(PyObject_Str(value));
    input.value = std::string(pyglue::utf8(text.get()));
  }
  PyObject* debug = dict_value(result, kDebug);
  if (PyDict_Check(debug)) {
    PyObject* size = dict_value(debug, kCropSize);
    if (size != Py_None) {
      input.crop_height = int_array<2>(size)[1];
    }
    PyObject* separator = dict_value(debug, kSeparator);
    if (PyDict_Check(separator)) {
      input.separator_confidence =
          pyglue::python_float(pyglue::get_item(separator, kConfidence).get());
    }
  }
  PyObject* items = slot_items(result);
  if (items == Py_None) {
    return input;
  }
  const Py_ssize_t count = sequence_size(items);
  for (Py_ssize_t i = 0; i < count; ++i) {
    const Ref held = sequence_item(items, i);
    PyObject* item = held.get();
    if (!PyDict_Check(item)) {
      continue;
    }
    if (is_str(dict_value(item, kStatus), "digit")) {
      input.cells.push_back(trust_cell(item));
    } else if (PyObject* ink = dict_value(item, kInkRatio);
               is_str(dict_value(item, kStatus), "empty") && ink != Py_None) {
      input.empty_ink.push_back(pyglue::python_float(ink));
    }
  }
  return input;
}

namespace {

Ref trust_dict(const calibration::Trust& trust, const calibration::TrustInput& input) {
  pyglue::DictBuilder out;
  out.set(kTrusted, pyglue::new_bool(trust.trusted))
      .set(kConfidence, pyglue::new_float(trust.confidence))
      .set(kWhy, pyglue::new_str(trust.why));
  if (input.second_opinion) {
    out.set(kSecondOpinion, pyglue::new_str(input.second_opinion->classifier))
        .set(kDisagreeing, pyglue::new_int_list_from(input.second_opinion->disagreeing));
  }
  return out.build();
}

// The result's digit slots with a box, as the second classifier is asked about them.
std::vector<calibration::ReadCell> read_cells(PyObject* result) {
  std::vector<calibration::ReadCell> cells;
  PyObject* items = slot_items(result);
  const Py_ssize_t count = items == Py_None ? 0 : sequence_size(items);
  for (Py_ssize_t i = 0; i < count; ++i) {
    const Ref held = sequence_item(items, i);
    PyObject* item = held.get();
    if (!PyDict_Check(item) || !is_str(dict_value(item, kKind), "digit") ||
        dict_value(item, kBox) == Py_None) {
      continue;
    }
    calibration::ReadCell c;
    PyObject* slot = dict_value(item, kSlot);
    c.item = slot != Py_None ? static_cast<int>(pyglue::python_int(slot)) : static_cast<int>(i);
    const auto box = int_array<4>(dict_value(item, kBox));
    std::copy(box.begin(), box.end(), c.box.begin());
    PyObject* status = dict_value(item, kStatus);
    c.status = PyUnicode_Check(status) ? slot_status(pyglue::utf8(status)) : SlotStatus::kUnknown;
    if (PyObject* chr = dict_value(item, kChar); c.status == SlotStatus::kDigit && chr != Py_None) {
      c.digit = pyglue::python_int(chr);
    }
    PyObject* confidence = dict_value(item, kConfidence);
    c.confidence = confidence != Py_None ? pyglue::python_float(confidence) : 0.0;
    cells.push_back(c);
  }
  return cells;
}

// The other classifier's opinion of the result's cells on the zone's crop (none asked when the
// zone has no pixels or the result no cells). A reading of the learned classifier is weighed by
// the seven-segment classifier's cells.
void ask_second_opinion(PyObject* result, PyObject* zone, PyObject* image,
                        calibration::TrustInput& input) {
  ProcessingSettings settings;
  normalize_settings(zone_processing(zone).get(), &settings);
  input.display_traits = calibration::reads_through_traits(settings);
  const Ref crop = crop_zone_from_image(zone, image);
  const std::vector<calibration::ReadCell> cells = read_cells(result);
  if (crop.get() == Py_None || cells.empty()) {
    return;
  }
  pyglue::ArrayView view(crop.get());
  view.require_8bit_image("crop");
  const CropView pixels{view.mat(), view.ndim() == 3};
  if (crop_too_large(pixels)) {
    return;
  }
  calibration::Opinion opinion;
  {
    pyglue::GilRelease unlocked;
    opinion = calibration::ask_second_opinion(pixels, settings, cells);
  }
  calibration::take_opinion(std::move(opinion), settings, input);
}

// The result's value as the re-reads compare theirs with it (as == compares it with a reading's
// value): a text, or a number with an integral value; anything else equals no reading's value.
calibration::ReadValue read_value(PyObject* value) {
  calibration::ReadValue out;
  if (PyUnicode_Check(value)) {
    out.text = std::string(pyglue::utf8(value));
  } else if (PyLong_Check(value)) {
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (n == -1 && PyErr_Occurred()) {
      throw pyglue::PythonError();
    }
    if (overflow == 0) {
      out.number = n;
    }
  } else if (PyFloat_Check(value)) {
    // Past 2^53 no reading's value is near; the bound keeps the conversion defined.
    constexpr double kLargestExact = 9007199254740992.0;
    const double d = PyFloat_AsDouble(value);
    if (std::trunc(d) == d && std::abs(d) <= kLargestExact) {
      out.number = static_cast<int64_t>(d);
    }
  }
  return out;
}

// The separator a clock result's reading found (its separator_x and separator_char), set in `at`
// when the result says (separator_x None: it found none); left to be searched for otherwise.
void take_result_separator(PyObject* result, calibration::FrameZone& at) {
  PyObject* x = pyglue::dict_find(result, kSeparatorX);
  PyObject* kind = pyglue::dict_find(result, kSeparatorChar);
  if (x == Py_None) {
    at.separator_known = true;
    at.separator.reset();
  } else if (x != nullptr && PyFloat_Check(x) && kind != nullptr &&
             (is_str(kind, ":") || is_str(kind, "."))) {
    SeparatorDetection found;
    found.x = PyFloat_AsDouble(x);
    found.kind = is_str(kind, ":") ? SeparatorKind::kColon : SeparatorKind::kDecimalPoint;
    at.separator_known = true;
    at.separator = std::move(found);
  }
}

// What the result's zone read again says about it: the shares of reads that keep its value with
// the zone moved one pixel each way and with its threshold moved, read in the core on views of
// the one frame (through the module's classifier when it has been replaced); and the ink around
// its cells that they do not account for.
void measure_agreement(PyObject* result, PyObject* zone, PyObject* image,
                       calibration::TrustInput& input) {
  pyglue::ArrayView view(image);
  view.require_8bit_image("image");
  calibration::FrameZone at;
  at.frame = CropView{view.mat(), view.ndim() == 3};
  at.role = role_of(zone, nullptr);
  at.rect = zone_rect(zone);
  normalize_settings(zone_processing(zone).get(), &at.settings);
  take_result_separator(result, at);
  const calibration::ReadValue value = read_value(dict_value(result, kValue));
  calibration::Agreement agreement;
  Ref replaced;
  if (linked_classifier(&replaced)) {
    pyglue::GilRelease unlocked;
    agreement = calibration::zone_agreement(at, value, SegmentClassifier(), input.cells);
  } else {
    const PythonSlotClassifier classifier(std::move(replaced));
    agreement = calibration::zone_agreement(at, value, classifier, input.cells);
  }
  calibration::take_agreement(agreement, input);
}

}  // namespace

calibration::TrustInput second_opinion_input(PyObject* result, PyObject* zone, PyObject* image) {
  calibration::TrustInput input = trust_input(result);
  if (input.valid) {
    input.role = role_of(zone, nullptr);
    ask_second_opinion(result, zone, image, input);
  }
  return input;
}

Ref trust_reading(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("trust_reading", {"result", "zone", "image"}, 1);
  auto [result, zone, image] = kSig.parse(args, kwargs);
  calibration::TrustInput input = trust_input(result);
  const bool measured = zone != nullptr && zone != Py_None && image != nullptr && image != Py_None;
  if (measured && input.valid) {
    if (!PyDict_Check(zone)) {
      throw pyglue::TypeError("zone must be a dict, not " + pyglue::type_name(zone));
    }
    input.role = role_of(zone, nullptr);
    ask_second_opinion(result, zone, image, input);
    // A reading the rule refuses whatever the re-reads say is not read again.
    if (!calibration::decided_before_score(input)) {
      measure_agreement(result, zone, image, input);
    }
  }
  return trust_dict(calibration::trust_reading(input), input);
}

}  // namespace native_ocr::zonescan::calibration_glue
