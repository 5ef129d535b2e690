// The structural frame and cell framing functions, and their tuning constants.
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "native_ocr/segsense/decimal_round.h"
#include "native_ocr/segsense/python/bindings.h"

namespace native_ocr::segsense {
namespace {

using pyglue::Name;
using pyglue::Ref;

// A number from Python as a double (float(), but without parsing strings).
double number(PyObject* value) {
  const double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return v;
}

std::vector<double> numbers(PyObject* iterable) {
  Ref iterator = pyglue::check(PyObject_GetIter(iterable));
  std::vector<double> out;
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    out.push_back(number(item.get()));
  }
  if (PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return out;
}

cv::Mat binarized(PyObject* array) {
  const DisplayBuffer display(array);
  cv::Mat cell;
  display.binarize_all(&cell);
  return cell;
}

int64_t saturating_increment(int64_t v) {
  return v == std::numeric_limits<int64_t>::max() ? v : v + 1;
}

// The interpreter's slice start:stop over n items, as the half-open range [begin, end).
cv::Range python_slice(int64_t start, int64_t stop, int64_t n) {
  auto normalize = [n](int64_t v) {
    if (v < 0) {
      return std::max<int64_t>(v + n, 0);
    }
    return std::min(v, n);
  };
  const int64_t begin = normalize(start);
  const int64_t end = std::max(begin, normalize(stop));
  return cv::Range(static_cast<int>(begin), static_cast<int>(end));
}

// The interned str for one of the framing outcome texts of the core.
Ref frame_text(std::string_view text) {
  static const Name kTexts[] = {
      Name("projection_wide"),
      Name("horizontal_bar_extent"),
      Name("nominal_width_right_anchored"),
      Name("nominal_width_left_anchored"),
      Name("projection_vertical_preserved_horizontal"),
      Name("observed_fallback"),
      Name("wide"),
      Name("right"),
      Name("left"),
      Name("ambiguous"),
  };
  for (const Name& name : kTexts) {
    if (text == name.text()) {
      return Ref::borrow(name.get());
    }
  }
  return pyglue::new_str(text);
}

Ref optional_pair(const std::optional<Run>& run) {
  return run ? new_int_pair(run->start, run->end) : pyglue::none();
}

Ref py_tight_bounds(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_tight_bounds", {"mask"}, 1);
  auto [mask] = kSig.parse(args, kwargs);
  const auto box = tight_bounds(binarized(mask));
  if (!box) {
    return pyglue::none();
  }
  return pyglue::check(
      Py_BuildValue("(LLLL)", static_cast<long long>((*box)[0]), static_cast<long long>((*box)[1]),
                    static_cast<long long>((*box)[2]), static_cast<long long>((*box)[3])));
}

Ref py_contiguous_runs(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_contiguous_runs", {"indices"}, 1);
  auto [indices] = kSig.parse(args, kwargs);
  Ref iterator = pyglue::check(PyObject_GetIter(indices));
  std::vector<int64_t> values;
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    values.push_back(pyglue::python_int(item.get()));
  }
  if (PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return pyglue::new_run_list(contiguous_runs(values));
}

Ref py_remove_marginal_runs(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("_remove_marginal_runs", {"runs", "cell_height"}, 2);
  auto [runs, cell_height] = kSig.parse(args, kwargs);
  Runs parsed = runs_argument(runs);
  return pyglue::new_run_list(remove_marginal_runs(std::move(parsed), number(cell_height)));
}

bool less_equal(PyObject* a, PyObject* b) {
  return pyglue::check_status(PyObject_RichCompareBool(a, b, Py_LE)) == 1;
}

Ref py_runs_overlap(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("_runs_overlap", {"first", "second"}, 2);
  auto [first, second] = kSig.parse(args, kwargs);
  Ref first_start = pyglue::check(PySequence_GetItem(first, 0));
  Ref first_end = pyglue::check(PySequence_GetItem(first, 1));
  Ref second_start = pyglue::check(PySequence_GetItem(second, 0));
  Ref second_end = pyglue::check(PySequence_GetItem(second, 1));
  const bool overlap = less_equal(first_start.get(), second_end.get()) &&
                       less_equal(second_start.get(), first_end.get());
  return pyglue::new_bool(overlap);
}

Ref py_extend_from_core(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<3> kSig("_extend_from_core",
                                             {"projection", "core_runs", "max_gap"}, 3);
  auto [projection, core_runs, max_gap] = kSig.parse(args, kwargs);
  const std::vector<double> counts = numbers(projection);
  const Runs core = runs_argument(core_runs);
  return optional_pair(extend_from_core(counts, core, number(max_gap)));
}

[[noreturn]] void row_out_of_range(int64_t row, int64_t rows) {
  PyErr_SetString(PyExc_IndexError,
                  ("index " + std::to_string(row) + " is out of bounds for axis 0 with size " +
                   std::to_string(rows))
                      .c_str());
  throw pyglue::PythonError();
}

// Rows top..bottom as the interpreter indexes them: a negative row counts from the end.
Ref py_horizontal_bar_extent(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<4> kSig("_horizontal_bar_extent",
                                             {"cell", "top", "bottom", "stroke_thickness"}, 4);
  auto [cell_obj, top_obj, bottom_obj, stroke_obj] = kSig.parse(args, kwargs);
  const cv::Mat cell = binarized(cell_obj);
  const int64_t top = pyglue::python_int(top_obj);
  const int64_t bottom = pyglue::python_int(bottom_obj);
  const double stroke = number(stroke_obj);
  const int64_t rows = cell.rows;
  if (top > bottom) {
    return pyglue::none();
  }
  if (top < -rows) {
    row_out_of_range(top, rows);
  }
  if (bottom >= rows) {
    row_out_of_range(std::max(top, rows), rows);
  }
  std::optional<BarCandidate> best;
  if (top < 0) {
    best = widest_bar_in_rows(cell, top + rows, std::min<int64_t>(bottom, -1) + rows + 1, stroke);
  }
  if (bottom >= 0) {
    auto upper = widest_bar_in_rows(cell, std::max<int64_t>(top, 0), bottom + 1, stroke);
    if (upper && (!best || *upper > *best)) {
      best = upper;
    }
  }
  return best ? new_int_pair(best->start, best->end) : pyglue::none();
}

Ref py_structural_frame(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_structural_frame", {"cell"}, 1);
  auto [cell] = kSig.parse(args, kwargs);
  const auto structure = structural_frame(binarized(cell));
  return structure ? new_structure_dict(*structure) : pyglue::none();
}

Ref py_frame_from_cell(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_frame_from_cell", {"cell"}, 1);
  auto [cell] = kSig.parse(args, kwargs);
  const auto frame = frame_from_cell(binarized(cell));
  if (!frame) {
    return pyglue::none();
  }
  const auto [fx1, fy1, fx2, fy2] = frame->frame_box;
  return new_frame_dict(*frame, pyglue::slice_rows_cols(cell, fy1, fy2 + 1, fx1, fx2 + 1));
}

Ref py_single_vertical_mass(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<2> kSig("_single_vertical_mass", {"cell", "structure"}, 2);
  auto [cell_obj, structure] = kSig.parse(args, kwargs);
  static const Name kTop("top"), kBottom("bottom"), kLeft("left"), kRight("right");
  const cv::Mat cell = binarized(cell_obj);
  const int64_t top = pyglue::python_int(pyglue::get_item(structure, kTop).get());
  const int64_t bottom = pyglue::python_int(pyglue::get_item(structure, kBottom).get());
  const int64_t left = pyglue::python_int(pyglue::get_item(structure, kLeft).get());
  const int64_t right = pyglue::python_int(pyglue::get_item(structure, kRight).get());
  const cv::Range rows = python_slice(top, saturating_increment(bottom), cell.rows);
  const cv::Range cols = python_slice(left, saturating_increment(right), cell.cols);
  if (rows.empty() || cols.empty()) {
    return pyglue::new_bool(false);
  }
  return pyglue::new_bool(single_vertical_mass(cell(rows, cols), top, bottom, left, right));
}

Ref py_significant_component_count(PyObject* args, PyObject* kwargs) {
  static constexpr pyglue::Signature<1> kSig("_significant_component_count", {"mask"}, 1);
  auto [mask] = kSig.parse(args, kwargs);
  return pyglue::new_int(significant_component_count(binarized(mask)));
}

}  // namespace

Runs runs_argument(PyObject* runs) {
  Ref iterator = pyglue::check(PyObject_GetIter(runs));
  Runs out;
  while (Ref run = Ref::steal(PyIter_Next(iterator.get()))) {
    Ref start = pyglue::check(PySequence_GetItem(run.get(), 0));
    Ref end = pyglue::check(PySequence_GetItem(run.get(), 1));
    out.push_back({pyglue::python_int(start.get()), pyglue::python_int(end.get())});
  }
  if (PyErr_Occurred()) {
    throw pyglue::PythonError();
  }
  return out;
}

Ref new_int_pair(int64_t a, int64_t b) {
  return pyglue::check(Py_BuildValue("(LL)", static_cast<long long>(a), static_cast<long long>(b)));
}

Ref new_structure_dict(const Structure& s) {
  static const Name kTightBox("tight_box"), kCoreTop("vertical_core_top"),
      kCoreBottom("vertical_core_bottom"), kExtendedTop("vertical_extended_top"),
      kExtendedBottom("vertical_extended_bottom"), kTop("top"), kBottom("bottom"), kLeft("left"),
      kRight("right"), kSupportLeft("support_left"), kSupportRight("support_right"),
      kWidthRatio("width_ratio"), kSegmentLength("nominal_segment_length"),
      kFrameWidth("nominal_frame_width"), kBar("horizontal_bar_extent");
  using pyglue::new_int;
  return pyglue::DictBuilder()
      .set(kTightBox, pyglue::new_int_list_from(s.tight_box))
      .set(kCoreTop, new_int(s.vertical_core_top))
      .set(kCoreBottom, new_int(s.vertical_core_bottom))
      .set(kExtendedTop, new_int(s.top))
      .set(kExtendedBottom, new_int(s.bottom))
      .set(kTop, new_int(s.top))
      .set(kBottom, new_int(s.bottom))
      .set(kLeft, new_int(s.left))
      .set(kRight, new_int(s.right))
      .set(kSupportLeft, new_int(s.support_left))
      .set(kSupportRight, new_int(s.support_right))
      .set(kWidthRatio, pyglue::new_float(s.width_ratio))
      .set(kSegmentLength, pyglue::new_float(s.nominal_segment_length))
      .set(kFrameWidth, new_int(s.nominal_frame_width))
      .set(kBar, optional_pair(s.horizontal_bar_extent))
      .build();
}

Ref new_frame_dict(const CellFrame& f, Ref frame_view) {
  static const Name kFrame("frame"), kFrameBox("frame_box_local"),
      kObservedBox("observed_box_local"), kSource("source"), kDisabled("disabled");
  Ref dict = pyglue::DictBuilder()
                 .set(kFrame, std::move(frame_view))
                 .set(kFrameBox, pyglue::new_int_list_from(f.frame_box))
                 .set(kObservedBox, pyglue::new_int_list_from(f.structure.tight_box))
                 .set(kSource, Ref::borrow(kDisabled.get()))
                 .build();
  set_frame_fields(dict.get(), f, false);
  return dict;
}

void set_frame_fields(PyObject* dict, const CellFrame& f, bool round_ratios) {
  static const Name kMethod("frame_method"), kHorizontalSource("horizontal_frame_source"),
      kPosition("horizontal_structure_position"), kCoreTop("vertical_core_top"),
      kCoreBottom("vertical_core_bottom"), kExtendedTop("vertical_extended_top"),
      kExtendedBottom("vertical_extended_bottom"), kTop("structural_top"),
      kBottom("structural_bottom"), kLeft("structural_left"), kRight("structural_right"),
      kWidthRatio("structural_width_ratio"), kSegmentLength("nominal_segment_length"),
      kFrameWidth("nominal_frame_width");
  using pyglue::new_int;
  const Structure& s = f.structure;
  auto ratio = [round_ratios](double v) { return pyglue::new_float(round_ratios ? round3(v) : v); };
  const std::pair<const Name&, Ref> fields[] = {
      {kMethod, frame_text(f.frame_method)},
      {kHorizontalSource, frame_text(f.horizontal_frame_source)},
      {kPosition, frame_text(f.horizontal_structure_position)},
      {kCoreTop, new_int(s.vertical_core_top)},
      {kCoreBottom, new_int(s.vertical_core_bottom)},
      {kExtendedTop, new_int(s.top)},
      {kExtendedBottom, new_int(s.bottom)},
      {kTop, new_int(s.top)},
      {kBottom, new_int(s.bottom)},
      {kLeft, new_int(s.left)},
      {kRight, new_int(s.right)},
      {kWidthRatio, ratio(s.width_ratio)},
      {kSegmentLength, ratio(s.nominal_segment_length)},
      {kFrameWidth, new_int(s.nominal_frame_width)},
  };
  for (const auto& [key, value] : fields) {
    pyglue::check_status(PyDict_SetItem(dict, key.get(), value.get()));
  }
}

void add_structure_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_tight_bounds>("_tight_bounds", nullptr);
  module.add_function<py_contiguous_runs>("_contiguous_runs", nullptr);
  module.add_function<py_remove_marginal_runs>("_remove_marginal_runs", nullptr);
  module.add_function<py_runs_overlap>("_runs_overlap", nullptr);
  module.add_function<py_extend_from_core>("_extend_from_core", nullptr);
  module.add_function<py_horizontal_bar_extent>("_horizontal_bar_extent", nullptr);
  module.add_function<py_structural_frame>("_structural_frame", nullptr);
  module.add_function<py_frame_from_cell>("_frame_from_cell", nullptr);
  module.add_function<py_single_vertical_mass>("_single_vertical_mass", nullptr);
  module.add_function<py_significant_component_count>("_significant_component_count", nullptr);

