// _ensure_reflected_sheet_blur: the separator blur's once-per-process self-check as a callable
// object of its own type, whose `ready` attribute the interpreter can look up.
#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/separator/separator_windows.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::Ref;
using pyglue::Signature;

// _ensure_reflected_sheet_blur is a callable object so that its `ready` attribute can exist: absent
// until the first successful check, then True.
PyObject* ensure_call(PyObject* /*self*/, PyObject* args, PyObject* kwargs) {
  try {
    static constexpr Signature<0> kSig("_ensure_reflected_sheet_blur", {}, 0);
    kSig.parse(args, kwargs);
    ensure_reflected_sheet_blur();
    return pyglue::none().release();
  } catch (...) {
    pyglue::set_error_from_current_exception();
    return nullptr;
  }
}

PyObject* ensure_ready(PyObject* /*self*/, void* /*closure*/) {
  if (!reflected_sheet_blur_ready()) {
    PyErr_SetString(PyExc_AttributeError,
                    "'_ensure_reflected_sheet_blur' has no attribute 'ready' yet");
    return nullptr;
  }
  return pyglue::new_bool(true).release();
}

// An empty inspect.Signature: the callable takes no arguments.
PyObject* ensure_signature(PyObject* /*self*/, void* /*closure*/) {
  try {
    Ref inspect = pyglue::check(PyImport_ImportModule("inspect"));
    Ref signature = pyglue::check(PyObject_GetAttrString(inspect.get(), "Signature"));
    return pyglue::check(PyObject_CallNoArgs(signature.get())).release();
  } catch (...) {
    pyglue::set_error_from_current_exception();
    return nullptr;
  }
}

}  // namespace

Ref new_ensure_callable() {
  static PyGetSetDef getset[] = {{"ready", ensure_ready, nullptr,
                                  "True once the sheet blur has passed its self-check.", nullptr},
                                 {"__signature__", ensure_signature, nullptr, nullptr, nullptr},
                                 {nullptr, nullptr, nullptr, nullptr, nullptr}};
  static char doc[] =
      "_ensure_reflected_sheet_blur()\n--\n\nOnce per process, checks that the sheet blur equals "
      "per-window Gaussian blurring; sets `ready`.";
  static PyType_Slot slots[] = {{Py_tp_call, reinterpret_cast<void*>(ensure_call)},
                                {Py_tp_getset, getset},
                                {Py_tp_doc, doc},
                                {0, nullptr}};
  static PyType_Spec type_spec = {"native_ocr.zonescan.SheetBlurCheck", sizeof(PyObject), 0,
                                  Py_TPFLAGS_DEFAULT, slots};
  Ref type = pyglue::check(PyType_FromSpec(&type_spec));
  return pyglue::check(PyObject_CallNoArgs(type.get()));
}

}  // namespace native_ocr::zonescan
