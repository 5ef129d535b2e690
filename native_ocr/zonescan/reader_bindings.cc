// The score, period and single-digit readers (each from a crop, from a decoded frame and from a
// preview file) and _read_slots, which hands slots to the classifier module.
#include <optional>
#include <string_view>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/zonescan/bindings.h"
#include "native_ocr/zonescan/display.h"
#include "native_ocr/zonescan/readers.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Name;
using pyglue::Ref;

const Name kValue("value"), kDigits("digits"), kValid("valid"), kReason("reason"),
    kOcrItems("ocr_items"), kGeometryItems("geometry_items"), kDebug("debug"), kAngle("angle"),
    kCropSize("crop_size"), kLayoutKey("layout");
const Name kStatus("status"), kChar("char"), kGet("get");
const Name kOk("ok"), kNoFrame("no_frame"), kLayoutReason("layout");

using Prepared = ReaderDisplay;  // the display a reader works on

// {"value": None, "valid": False, "reason": reason}, then the extra key if any.
Ref early_result(const Name& reason, const Name* key = nullptr, Ref extra = Ref()) {
  pyglue::DictBuilder builder;
  builder.set(kValue, pyglue::none())
      .set(kValid, pyglue::new_bool(false))
      .set(kReason, Ref::borrow(reason.get()));
  if (key != nullptr) {
    builder.set(*key, std::move(extra));
  }
  return builder.build();
}

struct Outcome {
  Ref value;
  Ref digits;
  bool valid = false;
  Ref reason;
};

Ref full_result(Outcome outcome, Ref items, Ref layout, const Prepared& prepared) {
  Ref debug =
      pyglue::DictBuilder()
          .set(kAngle, pyglue::new_float(python_round(prepared.angle, 2)))
          .set(kCropSize, pyglue::new_int_list({prepared.binary.cols, prepared.binary.rows}))
          .set(kLayoutKey, layout)
          .build();
  return pyglue::DictBuilder()
      .set(kValue, std::move(outcome.value))
      .set(kDigits, std::move(outcome.digits))
      .set(kValid, pyglue::new_bool(outcome.valid))
      .set(kReason, std::move(outcome.reason))
      .set(kOcrItems, std::move(items))
      .set(kGeometryItems, std::move(layout))
      .set(kDebug, std::move(debug))
      .build();
}

// native_ocr.segsense.read_slots(binary, slots), the module looked up (and imported on first
// use) at every call.
Ref classifier_read_slots(PyObject* binary, PyObject* slots) {
  static const Name kModule("native_ocr.segsense"), kReadSlots("read_slots");
  Ref module = module_named(kModule);
  Ref read_slots = pyglue::check(PyObject_GetAttr(module.get(), kReadSlots.get()));
  return pyglue::check(PyObject_CallFunctionObjArgs(read_slots.get(), binary, slots, nullptr));
}

// The classifier's results for the layout of `role` over a prepared display.
Ref read_layout(const Prepared& prepared, const Layout& layout, Ref* layout_list) {
  *layout_list = slot_list(layout);
  Ref binary = pyglue::new_array(prepared.binary);
  return classifier_read_slots(binary.get(), layout_list->get());
}

// item.get(key) of a slot result.
Ref result_get(PyObject* item, const Name& key) {
  if (PyDict_Check(item)) {
    PyObject* v = PyDict_GetItemWithError(item, key.get());
    if (v == nullptr && PyErr_Occurred()) {
      throw pyglue::PythonError();
    }
    return Ref::borrow(v ? v : Py_None);
  }
  return pyglue::check(PyObject_CallMethodObjArgs(item, kGet.get(), key.get(), nullptr));
}

bool is_digit_status(PyObject* status) {
  return PyUnicode_Check(status) && PyUnicode_CompareWithASCIIString(status, "digit") == 0;
}

// Status and digit of a slot result; the digit is int(char) when the status is "digit".
SlotOutcome outcome_of(PyObject* item) {
  const Ref status = pyglue::get_item(item, kStatus);
  SlotOutcome out;
  out.status = PyUnicode_Check(status.get()) ? slot_status(pyglue::utf8(status.get()))
                                             : SlotStatus::kUnknown;
  if (out.status == SlotStatus::kDigit) {
    out.digit = pyglue::python_int(result_get(item, kChar).get());
  }
  return out;
}

Ref optional_int(const std::optional<int64_t>& v) {
  return v ? pyglue::new_int(*v) : pyglue::none();
}

