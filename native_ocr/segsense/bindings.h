// The Python face of the classifier, split by concept into binding files; module.cc lists their
// registration functions. Shared conversions between Python objects and the core's types live
// here too.
#ifndef NATIVE_OCR_SEGSENSE_BINDINGS_H_
#define NATIVE_OCR_SEGSENSE_BINDINGS_H_

#include <cstdint>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/segsense/cell_framing.h"
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

// The four corners of a box: int() of each item of any iterable of exactly four items.
SlotBox box_argument(PyObject* box);

// A list of runs from Python: each run is a sequence whose items 0 and 1 are taken with int().
Runs runs_argument(PyObject* runs);

// A list of [start, end] lists of ints.
pyglue::Ref new_run_list(const Runs& runs);

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

#endif  // NATIVE_OCR_SEGSENSE_BINDINGS_H_
