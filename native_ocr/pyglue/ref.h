// Owned references to Python objects.
#ifndef NATIVE_OCR_PYGLUE_REF_H_
#define NATIVE_OCR_PYGLUE_REF_H_

#include <utility>

#include "native_ocr/pyglue/errors.h"
#include "native_ocr/pyglue/python.h"

namespace pyglue {

// Holds one strong reference (or none) and drops it on destruction. Copying takes another
// reference. Every function of this layer that returns a new object returns a Ref.
class Ref {
 public:
  Ref() = default;
  Ref(const Ref& other) : object_(other.object_) { Py_XINCREF(object_); }
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ref() { Py_XDECREF(object_); }

  // Takes over a new reference (may be null).
  static Ref steal(PyObject* object) { return Ref(object); }
  // Takes an additional reference to a borrowed object (may be null).
  static Ref borrow(PyObject* object) {
    Py_XINCREF(object);
    return Ref(object);
  }

  PyObject* get() const { return object_; }
  // Hands the reference to the caller (a Python C API slot that returns a new reference).
  PyObject* release() { return std::exchange(object_, nullptr); }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

// A new reference from a C API call: throws PythonError when the call failed (returned null with
// an exception set).
inline Ref check(PyObject* result) {
  if (result == nullptr) {
    throw PythonError();
  }
  return Ref::steal(result);
}

// Status results of the C API (-1 with an exception set on failure).
inline int check_status(int status) {
  if (status < 0) {
    throw PythonError();
  }
  return status;
}

inline Ref none() {
  return Ref::borrow(Py_None);
}

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_REF_H_
