// Conversions between Python objects and C++ values, and builders for the plain results
// (ints, floats, strings, lists, dictionaries in a fixed key order).
#ifndef NATIVE_OCR_PYGLUE_CONVERT_H_
#define NATIVE_OCR_PYGLUE_CONVERT_H_

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "native_ocr/numerics/inclusive.h"
#include "native_ocr/pyglue/python.h"
#include "native_ocr/pyglue/ref.h"

namespace pyglue {

// An interned Python string created on first use and kept for the life of the process: keys of
// result dictionaries, attribute names. Declare as a static.
class Name {
 public:
  explicit Name(const char* text) : text_(text) {}
  Name(const Name&) = delete;
  Name& operator=(const Name&) = delete;
  PyObject* get() const;  // borrowed
  const char* text() const { return text_; }

 private:
  const char* text_;
  mutable PyObject* object_ = nullptr;
};

// The name of an object's type as error messages show it: "str", "NoneType", "numpy.ndarray".
std::string type_name(PyObject* object);

// An argument declared as an integer: an int (bool included) as is, a float or other real number
// truncated toward zero, anything else (str, None, ...) a TypeError
// "Argument '<name>' has incorrect type (expected int, got <type>)". Integers beyond the int64
// range are clamped to it; NaN raises ValueError and infinities OverflowError, as int() does.
int64_t int_argument(PyObject* value, const char* name);

// An argument that must be an integer proper: an int or an object with __index__ (a numpy
// integer), clamped to the int64 range. A bool, a float or anything else raises the TypeError of
// int_argument.
int64_t index_argument(PyObject* value, const char* name);

// Throws what int() raises for a float without an integer value: ValueError for NaN, OverflowError
// for an infinity. Does nothing for a finite value.
void require_integral(double value);

// An argument that must be exactly a str (not a subclass): TypeError
// "Argument '<name>' has incorrect type (expected str, got <type>)" otherwise.
void require_exact_str(PyObject* value, const char* name);

// A real number (int, float, or anything with __float__ or __index__) as a double, as float() would
// give it; TypeError "must be real number, not <type>" for anything else (strings included).
double real_number(PyObject* value);

// None (or an absent argument) or a real number, converted to float; TypeError for anything else.
std::optional<double> optional_float_argument(PyObject* value);

// The interpreter's int(value) (strings are parsed, floats truncated), clamped to the int64 range.
// Conversion errors propagate as PythonError.
int64_t python_int(PyObject* value);

// The interpreter's float(value) (strings are parsed). Conversion errors propagate.
double python_float(PyObject* value);

// The interpreter's truth value of an object (bool(value)).
bool truth(PyObject* value);

// The UTF-8 text of a str (valid while the str lives).
std::string_view utf8(PyObject* str);

Ref new_int(int64_t value);
Ref new_float(double value);
Ref new_bool(bool value);
Ref new_str(std::string_view text);
Ref new_int_list(std::initializer_list<int64_t> values);
template <typename Container>
Ref new_int_list_from(const Container& values) {
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(std::size(values))));
  Py_ssize_t i = 0;
  for (auto v : values) {
    PyList_SetItem(list.get(), i++, new_int(static_cast<int64_t>(v)).release());
  }
  return list;
}

// A list of make(item) for each item, in order; make returns a Ref.
template <typename Container, typename Make>
Ref new_list_of(const Container& items, Make make) {
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
  Py_ssize_t i = 0;
  for (const auto& item : items) {
    PyList_SetItem(list.get(), i++, make(item).release());
  }
  return list;
}

// A list of floats.
template <typename Container>
Ref new_float_list_from(const Container& values) {
  return new_list_of(values, [](auto v) { return new_float(static_cast<double>(v)); });
}

// A list holding the given objects (their references taken over).
Ref new_list(std::vector<Ref> items);

// A list of [start, end] lists of ints, one per run.
Ref new_run_list(const native_ocr::Runs& runs);

// mapping[key], raising the mapping's own error (KeyError for a dict) when it fails.
Ref get_item(PyObject* mapping, const Name& key);

// A dictionary's value for `key`, borrowed: nullptr (dict_find) or None (dict_value) when the key
// is absent. Errors of the lookup (an unhashable key's) propagate.
PyObject* dict_find(PyObject* dict, const Name& key);
PyObject* dict_value(PyObject* dict, const Name& key);

// mapping.get(key): a dict (not a subclass) looked up directly, anything else through its own get
// method; None when absent.
Ref get_or_none(PyObject* mapping, const Name& key);

// True when `value` is a str equal to the ASCII `text`.
bool is_str(PyObject* value, const char* text);

// len(sequence) and sequence[i], raising what the sequence raises.
Py_ssize_t sequence_size(PyObject* sequence);
Ref sequence_item(PyObject* sequence, Py_ssize_t i);

// The file name str(path) spells as UTF-8 text; none when it cannot name a file (not UTF-8, or a
// NUL in it). Errors of str() propagate.
std::optional<std::string> file_name(PyObject* path);

// A dictionary built in a fixed key order: DictBuilder().set(kA, a).set(kB, b).build().
class DictBuilder {
 public:
  DictBuilder() : dict_(check(PyDict_New())) {}
  DictBuilder& set(const Name& key, Ref value) {
    check_status(PyDict_SetItem(dict_.get(), key.get(), value.get()));
    return *this;
  }
  Ref build() { return std::move(dict_); }

 private:
  Ref dict_;
};

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_CONVERT_H_
