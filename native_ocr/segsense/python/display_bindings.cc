// Display arrays handed in from Python: DisplayBuffer and new_cell_array.
#include <cstring>
#include <optional>
#include <string>

#include "native_ocr/segsense/python/bindings.h"

namespace native_ocr::segsense {
namespace {

// The element type of a buffer's struct-module format, when it is one read directly: a single
// native-order code.
std::optional<ElementType> element_type(const char* format, Py_ssize_t itemsize) {
  if (format == nullptr) {
    return ElementType::kUInt8;
  }
  if (*format == '@' || *format == '=' || *format == '<' || *format == '|') {
    ++format;  // native or little-endian order, which is this machine's
  }
  if (format[0] == '\0' || format[1] != '\0') {
    return std::nullopt;
  }
  const char code = format[0];
  if (code == '?') {
    return ElementType::kBool;
  }
  if (code == 'e' && itemsize == 2) {
    return ElementType::kFloat16;
  }
  if (code == 'f' && itemsize == 4) {
    return ElementType::kFloat32;
  }
  if (code == 'd' && itemsize == 8) {
    return ElementType::kFloat64;
  }
  const bool is_signed = std::strchr("bhilq", code) != nullptr;
  if (!is_signed && std::strchr("BHILQ", code) == nullptr) {
    return std::nullopt;
  }
  switch (itemsize) {
    case 1:
      return is_signed ? ElementType::kInt8 : ElementType::kUInt8;
    case 2:
      return is_signed ? ElementType::kInt16 : ElementType::kUInt16;
    case 4:
      return is_signed ? ElementType::kInt32 : ElementType::kUInt32;
    case 8:
      return is_signed ? ElementType::kInt64 : ElementType::kUInt64;
    default:
      return std::nullopt;
  }
}

[[noreturn]] void wrong_dimensions(int ndim) {
  throw pyglue::ValueError("the display must have 2 or 3 dimensions, got " + std::to_string(ndim));
}

}  // namespace

DisplayBuffer::DisplayBuffer(PyObject* object) {
  array_.emplace(object, std::nothrow);
  if (!array_->valid()) {
    array_.reset();
    if (!PyErr_ExceptionMatches(PyExc_BufferError) && !PyErr_ExceptionMatches(PyExc_TypeError) &&
        !PyErr_ExceptionMatches(PyExc_ValueError)) {
      throw pyglue::PythonError();
    }
    PyErr_Clear();
    open_through_numpy(object);
    return;
  }
  const auto type = element_type(array_->format(), array_->itemsize());
  if (!type) {
    array_.reset();
    open_through_numpy(object);
    return;
  }
  open(*array_);
  view_.type = *type;
}

void DisplayBuffer::open(const pyglue::ArrayView& array) {
  if (array.ndim() != 2 && array.ndim() != 3) {
    wrong_dimensions(array.ndim());
  }
  view_.data = array.data();
  view_.rows = array.dim(0);
  view_.cols = array.dim(1);
  view_.channels = array.ndim() == 3 ? array.dim(2) : 1;
  view_.row_stride = array.stride(0);
  view_.col_stride = array.stride(1);
  view_.channel_stride = array.ndim() == 3 ? array.stride(2) : 0;
  if (view_.rows > INT32_MAX || view_.cols > INT32_MAX) {
    throw pyglue::ValueError("the display is too large");
  }
}

// numpy.asarray(object), reduced by its maximum over channels when three-dimensional, > 0.
void DisplayBuffer::open_through_numpy(PyObject* object) {
  static const pyglue::Name kAsarray("asarray"), kNdim("ndim"), kMax("max"), kAxis("axis");
  pyglue::Ref asarray = pyglue::check(PyObject_GetAttr(pyglue::numpy_module(), kAsarray.get()));
  pyglue::Ref array = pyglue::check(PyObject_CallFunctionObjArgs(asarray.get(), object, nullptr));
  pyglue::Ref ndim_obj = pyglue::check(PyObject_GetAttr(array.get(), kNdim.get()));
  const int64_t ndim = pyglue::python_int(ndim_obj.get());
  if (ndim != 2 && ndim != 3) {
    wrong_dimensions(static_cast<int>(ndim));
  }
  if (ndim == 3) {
    pyglue::Ref max = pyglue::check(PyObject_GetAttr(array.get(), kMax.get()));
    pyglue::Ref args = pyglue::check(PyTuple_New(0));
    pyglue::Ref kwargs = pyglue::check(PyDict_New());
    pyglue::Ref axis = pyglue::new_int(-1);
    pyglue::check_status(PyDict_SetItem(kwargs.get(), kAxis.get(), axis.get()));
    array = pyglue::check(PyObject_Call(max.get(), args.get(), kwargs.get()));
  }
  pyglue::Ref zero = pyglue::new_int(0);
  converted_ = pyglue::check(PyObject_RichCompare(array.get(), zero.get(), Py_GT));
  array_.emplace(converted_.get(), std::nothrow);
  if (!array_->valid()) {
    throw pyglue::PythonError();
  }
  if (array_->itemsize() != 1 || array_->ndim() != 2) {
    throw pyglue::TypeError("the display's elements cannot be compared with 0");
  }
  open(*array_);
  view_.type = ElementType::kBool;
}

const DisplayView& DisplayBuffer::view() const {
  if (view_.channels == 0) {
    throw pyglue::ValueError(
        "zero-size array to reduction operation maximum which has no identity");
  }
  return view_;
}

void DisplayBuffer::binarize_all(cv::Mat* cell) const {
  binarize_region(view(), 0, 0, view_.rows, view_.cols, cell);
}

pyglue::Ref new_cell_array(const cv::Mat& cell, int64_t rows, int64_t cols) {
  return rows > 0 && cols > 0 ? pyglue::new_array(cell) : pyglue::new_zeros_array(rows, cols);
}

}  // namespace native_ocr::segsense