  module.add_constant("STRUCTURAL_PROJECTION_RATIO",
                      [] { return pyglue::new_float(kStructuralProjectionRatio); });
  module.add_constant("STRUCTURAL_MIN_PIXELS",
                      [] { return pyglue::new_int(kStructuralMinPixels); });
  module.add_constant("MARGINAL_RUN_MAX_HEIGHT_RATIO",
                      [] { return pyglue::new_float(kMarginalRunMaxHeightRatio); });
  module.add_constant("MARGINAL_RUN_MIN_GAP_RATIO",
                      [] { return pyglue::new_float(kMarginalRunMinGapRatio); });
  module.add_constant("WIDE_GLYPH_MIN_WIDTH_RATIO",
                      [] { return pyglue::new_float(kWideGlyphMinWidthRatio); });
  module.add_constant("VERTICAL_STROKE_MAX_WIDTH_RATIO",
                      [] { return pyglue::new_float(kVerticalStrokeMaxWidthRatio); });
  module.add_constant("VERTICAL_STROKE_MAX_ASPECT",
                      [] { return pyglue::new_float(kVerticalStrokeMaxAspect); });
  module.add_constant("VERTICAL_STROKE_MIN_ROWS",
                      [] { return pyglue::new_int(kVerticalStrokeMinRows); });
  module.add_constant("COMPONENT_MIN_AREA", [] { return pyglue::new_int(kComponentMinArea); });
  module.add_constant("COMPONENT_AREA_FRACTION",
                      [] { return pyglue::new_float(kComponentAreaFraction); });
}

}  // namespace native_ocr::segsense
