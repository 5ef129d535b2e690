// The clock reader: read_clock_from_crop, read_clock_from_image, read_clock, read_clock_zone.
#include <optional>
#include <string>
#include <vector>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/zonescan/bindings.h"
#include "native_ocr/zonescan/clock_reader.h"
#include "native_ocr/zonescan/display.h"
#include "native_ocr/zonescan/docstrings.h"
#include "native_ocr/zonescan/separator/separator_detector.h"
#include "native_ocr/zonescan/separator_dicts.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Name;
using pyglue::Ref;

const Name kValue("value"), kRawValue("raw_value"), kDigits("digits"), kDigitItems("digit_items"),
    kOcrItems("ocr_items"), kGeometryItems("geometry_items"), kSeparatorX("separator_x"),
    kSeparatorChar("separator_char"), kClockMode("clock_mode"), kValid("valid"), kStable("stable"),
    kAccepted("accepted"), kReason("reason"), kDebug("debug"), kAngle("angle"),
    kCropSize("crop_size"), kLayout("layout"), kSeparator("separator");
const Name kKind("kind"), kChar("char"), kStatus("status"), kConfidence("confidence"), kBox("box");

Ref no_frame() {
  static const Name kNoFrame("no_frame");
  return pyglue::DictBuilder()
      .set(kValue, pyglue::none())
      .set(kValid, pyglue::new_bool(false))
      .set(kReason, Ref::borrow(kNoFrame.get()))
      .build();
}

// item.get("char") of a slot result.
Ref char_of(PyObject* item) {
  static const Name kGet("get");
  return pyglue::check(PyObject_CallMethodObjArgs(item, kGet.get(), kChar.get(), Py_None, nullptr));
}

ClockCell cell_of(PyObject* item) {
  const Ref status = pyglue::get_item(item, kStatus);
  ClockCell cell;
  cell.status = PyUnicode_Check(status.get()) ? slot_status(pyglue::utf8(status.get()))
                                              : SlotStatus::kUnknown;
  if (cell.status == SlotStatus::kDigit) {
    Ref text = pyglue::check(PyObject_Str(char_of(item).get()));
    cell.text = std::string(pyglue::utf8(text.get()));
  }
  return cell;
}

// The prepared display and the detector's separator for a crop; none without a crop.
struct PreparedClock {
  ReaderDisplay display;
  std::optional<SeparatorDetection> detection;
};

std::optional<PreparedClock> prepare_clock(PyObject* crop, PyObject* processing) {
  std::optional<SeparatorDetection> detection;
  // Coordinates of the separator are unrotated crop pixels, whatever the rotation setting.
  std::optional<ReaderDisplay> display =
      prepare_reader_display(crop, processing, [&detection](const cv::Mat& pixels) {
        detection = detect_clock_separator_without_regions(pixels, 0.0);
      });
  if (!display) {
    return std::nullopt;
  }
  return PreparedClock{std::move(*display), std::move(detection)};
}

std::string role_or_clock(PyObject* role) {
  if (role == nullptr || !pyglue::truth(role)) {
    return "clock";
  }
  pyglue::require_exact_str(role, "role");
  return std::string(pyglue::utf8(role));
}

Ref separator_item(const ClockSeparator& separator, const Layout& layout) {
  const Slot* slot = find_separator(layout);
  return pyglue::DictBuilder()
      .set(kKind, pyglue::new_str("separator"))
      .set(kChar, pyglue::new_str(separator.separator_char()))
      .set(kStatus, pyglue::new_str(separator.status()))
      .set(kConfidence, pyglue::new_float(separator.confidence))
      .set(kBox,
           slot ? pyglue::new_int_list({slot->box[0], slot->box[1], slot->box[2], slot->box[3]})
                : pyglue::none())
      .build();
}

ClockSeparator clock_separator(const std::optional<SeparatorDetection>& detection) {
  ClockSeparator s;
  if (detection) {
    s.found = true;
    s.x = detection->x;
    s.decimal_point = !detection->colon;
    s.confidence = detection->confidence;
  }
  return s;
}

struct ClockItems {
  Ref ocr_items;
  Ref digits;
  std::optional<std::string> value;
};

