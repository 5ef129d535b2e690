// C++ exceptions for Python errors, and their translation at the module boundary.
//
// Binding code throws; the wrapper around every module function (see module.h) catches and sets
// the Python exception:
//   PythonError            -> the Python exception already set by a failed C API call, unchanged
//   TypeError, ValueError, KeyError, AttributeError, OverflowError -> the built-in of that name
//   cv::Exception          -> cv2.error of the imported cv2 module, with OpenCV's message
//   std::bad_alloc         -> MemoryError
//   any other std::exception -> RuntimeError with its message
#ifndef NATIVE_OCR_PYGLUE_ERRORS_H_
#define NATIVE_OCR_PYGLUE_ERRORS_H_

#include <stdexcept>
#include <string>

#include "native_ocr/pyglue/python.h"

namespace pyglue {

// A Python exception is already set (a C API call returned its error value).
class PythonError : public std::exception {
 public:
  const char* what() const noexcept override { return "Python exception set"; }
};

// An exception to raise as the Python built-in `kind`.
class Error : public std::runtime_error {
 public:
  enum class Kind { kType, kValue, kKey, kAttribute, kOverflow };
  Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

class TypeError : public Error {
 public:
  explicit TypeError(const std::string& message) : Error(Kind::kType, message) {}
};
class ValueError : public Error {
 public:
  explicit ValueError(const std::string& message) : Error(Kind::kValue, message) {}
};
// The message becomes the KeyError's argument (the missing key, as Python shows it).
class KeyError : public Error {
 public:
  explicit KeyError(const std::string& message) : Error(Kind::kKey, message) {}
};
class AttributeError : public Error {
 public:
  explicit AttributeError(const std::string& message) : Error(Kind::kAttribute, message) {}
};
class OverflowError : public Error {
 public:
  explicit OverflowError(const std::string& message) : Error(Kind::kOverflow, message) {}
};

// Sets the Python exception for the C++ exception being handled. Call only inside a catch block.
void set_error_from_current_exception() noexcept;

// Remembers cv2.error (from the imported cv2 module) as the type OpenCV failures are raised as.
// Before this is called they are raised as RuntimeError.
void set_opencv_error_type(PyObject* cv2_error_type);

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_ERRORS_H_
