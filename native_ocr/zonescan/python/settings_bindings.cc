// DEFAULT_PROCESSING, SINGLE_DIGIT_ROLES, normalize_settings, _processing, _role, layout_for_role.
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/reader_entry.h"
#include "native_ocr/zonescan/python/result_dicts.h"
#include "native_ocr/zonescan/python/zone_arguments.h"

namespace native_ocr::zonescan {
namespace {

const pyglue::Name kThreshold("threshold"), kContrast("contrast"), kBrightness("brightness"),
    kGamma("gamma"), kRotation("rotation"), kBlur("blur"), kMorphology("morphology"),
    kMorphSize("morph_size"), kGrayscale("grayscale"), kBinarize("binarize"), kInvert("invert");
const pyglue::Name kMorphologyNameObjects[] = {pyglue::Name("none"), pyglue::Name("dilate"),
                                               pyglue::Name("erode"), pyglue::Name("close"),
                                               pyglue::Name("open")};
const pyglue::Name kClassifier("classifier");
const pyglue::Name kClassifierNameObjects[] = {pyglue::Name("segments"), pyglue::Name("learned")};
const pyglue::Name kPolarity("polarity"), kSlant("slant"), kClockCells("clock_cells");
const pyglue::Name kPolarityNameObjects[] = {pyglue::Name("light"), pyglue::Name("dark")};
const pyglue::Name kUpdate("update"), kProcessing("processing"), kRole("role");

pyglue::Ref morphology_str(Morphology m) {
  return pyglue::Ref::borrow(kMorphologyNameObjects[static_cast<size_t>(m)].get());
}

pyglue::Ref settings_dict(const ProcessingSettings& s) {
  return pyglue::DictBuilder()
      .set(kThreshold, pyglue::new_int(s.threshold))
      .set(kContrast, pyglue::new_float(s.contrast))
      .set(kBrightness, pyglue::new_int(s.brightness))
      .set(kGamma, pyglue::new_float(s.gamma))
      .set(kRotation, pyglue::new_float(s.rotation))
      .set(kBlur, pyglue::new_int(s.blur))
      .set(kMorphology, morphology_str(s.morphology))
      .set(kMorphSize, pyglue::new_int(s.morph_size))
      .set(kGrayscale, pyglue::new_bool(s.grayscale))
      .set(kBinarize, pyglue::new_bool(s.binarize))
      .set(kInvert, pyglue::new_bool(s.invert))
      .build();
}

// The module's own pristine defaults: what normalize_settings starts from, whatever the host does
// to the DEFAULT_PROCESSING dictionary it was handed.
PyObject* defaults() {
  static PyObject* dict = settings_dict(ProcessingSettings{}).release();
  return dict;
}

PyObject* value_of(PyObject* dict, const pyglue::Name& key) {
  PyObject* v = PyDict_GetItemWithError(dict, key.get());  // borrowed; the key is always there
  if (v == nullptr) {
    throw pyglue::PythonError();
  }
  return v;
}

// The index of the name `value` equals, as the host compares them; none for any other value.
template <size_t N>
std::optional<size_t> matching_name(const pyglue::Name (&names)[N], PyObject* value) {
  for (size_t i = 0; i < N; ++i) {
    if (pyglue::check_status(PyObject_RichCompareBool(names[i].get(), value, Py_EQ)) == 1) {
      return i;
    }
  }
  return std::nullopt;
}

// The morphology as the host compares it: equal to one of the five names, or else "none".
std::optional<Morphology> matching_morphology(PyObject* value) {
  const std::optional<size_t> i = matching_name(kMorphologyNameObjects, value);
  return i ? std::optional<Morphology>(static_cast<Morphology>(*i)) : std::nullopt;
}

// The optional classifier setting: what the dictionary holds (none when the host did not set it)
// and whether it names a classifier (anything else is read as "segments").
struct ClassifierSetting {
  bool present = false;
  bool matched = false;
  CellClassifier classifier = CellClassifier::kSegments;
};
ClassifierSetting classifier_setting(PyObject* dict) {
  PyObject* v = pyglue::dict_find(dict, kClassifier);  // borrowed
  if (v == nullptr) {
    return {};
  }
  const std::optional<size_t> i = matching_name(kClassifierNameObjects, v);
  return {true, i.has_value(), static_cast<CellClassifier>(i.value_or(0))};
}

void store(PyObject* dict, const pyglue::Name& key, pyglue::Ref value) {
  pyglue::check_status(PyDict_SetItem(dict, key.get(), value.get()));
}

// The dictionary's value of an optional key, borrowed; nullptr when the host did not set it.
PyObject* optional_value(PyObject* dict, const pyglue::Name& key) {
  return pyglue::dict_find(dict, key);
}

// The optional display settings: polarity (a value equal to "light" or "dark" is kept as given,
// anything else becomes "light"), slant (a float) and clock_cells (an int), clamped as
// clamp_settings does and stored back only when the host set them.
void convert_display_settings(PyObject* dict, ProcessingSettings& s) {
  if (PyObject* v = optional_value(dict, kPolarity)) {
    const std::optional<size_t> i = matching_name(kPolarityNameObjects, v);
    s.polarity = static_cast<Polarity>(i.value_or(0));
    if (!i) {
      store(dict, kPolarity, pyglue::Ref::borrow(kPolarityNameObjects[0].get()));
    }
  }
  PyObject* slant = optional_value(dict, kSlant);
  PyObject* cells = optional_value(dict, kClockCells);
  s.slant = slant ? pyglue::python_float(slant) : 0.0;
  s.clock_cells = cells ? pyglue::python_int(cells) : 4;
  const ProcessingSettings clamped = clamp_settings(s);
  s.slant = clamped.slant;
  s.clock_cells = clamped.clock_cells;
  if (slant) {
    store(dict, kSlant, pyglue::new_float(s.slant));
  }
  if (cells) {
    store(dict, kClockCells, pyglue::new_int(s.clock_cells));
  }
}

void merge(PyObject* dict, PyObject* settings) {
  if (settings == nullptr || settings == Py_None || !pyglue::truth(settings)) {
    return;
  }
  if (PyDict_CheckExact(settings)) {
    pyglue::check_status(PyDict_Update(dict, settings));
    return;
  }
  pyglue::check(PyObject_CallMethodObjArgs(dict, kUpdate.get(), settings, nullptr));
}

// Converts the standard keys in order; *matched tells whether the morphology named an operation.
ProcessingSettings convert(PyObject* dict, bool* matched) {
  ProcessingSettings raw;
  raw.threshold = pyglue::python_int(value_of(dict, kThreshold));
  raw.contrast = pyglue::python_float(value_of(dict, kContrast));
  raw.brightness = pyglue::python_int(value_of(dict, kBrightness));
  raw.gamma = pyglue::python_float(value_of(dict, kGamma));
  raw.rotation = pyglue::python_float(value_of(dict, kRotation));
  raw.blur = pyglue::python_int(value_of(dict, kBlur));
  raw.morph_size = pyglue::python_int(value_of(dict, kMorphSize));
  const std::optional<Morphology> morphology = matching_morphology(value_of(dict, kMorphology));
  *matched = morphology.has_value();
  raw.morphology = morphology.value_or(Morphology::kNone);
  raw.grayscale = pyglue::truth(value_of(dict, kGrayscale));
  raw.binarize = pyglue::truth(value_of(dict, kBinarize));
  raw.invert = pyglue::truth(value_of(dict, kInvert));
  return clamp_settings(raw);
}

void store_converted(PyObject* dict, const ProcessingSettings& s, bool morphology_matched) {
  store(dict, kThreshold, pyglue::new_int(s.threshold));
  store(dict, kContrast, pyglue::new_float(s.contrast));
  store(dict, kBrightness, pyglue::new_int(s.brightness));
  store(dict, kGamma, pyglue::new_float(s.gamma));
  store(dict, kRotation, pyglue::new_float(s.rotation));
  store(dict, kBlur, pyglue::new_int(s.blur));
  store(dict, kMorphSize, pyglue::new_int(s.morph_size));
  // A value equal to one of the names is kept as the host gave it; anything else becomes "none".
  if (!morphology_matched) {
    store(dict, kMorphology, morphology_str(Morphology::kNone));
  }
  store(dict, kGrayscale, pyglue::new_bool(s.grayscale));
  store(dict, kBinarize, pyglue::new_bool(s.binarize));
  store(dict, kInvert, pyglue::new_bool(s.invert));
}

// A classifier value that names one is kept as the host gave it; anything else becomes
// "segments". The key is only there when the host set it.
void store_classifier(PyObject* dict, const ClassifierSetting& c) {
  if (c.present && !c.matched) {
    store(dict, kClassifier,
          pyglue::Ref::borrow(kClassifierNameObjects[static_cast<size_t>(c.classifier)].get()));
  }
}

pyglue::Ref py_normalize_settings(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("normalize_settings", {"settings"}, 0);
  auto [settings] = kSig.parse(args, kwargs);
  return normalize_settings(settings);
}

pyglue::Ref attribute_or_none(PyObject* object, const pyglue::Name& name) {
  pyglue::Ref v = pyglue::Ref::steal(PyObject_GetAttr(object, name.get()));
  if (v) {
    return v;
  }
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
    throw pyglue::PythonError();
  }
  PyErr_Clear();
  return pyglue::none();
}

pyglue::Ref py_processing(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_processing", {"zone"}, 1);
  auto [zone] = kSig.parse(args, kwargs);
  return zone_processing(zone);
}

pyglue::Ref py_role(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_role", {"zone"}, 1);
  auto [zone] = kSig.parse(args, kwargs);
  return zone_role(zone);
}

pyglue::Ref py_layout_for_role(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<4> kSig("layout_for_role",
                                             {"role", "width", "height", "separator_x"}, 3);
  auto [role, width, height, separator_x] = kSig.parse(args, kwargs);
  const int64_t w = pyglue::int_argument(width, "width");
  const int64_t h = pyglue::int_argument(height, "height");
  pyglue::require_exact_str(role, "role");
  const std::string_view name = pyglue::utf8(role);
  if (role_group(name) != RoleGroup::kClockLike) {
    return slot_list(layout_for_role(name, w, h));
  }
  return slot_list(clock_slots(w, h, pyglue::optional_float_argument(separator_x)));
}

// The roles as a tuple of str, in their order.
pyglue::Ref role_tuple(std::span<const std::string_view> roles) {
  pyglue::Ref names = pyglue::check(PyTuple_New(static_cast<Py_ssize_t>(roles.size())));
  for (size_t i = 0; i < roles.size(); ++i) {
    PyTuple_SetItem(names.get(), static_cast<Py_ssize_t>(i), pyglue::new_str(roles[i]).release());
  }
  return names;
}

// SINGLE_DIGIT_ROLES: the roles the single-digit reader accepts, as a frozenset.
pyglue::Ref single_digit_roles() {
  return pyglue::check(PyFrozenSet_New(role_tuple(kSingleDigitRoles).get()));
}

// {"two_digit": (...), "one_digit": (...), "clock_like": (...)}: the known roles by layout group.
pyglue::Ref roles_by_group() {
  constexpr std::pair<const char*, RoleGroup> kGroups[] = {{"two_digit", RoleGroup::kTwoDigit},
                                                           {"one_digit", RoleGroup::kOneDigit},
                                                           {"clock_like", RoleGroup::kClockLike}};
  pyglue::Ref groups = pyglue::check(PyDict_New());
  for (const auto& [key, group] : kGroups) {
    pyglue::check_status(
        PyDict_SetItemString(groups.get(), key, role_tuple(roles_of(group)).get()));
  }
  return groups;
}

}  // namespace

