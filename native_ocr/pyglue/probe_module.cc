// _pyglue_probe: a test-only module that exposes each pyglue helper directly.
#include <opencv2/core.hpp>

#include "native_ocr/pyglue/pyglue.h"

namespace {

pyglue::Ref py_three_params(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("three_params", {"a", "b", "c"}, 2);
  auto parsed = kSig.parse(args, kwargs);
  pyglue::Ref out = pyglue::check(PyTuple_New(3));
  for (Py_ssize_t i = 0; i < 3; ++i) {
    PyObject* v = parsed[static_cast<size_t>(i)];
    PyTuple_SetItem(out.get(), i, pyglue::Ref::borrow(v ? v : Py_Ellipsis).release());
  }
  return out;
}

pyglue::Ref py_no_params(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<0> kSig("no_params", {}, 0);
  kSig.parse(args, kwargs);
  return pyglue::none();
}

pyglue::Ref py_int_argument(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("int_argument", {"value"}, 1);
  auto [value] = kSig.parse(args, kwargs);
  return pyglue::new_int(pyglue::int_argument(value, "value"));
}

pyglue::Ref py_python_int(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("python_int", {"value"}, 1);
  auto [value] = kSig.parse(args, kwargs);
  return pyglue::new_int(pyglue::python_int(value));
}

// (ndim, shape, whether the Mat reads the caller's memory in place)
pyglue::Ref py_image_info(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("image_info", {"image"}, 1);
  auto [image] = kSig.parse(args, kwargs);
  pyglue::ArrayView view(image);
  view.require_8bit_image("image");
  cv::Mat mat = view.mat();
  Py_buffer raw;
  pyglue::check_status(PyObject_GetBuffer(image, &raw, PyBUF_RECORDS_RO));
  const bool in_place = mat.data == raw.buf;
  PyBuffer_Release(&raw);
  return pyglue::check(Py_BuildValue("(iiiiO)", view.ndim(), mat.rows, mat.cols, mat.channels(),
                                     in_place ? Py_True : Py_False));
}

pyglue::Ref py_copy_image(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("copy_image", {"image"}, 1);
  auto [image] = kSig.parse(args, kwargs);
  pyglue::ArrayView view(image);
  view.require_8bit_image("image");
  return pyglue::new_array(view.mat());
}

pyglue::Ref py_crop(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<5> kSig("crop", {"image", "r0", "r1", "c0", "c1"}, 5);
  auto [image, r0, r1, c0, c1] = kSig.parse(args, kwargs);
  return pyglue::slice_rows_cols(image, pyglue::int_argument(r0, "r0"),
                                 pyglue::int_argument(r1, "r1"), pyglue::int_argument(c0, "c0"),
                                 pyglue::int_argument(c1, "c1"));
}

pyglue::Ref py_raise(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("raise_error", {"kind", "message"}, 2);
  auto [kind_obj, message_obj] = kSig.parse(args, kwargs);
  std::string kind(pyglue::utf8(kind_obj));
  std::string message(pyglue::utf8(message_obj));
  if (kind == "type")
    throw pyglue::TypeError(message);
  if (kind == "value")
    throw pyglue::ValueError(message);
  if (kind == "key")
    throw pyglue::KeyError(message);
  if (kind == "attribute")
    throw pyglue::AttributeError(message);
  if (kind == "overflow")
    throw pyglue::OverflowError(message);
  if (kind == "memory")
    throw std::bad_alloc();
  if (kind == "opencv") {
    cv::Mat three(2, 2, CV_8UC3), one(2, 2, CV_8UC1);
    cv::Mat sum = three + one;  // mismatched channels: OpenCV throws
  }
  throw std::runtime_error(message);
}

pyglue::Ref py_ordered_dict(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<0> kSig("ordered_dict", {}, 0);
  kSig.parse(args, kwargs);
  static const pyglue::Name kZ("z"), kA("a"), kM("m");
  return pyglue::DictBuilder()
      .set(kZ, pyglue::new_int(1))
      .set(kA, pyglue::new_float(2.5))
      .set(kM, pyglue::new_int_list({1, -2, 3}))
      .build();
}

void add_probe_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_three_params>("three_params", nullptr);
  module.add_function<py_no_params>("no_params", nullptr);
  module.add_function<py_int_argument>("int_argument", nullptr);
  module.add_function<py_python_int>("python_int", nullptr);
  module.add_function<py_image_info>("image_info", nullptr);
  module.add_function<py_copy_image>("copy_image", nullptr);
  module.add_function<py_crop>("crop", nullptr);
  module.add_function<py_raise>("raise_error", nullptr);
  module.add_function<py_ordered_dict>("ordered_dict", nullptr);
}

}  // namespace

PyMODINIT_FUNC PyInit__pyglue_probe() {
  static pyglue::ModuleBuilder builder("_pyglue_probe", "pyglue test probe");
  return builder.create({add_probe_bindings});
}
