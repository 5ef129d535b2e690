// check_zone: the problems of a zone, found with the interpreter's own conversions (as the readers
// and normalize_settings make them) and worded by the core (zone_check.h).
#include <functional>

#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/docstrings.h"
#include "native_ocr/zonescan/python/zone_arguments.h"
#include "native_ocr/zonescan/zone_check.h"

namespace native_ocr::zonescan {
namespace {

const pyglue::Name kField("field"), kProblem("problem"), kMessage("message"),
    kSuggestion("suggestion"), kUpdate("update");
const pyglue::Name kBoundKeys[] = {pyglue::Name("x"), pyglue::Name("y"), pyglue::Name("width"),
                                   pyglue::Name("height")};

std::string text_of(PyObject* object, bool as_repr) {
  pyglue::Ref text = pyglue::check(as_repr ? PyObject_Repr(object) : PyObject_Str(object));
  return std::string(pyglue::utf8(text.get()));
}

// Runs `step`; when it raises, the error as "TypeName: message" (and the error is cleared).
std::optional<std::string> error_of(const std::function<void()>& step) {
  try {
    step();
    return std::nullopt;
  } catch (...) {
    pyglue::set_error_from_current_exception();
  }
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  pyglue::Ref owned_type = pyglue::Ref::steal(type), owned_value = pyglue::Ref::steal(value),
              owned_traceback = pyglue::Ref::steal(traceback);
  std::string message = pyglue::type_name(owned_value.get());
  const std::string detail = owned_value ? text_of(owned_value.get(), false) : "";
  return detail.empty() ? message : message + ": " + detail;
}

pyglue::Ref problem_dict(const ZoneProblem& p) {
  return pyglue::DictBuilder()
      .set(kField, pyglue::new_str(p.field))
      .set(kProblem, pyglue::new_str(p.problem))
      .set(kMessage, pyglue::new_str(p.message))
      .set(kSuggestion, p.suggestion ? pyglue::new_str(*p.suggestion) : pyglue::none())
      .build();
}

void check_role(PyObject* zone, std::vector<ZoneProblem>* found) {
  pyglue::Ref role = zone_role(zone);
  if (!pyglue::truth(role.get())) {
    return;  // the readers' defaults
  }
  if (!PyUnicode_CheckExact(role.get())) {
    found->push_back(role_type_problem(pyglue::type_name(role.get())));
  } else if (auto p = role_problem(pyglue::utf8(role.get()))) {
    found->push_back(*p);
  }
}

// A standard setting: what normalize_settings makes of it alone, compared with what was given.
void check_setting_value(PyObject* key, PyObject* given, std::vector<ZoneProblem>* found) {
  const std::string name(pyglue::utf8(key));
  const std::string given_text = text_of(given, true);
  pyglue::Ref used;
  const std::optional<std::string> error = error_of([&] {
    pyglue::Ref single = pyglue::check(PyDict_New());
    pyglue::check_status(PyDict_SetItem(single.get(), key, given));
    used = pyglue::Ref::borrow(PyDict_GetItem(normalize_settings(single.get()).get(), key));
  });
  if (error) {
    found->push_back(setting_problem(name, SettingChange::kRejected, given_text, *error));
    return;
  }
  if (pyglue::check_status(PyObject_RichCompareBool(given, used.get(), Py_EQ)) == 1) {
    return;
  }
  // A number that converts to something else than the clamped value was clamped.
  bool clamped = false;
  if (PyLong_CheckExact(used.get())) {
    clamped = pyglue::python_int(given) != pyglue::python_int(used.get());
  } else if (PyFloat_CheckExact(used.get())) {
    const double converted = pyglue::python_float(given);
    clamped = !(converted == pyglue::python_float(used.get()));
  }
  found->push_back(setting_problem(name,
                                   clamped ? SettingChange::kClamped : SettingChange::kReplaced,
                                   given_text, text_of(used.get(), true)));
}

void check_settings(PyObject* zone, std::vector<ZoneProblem>* found) {
  pyglue::Ref processing = zone_processing(zone);
  if (!pyglue::truth(processing.get())) {
    return;
  }
  // Merged as normalize_settings merges it, so that pairs and mappings are seen alike.
  pyglue::Ref merged = pyglue::check(PyDict_New());
  if (auto error = error_of([&] {
        pyglue::check(
            PyObject_CallMethodObjArgs(merged.get(), kUpdate.get(), processing.get(), nullptr));
      })) {
    found->push_back(settings_problem(*error));
    return;
  }
  Py_ssize_t pos = 0;
  PyObject *key = nullptr, *value = nullptr;
  while (PyDict_Next(merged.get(), &pos, &key, &value)) {
    const bool text = PyUnicode_Check(key);
    if (auto unknown = setting_key_problem(text ? pyglue::utf8(key) : text_of(key, true))) {
      found->push_back(*unknown);
    } else {
      check_setting_value(key, value, found);
    }
  }
}

void check_bounds(PyObject* zone, std::vector<ZoneProblem>* found) {
  double values[4] = {};
  bool usable = true;
  for (size_t i = 0; i < 4; ++i) {
    const std::optional<std::string> error = error_of([&] {
      pyglue::Ref v = pyglue::get_item(zone, kBoundKeys[i]);
      if (!PyNumber_Check(v.get()) || PyUnicode_Check(v.get())) {
        throw pyglue::TypeError("not a number: " + text_of(v.get(), true));
      }
      values[i] = pyglue::python_float(v.get());
    });
    if (error) {
      found->push_back(bound_problem(kBoundKeys[i].text(), *error));
      usable = false;
    }
  }
  if (usable) {
    for (ZoneProblem& p : bounds_problems(ZoneRect{values[0], values[1], values[2], values[3]})) {
      found->push_back(std::move(p));
    }
  }
}

pyglue::Ref py_check_zone(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("check_zone", {"zone"}, 1);
  auto [zone] = kSig.parse(args, kwargs);
  std::vector<ZoneProblem> found;
  check_role(zone, &found);
  check_settings(zone, &found);
  check_bounds(zone, &found);
  pyglue::Ref list = pyglue::check(PyList_New(0));
  for (const ZoneProblem& p : found) {
    pyglue::check_status(PyList_Append(list.get(), problem_dict(p).get()));
  }
  return list;
}

}  // namespace

void add_zone_check_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_check_zone>("check_zone", kCheckZoneDoc);
}

}  // namespace native_ocr::zonescan
