#include "native_ocr/pyglue/errors.h"

#include <new>

#include <opencv2/core.hpp>

#include "native_ocr/pyglue/ref.h"

namespace pyglue {
namespace {

// cv2.error, kept for the life of the process once the first module has imported cv2.
PyObject* opencv_error_type = nullptr;

PyObject* builtin_for(Error::Kind kind) {
  switch (kind) {
    case Error::Kind::kType:
      return PyExc_TypeError;
    case Error::Kind::kValue:
      return PyExc_ValueError;
    case Error::Kind::kKey:
      return PyExc_KeyError;
    case Error::Kind::kAttribute:
      return PyExc_AttributeError;
    case Error::Kind::kOverflow:
      return PyExc_OverflowError;
  }
  return PyExc_RuntimeError;
}

void set_attribute(PyObject* object, const char* name, PyObject* value) {
  if (value != nullptr) {
    PyObject_SetAttrString(object, name, value);
    Py_DECREF(value);
  }
  PyErr_Clear();
}

// Raises cv2.error the way cv2 itself does: the message is OpenCV's full text, and the details
// (file, func, line, code, msg, err) are attributes of the exception.
void set_opencv_error(const cv::Exception& e) {
  if (opencv_error_type == nullptr) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
    return;
  }
  PyObject* error = PyObject_CallFunction(opencv_error_type, "s", e.what());
  if (error == nullptr) {
    return;
  }
  set_attribute(error, "file", PyUnicode_FromString(e.file.c_str()));
  set_attribute(error, "func", PyUnicode_FromString(e.func.c_str()));
  set_attribute(error, "line", PyLong_FromLong(e.line));
  set_attribute(error, "code", PyLong_FromLong(e.code));
  set_attribute(error, "msg", PyUnicode_FromString(e.msg.c_str()));
  set_attribute(error, "err", PyUnicode_FromString(e.err.c_str()));
  PyErr_SetObject(opencv_error_type, error);
  Py_DECREF(error);
}

void set_error(const Error& e) {
  PyObject* message = PyUnicode_FromString(e.what());
  if (message == nullptr) {
    return;
  }
  PyErr_SetObject(builtin_for(e.kind()), message);
  Py_DECREF(message);
}

}  // namespace

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const PythonError&) {
    if (!PyErr_Occurred()) {
      PyErr_SetString(PyExc_SystemError, "error return without exception set");
    }
  } catch (const Error& e) {
    set_error(e);
  } catch (const cv::Exception& e) {
    set_opencv_error(e);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception");
  }
}

void set_opencv_error_type(PyObject* cv2_error_type) {
  Py_XINCREF(cv2_error_type);
  Py_XDECREF(opencv_error_type);
  opencv_error_type = cv2_error_type;
}

}  // namespace pyglue
