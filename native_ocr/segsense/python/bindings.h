// The Python face of the classifier, split by concept into binding files; module.cc lists their
// registration functions. Shared conversions between Python objects and the core's types live
// here too.
#ifndef NATIVE_OCR_SEGSENSE_PYTHON_BINDINGS_H_
#define NATIVE_OCR_SEGSENSE_PYTHON_BINDINGS_H_

#include <cstdint>

#include <optional>

#include <opencv2/core/mat.hpp>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/segsense/cell_framing.h"
#include "native_ocr/segsense/display_view.h"
#include "native_ocr/segsense/segment_classifier.h"
#include "native_ocr/segsense/slot_reader.h"
#include "native_ocr/segsense/structural_frame.h"

namespace native_ocr::segsense {

void add_slot_bindings(pyglue::ModuleBuilder& module);
void add_structure_bindings(pyglue::ModuleBuilder& module);
void add_classifier_bindings(pyglue::ModuleBuilder& module);

// The result dictionary of one digit slot: dict(slot) (a copy for a dictionary), then the keys of
// the reading's shape (empty or read), in their documented order.
pyglue::Ref new_slot_result(PyObject* slot, const SlotReading& reading);

// A display array handed in from Python (display_bindings.cc), read in place through pyglue's
// array view. Arrays of an element type the classifier cannot read directly (complex, object,
// long double, byte-swapped ...) are first binarised by numpy: max over channels, then > 0.
class DisplayBuffer {
 public:
  // Throws TypeError for an object that is not an array, ValueError for an array that does not
  // have 2 or 3 dimensions.
  explicit DisplayBuffer(PyObject* object);

  int64_t rows() const { return view_.rows; }
  int64_t cols() const { return view_.cols; }
  const DisplayView& view() const;  // ValueError for a three-dimensional array without channels

  // The whole array binarised into *cell (0/1, CV_8UC1).
  void binarize_all(cv::Mat* cell) const;

 private:
  void open(const pyglue::ArrayView& array);
  void open_through_numpy(PyObject* object);

  pyglue::Ref converted_;  // the numpy-binarised array, when the caller's could not be read
  std::optional<pyglue::ArrayView> array_;
  DisplayView view_;
};

// A new numpy array (rows x columns, uint8) holding a copy of a 0/1 cell; empty shapes included.
pyglue::Ref new_cell_array(const cv::Mat& cell, int64_t rows, int64_t cols);

// The four corners of a box: int() of each item of any iterable of exactly four items.
Box box_argument(PyObject* box);

// A list of runs from Python: each run is a sequence whose items 0 and 1 are taken with int().
Runs runs_argument(PyObject* runs);

// (a, b) as a tuple of two ints.
pyglue::Ref new_int_pair(int64_t a, int64_t b);

// A list of floats, each optionally rounded to three decimals.
pyglue::Ref new_float_list(const Segments& values, bool round_to_3);

// The structure dictionary (15 keys) and the frame dictionary (18 keys; `frame` is given).
pyglue::Ref new_structure_dict(const Structure& s);
pyglue::Ref new_frame_dict(const CellFrame& f, pyglue::Ref frame_view);

// Sets the framing fields of a frame (frame_method ... nominal_frame_width) on a dictionary, in
// order; the two ratios rounded to three decimals when round_ratios is set.
void set_frame_fields(PyObject* dict, const CellFrame& f, bool round_ratios);

// A candidate dictionary: digit, variant, pattern (a tuple), score.
pyglue::Ref new_candidate_dict(const Candidate& c);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_PYTHON_BINDINGS_H_
