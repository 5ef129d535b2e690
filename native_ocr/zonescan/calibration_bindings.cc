// calibrate_zone, trust_reading and render_reading: the calibration core (calibration/) bound to
// the module. Readings are always made by the module's own readers (looked up by name), so a
// calibrated zone reads in the host exactly as it read here.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "native_ocr/zonescan/bindings.h"
#include "native_ocr/zonescan/calibration/calibration.h"
#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/calibration/picture.h"
#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/docstrings.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Name;
using pyglue::Ref;

const Name kX("x"), kY("y"), kWidth("width"), kHeight("height"), kRole("role"),
    kProcessing("processing"), kThreshold("threshold"), kInvert("invert");
const Name kZone("zone"), kReading("reading"), kConfidence("confidence"), kReason("reason");
const Name kTrusted("trusted"), kWhy("why");
const Name kValid("valid"), kValue("value"), kDigitItems("digit_items"), kOcrItems("ocr_items"),
    kDebug("debug"), kCropSize("crop_size"), kSeparator("separator"), kClockMode("clock_mode");
const Name kStatus("status"), kChar("char"), kKind("kind"), kBox("box"), kGlyphBox("glyph_box"),
    kPatternScore("pattern_score"), kRunnerUpScore("runner_up_score"),
    kActivation("segment_activation"), kBinary("binary"), kInkRatio("ink_ratio");

// mapping.get(key) for a dictionary, None when absent.
PyObject* dict_get(PyObject* dict, const Name& key) {
  PyObject* v = PyDict_GetItemWithError(dict, key.get());
  if (v == nullptr && PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return v != nullptr ? v : Py_None;
}

bool is_str(PyObject* v, const char* text) {
  return PyUnicode_Check(v) && PyUnicode_CompareWithASCIIString(v, text) == 0;
}

Py_ssize_t sequence_size(PyObject* sequence) {
  const Py_ssize_t n = PySequence_Size(sequence);
  if (n < 0) {
    throw pyglue::PythonError();
  }
  return n;
}

Ref sequence_item(PyObject* sequence, Py_ssize_t i) {
  return pyglue::check(PySequence_GetItem(sequence, i));
}

// How far from 0 a box or size of a result handed back may reach: 256 times the largest crop a
// reader reads, so no box of a real reading comes near it, and small enough that the picture's
// scaled and shifted boxes and the trust rule's spans stay far inside int.
constexpr int64_t kMaxResultCoordinate = int64_t{1} << 20;

// A sequence of exactly N numbers, each converted as int() converts it and within
// ±kMaxResultCoordinate (ValueError otherwise).
template <size_t N>
std::array<int, N> int_array(PyObject* sequence) {
  std::array<int, N> out{};
  const std::string expected = "expected " + std::to_string(N) + " numbers";
  if (sequence_size(sequence) != static_cast<Py_ssize_t>(N)) {
    throw pyglue::ValueError(expected);
  }
  for (size_t i = 0; i < N; ++i) {
    const int64_t v = pyglue::python_int(sequence_item(sequence, static_cast<Py_ssize_t>(i)).get());
    if (v < -kMaxResultCoordinate || v > kMaxResultCoordinate) {
      throw pyglue::ValueError(expected + " within -" + std::to_string(kMaxResultCoordinate) +
                               ".." + std::to_string(kMaxResultCoordinate));
    }
    out[i] = static_cast<int>(v);
  }
  return out;
}

// The slot results of a reader result: `digit_items` of a clock, `ocr_items` otherwise.
PyObject* slot_items(PyObject* result) {
  PyObject* items = dict_get(result, kDigitItems);
  return items != Py_None ? items : dict_get(result, kOcrItems);
}

void require_result(PyObject* result) {
  if (!PyDict_Check(result)) {
    throw pyglue::TypeError("result must be a reader result dictionary, not " +
                            pyglue::type_name(result));
  }
}

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
  cell.box = int_array<4>(pyglue::get_item(item, kBox).get());
  cell.glyph_box = int_array<4>(pyglue::get_item(item, kGlyphBox).get());
  PyObject* digit = dict_get(item, kChar);
  cell.digit = digit != Py_None ? static_cast<int>(pyglue::python_int(digit)) : -1;
  PyObject* ink = dict_get(item, kInkRatio);
  cell.ink_ratio = ink != Py_None ? pyglue::python_float(ink) : 0.0;
  return cell;
}

