#include "native_ocr/pyglue/convert.h"

#include <climits>
#include <cmath>
#include <limits>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/pyglue/errors.h"

namespace pyglue {
namespace {

std::string str_attribute(PyObject* object, const char* name) {
  Ref value = Ref::steal(PyObject_GetAttrString(object, name));
  if (!value || !PyUnicode_Check(value.get())) {
    PyErr_Clear();
    return "";
  }
  return std::string(utf8(value.get()));
}

[[noreturn]] void incorrect_type(const char* name, const char* expected, PyObject* value) {
  throw TypeError(std::string("Argument '") + name + "' has incorrect type (expected " + expected +
                  ", got " + type_name(value) + ")");
}

// A Python int as int64, saturating beyond the range.
int64_t clamped_long(PyObject* value) {
  int overflow = 0;
  long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
  if (v == -1 && PyErr_Occurred()) {
    throw PythonError();
  }
  if (overflow != 0) {
    return overflow > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return v;
}

// int() of a double: truncation, with the interpreter's errors for NaN and infinities.
int64_t truncated(double v) {
  require_integral(v);
  return *native_ocr::truncate_to_int(v);
}

bool is_text(PyObject* value) {
  return PyUnicode_Check(value) || PyBytes_Check(value) || PyByteArray_Check(value);
}

bool is_complex(PyObject* value) {
  return PyObject_IsInstance(value, reinterpret_cast<PyObject*>(&PyComplex_Type)) == 1;
}

}  // namespace

PyObject* Name::get() const {
  if (object_ == nullptr) {
    object_ = PyUnicode_InternFromString(text_);
    if (object_ == nullptr) {
      throw PythonError();
    }
  }
  return object_;
}

std::string type_name(PyObject* object) {
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
  std::string name = str_attribute(type, "__name__");
  // Built-in static types show their dotted name ("numpy.ndarray"), classes just their own.
  const bool heap = (PyType_GetFlags(Py_TYPE(object)) & Py_TPFLAGS_HEAPTYPE) != 0;
  std::string module = heap ? "" : str_attribute(type, "__module__");
  return module.empty() || module == "builtins" ? name : module + "." + name;
}

void require_integral(double value) {
  if (std::isnan(value)) {
    throw ValueError("cannot convert float NaN to integer");
  }
  if (std::isinf(value)) {
    throw OverflowError("cannot convert float infinity to integer");
  }
}

int64_t int_argument(PyObject* value, const char* name) {
  if (PyLong_Check(value)) {
    return clamped_long(value);
  }
  if (PyFloat_Check(value)) {
    return truncated(PyFloat_AsDouble(value));
  }
  if (is_text(value) || !PyNumber_Check(value) || is_complex(value)) {
    incorrect_type(name, "int", value);
  }
  // Real numbers of other types (numpy scalars, Fraction, Decimal); a TypeError on the way (an
  // array of several elements, say) means the value is not a number.
  if (PyIndex_Check(value)) {
    Ref index = Ref::steal(PyNumber_Index(value));
    if (index) {
      return clamped_long(index.get());
    }
  } else {
    Ref as_float = Ref::steal(PyNumber_Float(value));
    if (as_float) {
      return truncated(PyFloat_AsDouble(as_float.get()));
    }
  }
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) {
    throw PythonError();
  }
  PyErr_Clear();
  incorrect_type(name, "int", value);
}

int64_t index_argument(PyObject* value, const char* name) {
  if (PyBool_Check(value) || !PyIndex_Check(value)) {
    incorrect_type(name, "int", value);
  }
  const Ref index = check(PyNumber_Index(value));
  return clamped_long(index.get());
}

void require_exact_str(PyObject* value, const char* name) {
  if (Py_TYPE(value) != &PyUnicode_Type) {
    incorrect_type(name, "str", value);
  }
}

double real_number(PyObject* value) {
  double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) {
    throw PythonError();
  }
  return v;
}

std::optional<double> optional_float_argument(PyObject* value) {
  if (value == nullptr || value == Py_None) {
    return std::nullopt;
  }
  return real_number(value);
}

int64_t python_int(PyObject* value) {
  if (PyLong_Check(value)) {
    return clamped_long(value);
  }
  Ref as_int = check(PyNumber_Long(value));
  return clamped_long(as_int.get());
}

double python_float(PyObject* value) {
  if (PyFloat_Check(value)) {
    return PyFloat_AsDouble(value);
  }
  Ref as_float = check(PyNumber_Float(value));
  return PyFloat_AsDouble(as_float.get());
}

bool truth(PyObject* value) {
  return check_status(PyObject_IsTrue(value)) != 0;
}

std::string_view utf8(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) {
    throw PythonError();
  }
  return std::string_view(data, static_cast<size_t>(size));
}

Ref new_int(int64_t value) {
  return check(PyLong_FromLongLong(value));
}

Ref new_float(double value) {
  return check(PyFloat_FromDouble(value));
}

Ref new_bool(bool value) {
  return Ref::borrow(value ? Py_True : Py_False);
}

Ref new_str(std::string_view text) {
  return check(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

Ref new_int_list(std::initializer_list<int64_t> values) {
  return new_int_list_from(values);
}

Ref new_list(std::vector<Ref> items) {
  return new_list_of(items, [](const Ref& item) { return item; });
}

Ref new_run_list(const native_ocr::Runs& runs) {
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(runs.size())));
  for (size_t i = 0; i < runs.size(); ++i) {
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i),
                   new_int_list({runs[i].start, runs[i].end}).release());
  }
  return list;
}

Ref get_item(PyObject* mapping, const Name& key) {
  return check(PyObject_GetItem(mapping, key.get()));
}

PyObject* dict_find(PyObject* dict, const Name& key) {
  PyObject* v = PyDict_GetItemWithError(dict, key.get());
  if (v == nullptr && PyErr_Occurred()) {
    throw PythonError();
  }
  return v;
}

PyObject* dict_value(PyObject* dict, const Name& key) {
  PyObject* v = dict_find(dict, key);
  return v != nullptr ? v : Py_None;
}

Ref get_or_none(PyObject* mapping, const Name& key) {
  if (PyDict_CheckExact(mapping)) {
    return Ref::borrow(dict_value(mapping, key));
  }
  static const Name kGet("get");
  return check(PyObject_CallMethodObjArgs(mapping, kGet.get(), key.get(), nullptr));
}

bool is_str(PyObject* value, const char* text) {
  return PyUnicode_Check(value) && PyUnicode_CompareWithASCIIString(value, text) == 0;
}

Py_ssize_t sequence_size(PyObject* sequence) {
  const Py_ssize_t n = PySequence_Size(sequence);
  if (n < 0) {
    throw PythonError();
  }
  return n;
}

Ref sequence_item(PyObject* sequence, Py_ssize_t i) {
  return check(PySequence_GetItem(sequence, i));
}

std::optional<std::string> file_name(PyObject* path) {
  Ref text = check(PyObject_Str(path));
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
  if (data == nullptr) {
    PyErr_Clear();  // a name that cannot be spelled as a file name names no readable file
    return std::nullopt;
  }
  std::string file(data, static_cast<size_t>(size));
  if (file.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  return file;
}

}  // namespace pyglue
