#include "native_ocr/zonescan/separator/separator_detector.h"

#include <cmath>
#include <stdexcept>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/zonescan/display.h"
#include "native_ocr/zonescan/separator/separator_mask.h"

namespace native_ocr::zonescan {
namespace {

constexpr double kMinimumFinalScore = 0.65;
constexpr double kMinimumRotation = 0.6;

double clip01(double v) {
  return py_clamp(v, 0.0, 1.0);
}

double gaussian_falloff(double excess, double scale) {
  const double z = excess / scale;
  return std::exp(-0.5 * (z * z));
}

cv::Mat rotated_source(const cv::Mat& crop, double angle) {
  if (!(std::fabs(angle) >= kMinimumRotation)) {
    return crop;
  }
  return rotated_about_centre(crop, angle);
}

struct Best {
  std::optional<SeparatorHypothesis> hypothesis;
  size_t window = 0;
};

// The hypothesis of the given kind with the largest final score; the leftmost window on ties.
Best best_hypothesis(const std::vector<WindowEvaluation>& windows, SeparatorKind kind,
                     const SearchGeometry& g) {
  Best best;
  for (size_t i = 0; i < windows.size(); ++i) {
    std::optional<SeparatorHypothesis> h =
        separator_hypothesis(windows[i], kind, static_cast<double>(g.physical_left),
                             static_cast<double>(g.physical_right));
    if (h && (!best.hypothesis || h->final_score > best.hypothesis->final_score)) {
      best.hypothesis = h;
      best.window = i;
    }
  }
  return best;
}

bool convincing(const Best& b) {
  return b.hypothesis && b.hypothesis->final_score >= kMinimumFinalScore;
}

// The decimal point wins only with a strictly larger (final score, topological score) pair.
const Best* select_hypothesis(const Best& colon, const Best& decimal) {
  if (!convincing(colon)) {
    return convincing(decimal) ? &decimal : nullptr;
  }
  if (!convincing(decimal)) {
    return &colon;
  }
  const SeparatorHypothesis& c = *colon.hypothesis;
  const SeparatorHypothesis& d = *decimal.hypothesis;
  const bool decimal_wins =
      d.final_score > c.final_score ||
      (d.final_score == c.final_score && d.topological_score > c.topological_score);
  return decimal_wins ? &decimal : &colon;
}

std::vector<WindowEvaluation> evaluate_windows(const cv::Mat& source, const SearchGeometry& g,
                                               const DetectOptions& options) {
  const std::vector<int64_t> starts = separator_search_starts(g);
  const WindowPlanes planes = separator_planes(source);
  const cv::Mat& gray = planes.gray;
  const cv::Mat& value = planes.value;
  const std::vector<cv::Mat>* blurs = nullptr;
  if (!options.per_window_blur) {
    blurs = options.window_blurs;
    if (blurs == nullptr) {
      return evaluate_search_windows(gray, value, g);
    }
    if (blurs->size() != starts.size()) {
      throw std::invalid_argument("Separator blur count does not match the search windows");
    }
  }
  std::vector<WindowEvaluation> windows;
  windows.reserve(starts.size());
  for (size_t i = 0; i < starts.size(); ++i) {
    const cv::Mat blurred = blurs ? (*blurs)[i] : cv::Mat();
    windows.push_back(
        evaluate_separator_window_planes(gray, value, starts[i], g.window_width, blurred));
  }
  return windows;
}

void fill_selection(const WindowEvaluation& best, int64_t h, SeparatorDetection* d) {
  const SeparatorTopology& t = best.topology;
  std::vector<size_t> selected;
  if (d->kind == SeparatorKind::kColon) {
    const SeparatorGroup& upper = best.groups[t.colon->upper];
    const SeparatorGroup& lower = best.groups[t.colon->lower];
    d->x = static_cast<double>(best.left) +
           colon_local_x(upper.center_x, upper.energy, lower.center_x, lower.energy);
    selected = {t.colon->upper, t.colon->lower};
    d->upper_group = public_group(upper, best.left);
  } else {
    d->x = static_cast<double>(best.left) + best.groups[t.decimal->lower].center_x;
    selected = {t.decimal->lower};
  }
  d->lower_group = public_group(best.groups[selected.back()], best.left);
  for (size_t index : selected) {
    const SeparatorGroup& g = best.groups[index];
    d->dots.push_back({python_round(static_cast<double>(best.left) + g.center_x, 1),
                       python_round(g.center_y, 1)});
  }
  for (const SeparatorGroup& g : best.groups) {
    d->groups.push_back(public_group(g, best.left));
  }
  d->corridor_selected = {best.left, 0, best.right, h - 1};
  d->candidate_window = d->corridor_selected;
  d->alignment = t.colon ? python_round(t.colon->alignment, 4) : 0.0;
  d->similarity = t.colon ? python_round(t.colon->similarity, 4) : 0.0;
  d->energy_profile = best.energy_profile;
}

}  // namespace

SpatialPrior separator_spatial_prior(double candidate_left, double candidate_right,
                                     double hypothesis_x, double physical_left,
                                     double physical_right) {
  const double physical_width = py_max(physical_right - physical_left + 1, 1.0);
  const double physical_center = (physical_left + physical_right) / 2.0;
  const double candidate_center = (candidate_left + candidate_right) / 2.0;
  const double overlap = py_max(
      py_min(physical_right, candidate_right) - py_max(physical_left, candidate_left) + 1.0, 0.0);
  SpatialPrior p;
  p.overlap_ratio = clip01(overlap / physical_width);
  const double deadband = 0.15 * physical_width;
  const double window_excess =
      py_max(std::fabs(candidate_center - physical_center) - deadband, 0.0);
  const double group_excess = py_max(std::fabs(hypothesis_x - physical_center) - deadband, 0.0);
  p.window_prior = gaussian_falloff(window_excess, py_max(0.45 * physical_width, 1.0));
  p.group_prior = gaussian_falloff(group_excess, py_max(0.65 * physical_width, 1.0));
  const double center_margin = 0.15 * physical_width;
  p.center_compatible = physical_left - center_margin <= hypothesis_x &&
                        hypothesis_x <= physical_right + center_margin;
  p.spatial_prior =
      p.center_compatible ? clip01(p.overlap_ratio * p.window_prior * p.group_prior) : 0.0;
  return p;
}

double colon_local_x(double upper_center_x, double upper_energy, double lower_center_x,
                     double lower_energy) {
  const double total = upper_energy + lower_energy;
  return (upper_center_x * upper_energy + lower_center_x * lower_energy) / py_max(total, 1.0);
}

SeparatorHypothesis make_separator_hypothesis(SeparatorKind kind, double window_left,
                                              double window_right, double local_x,
                                              double topological_score, double physical_left,
                                              double physical_right) {
  SeparatorHypothesis h;
  h.kind = kind;
  h.window_left = window_left;
  h.window_right = window_right;
  h.x = window_left + local_x;
  h.topological_score = topological_score;
  h.prior = separator_spatial_prior(window_left, window_right, h.x, physical_left, physical_right);
  h.final_score = h.topological_score * h.prior.spatial_prior;
  return h;
}

std::optional<SeparatorHypothesis> separator_hypothesis(const WindowEvaluation& evaluated,
                                                        SeparatorKind kind, double physical_left,
                                                        double physical_right) {
  const SeparatorTopology& t = evaluated.topology;
  double local_x = 0.0;
  double score = 0.0;
  if (kind == SeparatorKind::kColon) {
    if (!t.colon) {
      return std::nullopt;
    }
    const SeparatorGroup& upper = evaluated.groups[t.colon->upper];
    const SeparatorGroup& lower = evaluated.groups[t.colon->lower];
    local_x = colon_local_x(upper.center_x, upper.energy, lower.center_x, lower.energy);
    score = t.colon_score;
  } else {
    if (!t.decimal) {
      return std::nullopt;
    }
    local_x = evaluated.groups[t.decimal->lower].center_x;
    score = t.decimal_score;
  }
  return make_separator_hypothesis(kind, static_cast<double>(evaluated.left),
                                   static_cast<double>(evaluated.right), local_x, score,
                                   physical_left, physical_right);
}

PublicHypothesis public_hypothesis(const SeparatorHypothesis& h, int64_t source_height) {
  PublicHypothesis p;
  p.kind = h.kind;
  p.candidate_window = {static_cast<int64_t>(h.window_left), 0,
                        static_cast<int64_t>(h.window_right), source_height - 1};
  p.hypothesis_x = python_round(h.x, 2);
  p.overlap_ratio = python_round(h.prior.overlap_ratio, 4);
  p.window_prior = python_round(h.prior.window_prior, 4);
  p.group_prior = python_round(h.prior.group_prior, 4);
  p.spatial_prior = python_round(h.prior.spatial_prior, 4);
  p.topological_score = python_round(h.topological_score, 4);
  p.final_score = python_round(h.final_score, 4);
  p.center_compatible = h.prior.center_compatible;
  return p;
}

PublicGroup public_group(const SeparatorGroup& g, int64_t window_left) {
  PublicGroup p;
  p.y_min = g.y_min;
  p.y_max = g.y_max;
  p.center_x = python_round(static_cast<double>(window_left) + g.center_x, 2);
  p.center_y = python_round(g.center_y, 2);
  p.x_normalized = python_round(g.x_normalized, 4);
  p.y_normalized = python_round(g.y_normalized, 4);
  p.width = python_round(g.width, 2);
  p.height = g.height;
  p.energy = python_round(g.energy, 2);
  p.gray_energy = python_round(g.gray_energy, 2);
  p.binary_energy = python_round(g.binary_energy, 2);
  p.energy_fraction = python_round(g.energy_fraction, 4);
  p.reliability = python_round(g.reliability, 4);
  return p;
}

std::optional<SeparatorDetection> detect_clock_separator_without_regions(
    const cv::Mat& crop, double angle, const DetectOptions& options) {
  if (crop.empty()) {
    return std::nullopt;
  }
  const cv::Mat source = rotated_source(crop, angle);
  const int64_t h = source.rows;
  const SearchGeometry g = separator_search_corridor(source.cols, h);
  const std::vector<WindowEvaluation> windows = evaluate_windows(source, g, options);
  const Best colon = best_hypothesis(windows, SeparatorKind::kColon, g);
  const Best decimal = best_hypothesis(windows, SeparatorKind::kDecimalPoint, g);
  const Best* selected = select_hypothesis(colon, decimal);
  if (selected == nullptr) {
    return std::nullopt;
  }
  const SeparatorHypothesis& s = *selected->hypothesis;
  SeparatorDetection d;
  d.kind = s.kind;
  d.confidence = s.final_score;
  d.corridor_search = {g.search_left, 0, g.search_right, h - 1};
  d.physical_separator_box = {g.physical_left, 0, g.physical_right, h - 1};
  d.spatial_prior = python_round(s.prior.spatial_prior, 4);
  d.topological_score = python_round(s.topological_score, 4);
  d.final_score = python_round(s.final_score, 4);
  if (colon.hypothesis) {
    d.best_colon = public_hypothesis(*colon.hypothesis, h);
    d.colon_score = python_round(colon.hypothesis->topological_score, 4);
  }
  if (decimal.hypothesis) {
    d.best_decimal = public_hypothesis(*decimal.hypothesis, h);
    d.decimal_score = python_round(decimal.hypothesis->topological_score, 4);
  }
  d.selected_hypothesis = public_hypothesis(s, h);
  fill_selection(windows[selected->window], h, &d);
  return d;
}

}  // namespace native_ocr::zonescan
