// calibrate_zone, trust_reading and render_reading: the calibration core (calibration/) bound to
// the module. Readings are always made by the module's own readers (looked up by name), so a
// calibrated zone reads in the host exactly as it read here.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "native_ocr/zonescan/calibration/calibration.h"
#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/calibration/picture.h"
#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/calibration_glue.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/reader_entry.h"
#include "native_ocr/zonescan/python/zone_arguments.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan {
namespace {

using calibration_glue::box_of;
using calibration_glue::dict_value;
using calibration_glue::int_array;
using calibration_glue::is_str;
using calibration_glue::read_with;
using calibration_glue::require_result;
using calibration_glue::role_of;
using calibration_glue::sequence_item;
using calibration_glue::sequence_size;
using calibration_glue::trust_input;
using pyglue::Name;
using pyglue::Ref;

const Name kX("x"), kY("y"), kWidth("width"), kHeight("height"), kRole("role"),
    kProcessing("processing"), kThreshold("threshold"), kInvert("invert");
const Name kZone("zone"), kReading("reading"), kConfidence("confidence"), kReason("reason");
const Name kClassifier("classifier"), kPolarity("polarity"), kSlant("slant"),
    kClockCells("clock_cells");
const Name kValid("valid"), kValue("value"), kDigitItems("digit_items"), kOcrItems("ocr_items"),
    kDebug("debug"), kCropSize("crop_size"), kSeparator("separator"), kClockMode("clock_mode");
const Name kStatus("status"), kChar("char"), kKind("kind"), kBox("box"), kGlyphBox("glyph_box"),
    kPatternScore("pattern_score"), kRunnerUpScore("runner_up_score"),
    kActivation("segment_activation"), kBinary("binary"), kInkRatio("ink_ratio");

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
                       std::string_view reason,
                       CellClassifier classifier = CellClassifier::kSegments) {
  Ref reading = read_with(role, zone.get(), image);
  // A learned reading is weighed by the seven-segment classifier's cells, as trust_reading
  // weighs it given the zone and image.
  const calibration::TrustInput input =
      classifier == CellClassifier::kLearned
          ? calibration_glue::second_opinion_input(reading.get(), zone.get(), image)
          : trust_input(reading.get());
  const double confidence = found > 0.0 ? calibration::trust_reading(input).confidence : 0.0;
  return pyglue::DictBuilder()
      .set(kZone, std::move(zone))
      .set(kReading, std::move(reading))
      .set(kConfidence, pyglue::new_float(confidence))
      .set(kReason, pyglue::new_str(reason))
      .set(kClassifier, pyglue::new_str(classifier_name(classifier)))
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
    pyglue::check_status(PyDict_SetItem(settings, kPolarity.get(),
                                        pyglue::new_str(polarity_name(s.polarity)).get()));
  }
  if (s.slant != plain.slant) {
    pyglue::check_status(PyDict_SetItem(settings, kSlant.get(), pyglue::new_float(s.slant).get()));
  }
  if (s.clock_cells != plain.clock_cells) {
    pyglue::check_status(
        PyDict_SetItem(settings, kClockCells.get(), pyglue::new_int(s.clock_cells).get()));
  }
}

// The settings calibration chose, as the zone's processing gives them: threshold, inversion, and
// the classifier and display traits when they are not the defaults.
Ref calibrated_settings(const ProcessingSettings& chosen) {
  Ref settings = pyglue::DictBuilder()
                     .set(kThreshold, pyglue::new_int(chosen.threshold))
                     .set(kInvert, pyglue::new_bool(chosen.invert))
                     .build();
  if (chosen.classifier != CellClassifier::kSegments) {
    pyglue::check_status(PyDict_SetItem(settings.get(), kClassifier.get(),
                                        pyglue::new_str(classifier_name(chosen.classifier)).get()));
  }
  add_display_traits(settings.get(), chosen);
  return settings;
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
  Ref settings = calibrated_settings(found.settings);
  Ref new_zone =
      zone_dict((origin[0] + cut.x1 + 0.5) / fw, (origin[1] + cut.y1 + 0.5) / fh, cut.width() / fw,
                cut.height() / fh, role, normalize_settings(settings.get()));
  return calibration_result(std::move(new_zone), image, role, 1.0, found.reason,
                            found.settings.classifier);
}

calibration::CellState cell_state(PyObject* status) {
  if (is_str(status, "digit")) {
    return calibration::CellState::kDigit;
  }
  return is_str(status, "empty") ? calibration::CellState::kEmpty
                                 : calibration::CellState::kUnknown;
}

void add_picture_items(PyObject* result, calibration::PictureInput* picture) {
  PyObject* items = dict_value(result, kOcrItems);
  if (items == Py_None) {
    return;
  }
  const Py_ssize_t count = sequence_size(items);
  for (Py_ssize_t i = 0; i < count; ++i) {
    const Ref held = sequence_item(items, i);
    PyObject* item = held.get();
    if (!PyDict_Check(item) || dict_value(item, kBox) == Py_None) {
      continue;
    }
    PyObject* chr = dict_value(item, kChar);
    const Ref text = chr == Py_None ? pyglue::new_str("") : pyglue::check(PyObject_Str(chr));
    PyObject* confidence = dict_value(item, kConfidence);
    const double conf = confidence == Py_None ? 0.0 : pyglue::python_float(confidence);
    if (is_str(dict_value(item, kKind), "separator")) {
      picture->separator = calibration::PictureSeparator{
          box_of(dict_value(item, kBox)), std::string(pyglue::utf8(text.get())),
          is_str(dict_value(item, kStatus), "separator"), conf};
      continue;
    }
    calibration::PictureCell cell;
    cell.box = box_of(dict_value(item, kBox));
    if (PyObject* glyph = dict_value(item, kGlyphBox); glyph != Py_None) {
      cell.glyph_box = box_of(glyph);
    }
    cell.state = cell_state(dict_value(item, kStatus));
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
  picture.valid = pyglue::truth(dict_value(result.get(), kValid));
  const Ref caption =
      pyglue::check(PyObject_Str(dict_value(result.get(), picture.valid ? kValue : kReason)));
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
  module.add_function<calibration_glue::trust_reading>("trust_reading", kTrustReadingDoc);
  module.add_function<py_render_reading>("render_reading", kRenderReadingDoc);
}

}  // namespace native_ocr::zonescan
