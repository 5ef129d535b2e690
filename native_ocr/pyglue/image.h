// Images in and out: caller arrays are read through the buffer protocol without copying, results
// leave as new numpy arrays, and crops are taken through the caller's own slicing so they stay
// views of the caller's pixels.
#ifndef NATIVE_OCR_PYGLUE_IMAGE_H_
#define NATIVE_OCR_PYGLUE_IMAGE_H_

#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/pyglue/python.h"
#include "native_ocr/pyglue/ref.h"

namespace pyglue {

// The one view of a caller's array: its buffer taken through the buffer protocol with shape,
// strides and format (strides computed as C-contiguous when the exporter gives none), held (and the
// caller's array kept alive) until the view is destroyed; nothing is ever written through it.
class ArrayView {
 public:
  // Any object exporting a buffer. Throws TypeError for an object without one.
  explicit ArrayView(PyObject* object);
  // The same, but an object without a buffer leaves the view invalid with the exporter's error
  // still set, for callers that fall back to a conversion.
  ArrayView(PyObject* object, std::nothrow_t);
  ~ArrayView();
  ArrayView(const ArrayView&) = delete;
  ArrayView& operator=(const ArrayView&) = delete;

  bool valid() const { return held_; }
  PyObject* object() const { return object_; }
  int ndim() const { return buffer_.ndim; }
  int64_t dim(int i) const { return buffer_.shape[i]; }
  int64_t stride(int i) const { return strides_[static_cast<size_t>(i)]; }  // bytes, may be < 0
  int64_t itemsize() const { return buffer_.itemsize; }
  // The struct-module format of one element ("B" when the exporter gives none).
  const char* format() const { return buffer_.format ? buffer_.format : "B"; }
  const char* data() const { return static_cast<const char*>(buffer_.buf); }
  // True when the buffer holds no element (some dimension is 0).
  bool empty() const;

  // Checks that the array is a 2-D (rows x columns) or 3-D (rows x columns x channels) array of
  // 8-bit unsigned elements: TypeError for another element type, ValueError for another shape.
  void require_8bit_image(const char* what) const;

  // The pixels as an 8-bit cv::Mat with one channel per element of the last axis (a 2-D image has
  // one). A header over the caller's buffer when its strides allow one (C-contiguous arrays and
  // row-strided views such as crops); otherwise a packed copy. Call require_8bit_image first.
  // ValueError for a 3-D image with no channels.
  cv::Mat mat() const;

 private:
  void take_strides();

  PyObject* object_;
  Py_buffer buffer_{};
  bool held_ = false;
  std::vector<int64_t> strides_;
};

// An 8-bit image argument (2-D grey or 3-D with channels), read in place through an ArrayView held
// for the argument's life. An optional argument that is None or absent has no image.
class ImageArgument {
 public:
  enum class Presence { kRequired, kOptional };
  // TypeError for an object without a buffer (None included, unless optional).
  explicit ImageArgument(PyObject* object, Presence presence = Presence::kRequired);

  bool has_image() const { return view_.has_value(); }
  // True without an image or when the array has no element.
  bool empty() const { return !view_ || view_->empty(); }
  bool colour() const { return view_ && view_->ndim() == 3; }
  // The pixels (ArrayView::mat), checked by require_8bit_image(what) first; an empty Mat without
  // an image.
  cv::Mat pixels(const char* what) const;

 private:
  std::optional<ArrayView> view_;
};

// A caller's array converted by numpy (numpy.ascontiguousarray(x, dtype=float32)) and viewed as
// a single-precision map; the converted array is held until destruction. ValueError unless it has
// two dimensions.
class Float32Map {
 public:
  Float32Map(PyObject* object, const char* name);
  const cv::Mat& mat() const { return mat_; }

 private:
  Ref array_;
  std::optional<ArrayView> view_;
  cv::Mat mat_;
};

// A sequence converted by numpy (numpy.asarray(x, dtype=float64)) as a vector of doubles.
// ValueError "<name> must be one-dimensional" unless it has one dimension.
std::vector<double> double_vector(PyObject* object, const char* name);

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

// A new numpy uint8 array of zeros of any shape, empty ones included.
Ref new_zeros_array(int64_t rows, int64_t cols);

// A new float32 numpy array (rows x columns) holding a copy of a CV_32FC1 map.
Ref new_float32_array(const cv::Mat& map);

// image[row_begin:row_end, col_begin:col_end] through the object's own slicing (a view for a
// numpy array).
Ref slice_rows_cols(PyObject* image, int64_t row_begin, int64_t row_end, int64_t col_begin,
                    int64_t col_end);

}  // namespace pyglue

#endif  // NATIVE_OCR_PYGLUE_IMAGE_H_
