// Display arrays handed in from Python, read through the buffer protocol without copying.
// Arrays of an element type the classifier cannot read directly (complex, object, long double,
// byte-swapped ...) are first binarised by numpy: max over channels, then > 0.
#ifndef NATIVE_OCR_SEGSENSE_DISPLAY_BUFFER_H_
#define NATIVE_OCR_SEGSENSE_DISPLAY_BUFFER_H_

#include <opencv2/core/mat.hpp>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/segsense/display_view.h"

namespace native_ocr::segsense {

class DisplayBuffer {
 public:
  // Throws TypeError for an object that is not an array, ValueError for an array that does not
  // have 2 or 3 dimensions.
  explicit DisplayBuffer(PyObject* object);
  DisplayBuffer(const DisplayBuffer&) = delete;
  DisplayBuffer& operator=(const DisplayBuffer&) = delete;

  int64_t rows() const { return view_.rows; }
  int64_t cols() const { return view_.cols; }
  const DisplayView& view() const;  // ValueError for a three-dimensional array without channels

  // The whole array binarised into *cell (0/1, CV_8UC1).
  void binarize_all(cv::Mat* cell) const;

 private:
  void open();
  void open_through_numpy(PyObject* object);

  // Releases the buffer also when the constructor throws after taking it.
  struct HeldBuffer {
    Py_buffer buffer{};
    bool held = false;
    HeldBuffer() = default;
    HeldBuffer(const HeldBuffer&) = delete;
    HeldBuffer& operator=(const HeldBuffer&) = delete;
    ~HeldBuffer() {
      if (held) {
        PyBuffer_Release(&buffer);
      }
    }
  };

  pyglue::Ref converted_;  // the numpy-binarised array, when the caller's could not be read
  HeldBuffer held_;
  DisplayView view_;
};

// A new numpy array (rows x columns, uint8) holding a copy of a 0/1 cell; empty shapes included.
pyglue::Ref new_cell_array(const cv::Mat& cell, int64_t rows, int64_t cols);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_DISPLAY_BUFFER_H_
