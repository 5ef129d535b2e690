// What the calibration bindings (calibration_bindings.cc, trust_bindings.cc) share: reading
// reader result dictionaries and the zones they came from.
#ifndef NATIVE_OCR_ZONESCAN_PYTHON_CALIBRATION_GLUE_H_
#define NATIVE_OCR_ZONESCAN_PYTHON_CALIBRATION_GLUE_H_

#include <array>
#include <cstdint>
#include <string>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/calibration/trust.h"

namespace native_ocr::zonescan::calibration_glue {

// The dictionary and sequence chores of pyglue these files use.
using pyglue::dict_value;
using pyglue::is_str;
using pyglue::sequence_item;
using pyglue::sequence_size;

// How far from 0 a box or size of a result handed back may reach: 256 times the largest crop a
// reader reads, so no box of a real reading comes near it, and small enough that the picture's
// scaled and shifted boxes and the trust rule's spans stay far inside int.
constexpr int64_t kMaxResultCoordinate = int64_t{1} << 20;

// A sequence of exactly N numbers, each converted as int() converts it and within
// ±kMaxResultCoordinate (ValueError otherwise).
template <size_t N>
std::array<int, N> int_array(PyObject* sequence) {
  std::array<int, N> out{};
  const std::string expected = "expected " + std::to_string(N) + " numbers";
  if (sequence_size(sequence) != static_cast<Py_ssize_t>(N)) {
    throw pyglue::ValueError(expected);
  }
  for (size_t i = 0; i < N; ++i) {
    const int64_t v = pyglue::python_int(sequence_item(sequence, static_cast<Py_ssize_t>(i)).get());
    if (v < -kMaxResultCoordinate || v > kMaxResultCoordinate) {
      throw pyglue::ValueError(expected + " within -" + std::to_string(kMaxResultCoordinate) +
                               ".." + std::to_string(kMaxResultCoordinate));
    }
    out[i] = static_cast<int>(v);
  }
  return out;
}

// A box of a result handed back: int_array<4>, as the one inclusive Box.
inline Box box_of(PyObject* sequence) {
  const std::array<int, 4> v = int_array<4>(sequence);
  return {v[0], v[1], v[2], v[3]};
}

// The slot results of a reader result: `digit_items` of a clock, `ocr_items` otherwise.
PyObject* slot_items(PyObject* result);
// TypeError unless `result` is a dictionary.
void require_result(PyObject* result);
// The zone's role, or the one given; "home_score" when neither names one.
std::string role_of(PyObject* zone, PyObject* role);
// The zone read by the module's reader for `role`, as read_*_from_image reads it.
pyglue::Ref read_with(const std::string& role, PyObject* zone, PyObject* image);
// What a reader result dictionary holds for the trust rule.
calibration::TrustInput trust_input(PyObject* result);
// The same with the zone's role and the other classifier's opinion of the result's cells on the
// zone of `image` (a reading of the learned classifier weighed by the seven-segment one's cells).
calibration::TrustInput second_opinion_input(PyObject* result, PyObject* zone, PyObject* image);
// trust_reading(result, zone=None, image=None).
pyglue::Ref trust_reading(PyObject* args, PyObject* kwargs);

}  // namespace native_ocr::zonescan::calibration_glue

#endif  // NATIVE_OCR_ZONESCAN_PYTHON_CALIBRATION_GLUE_H_
