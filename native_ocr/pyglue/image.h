// Images in and out: caller arrays are read through the buffer protocol without copying, results
// leave as new numpy arrays, and crops are taken through the caller's own slicing so they stay
// views of the caller's pixels.
#ifndef NATIVE_OCR_PYGLUE_IMAGE_H_
#define NATIVE_OCR_PYGLUE_IMAGE_H_

#include <cstdint>

#include <opencv2/core.hpp>

#include "native_ocr/pyglue/python.h"
#include "native_ocr/pyglue/ref.h"

namespace pyglue {

// The byte step between neighbours along `axis` of a held buffer. A buffer exported without
// strides (ctypes arrays, PyBUF_ND requests) is C-contiguous; its steps are derived from the shape.
Py_ssize_t buffer_stride(const Py_buffer& buffer, int axis);

// A read-only view of a caller's image through the buffer protocol. The buffer is held (and the
// caller's array kept alive) until the view is destroyed; nothing is ever written through it.
class ImageView {
 public:
  // Any object exporting a buffer. Throws TypeError for an object without one.
  explicit ImageView(PyObject* object);
  ~ImageView();
  ImageView(const ImageView&) = delete;
  ImageView& operator=(const ImageView&) = delete;

  PyObject* object() const { return object_; }
  int ndim() const { return buffer_.ndim; }
  int64_t dim(int i) const { return buffer_.shape[i]; }
  // True when the buffer holds no element (some dimension is 0).
  bool empty() const;

  // Checks that the image is a 2-D (rows x columns) or 3-D (rows x columns x channels) array of
  // 8-bit unsigned elements: TypeError for another element type, ValueError for another shape.
  void require_8bit_image(const char* what) const;

  // The pixels as an 8-bit cv::Mat with one channel per element of the last axis (a 2-D image has
  // one). A header over the caller's buffer when its strides allow one (C-contiguous arrays and
  // row-strided views such as crops); otherwise a packed copy. Call require_8bit_image first.
  // ValueError for a 3-D image with no channels.
  cv::Mat mat() const;

 private:
  PyObject* object_;
  Py_buffer buffer_{};
};

// A new numpy array that C++ code fills in place: mat() is a header over the array's own memory,
// rows x columns (x channels when there is more than one) of 8-bit elements, C-contiguous.
class NewArray {
 public:
  NewArray(int rows, int cols, int channels = 1);
  ~NewArray();
  NewArray(const NewArray&) = delete;
  NewArray& operator=(const NewArray&) = delete;

  cv::Mat& mat() { return mat_; }
  // Hands the array over, holding `filled`: nothing to do when it was written through mat(),
  // otherwise (OpenCV gave the result its own memory) it is copied in. Same size and type.
  Ref take(const cv::Mat& filled);

 private:
  Ref array_;
  Py_buffer buffer_{};
  bool has_buffer_ = false;
  cv::Mat mat_;
};

// A new numpy array holding a copy of an 8-bit image: rows x columns for one channel, rows x
// columns x channels otherwise.
Ref new_array(const cv::Mat& image);

// image[row_begin:row_end, col_begin:col_end] through the object's own slicing (a view for a
// numpy array).
Ref slice_rows_cols(PyObject* image, int64_t row_begin, int64_t row_end, int64_t col_begin,
                    int64_t col_end);

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_IMAGE_H_
