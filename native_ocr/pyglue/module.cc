#include "native_ocr/pyglue/module.h"

namespace pyglue {
namespace {

struct Dependencies {
  PyObject* numpy = nullptr;
  PyObject* cv2 = nullptr;
  PyObject* numpy_empty = nullptr;
  PyObject* numpy_uint8 = nullptr;
};

// Kept for the life of the process once imported.
Dependencies deps;

}  // namespace

void import_dependencies() {
  if (deps.numpy != nullptr) {
    return;
  }
  Ref numpy = check(PyImport_ImportModule("numpy"));
  Ref cv2 = check(PyImport_ImportModule("cv2"));
  Ref empty = check(PyObject_GetAttrString(numpy.get(), "empty"));
  Ref uint8 = check(PyObject_GetAttrString(numpy.get(), "uint8"));
  Ref error = check(PyObject_GetAttrString(cv2.get(), "error"));
  set_opencv_error_type(error.get());
  deps = {numpy.release(), cv2.release(), empty.release(), uint8.release()};
}

PyObject* numpy_module() {
  return deps.numpy;
}
PyObject* cv2_module() {
  return deps.cv2;
}
PyObject* numpy_empty() {
  return deps.numpy_empty;
}
PyObject* numpy_uint8() {
  return deps.numpy_uint8;
}

ModuleBuilder::ModuleBuilder(const char* name, const char* doc) {
  def_ = {PyModuleDef_HEAD_INIT, name, doc, -1, nullptr, nullptr, nullptr, nullptr, nullptr};
}

void ModuleBuilder::add_method(const char* name, PyCFunctionWithKeywords function,
                               const char* doc) {
  // The method table stores every function as a PyCFunction; METH_KEYWORDS says which it is.
  auto generic = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
  methods_.push_back({name, generic, METH_VARARGS | METH_KEYWORDS, doc});
}

void ModuleBuilder::add_constant(const char* name, std::function<Ref()> make) {
  constants_.emplace_back(name, std::move(make));
}

PyObject* ModuleBuilder::build() {
  Ref module = check(PyModule_Create(&def_));
  check_status(PyModule_AddObjectRef(module.get(), "np", numpy_module()));
  check_status(PyModule_AddObjectRef(module.get(), "cv2", cv2_module()));
  for (auto& [name, make] : constants_) {
    Ref value = make();
    check_status(PyModule_AddObjectRef(module.get(), name, value.get()));
  }
  return module.release();
}

PyObject* ModuleBuilder::create(std::initializer_list<Registration> registrations) noexcept {
  try {
    import_dependencies();
    // The method table is made once: a module object made earlier may still point into it.
    if (def_.m_methods == nullptr) {
      for (Registration add : registrations) {
        add(*this);
      }
      methods_.push_back({nullptr, nullptr, 0, nullptr});
      def_.m_methods = methods_.data();
    }
    return build();
  } catch (...) {
    set_error_from_current_exception();
    return nullptr;
  }
}

}  // namespace pyglue
