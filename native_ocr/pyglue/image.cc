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

// Whether OpenCV can address the buffer in place: rows may be any stride, but the elements of a
// row must be packed.
bool mat_compatible(const Py_buffer& b, int channels) {
  if (b.ndim == 3 && buffer_stride(b, 2) != 1) {
    return false;
  }
  return buffer_stride(b, 1) == channels &&
         buffer_stride(b, 0) >= static_cast<Py_ssize_t>(b.shape[1]) * channels;
}

}  // namespace

Py_ssize_t buffer_stride(const Py_buffer& buffer, int axis) {
  if (buffer.strides != nullptr) {
    return buffer.strides[axis];
  }
  Py_ssize_t stride = buffer.itemsize;
  for (int i = axis + 1; i < buffer.ndim; ++i) {
    stride *= buffer.shape[i];
  }
  return stride;
}

ImageView::ImageView(PyObject* object) : object_(object) {
  if (PyObject_GetBuffer(object, &buffer_, PyBUF_RECORDS_RO) != 0) {
    PyErr_Clear();
    throw TypeError("expected an image array (2-D or 3-D uint8), got " + type_name(object));
  }
}

ImageView::~ImageView() {
  PyBuffer_Release(&buffer_);
}

bool ImageView::empty() const {
  for (int i = 0; i < buffer_.ndim; ++i) {
    if (buffer_.shape[i] == 0) {
      return true;
    }
  }
  return buffer_.ndim > 0 && buffer_.len == 0;
}

void ImageView::require_8bit_image(const char* what) const {
  if (buffer_.itemsize != 1 || !is_uint8_format(buffer_.format)) {
    throw TypeError(std::string(what) + " must be an 8-bit unsigned (uint8) array, got format '" +
                    (buffer_.format ? buffer_.format : "B") + "'");
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

cv::Mat ImageView::mat() const {
  const int rows = static_cast<int>(buffer_.shape[0]);
  const int cols = static_cast<int>(buffer_.shape[1]);
  const int channels = buffer_.ndim == 3 ? static_cast<int>(buffer_.shape[2]) : 1;
  if (channels < 1) {
    // CV_8UC(0) would read as 512 channels over a buffer that holds none.
    throw ValueError("image has no channels");
  }
  auto* data = static_cast<unsigned char*>(buffer_.buf);
  if (mat_compatible(buffer_, channels)) {
    const auto step = static_cast<size_t>(buffer_stride(buffer_, 0));
    return cv::Mat(rows, cols, CV_8UC(channels), data, step);
  }
  cv::Mat packed(rows, cols, CV_8UC(channels));
  const Py_ssize_t s[3] = {buffer_stride(buffer_, 0), buffer_stride(buffer_, 1),
                           buffer_.ndim == 3 ? buffer_stride(buffer_, 2) : 0};
  for (int r = 0; r < rows; ++r) {
    unsigned char* out = packed.ptr<unsigned char>(r);
    for (int c = 0; c < cols; ++c) {
      const unsigned char* pixel = data + r * s[0] + c * s[1];
      for (int k = 0; k < channels; ++k) {
        *out++ = pixel[buffer_.ndim == 3 ? k * s[2] : 0];
      }
    }
  }
  return packed;
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
