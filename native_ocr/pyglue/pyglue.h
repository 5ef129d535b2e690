// pyglue: the small layer between the reader modules' C++ cores and the CPython stable ABI.
//
//   python.h   the only include of Python.h; refuses to compile without Py_LIMITED_API
//   ref.h      Ref, an owned reference; check() turns a failed C API call into PythonError
//   errors.h   TypeError, ValueError, KeyError, ... as C++ exceptions; cv::Exception -> cv2.error
//   args.h     Signature: arguments by position or keyword, with the interpreter's messages
//   convert.h  int/float/str conversions with the interpreter's rules and messages; Name (interned
//              keys); DictBuilder (dictionaries in a fixed key order); list (new_list_of ...) and
//              number builders
//   image.h    ArrayView (the one view of caller arrays: buffer protocol, no copy), Float32Map and
//              double_vector (arrays numpy converts first), new_array / new_zeros_array /
//              new_float32_array (results as new numpy arrays), slice_rows_cols (crops as views
//              through the caller's slicing)
//   gil.h      GilRelease, around pure C++ work
//   module.h   ModuleBuilder and the registration pattern every module follows:
//
// A module is assembled from binding files. Each binding file defines its functions
//
//   pyglue::Ref py_clock_slots(PyObject* args, PyObject* kwargs) {
//     static constexpr pyglue::Signature<3> kSig("clock_slots", {"width", "height", "separator_x"},
//     2); auto [width, height, separator_x] = kSig.parse(args, kwargs);
//     ...
//     return result;
//   }
//
// and one registration function that adds them:
//
//   void add_layout_bindings(pyglue::ModuleBuilder& module) {
//     module.add_function<py_clock_slots>("clock_slots", "doc");
//   }
//
// The module's module.cc lists the registration functions, one line each:
//
//   PyMODINIT_FUNC PyInit_zonescan() {
//     static pyglue::ModuleBuilder builder("native_ocr.zonescan", "doc");
//     return builder.create({add_settings_bindings, add_layout_bindings, ...});
//   }
#ifndef NATIVE_OCR_PYGLUE_PYGLUE_H_
#define NATIVE_OCR_PYGLUE_PYGLUE_H_

#include "native_ocr/pyglue/args.h"
#include "native_ocr/pyglue/convert.h"
#include "native_ocr/pyglue/errors.h"
#include "native_ocr/pyglue/gil.h"
#include "native_ocr/pyglue/image.h"
#include "native_ocr/pyglue/module.h"
#include "native_ocr/pyglue/python.h"
#include "native_ocr/pyglue/ref.h"

#endif  // NATIVE_OCR_PYGLUE_PYGLUE_H_
