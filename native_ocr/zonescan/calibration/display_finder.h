// Finding a seven-segment display inside a loosely drawn zone crop: the lit segments are grouped
// into digit glyphs, the glyphs of one row of similar height make the display, and clutter
// (housing edges, a neighbouring field cut by the crop border, labels above or below) is left out.
// The box is then widened to the role's layout so that blank leading cells stay inside.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_FINDER_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_FINDER_H_

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace native_ocr::zonescan::calibration {

// A lit component or a group of them: bounding box (x, y, width, height in crop pixels) and its
// pixel count.
struct Blob {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int64_t area = 0;
  int right() const { return x + width - 1; }
  int bottom() const { return y + height - 1; }
};

struct FoundDisplay {
  // The display's box in crop pixels, inclusive corners; may reach past the crop where the
  // layout needs room the crop does not have.
  double left = 0.0;
  double top = 0.0;
  double right = 0.0;
  double bottom = 0.0;
  double digit_height = 0.0;
  std::optional<double> separator_x;  // a clock's colon or decimal point centre column
  bool dark_on_light = false;         // dark segments on a light board
};

// Statistics of an 8-bit grey image as numpy computes them over all its pixels.
double grey_median(const cv::Mat& grey);
double grey_percentile(const cv::Mat& grey, double percent);
int otsu_threshold(const cv::Mat& grey);

// The display in a grey crop for a layout of `cells` digit cells (1, 2, or 4 for a clock); none
// when nothing lit stands out of the background or the crop is too small.
std::optional<FoundDisplay> find_display(const cv::Mat& grey, int cells);

// The steps of find_display, exposed for tests.
std::vector<Blob> lit_components(const cv::Mat& mask, int64_t min_area);
std::vector<Blob> without_edges(const std::vector<Blob>& blobs, int width, int height);
std::vector<Blob> merge_into_glyphs(std::vector<Blob> blobs);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_FINDER_H_
