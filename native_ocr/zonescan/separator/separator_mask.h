// Lit-pixel masks of narrow clock windows and the small helpers the separator search runs on every
// window: speck removal, true runs of a profile and a weighted quantile.
#ifndef NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_MASK_H_
#define NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_MASK_H_

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/numerics/inclusive.h"

namespace native_ocr::zonescan {

// Sigma of the Gaussian blur that gives a window's surroundings.
inline constexpr double kSeparatorBlurSigma = 7.0;

// The two planes the window masks read: the grey version (cvtColor COLOR_BGR2GRAY) and the value
// plane of the HSV version (the largest of the three channels), both new 8-bit images.
struct WindowPlanes {
  cv::Mat gray;
  cv::Mat value;
};

// Planes of an 8-bit blue-green-red image (a fourth, alpha channel is ignored). Throws
// cv::Exception for an empty image, for a channel count OpenCV's colour conversion refuses (its own
// error) and for another depth.
WindowPlanes separator_planes(const cv::Mat& bgr);

// The lit pixels of `crop` (8-bit, blue-green-red, or BGRA read as its BGR part): pixels bright in
// absolute terms plus pixels standing out from their blurred surroundings, specks removed, closed
// with a 3x3 ellipse. Returns a new 8-bit mask of 0/255 of the crop's size. `blurred_gray` is empty
// or the sigma-7 Gaussian blur of the crop's grey version (the mask then skips its own blur).
// Throws cv::Exception for an empty crop, for one the colour conversion refuses, and for a
// blurred_gray of another size or type.
cv::Mat clock_separator_mask(const cv::Mat& crop, const cv::Mat& blurred_gray = cv::Mat());

// The same mask from planes already split off the window: its grey version, the value plane of its
// HSV version (max of the three channels) and the blurred grey, all 8-bit single-channel of one
// size. Views into larger images are fine.
// `gray_hist`, when given, receives the histogram of the grey plane.
cv::Mat separator_mask_from_planes(const cv::Mat& gray, const cv::Mat& value,
                                   const cv::Mat& blurred_gray,
                                   std::array<uint32_t, 256>* gray_hist = nullptr);

// The three level histograms the mask's cuts come from: of the value plane, the grey plane and the
// detail (grey minus blurred grey where positive, else 0).
struct MaskHistograms {
  std::array<uint32_t, 256> value{};
  std::array<uint32_t, 256> gray{};
  std::array<uint32_t, 256> detail{};
};

// A horizontal stretch of lit pixels [begin, end) of one mask row, and its union-find parent.
struct MaskRun {
  int row;
  int begin;
  int end;
  int parent;
};

// Buffers kept by a caller that makes many window masks one after another: once they have grown
// to the largest window a mask allocates nothing (a crop thousands of rows high would otherwise
// map and clear fresh pages for every window).
struct MaskScratch {
  cv::Mat raw;
  cv::Mat kept;
  cv::Mat padded;
  cv::Mat dilated;
  cv::Mat closed;
  std::vector<MaskRun> runs;
  std::vector<int64_t> area;
};

// The same mask with the histograms of these planes already counted (a caller sliding windows
// across an image keeps them up to date column by column). They must be the planes' own counts.
// With `scratch`, the mask returned is its `closed` buffer, valid until the scratch is used again.
cv::Mat separator_mask_from_histograms(const cv::Mat& gray, const cv::Mat& value,
                                       const cv::Mat& blurred_gray,
                                       const MaskHistograms& histograms,
                                       MaskScratch* scratch = nullptr);

// A new mask (8-bit single-channel, same size) holding 255 on every 8-connected component of the
// non-zero pixels of `mask` whose area is at least `min_area`, 0 elsewhere. `mask` is not modified.
// Throws cv::Exception when `mask` is not 8-bit single-channel.
cv::Mat remove_small_components(const cv::Mat& mask, int64_t min_area);

// The maximal runs of true elements, in index order.
std::vector<Run> separator_runs(std::span<const bool> bits);

// The first value, in ascending value order, at which the running sum of the weights reaches
// quantile x total weight; 0.0 for empty input or a total weight <= 0. values and weights have
// equal lengths. Always returns one of the values.
double weighted_quantile(std::span<const double> values, std::span<const double> weights,
                         double quantile);

// numpy's searchsorted(sorted, key, side="left") for one key: the binary search as numpy performs
// it, so unsorted input gives numpy's answer too.
size_t search_sorted_left(std::span<const double> sorted, double key);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_MASK_H_
