#include "native_ocr/pyglue/args.h"

#include <string>

#include "native_ocr/pyglue/errors.h"

namespace pyglue {
namespace {

std::string plural(size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

[[noreturn]] void fail(const std::string& message) {
  throw TypeError(message);
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'", as the interpreter lists missing parameters.
std::string name_list(const char* const* names, const size_t* missing, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) {
      out += count == 2 ? " and " : (i + 1 == count ? ", and " : ", ");
    }
    out += std::string("'") + names[missing[i]] + "'";
  }
  return out;
}

// The interpreter's message for `given` positional arguments to a function that takes from
// `required` to `positional` of them, `keyword_only` of its keyword-only parameters given as well.
[[noreturn]] void too_many_positional(const char* function, size_t positional, size_t required,
                                      size_t given, size_t keyword_only) {
  std::string takes = required == positional
                          ? plural(positional, "positional argument")
                          : "from " + std::to_string(required) + " to " +
                                std::to_string(positional) + " positional arguments";
  std::string count = std::to_string(given);
  if (keyword_only > 0) {
    count = plural(given, "positional argument") + " (and " +
            plural(keyword_only, "keyword-only argument") + ")";
  }
  fail(std::string(function) + "() takes " + takes + " but " + count +
       (given == 1 && keyword_only == 0 ? " was" : " were") + " given");
}

// Places one keyword argument; returns false when no parameter has that name.
bool place_keyword(const char* function, const char* const* names, size_t count, size_t positional,
                   PyObject* key, PyObject* value, PyObject** out) {
  for (size_t i = 0; i < count; ++i) {
    if (PyUnicode_CompareWithASCIIString(key, names[i]) != 0) {
      continue;
    }
    if (i < positional || out[i] != nullptr) {
      fail(std::string(function) + "() got multiple values for argument '" + names[i] + "'");
    }
    out[i] = value;
    return true;
  }
  return false;
}

void place_keywords(const char* function, const char* const* names, size_t count, size_t positional,
                    PyObject* kwargs, PyObject** out) {
  Py_ssize_t pos = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &pos, &key, &value)) {
    if (!PyUnicode_Check(key)) {
      fail(std::string(function) + "() keywords must be strings");
    }
    if (!place_keyword(function, names, count, positional, key, value, out)) {
      PyObject* text = PyUnicode_AsUTF8String(key);
      if (text == nullptr) {
        throw PythonError();
      }
      std::string name = PyBytes_AsString(text);
      Py_DECREF(text);
      fail(std::string(function) + "() got an unexpected keyword argument '" + name + "'");
    }
  }
}

}  // namespace

void parse_arguments(const char* function, const char* const* names, size_t count, size_t required,
                     size_t positional, PyObject* args, PyObject* kwargs, PyObject** out) {
  for (size_t i = 0; i < count; ++i) {
    out[i] = nullptr;
  }
  const size_t given = args == nullptr ? 0 : static_cast<size_t>(PyTuple_Size(args));
  const size_t placed = given < positional ? given : positional;
  for (size_t i = 0; i < placed; ++i) {
    out[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
  }
  // The interpreter's order: keyword problems first, then surplus, then missing arguments.
  if (kwargs != nullptr) {
    place_keywords(function, names, count, placed, kwargs, out);
  }
  if (given > positional) {
    size_t keyword_only = 0;
    for (size_t i = positional; i < count; ++i) {
      keyword_only += out[i] != nullptr ? 1 : 0;
    }
    too_many_positional(function, positional, required, given, keyword_only);
  }
  size_t missing[16];
  size_t n_missing = 0;
  for (size_t i = 0; i < required && n_missing < 16; ++i) {
    if (out[i] == nullptr) {
      missing[n_missing++] = i;
    }
  }
  if (n_missing > 0) {
    fail(std::string(function) + "() missing " + plural(n_missing, "required positional argument") +
         ": " + name_list(names, missing, n_missing));
  }
}

}  // namespace pyglue