pyglue::Ref zone_processing(PyObject* zone) {
  return PyDict_Check(zone) ? pyglue::get_or_none(zone, kProcessing)
                            : attribute_or_none(zone, kProcessing);
}

pyglue::Ref zone_role(PyObject* zone) {
  pyglue::Ref role = attribute_or_none(zone, kRole);
  if (role.get() == Py_None && PyDict_Check(zone)) {
    return pyglue::get_or_none(zone, kRole);
  }
  return role;
}

pyglue::Ref normalize_settings(PyObject* settings, ProcessingSettings* typed) {
  pyglue::Ref dict = pyglue::check(PyDict_Copy(defaults()));
  merge(dict.get(), settings);
  bool morphology_matched = false;
  ProcessingSettings s = convert(dict.get(), &morphology_matched);
  const ClassifierSetting classifier = classifier_setting(dict.get());
  s.classifier = classifier.classifier;
  store_converted(dict.get(), s, morphology_matched);
  store_classifier(dict.get(), classifier);
  convert_display_settings(dict.get(), s);
  if (typed != nullptr) {
    *typed = s;
  }
  return dict;
}

void add_settings_bindings(pyglue::ModuleBuilder& module) {
  module.add_constant("DEFAULT_PROCESSING", [] { return pyglue::check(PyDict_Copy(defaults())); });
  module.add_constant("SINGLE_DIGIT_ROLES", single_digit_roles);
  module.add_constant("ROLES", roles_by_group);
  module.add_function<py_normalize_settings>("normalize_settings", kNormalizeSettingsDoc);
  module.add_function<py_processing>(
      "_processing", "_processing(zone)\n--\n\nThe zone's processing settings or None, as found.");
  module.add_function<py_role>("_role", "_role(zone)\n--\n\nThe zone's role or None, as found.");
  module.add_function<py_layout_for_role>("layout_for_role", kLayoutForRoleDoc);
}

}  // namespace native_ocr::zonescan
