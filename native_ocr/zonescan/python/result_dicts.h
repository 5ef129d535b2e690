// The core's results as the dictionaries native_ocr.zonescan returns, in their documented key
// order: the separator detector's (separator_dict_bindings.cc), a layout's slots
// (geometry_bindings.cc) and a reading's (reading_bindings.cc).
#ifndef NATIVE_OCR_ZONESCAN_PYTHON_RESULT_DICTS_H_
#define NATIVE_OCR_ZONESCAN_PYTHON_RESULT_DICTS_H_

#include <vector>

#include "native_ocr/pyglue/pyglue.h"
#include "native_ocr/zonescan/layout.h"
#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/separator/separator_detector.h"

namespace native_ocr::zonescan {

// separator_dict_bindings.cc: the separator detector's results as the dictionaries the module
// returns, in their documented key order.

// {y_min, ..., reliability}: the 13 keys of a group.
pyglue::Ref group_dict(const SeparatorGroup& group);

// {colon, decimal, colon_score, decimal_score} whose candidates name the given group objects.
// `into` receives the four entries (a window evaluation appends them after its own keys).
void add_topology(pyglue::DictBuilder& into, const SeparatorTopology& topology,
                  const std::vector<pyglue::Ref>& group_objects);

// The 8-key window evaluation; the candidates share the group dictionaries of its list.
pyglue::Ref window_dict(const WindowEvaluation& evaluation);

// The 7-key search geometry.
pyglue::Ref geometry_dict(const SearchGeometry& geometry);

// The 5-key spatial prior, appended to `into`.
void add_spatial_prior(pyglue::DictBuilder& into, const SpatialPrior& prior);

// The 23-key detector result.
pyglue::Ref detection_dict(const SeparatorDetection& detection);

// A layout as the list of slot dictionaries {"kind", "slot", "box"}.
pyglue::Ref slot_list(const Layout& layout);

// The result dictionary of a reading, in its reader's key order. `items`, when given, is what a
// replaced classifier returned (used as the slot results); otherwise the slot results are built
// from the reading. The layout is built once and shared by geometry_items and debug.layout.
pyglue::Ref reading_dict(const Reading& reading, pyglue::Ref items = pyglue::Ref());

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_PYTHON_RESULT_DICTS_H_