calibration::TrustInput trust_input(PyObject* result) {
  require_result(result);
  calibration::TrustInput input;
  input.valid = pyglue::truth(dict_get(result, kValid));
  // No reason at all (None or absent) leaves the core's own "not_valid".
  if (PyObject* reason = dict_get(result, kReason); reason != Py_None) {
    const Ref text = pyglue::check(PyObject_Str(reason));
    input.reason = std::string(pyglue::utf8(text.get()));
  }
  input.clock = PyDict_Contains(result, kClockMode.get()) == 1;
  PyObject* debug = dict_get(result, kDebug);
  if (PyDict_Check(debug)) {
    PyObject* size = dict_get(debug, kCropSize);
    if (size != Py_None) {
      input.crop_height = int_array<2>(size)[1];
    }
    PyObject* separator = dict_get(debug, kSeparator);
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
    if (!PyDict_Check(item) || !is_str(dict_get(item, kStatus), "digit")) {
      continue;
    }
    input.cells.push_back(trust_cell(item));
  }
  return input;
}

Ref trust_dict(const calibration::Trust& trust) {
  return pyglue::DictBuilder()
      .set(kTrusted, pyglue::new_bool(trust.trusted))
      .set(kConfidence, pyglue::new_float(trust.confidence))
      .set(kWhy, pyglue::new_str(trust.why))
      .build();
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

// The expected value as the readers write it: a str (stripped) or the decimal text of an int.
std::optional<std::string> expected_text(PyObject* expected) {
  if (expected == nullptr || expected == Py_None) {
    return std::nullopt;
  }
  if (PyBool_Check(expected) || !(PyUnicode_Check(expected) || PyLong_Check(expected))) {
    throw pyglue::TypeError("expected must be a str or an int, not " + pyglue::type_name(expected));
  }
  const Ref text = pyglue::check(PyObject_Str(expected));
  std::string out(pyglue::utf8(text.get()));
  const auto first = out.find_first_not_of(" \t");
  const auto last = out.find_last_not_of(" \t");
  return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

Ref zone_dict(double x, double y, double width, double height, const std::string& role,
              Ref processing) {
  return pyglue::DictBuilder()
      .set(kX, pyglue::new_float(x))
      .set(kY, pyglue::new_float(y))
      .set(kWidth, pyglue::new_float(width))
      .set(kHeight, pyglue::new_float(height))
      .set(kRole, pyglue::new_str(role))
      .set(kProcessing, std::move(processing))
      .build();
}

Ref calibration_result(Ref zone, PyObject* image, const std::string& role, double found,
                       std::string_view reason) {
  Ref reading = read_with(role, zone.get(), image);
  const double confidence =
      found > 0.0 ? calibration::trust_reading(trust_input(reading.get())).confidence : 0.0;
  return pyglue::DictBuilder()
      .set(kZone, std::move(zone))
      .set(kReading, std::move(reading))
      .set(kConfidence, pyglue::new_float(confidence))
      .set(kReason, pyglue::new_str(reason))
      .build();
}

// The operator's zone as drawn, with its role and normalised settings.
Ref unchanged_zone(PyObject* zone, const std::string& role) {
  Ref processing = normalize_settings(zone_processing(zone).get());
  return zone_dict(pyglue::python_float(pyglue::get_item(zone, kX).get()),
                   pyglue::python_float(pyglue::get_item(zone, kY).get()),
                   pyglue::python_float(pyglue::get_item(zone, kWidth).get()),
                   pyglue::python_float(pyglue::get_item(zone, kHeight).get()), role,
                   std::move(processing));
}

// The display settings calibration chose, only those that differ from the defaults.
void add_display_traits(PyObject* settings, const ProcessingSettings& s) {
  const ProcessingSettings plain;
  if (s.polarity != plain.polarity) {
    pyglue::check_status(PyDict_SetItemString(settings, "polarity",
                                              pyglue::new_str(polarity_name(s.polarity)).get()));
  }
  if (s.slant != plain.slant) {
    pyglue::check_status(PyDict_SetItemString(settings, "slant", pyglue::new_float(s.slant).get()));
  }
  if (s.clock_cells != plain.clock_cells) {
    pyglue::check_status(
        PyDict_SetItemString(settings, "clock_cells", pyglue::new_int(s.clock_cells).get()));
  }
}

Ref py_calibrate_zone(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<4> kSig("calibrate_zone",
                                             {"zone", "image", "role", "expected"}, 2);
  auto [zone, image, role_arg, expected_arg] = kSig.parse(args, kwargs);
  const std::string role = role_of(zone, role_arg);
  const std::optional<std::string> expected = expected_text(expected_arg);
  Ref crop = crop_zone_from_image(zone, image);
  if (crop.get() == Py_None) {
    return calibration_result(unchanged_zone(zone, role), image, role, 0.0, "no_frame");
  }
  pyglue::ArrayView frame(image);
  const double fw = static_cast<double>(frame.dim(1)), fh = static_cast<double>(frame.dim(0));
  const Bounds bounds = zone_bounds(zone, frame.dim(1), frame.dim(0));
  const std::array<int, 4> origin = {static_cast<int>(bounds.x1), static_cast<int>(bounds.y1),
                                     static_cast<int>(bounds.x2), static_cast<int>(bounds.y2)};
  pyglue::ArrayView view(crop.get());
  view.require_8bit_image("crop");
  const CropView pixels{view.mat(), view.ndim() == 3};
  if (crop_too_large(pixels)) {
    return calibration_result(unchanged_zone(zone, role), image, role, 0.0, kCropTooLarge);
  }
  calibration::Calibration found;
  {
    pyglue::GilRelease unlocked;
    found = calibration::calibrate_crop(pixels, role, expected, SegmentClassifier());
  }
  if (!found.found) {
    return calibration_result(unchanged_zone(zone, role), image, role, 0.0, found.reason);
  }
  // Fractions that cut exactly these pixels again: half a pixel in, whole pixels across.
  const calibration::Cut& cut = found.cut;
  Ref settings = pyglue::DictBuilder()
                     .set(kThreshold, pyglue::new_int(found.settings.threshold))
                     .set(kInvert, pyglue::new_bool(found.settings.invert))
                     .build();
  add_display_traits(settings.get(), found.settings);
  Ref new_zone =
      zone_dict((origin[0] + cut.x1 + 0.5) / fw, (origin[1] + cut.y1 + 0.5) / fh, cut.width() / fw,
                cut.height() / fh, role, normalize_settings(settings.get()));
  return calibration_result(std::move(new_zone), image, role, 1.0, found.reason);
}

// Whether `zone` read from `image` gives the result's value.
bool reads_value(const std::string& role, PyObject* zone, PyObject* image, PyObject* value) {
  const Ref again = read_with(role, zone, image);
  const int equal = PyObject_RichCompareBool(dict_get(again.get(), kValue), value, Py_EQ);
  if (equal < 0) {
    throw pyglue::PythonError();
  }
  return pyglue::truth(dict_get(again.get(), kValid)) && equal == 1;
}

// The zone with one of its items replaced.
Ref zone_with(PyObject* zone, const Name& key, Ref value) {
  Ref moved = pyglue::check(PyDict_Copy(zone));
  pyglue::check_status(PyDict_SetItem(moved.get(), key.get(), value.get()));
  return moved;
}

// The share of the two reads of `zone` with its threshold `step` levels down and up that read
// the result's value.
double threshold_agreement(const std::string& role, PyObject* zone, PyObject* image,
                           PyObject* value, int step) {
  constexpr int kWhiteLevel = 255;
  const Ref settings = normalize_settings(zone_processing(zone).get());
  const auto threshold = pyglue::python_int(pyglue::get_item(settings.get(), kThreshold).get());
  int same = 0;
  for (const int way : {-1, 1}) {
    const int64_t moved = std::clamp<int64_t>(threshold + way * step, 0, kWhiteLevel);
    Ref changed = pyglue::check(PyDict_Copy(settings.get()));
    pyglue::check_status(
        PyDict_SetItem(changed.get(), kThreshold.get(), pyglue::new_int(moved).get()));
    same += reads_value(role, zone_with(zone, kProcessing, std::move(changed)).get(), image, value);
  }
  return same / 2.0;
}

// What the result's zone read again says about it: the shares of reads that keep its value with
// the zone moved one pixel each way and with its threshold moved.
void measure_agreement(PyObject* result, PyObject* zone, PyObject* image,
                       calibration::TrustInput& input) {
  pyglue::ArrayView view(image);
  view.require_8bit_image("image");
  const double pixel[2] = {1.0 / static_cast<double>(view.mat().cols),
                           1.0 / static_cast<double>(view.mat().rows)};
  const std::string role = role_of(zone, nullptr);
  PyObject* value = dict_get(result, kValue);
  int same = 0;
  for (int axis = 0; axis < 2; ++axis) {
    const Name& key = axis == 0 ? kX : kY;
    const double at = pyglue::python_float(pyglue::get_item(zone, key).get());
    for (const double way : {-1.0, 1.0}) {
      const Ref moved = zone_with(zone, key, pyglue::new_float(at + way * pixel[axis]));
      same += reads_value(role, moved.get(), image, value);
    }
  }
  input.shift_agreement = same / static_cast<double>(calibration::kMovedCuts);
  input.near_threshold_agreement =
      threshold_agreement(role, zone, image, value, calibration::kNearThresholdStep);
  input.far_threshold_agreement =
      threshold_agreement(role, zone, image, value, calibration::kFarThresholdStep);
}

Ref py_trust_reading(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("trust_reading", {"result", "zone", "image"}, 1);
  auto [result, zone, image] = kSig.parse(args, kwargs);
  calibration::TrustInput input = trust_input(result);
  const bool measured = zone != nullptr && zone != Py_None && image != nullptr && image != Py_None;
  if (measured && input.valid) {
    if (!PyDict_Check(zone)) {
      throw pyglue::TypeError("zone must be a dict, not " + pyglue::type_name(zone));
    }
    measure_agreement(result, zone, image, input);
  }
  return trust_dict(calibration::trust_reading(input));
}

calibration::CellState cell_state(PyObject* status) {
  if (is_str(status, "digit")) {
    return calibration::CellState::kDigit;
  }
  return is_str(status, "empty") ? calibration::CellState::kEmpty
                                 : calibration::CellState::kUnknown;
}

void add_picture_items(PyObject* result, calibration::PictureInput* picture) {
  PyObject* items = dict_get(result, kOcrItems);
  if (items == Py_None) {
    return;
  }
  const Py_ssize_t count = sequence_size(items);
  for (Py_ssize_t i = 0; i < count; ++i) {
    const Ref held = sequence_item(items, i);
    PyObject* item = held.get();
    if (!PyDict_Check(item) || dict_get(item, kBox) == Py_None) {
      continue;
    }
    PyObject* chr = dict_get(item, kChar);
    const Ref text = chr == Py_None ? pyglue::new_str("") : pyglue::check(PyObject_Str(chr));
    PyObject* confidence = dict_get(item, kConfidence);
    const double conf = confidence == Py_None ? 0.0 : pyglue::python_float(confidence);
    if (is_str(dict_get(item, kKind), "separator")) {
      picture->separator = calibration::PictureSeparator{
          int_array<4>(dict_get(item, kBox)), std::string(pyglue::utf8(text.get())),
          is_str(dict_get(item, kStatus), "separator"), conf};
      continue;
    }
    calibration::PictureCell cell;
    cell.box = int_array<4>(dict_get(item, kBox));
    if (PyObject* glyph = dict_get(item, kGlyphBox); glyph != Py_None) {
      cell.glyph_box = int_array<4>(glyph);
    }
    cell.state = cell_state(dict_get(item, kStatus));
    cell.text = std::string(pyglue::utf8(text.get()));
    cell.confidence = conf;
    picture->cells.push_back(cell);
  }
}

Ref py_render_reading(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("render_reading", {"zone", "image", "result"}, 2);
  auto [zone, image, result_arg] = kSig.parse(args, kwargs);
  Ref result = result_arg != nullptr && result_arg != Py_None
                   ? Ref::borrow(result_arg)
                   : read_with(role_of(zone, nullptr), zone, image);
  require_result(result.get());
  calibration::PictureInput picture;
  picture.valid = pyglue::truth(dict_get(result.get(), kValid));
  const Ref caption =
      pyglue::check(PyObject_Str(dict_get(result.get(), picture.valid ? kValue : kReason)));
  picture.caption = std::string(pyglue::utf8(caption.get()));
  add_picture_items(result.get(), &picture);
  Ref crop = crop_zone_from_image(zone, image);
  std::optional<pyglue::ArrayView> crop_view, binary_view;
  Ref prepared;
  if (crop.get() != Py_None) {
    crop_view.emplace(crop.get());
    crop_view->require_8bit_image("crop");
  }
  // A crop the readers refuse as too large is drawn as no crop: only the boxes and caption.
  if (crop_view && !crop_too_large(CropView{crop_view->mat(), crop_view->ndim() == 3})) {
    picture.crop = crop_view->mat();
    Ref processing = zone_processing(zone);
    prepared = prepare_display_dict(crop.get(), Py_False, processing.get());
    if (PyDict_Check(prepared.get())) {
      binary_view.emplace(pyglue::get_item(prepared.get(), kBinary).get());
      picture.binary = binary_view->mat();
    }
  } else {
    picture.crop = cv::Mat(24, 64, CV_8UC1, cv::Scalar(0));
  }
  cv::Mat out;
  {
    pyglue::GilRelease unlocked;
    out = calibration::render_picture(picture);
  }
  return pyglue::new_array(out);
}

}  // namespace

void add_calibration_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_calibrate_zone>("calibrate_zone", kCalibrateZoneDoc);
  module.add_function<py_trust_reading>("trust_reading", kTrustReadingDoc);
  module.add_function<py_render_reading>("render_reading", kRenderReadingDoc);
}

}  // namespace native_ocr::zonescan
