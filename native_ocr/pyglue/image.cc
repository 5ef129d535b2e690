#include "native_ocr/pyglue/image.h"

#include <cstring>
#include <string>

#include "native_ocr/pyglue/convert.h"
#include "native_ocr/pyglue/errors.h"
#include "native_ocr/pyglue/module.h"

namespace pyglue {
namespace {

// Struct-module format of unsigned bytes, with or without a byte-order mark.
bool is_uint8_format(const char* format) {
  if (format == nullptr) {
    return true;  // the buffer protocol's default is unsigned bytes
  }
  if (*format == '@' || *format == '=' || *format == '<' || *format == '>' || *format == '!' ||
      *format == '|') {
    ++format;
  }
  return std::strcmp(format, "B") == 0;
}

}  // namespace

ArrayView::ArrayView(PyObject* object) : ArrayView(object, std::nothrow) {
  if (!held_) {
    PyErr_Clear();
    throw TypeError("expected an image array (2-D or 3-D uint8), got " + type_name(object));
  }
}

ArrayView::ArrayView(PyObject* object, std::nothrow_t) : object_(object) {
  if (PyObject_GetBuffer(object, &buffer_, PyBUF_RECORDS_RO) == 0) {
    held_ = true;
    take_strides();
  }
}

ImageArgument::ImageArgument(PyObject* object, Presence presence) {
  if (presence == Presence::kRequired || (object != nullptr && object != Py_None)) {
    view_.emplace(object);
  }
}

cv::Mat ImageArgument::pixels(const char* what) const {
  if (!view_) {
    return cv::Mat();
  }
  view_->require_8bit_image(what);
  return view_->mat();
}

ArrayView::~ArrayView() {
  if (held_) {
    PyBuffer_Release(&buffer_);
  }
}

// The exporter's strides, or those of a C-contiguous array of its shape when it gives none.
void ArrayView::take_strides() {
  const int n = buffer_.ndim;
  strides_.assign(static_cast<size_t>(n), 0);
  int64_t step = buffer_.itemsize;
  for (int i = n - 1; i >= 0; --i) {
    if (buffer_.strides != nullptr) {
      strides_[static_cast<size_t>(i)] = buffer_.strides[i];
    } else {
      strides_[static_cast<size_t>(i)] = step;
      step *= buffer_.shape != nullptr ? buffer_.shape[i] : 1;
    }
  }
}

bool ArrayView::empty() const {
  for (int i = 0; i < buffer_.ndim; ++i) {
    if (buffer_.shape[i] == 0) {
      return true;
    }
  }
  return buffer_.ndim > 0 && buffer_.len == 0;
}

void ArrayView::require_8bit_image(const char* what) const {
  if (buffer_.itemsize != 1 || !is_uint8_format(buffer_.format)) {
    throw TypeError(std::string(what) + " must be an 8-bit unsigned (uint8) array, got format '" +
                    format() + "'");
  }
  if (buffer_.ndim != 2 && buffer_.ndim != 3) {
    throw ValueError(std::string(what) + " must have 2 or 3 dimensions, got " +
                     std::to_string(buffer_.ndim));
  }
  if (buffer_.ndim == 3 && buffer_.shape[2] > CV_CN_MAX) {
    throw ValueError(std::string(what) + " has too many channels (" +
                     std::to_string(buffer_.shape[2]) + ")");
  }
  if (buffer_.shape[0] > INT32_MAX || buffer_.shape[1] > INT32_MAX) {
    throw ValueError(std::string(what) + " is too large");
  }
}

cv::Mat ArrayView::mat() const {
  const int rows = static_cast<int>(buffer_.shape[0]);
  const int cols = static_cast<int>(buffer_.shape[1]);
  const int channels = buffer_.ndim == 3 ? static_cast<int>(buffer_.shape[2]) : 1;
  if (channels < 1) {
    // CV_8UC(0) would read as 512 channels over a buffer that holds none.
    throw ValueError("image has no channels");
  }
  auto* data = static_cast<unsigned char*>(buffer_.buf);
  const bool packed_rows = (buffer_.ndim == 2 || stride(2) == 1) && stride(1) == channels &&
                           stride(0) >= static_cast<int64_t>(cols) * channels;
  if (packed_rows) {
    return cv::Mat(rows, cols, CV_8UC(channels), data, static_cast<size_t>(stride(0)));
  }
  cv::Mat packed(rows, cols, CV_8UC(channels));
  for (int r = 0; r < rows; ++r) {
    unsigned char* out = packed.ptr<unsigned char>(r);
    for (int c = 0; c < cols; ++c) {
      const unsigned char* pixel = data + r * stride(0) + c * stride(1);
      for (int k = 0; k < channels; ++k) {
        *out++ = pixel[buffer_.ndim == 3 ? k * stride(2) : 0];
      }
    }
  }
  return packed;
}

Float32Map::Float32Map(PyObject* object, const char* name) {
  static const Name kAscontiguous("ascontiguousarray"), kFloat32("float32"), kDtype("dtype");
  Ref convert = check(PyObject_GetAttr(numpy_module(), kAscontiguous.get()));
  Ref dtype = check(PyObject_GetAttr(numpy_module(), kFloat32.get()));
  Ref args = check(PyTuple_Pack(1, object));
  Ref kwargs = DictBuilder().set(kDtype, dtype).build();
  array_ = check(PyObject_Call(convert.get(), args.get(), kwargs.get()));
  view_.emplace(array_.get());
  if (view_->ndim() != 2 || view_->dim(0) > INT32_MAX || view_->dim(1) > INT32_MAX) {
    throw ValueError(std::string(name) + " must be a two-dimensional array");
  }
  mat_ = cv::Mat(static_cast<int>(view_->dim(0)), static_cast<int>(view_->dim(1)), CV_32FC1,
                 const_cast<char*>(view_->data()));
}

std::vector<double> double_vector(PyObject* object, const char* name) {
  static const Name kAsarray("asarray"), kFloat64("float64"), kDtype("dtype");
  Ref convert = check(PyObject_GetAttr(numpy_module(), kAsarray.get()));
  Ref dtype = check(PyObject_GetAttr(numpy_module(), kFloat64.get()));
  Ref args = check(PyTuple_Pack(1, object));
  Ref kwargs = DictBuilder().set(kDtype, dtype).build();
  Ref array = check(PyObject_Call(convert.get(), args.get(), kwargs.get()));
  const ArrayView view(array.get());
  if (view.ndim() != 1) {
    throw ValueError(std::string(name) + " must be one-dimensional");
  }
  std::vector<double> out(static_cast<size_t>(view.dim(0)));
  for (size_t i = 0; i < out.size(); ++i) {
    std::memcpy(&out[i], view.data() + static_cast<int64_t>(i) * view.stride(0), sizeof(double));
  }
  return out;
}

NewArray::NewArray(int rows, int cols, int channels) {
  Ref shape = channels == 1 ? check(Py_BuildValue("(ii)", rows, cols))
                            : check(Py_BuildValue("(iii)", rows, cols, channels));
  array_ = check(PyObject_CallFunctionObjArgs(numpy_empty(), shape.get(), numpy_uint8(), nullptr));
  check_status(PyObject_GetBuffer(array_.get(), &buffer_, PyBUF_CONTIG));
  has_buffer_ = true;
  mat_ = cv::Mat(rows, cols, CV_8UC(channels), buffer_.buf);
}

NewArray::~NewArray() {
  if (has_buffer_) {
    PyBuffer_Release(&buffer_);
  }
}

Ref NewArray::take(const cv::Mat& filled) {
  CV_Assert(filled.size() == mat_.size() && filled.type() == mat_.type());
  if (filled.data != mat_.data) {
    filled.copyTo(mat_);
  }
  PyBuffer_Release(&buffer_);
  has_buffer_ = false;
  return std::move(array_);
}

Ref new_array(const cv::Mat& image) {
  CV_Assert(image.depth() == CV_8U && image.dims == 2);
  NewArray out(image.rows, image.cols, image.channels());
  return out.take(image);
}

Ref new_zeros_array(int64_t rows, int64_t cols) {
  static const Name kZeros("zeros");
  Ref zeros = check(PyObject_GetAttr(numpy_module(), kZeros.get()));
  Ref shape =
      check(Py_BuildValue("(LL)", static_cast<long long>(rows), static_cast<long long>(cols)));
  return check(PyObject_CallFunctionObjArgs(zeros.get(), shape.get(), numpy_uint8(), nullptr));
}

Ref new_float32_array(const cv::Mat& map) {
  CV_Assert(map.type() == CV_32FC1);
  static const Name kFloat32("float32");
  Ref dtype = check(PyObject_GetAttr(numpy_module(), kFloat32.get()));
  Ref shape = check(Py_BuildValue("(ii)", map.rows, map.cols));
  Ref array = check(PyObject_CallFunctionObjArgs(numpy_empty(), shape.get(), dtype.get(), nullptr));
  Py_buffer out;
  check_status(PyObject_GetBuffer(array.get(), &out, PyBUF_CONTIG));
  const size_t row_bytes = static_cast<size_t>(map.cols) * sizeof(float);
  for (int r = 0; r < map.rows; ++r) {
    std::memcpy(static_cast<char*>(out.buf) + static_cast<size_t>(r) * row_bytes, map.ptr(r),
                row_bytes);
  }
  PyBuffer_Release(&out);
  return array;
}

Ref slice_rows_cols(PyObject* image, int64_t row_begin, int64_t row_end, int64_t col_begin,
                    int64_t col_end) {
  Ref r0 = new_int(row_begin), r1 = new_int(row_end), c0 = new_int(col_begin),
      c1 = new_int(col_end);
  Ref rows = check(PySlice_New(r0.get(), r1.get(), nullptr));
  Ref cols = check(PySlice_New(c0.get(), c1.get(), nullptr));
  Ref key = check(PyTuple_Pack(2, rows.get(), cols.get()));
  return check(PyObject_GetItem(image, key.get()));
}

}  // namespace pyglue
