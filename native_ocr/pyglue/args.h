// Argument parsing for module functions: by position or by keyword, with the interpreter's own
// messages for missing, surplus, repeated and unknown arguments (as a `def` with the same
// parameters raises them).
#ifndef NATIVE_OCR_PYGLUE_ARGS_H_
#define NATIVE_OCR_PYGLUE_ARGS_H_

#include <array>
#include <cstddef>

#include "native_ocr/pyglue/python.h"

namespace pyglue {

// Fills out[0..count) with the arguments of a call (borrowed references, alive for the call;
// null for an optional parameter that was not given). The first `required` parameters have no
// default; those from `positional` on are keyword-only. Throws PythonError with a TypeError set on
// a malformed call.
void parse_arguments(const char* function, const char* const* names, size_t count, size_t required,
                     size_t positional, PyObject* args, PyObject* kwargs, PyObject** out);

// The parameter list of one function, e.g.
//   constexpr pyglue::Signature<3> kSig("clock_slots", {"width", "height", "separator_x"}, 2);
//   auto [width, height, separator_x] = kSig.parse(args, kwargs);
// The parameters from `positional` on, when it is given, are keyword-only (after a `*`).
template <size_t N>
class Signature {
 public:
  constexpr Signature(const char* function, std::array<const char*, N> names, size_t required,
                      size_t positional = N)
      : function_(function), names_(names), required_(required), positional_(positional) {}

  std::array<PyObject*, N> parse(PyObject* args, PyObject* kwargs) const {
    std::array<PyObject*, N> out{};
    parse_arguments(function_, names_.data(), N, required_, positional_, args, kwargs, out.data());
    return out;
  }

 private:
  const char* function_;
  std::array<const char*, N> names_;
  size_t required_;
  size_t positional_;
};

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_ARGS_H_
