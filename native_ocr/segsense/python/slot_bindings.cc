// read_slots, read_digit_slot, _clip_box and _as01, and the slot result dictionaries.
#include <string>

#include "native_ocr/segsense/decimal_round.h"
#include "native_ocr/segsense/python/bindings.h"
#include "native_ocr/segsense/python/docstrings.h"

namespace native_ocr::segsense {
namespace {

using pyglue::Name;
using pyglue::Ref;

// Activation from which a segment counts as on.
constexpr double kSegmentOn = 0.5;

Ref str_ref(const Name& name) {
  return Ref::borrow(name.get());
}

// dict(slot): a copy for a dictionary, the dictionary constructor for anything else.
Ref copy_slot(PyObject* slot) {
  if (PyDict_CheckExact(slot)) {
    return pyglue::check(PyDict_Copy(slot));
  }
  return pyglue::check(
      PyObject_CallFunctionObjArgs(reinterpret_cast<PyObject*>(&PyDict_Type), slot, nullptr));
}

class ResultSetter {
 public:
  explicit ResultSetter(PyObject* dict) : dict_(dict) {}
  const ResultSetter& operator()(const Name& key, const Ref& value) const {
    pyglue::check_status(PyDict_SetItem(dict_, key.get(), value.get()));
    return *this;
  }

