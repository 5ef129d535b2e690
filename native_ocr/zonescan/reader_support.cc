// Pieces the score, period, single-digit and clock readers share.
#include "native_ocr/zonescan/bindings.h"
#include "native_ocr/zonescan/display.h"

namespace native_ocr::zonescan {

pyglue::Ref module_named(const pyglue::Name& name) {
  pyglue::Ref module = pyglue::Ref::steal(PyImport_GetModule(name.get()));
  if (!module) {
    if (PyErr_Occurred()) {
      throw pyglue::PythonError();
    }
    module = pyglue::check(PyImport_Import(name.get()));
  }
  return module;
}

pyglue::Ref call_zonescan_function(const char* name, std::initializer_list<PyObject*> args) {
  static const pyglue::Name kModule("native_ocr.zonescan");
  pyglue::Ref module = module_named(kModule);
  pyglue::Ref function = pyglue::check(PyObject_GetAttrString(module.get(), name));
  pyglue::Ref tuple = pyglue::check(PyTuple_New(static_cast<Py_ssize_t>(args.size())));
  Py_ssize_t i = 0;
  for (PyObject* arg : args) {
    PyTuple_SetItem(tuple.get(), i++, pyglue::Ref::borrow(arg).release());
  }
  return pyglue::check(PyObject_Call(function.get(), tuple.get(), nullptr));
}

std::optional<ReaderDisplay> prepare_reader_display(
    PyObject* crop, PyObject* processing,
    const std::function<void(const cv::Mat& crop_pixels)>& with_crop) {
  if (crop == nullptr || crop == Py_None) {
    return std::nullopt;
  }
  pyglue::ImageView view(crop);
  if (view.empty()) {
    return std::nullopt;
  }
  ProcessingSettings settings;
  normalize_settings(processing, &settings);
  view.require_8bit_image("crop");
  const cv::Mat pixels = view.mat();
  ReaderDisplay out;
  out.angle = settings.rotation;
  pyglue::GilRelease unlocked;
  out.binary = process_image(pixels, view.ndim() == 3, settings);
  if (with_crop) {
    with_crop(pixels);
  }
  return out;
}

}  // namespace native_ocr::zonescan
