// The clock separator detector: evaluates every search window, weighs each colon and decimal-point
// hypothesis by how well it sits on the clock layout's separator slot, and picks a convincing one.
#ifndef NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_DETECTOR_H_
#define NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_DETECTOR_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/layout.h"
#include "native_ocr/zonescan/separator/separator_windows.h"

namespace native_ocr::zonescan {

// How well a window and a separator position sit on the layout's separator slot; all in [0, 1].
struct SpatialPrior {
  double spatial_prior = 0.0;
  double overlap_ratio = 0.0;
  double window_prior = 0.0;
  double group_prior = 0.0;
  bool center_compatible = false;
};

// Column numbers in source pixels: the window, the hypothesis position and the layout's slot.
SpatialPrior separator_spatial_prior(double candidate_left, double candidate_right,
                                     double hypothesis_x, double physical_left,
                                     double physical_right);

// A colon (or decimal point) found in one window, weighed by its placement.
struct SeparatorHypothesis {
  SeparatorKind kind = SeparatorKind::kColon;
  double window_left = 0.0;
  double window_right = 0.0;
  double x = 0.0;  // window left + local position, source columns
  double topological_score = 0.0;
  double final_score = 0.0;  // topological_score x spatial prior
  SpatialPrior prior;
};

// The hypothesis built from a window's local separator position and its shape score.
SeparatorHypothesis make_separator_hypothesis(SeparatorKind kind, double window_left,
                                              double window_right, double local_x,
                                              double topological_score, double physical_left,
                                              double physical_right);

// Energy-weighted mean column of a colon's two dots, in window columns.
double colon_local_x(double upper_center_x, double upper_energy, double lower_center_x,
                     double lower_energy);

// The window's hypothesis of this kind; nothing when the window has no such candidate.
std::optional<SeparatorHypothesis> separator_hypothesis(const WindowEvaluation& evaluated,
                                                        SeparatorKind kind, double physical_left,
                                                        double physical_right);

// Rounded copy of a hypothesis for reporting.
struct PublicHypothesis {
  SeparatorKind kind = SeparatorKind::kColon;
  Box candidate_window{};
  double hypothesis_x = 0.0;  // 2 decimals; the rest 4 decimals
  double overlap_ratio = 0.0;
  double window_prior = 0.0;
  double group_prior = 0.0;
  double spatial_prior = 0.0;
  double topological_score = 0.0;
  double final_score = 0.0;
  bool center_compatible = false;
};

// Rounded copy of a group for reporting; center_x in source columns.
struct PublicGroup {
  int64_t y_min = 0;
  int64_t y_max = 0;
  double center_x = 0.0;
  double center_y = 0.0;
  double x_normalized = 0.0;
  double y_normalized = 0.0;
  double width = 0.0;
  int64_t height = 0;
  double energy = 0.0;
  double gray_energy = 0.0;
  double binary_energy = 0.0;
  double energy_fraction = 0.0;
  double reliability = 0.0;
};

PublicHypothesis public_hypothesis(const SeparatorHypothesis& hypothesis, int64_t source_height);
PublicGroup public_group(const SeparatorGroup& group, int64_t window_left);

// What the detector found; all coordinates are source pixels.
struct SeparatorDetection {
  double x = 0.0;
  SeparatorKind kind = SeparatorKind::kColon;
  double confidence = 0.0;
  std::vector<std::array<double, 2>> dots;  // colon: upper then lower; decimal point: one
  Box corridor_search{};
  Box corridor_selected{};
  Box physical_separator_box{};
  Box candidate_window{};
  double spatial_prior = 0.0;  // rounded to 4 decimals, like the scores below
  double topological_score = 0.0;
  double final_score = 0.0;
  std::optional<PublicHypothesis> best_colon;
  std::optional<PublicHypothesis> best_decimal;
  PublicHypothesis selected_hypothesis;
  std::vector<PublicGroup> groups;
  std::optional<PublicGroup> upper_group;
  PublicGroup lower_group;
  double colon_score = 0.0;
  double decimal_score = 0.0;
  double alignment = 0.0;
  double similarity = 0.0;
  std::vector<double> energy_profile;
  // Set only by the search of a clock of three cells (three_cell_separator.h) when it found both
  // a colon and a decimal point: the other of the two, which the clock reader reads too.
  std::shared_ptr<const SeparatorDetection> alternative;
};

struct DetectOptions {
  // One blurred grey per search window, or nullptr to compute them with one sheet blur.
  const std::vector<cv::Mat>* window_blurs = nullptr;
  // Every window blurs its own grey; window_blurs is then ignored.
  bool per_window_blur = false;
};

// The colon or decimal point of a clock crop (8-bit BGR), rotated first by `angle` degrees when
// |angle| >= 0.6. Nothing for an empty crop or when no hypothesis is convincing.
// Throws std::invalid_argument "Separator blur count does not match the search windows" for a
// window_blurs list of the wrong length, std::runtime_error from the blur self-check, and
// cv::Exception for a crop the colour conversion refuses (BGRA reads as its BGR part; grey and
// two-channel crops raise OpenCV's own error), another depth, or a blur of the wrong size.
std::optional<SeparatorDetection> detect_clock_separator_without_regions(
    const cv::Mat& crop, double angle = 0.0, const DetectOptions& options = {});

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_DETECTOR_H_
