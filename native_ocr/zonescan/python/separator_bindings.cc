// The clock separator detector's functions: _clock_separator_mask, _remove_small_components,
// _separator_runs, _weighted_quantile, _separator_energy_map, _separator_groups,
// _separator_topology, _separator_search_corridor, _evaluate_separator_window,
// _separator_window_views, _reflect_blur_radius, _reflected_sheet_blurs,
// _ensure_reflected_sheet_blur, _separator_window_blurs, _separator_spatial_prior,
// _separator_hypothesis, _detect_clock_separator_without_regions.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "native_ocr/zonescan/python/bindings.h"
#include "native_ocr/zonescan/python/result_dicts.h"
#include "native_ocr/zonescan/separator/separator_detector.h"
#include "native_ocr/zonescan/separator/separator_mask.h"

namespace native_ocr::zonescan {
namespace {

using pyglue::double_vector;
using pyglue::Float32Map;
using pyglue::ImageArgument;
using pyglue::new_float32_array;
using pyglue::Ref;
using pyglue::Signature;

// Column numbers beyond this are clamped so that window arithmetic cannot overflow.
constexpr int64_t kColumnLimit = int64_t{1} << 40;

int64_t column_argument(PyObject* value, const char* name) {
  return std::clamp(pyglue::int_argument(value, name), -kColumnLimit, kColumnLimit);
}

Ref image_list(const std::vector<cv::Mat>& images) {
  return pyglue::new_list_of(images, pyglue::new_array);
}

Ref py_clock_separator_mask(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<2> kSig("_clock_separator_mask", {"crop", "blurred_gray"}, 1);
  auto [crop, blurred] = kSig.parse(args, kwargs);
  const ImageArgument image(crop);
  const cv::Mat pixels = image.pixels("crop");
  const ImageArgument blur_image(blurred, ImageArgument::Presence::kOptional);
  const cv::Mat blur = blur_image.pixels("blurred_gray");
  cv::Mat mask;
  {
    pyglue::GilRelease unlocked;
    mask = clock_separator_mask(pixels, blur);
  }
  return pyglue::new_array(mask);
}

// Components of at least `min_area` pixels survive; a fractional area rounds up, NaN keeps none.
int64_t area_threshold(PyObject* min_area) {
  const double area = pyglue::real_number(min_area);
  if (std::isnan(area) || area > 9.0e18) {
    return std::numeric_limits<int64_t>::max();
  }
  return area < -9.0e18 ? std::numeric_limits<int64_t>::min()
                        : static_cast<int64_t>(std::ceil(area));
}

Ref py_remove_small_components(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<2> kSig("_remove_small_components", {"mask", "min_area"}, 2);
  auto [mask, min_area] = kSig.parse(args, kwargs);
  const ImageArgument image(mask);
  const cv::Mat pixels = image.pixels("mask");
  const int64_t threshold = area_threshold(min_area);
  cv::Mat out;
  {
    pyglue::GilRelease unlocked;
    out = remove_small_components(pixels, threshold);
  }
  return pyglue::new_array(out);
}

Ref py_separator_runs(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<1> kSig("_separator_runs", {"bits"}, 1);
  auto [bits] = kSig.parse(args, kwargs);
  const std::vector<double> values = double_vector(bits, "bits");
  std::unique_ptr<bool[]> flags(new bool[values.size()]);
  for (size_t i = 0; i < values.size(); ++i) {
    flags[i] = values[i] != 0.0;
  }
  return pyglue::new_run_list(separator_runs(std::span<const bool>(flags.get(), values.size())));
}

Ref py_weighted_quantile(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<3> kSig("_weighted_quantile", {"values", "weights", "quantile"}, 3);
  auto [values, weights, quantile] = kSig.parse(args, kwargs);
  const std::vector<double> v = double_vector(values, "values");
  const std::vector<double> w = double_vector(weights, "weights");
  const double q = pyglue::real_number(quantile);
  if (v.size() != w.size()) {
    PyErr_SetString(PyExc_IndexError, "values and weights must have the same length");
    throw pyglue::PythonError();
  }
  return pyglue::new_float(weighted_quantile(v, w, q));
}

Ref py_separator_energy_map(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<2> kSig("_separator_energy_map", {"corridor", "blurred_gray"}, 1);
  auto [corridor, blurred] = kSig.parse(args, kwargs);
  const ImageArgument image(corridor);
  const cv::Mat pixels = image.pixels("corridor");
  const ImageArgument blur_image(blurred, ImageArgument::Presence::kOptional);
  const cv::Mat blur = blur_image.pixels("blurred_gray");
  EnergyMaps maps;
  {
    pyglue::GilRelease unlocked;
    maps = separator_energy_map(pixels, blur);
  }
  Ref binary = new_float32_array(maps.binary);
  Ref gray = new_float32_array(maps.gray_energy);
  Ref combined = new_float32_array(maps.combined);
  return pyglue::check(PyTuple_Pack(3, binary.get(), gray.get(), combined.get()));
}

Ref py_separator_groups(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<3> kSig("_separator_groups", {"binary", "gray_energy", "combined"}, 3);
  auto [binary, gray_energy, combined] = kSig.parse(args, kwargs);
  Float32Map b(binary, "binary"), g(gray_energy, "gray_energy"), c(combined, "combined");
  if (b.mat().size() != c.mat().size() || g.mat().size() != c.mat().size()) {
    throw pyglue::ValueError("the three energy maps must have one common size");
  }
  SeparatorGroups groups;
  {
    pyglue::GilRelease unlocked;
    groups = separator_groups(b.mat(), g.mat(), c.mat());
  }
  Ref list = pyglue::new_list_of(groups.groups, group_dict);
  Ref profile = pyglue::new_float_list_from(groups.energy_profile);
  return pyglue::check(PyTuple_Pack(2, list.get(), profile.get()));
}

double number_item(PyObject* mapping, const pyglue::Name& key) {
  return pyglue::real_number(pyglue::get_item(mapping, key).get());
}

SeparatorGroup group_from_dict(PyObject* dict) {
  static const pyglue::Name kYNormalized("y_normalized"), kCenterX("center_x"),
      kCenterY("center_y"), kReliability("reliability"), kEnergy("energy"), kWidth("width"),
      kHeight("height");
  SeparatorGroup g;
  g.y_normalized = number_item(dict, kYNormalized);
  g.center_x = number_item(dict, kCenterX);
  g.center_y = number_item(dict, kCenterY);
  g.reliability = number_item(dict, kReliability);
  g.energy = number_item(dict, kEnergy);
  g.width = number_item(dict, kWidth);
  g.height = static_cast<int64_t>(0);
  const double height = number_item(dict, kHeight);
  g.height = std::isfinite(height) ? static_cast<int64_t>(std::clamp(height, -9e18, 9e18)) : 0;
  return g;
}

Ref py_separator_topology(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<3> kSig("_separator_topology",
                                     {"groups", "corridor_width", "corridor_height"}, 3);
  auto [groups, width, height] = kSig.parse(args, kwargs);
  Ref sequence = pyglue::check(PySequence_List(groups));
  const Py_ssize_t n = PyList_Size(sequence.get());
  std::vector<Ref> objects;
  std::vector<SeparatorGroup> parsed;
  for (Py_ssize_t i = 0; i < n; ++i) {
    objects.push_back(Ref::borrow(PyList_GetItem(sequence.get(), i)));
    parsed.push_back(group_from_dict(objects.back().get()));
  }
  const SeparatorTopology t =
      separator_topology(parsed, pyglue::real_number(width), pyglue::real_number(height));
  pyglue::DictBuilder dict;
  add_topology(dict, t, objects);
  return dict.build();
}

Ref py_separator_search_corridor(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<2> kSig("_separator_search_corridor", {"crop_width", "crop_height"},
                                     2);
  auto [width, height] = kSig.parse(args, kwargs);
  return geometry_dict(separator_search_corridor(column_argument(width, "crop_width"),
                                                 column_argument(height, "crop_height")));
}

Ref py_evaluate_separator_window(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<4> kSig("_evaluate_separator_window",
                                     {"crop", "left", "window_width", "blurred_gray"}, 3);
  auto [crop, left, window_width, blurred] = kSig.parse(args, kwargs);
  const ImageArgument image(crop);
  const cv::Mat pixels = image.pixels("crop");
  const int64_t start = column_argument(left, "left");
  const int64_t width = column_argument(window_width, "window_width");
  const ImageArgument blur_image(blurred, ImageArgument::Presence::kOptional);
  const cv::Mat blur = blur_image.pixels("blurred_gray");
  WindowEvaluation evaluation;
  {
    pyglue::GilRelease unlocked;
    evaluation = evaluate_separator_window(pixels, start, width, blur);
  }
  return window_dict(evaluation);
}

Ref py_separator_window_views(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<1> kSig("_separator_window_views", {"source"}, 1);
  auto [source] = kSig.parse(args, kwargs);
  const ImageArgument image(source);
  const cv::Mat pixels = image.pixels("source");
  return image_list(separator_window_views(pixels));
}

double sigma_argument(PyObject* sigma) {
  return sigma == nullptr ? kSeparatorBlurSigma : pyglue::real_number(sigma);
}

// Kernels beyond this radius are refused rather than allocated.
constexpr int64_t kMaxBlurRadius = 4096;

int64_t blur_radius(double sigma) {
  if (std::isnan(sigma)) {
    throw pyglue::ValueError("cannot convert float NaN to integer");
  }
  if (!std::isfinite(sigma * 6.0 + 1.0)) {
    throw pyglue::OverflowError("cannot convert float infinity to integer");
  }
  return reflect_blur_radius(sigma);
}

// The sigma of a blur this module performs: a kernel the image library can build.
double blur_sigma(double sigma) {
  if (blur_radius(sigma) > kMaxBlurRadius) {
    throw pyglue::ValueError("sigma is too large for a blur kernel");
  }
  return sigma;
}

Ref py_reflect_blur_radius(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<1> kSig("_reflect_blur_radius", {"sigma"}, 0);
  auto [sigma] = kSig.parse(args, kwargs);
  return pyglue::new_int(blur_radius(sigma_argument(sigma)));
}

Ref py_reflected_sheet_blurs(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<2> kSig("_reflected_sheet_blurs", {"grays", "sigma"}, 1);
  auto [grays, sigma_object] = kSig.parse(args, kwargs);
  const double sigma = sigma_argument(sigma_object);
  Ref sequence = pyglue::check(PySequence_List(grays));
  std::vector<std::unique_ptr<ImageArgument>> holders;
  std::vector<cv::Mat> images;
  for (Py_ssize_t i = 0; i < PyList_Size(sequence.get()); ++i) {
    holders.push_back(std::make_unique<ImageArgument>(PyList_GetItem(sequence.get(), i)));
    images.push_back(holders.back()->pixels("grays item"));
  }
  blur_sigma(sigma);
  if (!sheet_blur_padding_bounded(images, blur_radius(sigma))) {
    throw pyglue::ValueError("sigma is too large for a blur of these images");
  }
  std::vector<cv::Mat> blurred;
  {
    pyglue::GilRelease unlocked;
    blurred = reflected_sheet_blurs(images, sigma);
  }
  return image_list(blurred);
}

Ref py_separator_window_blurs(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<1> kSig("_separator_window_blurs", {"source"}, 1);
  auto [source] = kSig.parse(args, kwargs);
  const ImageArgument image(source);
  const cv::Mat pixels = image.pixels("source");
  std::vector<cv::Mat> blurred;
  {
    pyglue::GilRelease unlocked;
    blurred = separator_window_blurs(pixels);
  }
  return image_list(blurred);
}

Ref py_separator_spatial_prior(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<5> kSig(
      "_separator_spatial_prior",
      {"candidate_left", "candidate_right", "hypothesis_x", "physical_left", "physical_right"}, 5);
  const auto a = kSig.parse(args, kwargs);
  double v[5];
  for (size_t i = 0; i < 5; ++i) {
    v[i] = pyglue::real_number(a[i]);
  }
  pyglue::DictBuilder dict;
  add_spatial_prior(dict, separator_spatial_prior(v[0], v[1], v[2], v[3], v[4]));
  return dict.build();
}

// The hypothesis dictionary of a window evaluation dictionary, or None without a candidate.
Ref py_separator_hypothesis(PyObject* args, PyObject* kwargs) {
  static constexpr Signature<4> kSig(
      "_separator_hypothesis", {"evaluated", "hypothesis_char", "physical_left", "physical_right"},
      4);
  auto [evaluated, hypothesis_char, physical_left, physical_right] = kSig.parse(args, kwargs);
  static const pyglue::Name kColonKey("colon"), kDecimalKey("decimal"), kUpper("upper"),
      kLower("lower"), kCenterX("center_x"), kEnergy("energy"), kColonScore("colon_score"),
      kDecimalScore("decimal_score"), kLeft("left"), kRight("right"), kChar("char"),
      kWindow("window"), kX("x"), kTopologicalScore("topological_score"),
      kFinalScore("final_score");
  // Only the text ":" asks for a colon; anything else is read as a decimal point.
  const bool colon = PyUnicode_Check(hypothesis_char) &&
                     PyUnicode_CompareWithASCIIString(hypothesis_char, ":") == 0;
  const SeparatorKind kind = colon ? SeparatorKind::kColon : SeparatorKind::kDecimalPoint;
  Ref get = pyglue::check(PyObject_GetAttrString(evaluated, "get"));
  Ref candidate = pyglue::check(PyObject_CallFunctionObjArgs(
      get.get(), (colon ? kColonKey : kDecimalKey).get(), Py_None, nullptr));
  if (candidate.get() == Py_None) {
    return pyglue::none();
  }
  double local_x = 0.0;
  Ref lower = pyglue::get_item(candidate.get(), kLower);
  if (colon) {
    Ref upper = pyglue::get_item(candidate.get(), kUpper);
    local_x = colon_local_x(number_item(upper.get(), kCenterX), number_item(upper.get(), kEnergy),
                            number_item(lower.get(), kCenterX), number_item(lower.get(), kEnergy));
  } else {
    local_x = number_item(lower.get(), kCenterX);
  }
  const double score = number_item(evaluated, colon ? kColonScore : kDecimalScore);
  const SeparatorHypothesis h = make_separator_hypothesis(
      kind, number_item(evaluated, kLeft), number_item(evaluated, kRight), local_x, score,
      pyglue::real_number(physical_left), pyglue::real_number(physical_right));
  pyglue::DictBuilder dict;
  dict.set(kChar, Ref::borrow(hypothesis_char))
      .set(kWindow, Ref::borrow(evaluated))
      .set(kX, pyglue::new_float(h.x))
      .set(kTopologicalScore, pyglue::new_float(h.topological_score))
      .set(kFinalScore, pyglue::new_float(h.final_score));
  add_spatial_prior(dict, h.prior);
  return dict.build();
}

// The window blurs a caller passed: one 8-bit image per search window of `crop`.
std::vector<cv::Mat> given_blurs(PyObject* window_blurs, const cv::Mat& crop,
                                 std::vector<std::unique_ptr<ImageArgument>>* holders) {
  Ref sequence = pyglue::check(PySequence_List(window_blurs));
  const SearchGeometry g = separator_search_corridor(crop.cols, crop.rows);
  const size_t count = static_cast<size_t>(PyList_Size(sequence.get()));
  if (count != separator_search_starts(g).size()) {
    throw pyglue::ValueError("Separator blur count does not match the search windows");
  }
  std::vector<cv::Mat> blurs;
  for (size_t i = 0; i < count; ++i) {
    holders->push_back(std::make_unique<ImageArgument>(
        PyList_GetItem(sequence.get(), static_cast<Py_ssize_t>(i))));
    blurs.push_back(holders->back()->pixels("window_blurs item"));
  }
  return blurs;
}

Ref detect(const cv::Mat& crop, double angle, const DetectOptions& options) {
  std::optional<SeparatorDetection> detection;
  {
    pyglue::GilRelease unlocked;
    detection = detect_clock_separator_without_regions(crop, angle, options);
  }
  return detection ? detection_dict(*detection) : pyglue::none();
}

Ref py_detect_clock_separator(PyObject* args, PyObject* kwargs) {
  static constexpr const char* kName = "_detect_clock_separator_without_regions";
  static constexpr Signature<4> kSig(kName, {"crop", "angle", "window_blurs", "per_window_blur"}, 1,
                                     2);
  auto [crop, angle_object, window_blurs, per_window_blur] = kSig.parse(args, kwargs);
  const double angle = angle_object ? pyglue::real_number(angle_object) : 0.0;
  DetectOptions options;
  options.per_window_blur = per_window_blur != nullptr && pyglue::truth(per_window_blur);
  const ImageArgument image(crop, ImageArgument::Presence::kOptional);
  if (image.empty()) {
    return pyglue::none();
  }
  const cv::Mat pixels = image.pixels("crop");
  std::vector<std::unique_ptr<ImageArgument>> holders;
  std::vector<cv::Mat> blurs;
  if (!options.per_window_blur && window_blurs != nullptr && window_blurs != Py_None) {
    blurs = given_blurs(window_blurs, pixels, &holders);
    options.window_blurs = &blurs;
  }
  return detect(pixels, angle, options);
}

}  // namespace

void add_separator_bindings(pyglue::ModuleBuilder& module) {
  module.add_function<py_clock_separator_mask>(
      "_clock_separator_mask",
      "_clock_separator_mask(crop, blurred_gray=None)\n--\n\nThe 0/255 mask of the lit pixels of "
      "a BGR window.");
  module.add_function<py_remove_small_components>(
      "_remove_small_components",
      "_remove_small_components(mask, min_area)\n--\n\nA new mask keeping the 8-connected "
      "components of at least min_area pixels.");
  module.add_function<py_separator_runs>(
      "_separator_runs", "_separator_runs(bits)\n--\n\nThe inclusive [start, end] runs of true.");
  module.add_function<py_weighted_quantile>(
      "_weighted_quantile",
      "_weighted_quantile(values, weights, quantile)\n--\n\nThe first value whose running "
      "weight reaches quantile x total; 0.0 without weight.");
  module.add_function<py_separator_energy_map>(
      "_separator_energy_map",
      "_separator_energy_map(corridor, blurred_gray=None)\n--\n\n(binary, gray_energy, "
      "combined) float32 maps of a window.");
  module.add_function<py_separator_groups>(
      "_separator_groups",
      "_separator_groups(binary, gray_energy, combined)\n--\n\n(groups, energy_profile).");
  module.add_function<py_separator_topology>(
      "_separator_topology",
      "_separator_topology(groups, corridor_width, corridor_height)\n--\n\nThe best colon pair "
      "and decimal point of the groups.");
  module.add_function<py_separator_search_corridor>(
      "_separator_search_corridor",
      "_separator_search_corridor(crop_width, crop_height)\n--\n\nThe search geometry.");
  module.add_function<py_evaluate_separator_window>(
      "_evaluate_separator_window",
      "_evaluate_separator_window(crop, left, window_width, blurred_gray=None)\n--\n\nOne "
      "window through energy, groups and topology.");
  module.add_function<py_separator_window_views>(
      "_separator_window_views",
      "_separator_window_views(source)\n--\n\nA copy of every search window.");
  module.add_function<py_reflect_blur_radius>(
      "_reflect_blur_radius",
      "_reflect_blur_radius(sigma=7.0)\n--\n\nHalf the Gaussian kernel size OpenCV derives.");
  module.add_function<py_reflected_sheet_blurs>(
      "_reflected_sheet_blurs",
      "_reflected_sheet_blurs(grays, sigma=7.0)\n--\n\nEach image's Gaussian blur, from one "
      "blur of a sheet of reflect-padded images.");
  module.add_function<py_separator_window_blurs>(
      "_separator_window_blurs",
      "_separator_window_blurs(source)\n--\n\nThe blurred grey of every search window.");
  module.add_function<py_separator_spatial_prior>(
      "_separator_spatial_prior",
      "_separator_spatial_prior(candidate_left, candidate_right, hypothesis_x, physical_left, "
      "physical_right)\n--\n\nHow well a window and position sit on the separator slot.");
  module.add_function<py_separator_hypothesis>(
      "_separator_hypothesis",
      "_separator_hypothesis(evaluated, hypothesis_char, physical_left, physical_right)\n--\n\n"
      "A window's colon (\":\") or decimal-point hypothesis, or None.");
  module.add_function<py_detect_clock_separator>(
      "_detect_clock_separator_without_regions",
      "_detect_clock_separator_without_regions(crop, angle=0.0, *, window_blurs=None, "
      "per_window_blur=False)\n--\n\nThe colon or decimal point of a clock crop, or None.");
  module.add_constant("_ensure_reflected_sheet_blur", new_ensure_callable);
}

}  // namespace native_ocr::zonescan
