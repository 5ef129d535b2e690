// Building an extension module from independent binding files.
//
// Each binding file owns a group of functions and exposes one registration function,
//   void add_<group>_bindings(pyglue::ModuleBuilder& module);
// which adds its functions (and constants, and any set-up it needs) to the builder. A module's
// module.cc lists those registration functions and nothing else, so a new group of functions is
// one new file plus one line there. A bound function has the signature
//   pyglue::Ref fn(PyObject* args, PyObject* kwargs);
// parses its arguments with pyglue::Signature, throws the C++ errors of errors.h, and returns its
// result; the wrapper added by add_function turns every exception into the Python one.
#ifndef NATIVE_OCR_PYGLUE_MODULE_H_
#define NATIVE_OCR_PYGLUE_MODULE_H_

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "native_ocr/pyglue/errors.h"
#include "native_ocr/pyglue/python.h"
#include "native_ocr/pyglue/ref.h"

namespace pyglue {

using Function = Ref (*)(PyObject* args, PyObject* kwargs);

// Calls a bound function, translating C++ exceptions into the pending Python exception.
template <Function F>
PyObject* call_guarded(PyObject* /*module*/, PyObject* args, PyObject* kwargs) noexcept {
  try {
    return F(args, kwargs).release();
  } catch (...) {
    set_error_from_current_exception();
    return nullptr;
  }
}

class ModuleBuilder;
using Registration = void (*)(ModuleBuilder& module);

// Collects the functions and constants of one module and creates it. Keep the builder in static
// storage (the method table must outlive the module).
class ModuleBuilder {
 public:
  ModuleBuilder(const char* name, const char* doc);
  ModuleBuilder(const ModuleBuilder&) = delete;
  ModuleBuilder& operator=(const ModuleBuilder&) = delete;

  template <Function F>
  void add_function(const char* name, const char* doc) {
    add_method(name, &call_guarded<F>, doc);
  }
  // A module attribute made when the module is created (after numpy and cv2 are imported).
  void add_constant(const char* name, std::function<Ref()> make);

  // Imports numpy and cv2 (a failed import fails the module import), runs the registrations and
  // creates the module. Returns a new reference, or null with an exception set.
  PyObject* create(std::initializer_list<Registration> registrations) noexcept;

 private:
  void add_method(const char* name, PyCFunctionWithKeywords function, const char* doc);
  PyObject* build();

  PyModuleDef def_{};
  std::vector<PyMethodDef> methods_;
  std::vector<std::pair<const char*, std::function<Ref()>>> constants_;
};

// Imports numpy and cv2 once and remembers what the bindings need from them (numpy.empty,
// numpy.uint8, cv2.error). Throws PythonError when an import fails.
void import_dependencies();
// Borrowed references, valid after import_dependencies.
PyObject* numpy_module();
PyObject* cv2_module();
PyObject* numpy_empty();
PyObject* numpy_uint8();

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_MODULE_H_