Ref list_of(std::initializer_list<PyObject*> items) {
  Ref list = pyglue::check(PyList_New(static_cast<Py_ssize_t>(items.size())));
  Py_ssize_t i = 0;
  for (PyObject* item : items) {
    PyList_SetItem(list.get(), i++, Ref::borrow(item).release());
  }
  return list;
}

Ref read_score_from_crop(PyObject* crop, PyObject* role, PyObject* processing) {
  const auto prepared = prepare_reader_display(crop, processing);
  if (!prepared) {
    return early_result(kNoFrame);
  }
  static const Name kHomeScore("home_score");
  PyObject* chosen = role != nullptr && pyglue::truth(role) ? role : kHomeScore.get();
  pyglue::require_exact_str(chosen, "role");
  Ref layout;
  Ref items = read_layout(
      *prepared,
      layout_for_role(pyglue::utf8(chosen), prepared->binary.cols, prepared->binary.rows), &layout);
  if (pyglue::check_status(static_cast<int>(PySequence_Size(items.get()))) != 2) {
    return early_result(kLayoutReason, &kOcrItems, std::move(items));
  }
  const Ref tens = pyglue::check(PySequence_GetItem(items.get(), 0));
  const Ref units = pyglue::check(PySequence_GetItem(items.get(), 1));
  const Decision reading = decide_score(outcome_of(tens.get()), outcome_of(units.get()));
  Ref digits = list_of({result_get(tens.get(), kChar).get(), result_get(units.get(), kChar).get()});
  return full_result({optional_int(reading.value), std::move(digits), reading.valid,
                      pyglue::new_str(reading.reason)},
                     std::move(items), std::move(layout), *prepared);
}

// The one-digit result for the first slot result: "ok" when it holds a digit (and, when
// `decimal_text` is set, the text of its char is decimal digits), else the slot's own status.
Outcome single_outcome(PyObject* items, bool decimal_text) {
  const Ref item = pyglue::check(PySequence_GetItem(items, 0));
  const Ref status = pyglue::get_item(item.get(), kStatus);
  const Ref chr = result_get(item.get(), kChar);
  bool valid = is_digit_status(status.get());
  Outcome out;
  out.value = pyglue::none();
  if (valid && decimal_text) {
    const Ref text = pyglue::check(PyObject_Str(chr.get()));
    const std::string_view digits = pyglue::utf8(text.get());
    valid = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (valid) {
      out.value = pyglue::new_int(pyglue::python_int(chr.get()));
    }
  } else if (valid) {
    out.value = chr;
  }
  out.valid = valid;
  out.reason = valid ? Ref::borrow(kOk.get()) : status;
  out.digits = list_of({chr.get()});
  return out;
}

Ref read_period_from_crop(PyObject* crop, PyObject* processing) {
  const auto prepared = prepare_reader_display(crop, processing);
  if (!prepared) {
    return early_result(kNoFrame);
  }
  Ref layout;
  Ref items = read_layout(
      *prepared, layout_for_role("period", prepared->binary.cols, prepared->binary.rows), &layout);
  Outcome outcome = single_outcome(items.get(), false);
  return full_result(std::move(outcome), std::move(items), std::move(layout), *prepared);
}

// The role's text when it is one of the single-digit roles.
std::optional<std::string_view> single_digit_role(PyObject* role) {
  if (role == nullptr || !PyUnicode_Check(role)) {
    return std::nullopt;
  }
  const std::string_view text = pyglue::utf8(role);
  if (text == "down" || text == "home_timeouts" || text == "guest_timeouts") {
    return text;
  }
  return std::nullopt;
}

Ref read_single_digit_from_crop(PyObject* crop, PyObject* role, PyObject* processing) {
  const auto name = single_digit_role(role);
  if (!name) {
    return early_result(kLayoutReason);
  }
  const auto prepared = prepare_reader_display(crop, processing);
  if (!prepared) {
    return early_result(kNoFrame);
  }
  const Layout layout = layout_for_role(*name, prepared->binary.cols, prepared->binary.rows);
  if (layout.size() != 1 || layout[0].kind != SlotKind::kDigit) {
    return early_result(kLayoutReason, &kGeometryItems, slot_list(layout));
  }
  Ref layout_list;
  Ref items = read_layout(*prepared, layout, &layout_list);
  Outcome outcome = single_outcome(items.get(), true);
  return full_result(std::move(outcome), std::move(items), std::move(layout_list), *prepared);
}

// The zone's role and processing settings, as the module's own _role and _processing give them.
Ref zone_lookup(const char* function, PyObject* zone) {
  return call_zonescan_function(function, {zone});
}

