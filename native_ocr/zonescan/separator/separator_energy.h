// Energy maps of one separator window, the horizontal bands (groups) where energy concentrates,
// and their scores as a colon pair or a decimal point.
#ifndef NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_ENERGY_H_
#define NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_ENERGY_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/separator/separator_mask.h"

namespace native_ocr::zonescan {

// Three single-precision (CV_32FC1) maps of the window's size.
struct EnergyMaps {
  cv::Mat binary;       // 1.0 where the separator mask is lit, else 0.0
  cv::Mat gray_energy;  // brightness above the window's background, normalised, to the power 1.5
  cv::Mat combined;     // 0.5 * binary + 0.5 * gray_energy
};

// Maps of `corridor` (8-bit, three channels, BGR). `blurred_gray` goes to the mask unchanged
// (empty: the mask blurs by itself). Errors of the mask propagate.
EnergyMaps separator_energy_map(const cv::Mat& corridor, const cv::Mat& blurred_gray = cv::Mat());

// The same maps from the window's grey and value planes and its blurred grey (8-bit views).
EnergyMaps separator_energy_from_planes(const cv::Mat& gray, const cv::Mat& value,
                                        const cv::Mat& blurred_gray);

// A window's energy before it is spread into maps: the separator mask and the grey plane, with the
// grey energy of each level. Every pixel of the maps follows from its mask and grey level, so the
// groups can read them row by row without the maps (three floats a pixel) being made.
struct WindowEnergy {
  cv::Mat mask;  // 0/255, the window's size
  cv::Mat gray;  // the window's grey plane (the caller's view)
  std::array<float, 256> energy_of{};
};

// The energy of the planes as separator_energy_from_planes has it. `histograms`: nothing, or the
// planes' own histograms already counted (separator_mask_from_histograms).
// With `scratch` (which needs `histograms`), the mask is made in its buffers (MaskScratch).
WindowEnergy separator_window_energy(const cv::Mat& gray, const cv::Mat& value,
                                     const cv::Mat& blurred_gray,
                                     const MaskHistograms* histograms = nullptr,
                                     MaskScratch* scratch = nullptr);

// The maps of a window's energy.
EnergyMaps separator_energy_maps(const WindowEnergy& energy);

// One horizontal band of rows in which the combined energy concentrates. Positions are window
// pixels: x from the window's left edge, y from its top.
struct SeparatorGroup {
  int64_t y_min = 0;
  int64_t y_max = 0;  // inclusive
  double center_x = 0.0;
  double center_y = 0.0;
  double width = 0.0;  // between the 5 % and 95 % energy-weighted column quantiles, plus one
  int64_t height = 0;
  double energy = 0.0;
  double gray_energy = 0.0;
  double binary_energy = 0.0;
  double energy_fraction = 0.0;
  double x_normalized = 0.0;
  double y_normalized = 0.0;
  double reliability = 0.0;
};

struct SeparatorGroups {
  std::vector<SeparatorGroup> groups;  // top to bottom
  // Share of the combined energy in six equal horizontal bands, rounded to 4 decimals; empty when
  // the window has no positive smoothed energy at all.
  std::vector<double> energy_profile;
};

// Groups of the three maps (CV_32FC1, one common size). Throws cv::Exception for other maps.
SeparatorGroups separator_groups(const cv::Mat& binary, const cv::Mat& gray_energy,
                                 const cv::Mat& combined);

// The same groups read from a window's energy, without its maps.
SeparatorGroups separator_groups(const WindowEnergy& energy);

// The best upper/lower pair as a colon. `upper` and `lower` index the group list scored.
struct ColonCandidate {
  double score = 0.0;
  size_t upper = 0;
  size_t lower = 0;
  double alignment = 0.0;
  double similarity = 0.0;
  double separation = 0.0;
  double topology = 0.0;
  double centrality = 0.0;
};

// The best lower group as a decimal point.
struct DecimalCandidate {
  double score = 0.0;
  size_t lower = 0;
};

struct SeparatorTopology {
  std::optional<ColonCandidate> colon;
  std::optional<DecimalCandidate> decimal;
  double colon_score = 0.0;    // 0.0 without a colon candidate
  double decimal_score = 0.0;  // 0.0 without a decimal candidate
};

// Scores every upper/lower pair of `groups` as a colon and every lower group as a decimal point
// and keeps the best of each (the earlier one on equal scores).
SeparatorTopology separator_topology(const std::vector<SeparatorGroup>& groups,
                                     double corridor_width, double corridor_height);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_ENERGY_H_
