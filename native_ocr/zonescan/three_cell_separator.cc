#include "native_ocr/zonescan/three_cell_separator.h"

#include <cmath>
#include <memory>

namespace native_ocr::zonescan {
namespace {

// The part of the crop searched for each separator: this share of its width, so that the colon
// of "d:dd" (a third of the way in) is the middle of the left part and the decimal point of "dd.d"
// (two thirds of the way in) the middle of the right part.
constexpr double kPartShare = 2.0 / 3.0;

void shift(Box& box, int dx) {
  box[0] += dx;
  box[2] += dx;
}

void shift(PublicHypothesis& h, int dx) {
  shift(h.candidate_window, dx);
  h.hypothesis_x += dx;
}

void shift(PublicGroup& g, int dx) {
  g.center_x += dx;
}

// The detection on columns [left, left + width) of the crop, if it is of `kind`.
std::optional<SeparatorDetection> found_in(const cv::Mat& crop, int left, int width,
                                           SeparatorKind kind) {
  std::optional<SeparatorDetection> found =
      detect_clock_separator_without_regions(crop.colRange(left, left + width), 0.0);
  if (!found || found->kind != kind) {
    return std::nullopt;
  }
  return shifted_detection(std::move(*found), left);
}

}  // namespace

SeparatorDetection shifted_detection(SeparatorDetection d, int dx) {
  d.x += dx;
  for (std::array<double, 2>& dot : d.dots) {
    dot[0] += dx;
  }
  shift(d.corridor_search, dx);
  shift(d.corridor_selected, dx);
  shift(d.physical_separator_box, dx);
  shift(d.candidate_window, dx);
  for (std::optional<PublicHypothesis>* h : {&d.best_colon, &d.best_decimal}) {
    if (*h) {
      shift(**h, dx);
    }
  }
  shift(d.selected_hypothesis, dx);
  for (PublicGroup& g : d.groups) {
    shift(g, dx);
  }
  if (d.upper_group) {
    shift(*d.upper_group, dx);
  }
  shift(d.lower_group, dx);
  if (d.alternative) {
    d.alternative =
        std::make_shared<const SeparatorDetection>(shifted_detection(*d.alternative, dx));
  }
  return d;
}

std::optional<SeparatorDetection> three_cell_separator(const cv::Mat& crop) {
  const int width = static_cast<int>(std::lround(kPartShare * crop.cols));
  if (width < 1 || width >= crop.cols) {
    return detect_clock_separator_without_regions(crop, 0.0);
  }
  std::optional<SeparatorDetection> colon = found_in(crop, 0, width, SeparatorKind::kColon);
  std::optional<SeparatorDetection> point =
      found_in(crop, crop.cols - width, width, SeparatorKind::kDecimalPoint);
  if (colon && point) {
    const bool point_first = point->confidence > colon->confidence;
    SeparatorDetection first = point_first ? *std::move(point) : *std::move(colon);
    first.alternative = std::make_shared<const SeparatorDetection>(point_first ? *std::move(colon)
                                                                               : *std::move(point));
    return first;
  }
  if (colon || point) {
    return colon ? colon : point;
  }
  return detect_clock_separator_without_regions(crop, 0.0);
}

}  // namespace native_ocr::zonescan