// Splits the slot results into the two sides around the separator item and reads the clock.
ClockItems read_items(PyObject* digit_items, const ClockSeparator& separator,
                      const Layout& layout) {
  Ref items = pyglue::check(PySequence_List(digit_items));
  const Py_ssize_t n = PyList_Size(items.get());
  ClockItems out;
  out.ocr_items = pyglue::check(PyList_New(0));
  out.digits = pyglue::check(PyList_New(0));
  std::vector<ClockCell> left, right;
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PyList_GetItem(items.get(), i);
    pyglue::check_status(PyList_Append(out.digits.get(), char_of(item).get()));
    if (i == 2) {
      pyglue::check_status(
          PyList_Append(out.ocr_items.get(), separator_item(separator, layout).get()));
    }
    if (i < 4) {
      (i < 2 ? left : right).push_back(cell_of(item));
      pyglue::check_status(PyList_Append(out.ocr_items.get(), item));
    }
  }
  if (n < 3) {
    pyglue::check_status(
        PyList_Append(out.ocr_items.get(), separator_item(separator, layout).get()));
  }
  out.value = clock_value(left, right, separator.decimal_point);
  return out;
}

Ref read_clock_from_crop(PyObject* crop, PyObject* role, PyObject* processing) {
  const std::optional<PreparedClock> prepared = prepare_clock(crop, processing);
  if (!prepared) {
    return no_frame();
  }
  const ClockSeparator separator = clock_separator(prepared->detection);
  const Layout layout = layout_for_role(role_or_clock(role), prepared->display.binary.cols,
                                        prepared->display.binary.rows, separator.x);
  Ref layout_list = slot_list(layout);
  Ref binary = pyglue::new_array(prepared->display.binary);
  Ref digit_items = call_zonescan_function("_read_slots", {binary.get(), layout_list.get()});
  ClockItems items = read_items(digit_items.get(), separator, layout);
  Ref detection = prepared->detection ? detection_dict(*prepared->detection) : pyglue::none();
  Ref debug =
      pyglue::DictBuilder()
          .set(kAngle, pyglue::new_float(python_round(prepared->display.angle, 2)))
          .set(kCropSize,
               pyglue::new_int_list({prepared->display.binary.cols, prepared->display.binary.rows}))
          .set(kLayout, layout_list)
          .set(kSeparator, detection)
          .build();
  Ref value = items.value ? pyglue::new_str(*items.value) : pyglue::none();
  const bool valid = items.value.has_value();
  return pyglue::DictBuilder()
      .set(kValue, value)
      .set(kRawValue, value)
      .set(kDigits, std::move(items.digits))
      .set(kDigitItems, std::move(digit_items))
      .set(kOcrItems, std::move(items.ocr_items))
      .set(kGeometryItems, layout_list)
      .set(kSeparatorX, separator.x ? pyglue::new_float(*separator.x) : pyglue::none())
      .set(kSeparatorChar, pyglue::new_str(separator.separator_char()))
      .set(kClockMode, pyglue::new_str(separator.mode()))
      .set(kValid, pyglue::new_bool(valid))
      .set(kStable, pyglue::new_bool(true))
      .set(kAccepted, pyglue::new_bool(valid))
      .set(kReason, pyglue::new_str(valid ? "raw" : "unrecognized"))
      .set(kDebug, std::move(debug))
      .build();
}

Ref read_clock_from_image(PyObject* zone, PyObject* image) {
  Ref crop = crop_zone_from_image(zone, image);
  Ref role = call_zonescan_function("_role", {zone});
  Ref processing = call_zonescan_function("_processing", {zone});
  return read_clock_from_crop(crop.get(), role.get(), processing.get());
}

Ref py_read_clock_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_clock_from_crop", {"crop", "role", "processing"},
                                             1);
  auto [crop, role, processing] = kSig.parse(args, kwargs);
  return read_clock_from_crop(crop, role, processing);
}

Ref py_read_clock_from_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("read_clock_from_image", {"zone", "image"}, 2);
  auto [zone, image] = kSig.parse(args, kwargs);
  return read_clock_from_image(zone, image);
}

template <const char* kName>
Ref py_read_clock(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig(kName, {"zone", "preview_path"}, 2);
  auto [zone, path] = kSig.parse(args, kwargs);
  Ref image = decode_bgr_image(path);
  return read_clock_from_image(zone, image.get());
}

constexpr char kReadClock[] = "read_clock";
constexpr char kReadClockZone[] = "read_clock_zone";

}  // namespace

void add_clock_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_clock_from_crop>("read_clock_from_crop", kReadClockFromCropDoc);
  module.add_function<py_read_clock_from_image>("read_clock_from_image", kReadClockFromImageDoc);
  module.add_function<py_read_clock<kReadClock>>("read_clock", kReadClockDoc);
  module.add_function<py_read_clock<kReadClockZone>>("read_clock_zone", kReadClockZoneDoc);
}

}  // namespace native_ocr::zonescan