 private:
  PyObject* dict_;
};

const Name kBox("box"), kGlyphBox("glyph_box"), kChar("char"), kStatus("status"),
    kConfidence("confidence"), kEmptyConfidence("empty_confidence"), kInkRatio("ink_ratio");
const Name kDigit("digit"), kEmpty("empty"), kUnknown("unknown");

void set_empty_shape(const ResultSetter& set, const SlotReading& r) {
  set(kBox, pyglue::new_int_list_from(r.box))(kChar, pyglue::none())(kStatus, str_ref(kEmpty));
  set(kConfidence, pyglue::new_float(r.confidence))(kEmptyConfidence,
                                                    pyglue::new_float(r.empty_confidence));
  set(kInkRatio, pyglue::new_float(r.ink_ratio));
}

void set_segments(const ResultSetter& set, const Classification& c) {
  static const Name kSegments("segments"), kFills("fills"), kSegmentNames("segment_names"),
      kStrengths("segment_strengths"), kActivation("segment_activation");
  static const Name kLetters[kSegmentCount] = {Name("A"), Name("B"), Name("C"), Name("D"),
                                               Name("E"), Name("F"), Name("G")};
  Ref on = pyglue::check(PyList_New(kSegmentCount));
  Ref names = pyglue::check(PyList_New(kSegmentCount));
  for (int i = 0; i < kSegmentCount; ++i) {
    PyList_SetItem(on.get(), i, pyglue::new_int(c.activations[i] >= kSegmentOn ? 1 : 0).release());
    PyList_SetItem(names.get(), i, str_ref(kLetters[i]).release());
  }
  set(kSegments, on)(kFills, new_float_list(c.strengths, true))(kSegmentNames, names);
  set(kStrengths, new_float_list(c.strengths, true));
  set(kActivation, new_float_list(c.activations, true));
}

void set_candidates(const ResultSetter& set, const Classification& c) {
  static const Name kMatched("matched_pattern"), kVariant("pattern_variant"),
      kScore("pattern_score"), kRunnerUp("runner_up"), kRunnerUpScore("runner_up_score");
  set(kMatched, pyglue::new_int_list_from(c.best.pattern));
  set(kVariant, pyglue::new_int(c.best.variant))(kScore, pyglue::new_float(round3(c.best.score)));
  set(kRunnerUp, pyglue::new_int(c.second.digit));
  set(kRunnerUpScore, pyglue::new_float(round3(c.second.score)));
}

void set_read_shape(PyObject* dict, const SlotReading& r) {
  const ResultSetter set(dict);
  static const Name kSamples("geometry_samples"), kLocked("geometry_locked"),
      kObserved("observed_width_ratio"), kLearnedLeft("learned_left"),
      kLearnedRight("learned_right"), kLearnedRatio("learned_width_ratio");
  const Classification& c = r.classification;
  set(kBox, pyglue::new_int_list_from(r.box))(kGlyphBox, pyglue::new_int_list_from(r.glyph_box));
  set(kChar, c.value ? pyglue::new_int(*c.value) : pyglue::none());
  set(kStatus, str_ref(c.value ? kDigit : kUnknown));
  set(kConfidence, pyglue::new_float(r.confidence));
  set(kEmptyConfidence, pyglue::new_float(r.empty_confidence));
  set(kInkRatio, pyglue::new_float(r.ink_ratio));
  set_segments(set, c);
  set_candidates(set, c);
  static const Name kGeometrySource("geometry_source"), kDisabled("disabled");
  set(kGeometrySource, str_ref(kDisabled));
  set_frame_fields(dict, r.frame, true);
  set(kSamples, pyglue::new_int(0))(kLocked, pyglue::new_bool(false));
  set(kObserved, pyglue::new_float(round3(r.observed_width_ratio)));
  set(kLearnedLeft, pyglue::none())(kLearnedRight, pyglue::none());
  set(kLearnedRatio, pyglue::none());
}

// One digit slot of an opened display, with scratch space reused across slots.
Ref read_one(const DisplayBuffer& display, PyObject* slot, CellScratch* scratch) {
  static const Name kBoxKey("box");
  const Ref box = pyglue::get_item(slot, kBoxKey);
  const Box raw = box_argument(box.get());
  return new_slot_result(slot, read_slot(display.view(), raw, scratch));
}

// Whether slot.get("kind") == "digit".
bool is_digit_slot(PyObject* slot) {
  static const Name kGet("get"), kKind("kind");
  Ref kind = pyglue::check(PyObject_CallMethodObjArgs(slot, kGet.get(), kKind.get(), nullptr));
  return pyglue::check_status(PyObject_RichCompareBool(kind.get(), kDigit.get(), Py_EQ)) == 1;
}

Ref py_read_slots(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("read_slots", {"binary", "slots"}, 2);
  auto [binary, slots] = kSig.parse(args, kwargs);
  Ref iterator = pyglue::check(PyObject_GetIter(slots));
  Ref results = pyglue::check(PyList_New(0));
  std::optional<DisplayBuffer> display;  // opened at the first digit slot
  CellScratch scratch;
  while (Ref slot = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!is_digit_slot(slot.get())) {
      continue;
    }
    if (!display) {
      display.emplace(binary);
    }
    Ref result = read_one(*display, slot.get(), &scratch);
    pyglue::check_status(PyList_Append(results.get(), result.get()));
  }
  if (PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return results;
}

Ref py_read_digit_slot(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("read_digit_slot", {"binary", "slot"}, 2);
  auto [binary, slot] = kSig.parse(args, kwargs);
  const DisplayBuffer display(binary);
  CellScratch scratch;
  return read_one(display, slot, &scratch);
}

Ref py_clip_box(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("_clip_box", {"box", "width", "height"}, 3);
  auto [box, width, height] = kSig.parse(args, kwargs);
  const Box raw = box_argument(box);
  return pyglue::new_int_list_from(
      clip_box(raw, pyglue::python_int(width), pyglue::python_int(height)));
}

Ref py_as01(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_as01", {"image"}, 1);
  auto [image] = kSig.parse(args, kwargs);
  const DisplayBuffer display(image);
  cv::Mat cell;
  display.binarize_all(&cell);
  return new_cell_array(cell, display.rows(), display.cols());
}

}  // namespace

Ref new_slot_result(PyObject* slot, const SlotReading& reading) {
  Ref result = copy_slot(slot);
  const ResultSetter set(result.get());
  if (reading.empty) {
    set_empty_shape(set, reading);
  } else {
    set_read_shape(result.get(), reading);
  }
  return result;
}

Box box_argument(PyObject* box) {
  Ref iterator = pyglue::check(PyObject_GetIter(box));
  Box out{};
  size_t count = 0;
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (count == out.size()) {
      throw pyglue::ValueError("too many values to unpack (expected 4)");
    }
    out[count++] = pyglue::python_int(item.get());
  }
  if (PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  if (count < out.size()) {
    throw pyglue::ValueError("not enough values to unpack (expected 4, got " +
                             std::to_string(count) + ")");
  }
  return out;
}

Ref new_float_list(const Segments& values, bool round_to_3) {
  return pyglue::new_list_of(
      values, [round_to_3](double v) { return pyglue::new_float(round_to_3 ? round3(v) : v); });
}

void add_slot_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_read_slots>("read_slots", kReadSlotsDoc);
  module.add_function<py_read_digit_slot>("read_digit_slot", kReadDigitSlotDoc);
  module.add_function<py_clip_box>(
      "_clip_box", "_clip_box(box, width, height)\n--\n\nThe box clamped into the display.");
  module.add_function<py_as01>(
      "_as01",
      "_as01(image)\n--\n\nA new uint8 array: 1 where the element (maximum over channels) > 0.");
}

}  // namespace native_ocr::segsense
