// Segment strengths, activations, pattern scores and the ranking, and the pattern constants.
#include <string>
#include <vector>

#include "native_ocr/segsense/python/bindings.h"

namespace native_ocr::segsense {
namespace {

using pyglue::Name;
using pyglue::Ref;

cv::Mat binarized_frame(PyObject* array) {
  const DisplayBuffer display(array);
  cv::Mat frame;
  display.binarize_all(&frame);
  return frame;
}

// The items of any iterable, which must number exactly kSegmentCount.
std::vector<Ref> seven_items(PyObject* iterable, const char* what) {
  Ref iterator = pyglue::check(PyObject_GetIter(iterable));
  std::vector<Ref> items;
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (items.size() == kSegmentCount) {
      throw pyglue::ValueError(std::string(what) + " must have 7 items (segments A to G)");
    }
    items.push_back(std::move(item));
  }
  if (PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  if (items.size() != kSegmentCount) {
    throw pyglue::ValueError(std::string(what) + " must have 7 items (segments A to G), got " +
                             std::to_string(items.size()));
  }
  return items;
}

double number(PyObject* value) {
  const double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return v;
}

Ref pattern_tuple(const Pattern& pattern) {
  Ref tuple = pyglue::check(PyTuple_New(kSegmentCount));
  for (int i = 0; i < kSegmentCount; ++i) {
    PyTuple_SetItem(tuple.get(), i, pyglue::new_int(pattern[i]).release());
  }
  return tuple;
}

Ref py_segment_strengths(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_segment_strengths", {"frame"}, 1);
  auto [frame] = kSig.parse(args, kwargs);
  return new_float_list(segment_strengths(binarized_frame(frame)), false);
}

Ref py_activations(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_activations", {"strengths"}, 1);
  auto [strengths] = kSig.parse(args, kwargs);
  Ref iterator = pyglue::check(PyObject_GetIter(strengths));
  Ref out = pyglue::check(PyList_New(0));
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    Ref value = pyglue::new_float(activation(number(item.get())));
    pyglue::check_status(PyList_Append(out.get(), value.get()));
  }
  if (PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return out;
}

Ref py_score_pattern(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("_score_pattern", {"acts", "pattern"}, 2);
  auto [acts_obj, pattern_obj] = kSig.parse(args, kwargs);
  const std::vector<Ref> act_items = seven_items(acts_obj, "acts");
  const std::vector<Ref> pattern_items = seven_items(pattern_obj, "pattern");
  std::array<double, kSegmentCount> acts;
  std::array<bool, kSegmentCount> expected;
  for (size_t i = 0; i < kSegmentCount; ++i) {
    acts[i] = number(act_items[i].get());
    expected[i] = pyglue::truth(pattern_items[i].get());
  }
  return pyglue::new_float(score_pattern(acts, expected));
}

Ref py_classify_frame(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_classify_frame", {"frame"}, 1);
  auto [frame] = kSig.parse(args, kwargs);
  const Classification c = classify_frame(binarized_frame(frame));
  Ref value = c.value ? pyglue::new_int(*c.value) : pyglue::none();
  Ref confidence = pyglue::new_float(c.confidence);
  Ref strengths = new_float_list(c.strengths, false);
  Ref acts = new_float_list(c.activations, false);
  Ref best = new_candidate_dict(c.best);
  Ref second = new_candidate_dict(c.second);
  return pyglue::check(PyTuple_Pack(6, value.get(), confidence.get(), strengths.get(), acts.get(),
                                    best.get(), second.get()));
}

Ref digit_patterns() {
  Ref patterns = pyglue::check(PyDict_New());
  for (const DigitPattern& p : kDigitPatterns) {
    Ref key = pyglue::new_int(p.digit);
    PyObject* list = PyDict_GetItemWithError(patterns.get(), key.get());  // borrowed
    Ref owned;
    if (list == nullptr) {
      if (PyErr_Occurred()) {
        throw pyglue::PythonError();
      }
      owned = pyglue::check(PyList_New(0));
      pyglue::check_status(PyDict_SetItem(patterns.get(), key.get(), owned.get()));
      list = owned.get();
    }
    Ref tuple = pattern_tuple(p.pattern);
    pyglue::check_status(PyList_Append(list, tuple.get()));
  }
  return patterns;
}

Ref segment_names() {
  Ref names = pyglue::check(PyTuple_New(kSegmentCount));
  for (int i = 0; i < kSegmentCount; ++i) {
    PyTuple_SetItem(names.get(), i, pyglue::new_str(kSegmentNames[i]).release());
  }
  return names;
}

}  // namespace

Ref new_candidate_dict(const Candidate& c) {
  static const Name kDigit("digit"), kVariant("variant"), kPattern("pattern"), kScore("score");
  return pyglue::DictBuilder()
      .set(kDigit, pyglue::new_int(c.digit))
      .set(kVariant, pyglue::new_int(c.variant))
      .set(kPattern, pattern_tuple(c.pattern))
      .set(kScore, pyglue::new_float(c.score))
      .build();
}

void add_classifier_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_segment_strengths>("_segment_strengths", nullptr);
  module.add_function<py_activations>("_activations", nullptr);
  module.add_function<py_score_pattern>("_score_pattern", nullptr);
  module.add_function<py_classify_frame>("_classify_frame", nullptr);
  module.add_constant("SEGMENT_NAMES", segment_names);
  module.add_constant("HORIZONTAL_PROBE_CENTER_SPAN",
                      [] { return pyglue::new_float(kHorizontalProbeCenterSpan); });
  module.add_constant("DIGIT_PATTERNS", digit_patterns);
}

}  // namespace native_ocr::segsense
