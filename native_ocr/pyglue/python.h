// The one way into the CPython headers for the reader modules. Everything here is bound on the
// stable ABI (limited API of CPython 3.11) so that one built module loads in every later
// interpreter; a source that reaches Python.h without Py_LIMITED_API does not compile.
#ifndef NATIVE_OCR_PYGLUE_PYTHON_H_
#define NATIVE_OCR_PYGLUE_PYTHON_H_

#ifndef Py_LIMITED_API
#error \
    "native_ocr bindings need Py_LIMITED_API=0x030B0000 (stable ABI); build them through native_ocr_add_module or native_ocr_pyglue"
#elif Py_LIMITED_API < 0x030B0000
#error \
    "native_ocr bindings need Py_LIMITED_API of at least 0x030B0000 (buffer protocol in the stable ABI)"
#endif

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#endif  // NATIVE_OCR_PYGLUE_PYTHON_H_
