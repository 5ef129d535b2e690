// Where the separator is searched for: a corridor around the clock layout's separator slot, the
// windows slid across it, one window's evaluation, and the blurred greys of all windows from a
// single Gaussian blur over a sheet of reflect-padded windows.
#ifndef NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_WINDOWS_H_
#define NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_WINDOWS_H_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/separator/separator_energy.h"

namespace native_ocr::zonescan {

// Columns are inclusive crop columns.
struct SearchGeometry {
  int64_t physical_left = 0;  // the clock layout's separator slot
  int64_t physical_right = 0;
  int64_t search_left = 0;  // the corridor searched
  int64_t search_right = 0;
  int64_t window_width = 3;       // slot width, at least 3
  double minimum_overlap = 0.65;  // reported only
  int64_t max_shift = 1;          // corridor extension beyond the slot on each side
};

SearchGeometry separator_search_corridor(int64_t crop_width, int64_t crop_height);

// Ascending left columns of the windows evaluated; always includes physical_left.
std::vector<int64_t> separator_search_starts(const SearchGeometry& geometry);

struct WindowBounds {
  int64_t left = 0;
  int64_t right = 0;  // inclusive
};

// The columns of the window starting at `start`, clamped into a source `width` columns wide.
WindowBounds separator_window_bounds(int64_t start, int64_t width, int64_t window_width);

// One window through the energy, group and topology steps.
struct WindowEvaluation {
  int64_t left = 0;
  int64_t right = 0;
  std::vector<SeparatorGroup> groups;
  std::vector<double> energy_profile;
  SeparatorTopology topology;  // indexes `groups`
};

// Evaluates the window of `crop` (8-bit BGR) starting at `left`. `blurred_gray`: empty, or the
// window's blurred grey. Errors of the mask propagate (cv::Exception).
WindowEvaluation evaluate_separator_window(const cv::Mat& crop, int64_t left, int64_t window_width,
                                           const cv::Mat& blurred_gray = cv::Mat());

// The same evaluation from planes of the whole source: its grey version and the value plane of its
// HSV version (8-bit single-channel, the source's size). `blurred_gray` as above.
// `histograms`: nothing, or the window's own plane histograms already counted; `scratch`, with
// them, the mask's buffers (separator_mask_from_histograms).
WindowEvaluation evaluate_separator_window_planes(const cv::Mat& gray, const cv::Mat& value,
                                                  int64_t left, int64_t window_width,
                                                  const cv::Mat& blurred_gray,
                                                  const MaskHistograms* histograms = nullptr,
                                                  MaskScratch* scratch = nullptr);

// Contiguous copies of every search window of `source`, in start order.
std::vector<cv::Mat> separator_window_views(const cv::Mat& source);

// Half the odd kernel size OpenCV derives from `sigma` for 8-bit images: 21 for sigma 7.
// Throws std::invalid_argument for a sigma that is not finite.
int64_t reflect_blur_radius(double sigma = 7.0);

// Kernel taps the reflected margins of one sheet blur may cost when they outgrow the images.
inline constexpr double kMaxSheetPaddingTaps = 268435456.0;  // 2^28, about half a second

// Whether a blur of `grays` with this radius does bounded work: the reflected margins it adds (one
// per image, whether padded here or by the image library for a single image) hold no more pixels
// than the images themselves, or cost at most kMaxSheetPaddingTaps kernel taps. Past that a radius
// far beyond the images only repeats their reflection, at a cost growing with its cube.
bool sheet_blur_padding_bounded(const std::vector<cv::Mat>& grays, int64_t radius);

// The Gaussian blur (kernel from sigma, BORDER_REFLECT_101) of each image, computed as one blur of
// the reflect-padded images laid side by side. The images share one height and type. The results
// are views into one sheet, in input order. Throws cv::Exception for a radius whose padding is not
// bounded (above).
std::vector<cv::Mat> reflected_sheet_blurs(const std::vector<cv::Mat>& grays, double sigma = 7.0);

// Once per process, proves that the sheet blur equals per-window blurring on a probe image.
// Throws std::runtime_error "Reflected separator blur does not match the per-window Gaussian blur"
// on a mismatch, leaving the flag unset so that the next call checks again.
void ensure_reflected_sheet_blur();

// True once ensure_reflected_sheet_blur has passed in this process.
bool reflected_sheet_blur_ready();

// Blurred greys of every search window of `source` (8-bit BGR), in start order, from one sheet
// blur; runs the once-per-process check first.
std::vector<cv::Mat> separator_window_blurs(const cv::Mat& source);

// The same blurs from the source's grey plane (8-bit single-channel) and search geometry.
std::vector<cv::Mat> separator_window_blurs_from_gray(const cv::Mat& gray,
                                                      const SearchGeometry& geometry);

// Every search window evaluated, in start order, with the blurs separator_window_blurs_from_gray
// gives; each window's blur is made just before the window is evaluated, so only one is held at a
// time (a crop thousands of rows high has hundreds of windows). Planes as for
// evaluate_separator_window_planes; runs the once-per-process check first.
std::vector<WindowEvaluation> evaluate_search_windows(const cv::Mat& gray, const cv::Mat& value,
                                                      const SearchGeometry& geometry);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SEPARATOR_SEPARATOR_WINDOWS_H_