enum class Reader { kScore, kPeriod, kSingleDigit };

// A reader on the zone's crop of a decoded frame (None: the "no_frame" result).
Ref read_zone(Reader reader, PyObject* zone, PyObject* image) {
  Ref role = reader == Reader::kPeriod ? Ref() : zone_lookup("_role", zone);
  Ref crop = crop_zone_from_image(zone, image);
  Ref processing = zone_lookup("_processing", zone);
  switch (reader) {
    case Reader::kScore:
      return read_score_from_crop(crop.get(), role.get(), processing.get());
    case Reader::kPeriod:
      return read_period_from_crop(crop.get(), processing.get());
    case Reader::kSingleDigit:
      return read_single_digit_from_crop(crop.get(), role.get(), processing.get());
  }
  return pyglue::none();
}

Ref py_read_slots(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("_read_slots", {"binary", "slots"}, 2);
  auto [binary, slots] = kSig.parse(args, kwargs);
  return classifier_read_slots(binary, slots);
}

Ref py_read_score_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_score_from_crop", {"crop", "role", "processing"},
                                             1);
  auto [crop, role, processing] = kSig.parse(args, kwargs);
  return read_score_from_crop(crop, role, processing);
}

Ref py_read_period_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("read_period_from_crop", {"crop", "processing"}, 1);
  auto [crop, processing] = kSig.parse(args, kwargs);
  return read_period_from_crop(crop, processing);
}

Ref py_read_single_digit_from_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("read_single_digit_from_crop",
                                             {"crop", "role", "processing"}, 2);
  auto [crop, role, processing] = kSig.parse(args, kwargs);
  return read_single_digit_from_crop(crop, role, processing);
}

template <Reader R>
Ref py_read_from_image(PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"read_score_from_image", "read_period_from_image",
                                           "read_single_digit_from_image"};
  static constexpr pyglue::Signature<2> kSig(kNames[static_cast<int>(R)], {"zone", "image"}, 2);
  auto [zone, image] = kSig.parse(args, kwargs);
  return read_zone(R, zone, image);
}

template <Reader R>
Ref py_read_from_file(PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"read_score", "read_period", "read_single_digit"};
  static constexpr pyglue::Signature<2> kSig(kNames[static_cast<int>(R)], {"zone", "preview_path"},
                                             2);
  auto [zone, path] = kSig.parse(args, kwargs);
  Ref image = decode_bgr_image(path);
  return read_zone(R, zone, image.get());
}

}  // namespace

void add_reader_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_slots>(
      "_read_slots",
      "_read_slots(binary, slots)\n--\n\nnative_ocr.segsense.read_slots(binary, slots), the "
      "classifier imported on first use.");
  module.add_function<py_read_score_from_crop>(
      "read_score_from_crop",
      "read_score_from_crop(crop, role='home_score', processing=None)\n--\n\nReads a two-digit "
      "field from a zone crop.");
  module.add_function<py_read_from_image<Reader::kScore>>(
      "read_score_from_image",
      "read_score_from_image(zone, image)\n--\n\nReads a two-digit field from a decoded frame.");
  module.add_function<py_read_from_file<Reader::kScore>>(
      "read_score",
      "read_score(zone, preview_path)\n--\n\nReads a two-digit field from a preview file.");
  module.add_function<py_read_period_from_crop>(
      "read_period_from_crop",
      "read_period_from_crop(crop, processing=None)\n--\n\nReads the period digit from a crop.");
  module.add_function<py_read_from_image<Reader::kPeriod>>(
      "read_period_from_image",
      "read_period_from_image(zone, image)\n--\n\nReads the period digit from a decoded frame.");
  module.add_function<py_read_from_file<Reader::kPeriod>>(
      "read_period",
      "read_period(zone, preview_path)\n--\n\nReads the period digit from a preview file.");
  module.add_function<py_read_single_digit_from_crop>(
      "read_single_digit_from_crop",
      "read_single_digit_from_crop(crop, role, processing=None)\n--\n\nReads a one-digit counter "
      "(down, home_timeouts, guest_timeouts) from a crop.");
  module.add_function<py_read_from_image<Reader::kSingleDigit>>(
      "read_single_digit_from_image",
      "read_single_digit_from_image(zone, image)\n--\n\nReads a one-digit counter from a decoded "
      "frame.");
  module.add_function<py_read_from_file<Reader::kSingleDigit>>(
      "read_single_digit",
      "read_single_digit(zone, preview_path)\n--\n\nReads a one-digit counter from a preview "
      "file.");
}

}  // namespace native_ocr::zonescan
