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

#include "native_ocr/numerics/inclusive.h"
#include "native_ocr/zonescan/layout.h"

namespace native_ocr::zonescan::calibration {

// A lit component or a group of them: its bounding box (inclusive corners, crop pixels) and its
// pixel count.
struct Blob {
  Box box{};
  int64_t area = 0;
  int left() const { return static_cast<int>(box[0]); }
  int top() const { return static_cast<int>(box[1]); }
  int right() const { return static_cast<int>(box[2]); }
  int bottom() const { return static_cast<int>(box[3]); }
  int width() const { return right() - left() + 1; }
  int height() const { return bottom() - top() + 1; }
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
  double level = 0.0;  // the grey level above which pixels were taken as lit (inverted board)
  std::optional<SeparatorKind> separator_kind;  // what the separator column holds
  // The columns of the lit glyphs, before the box was widened to the layout.
  double glyph_left = 0.0;
  double glyph_right = 0.0;
};

// Statistics of an 8-bit grey image as numpy computes them over all its pixels.
double grey_median(const cv::Mat& grey);
double grey_percentile(const cv::Mat& grey, double percent);
int otsu_threshold(const cv::Mat& grey);

// The grey levels of a crop as the finder sees them: light boards inverted so that segments are
// bright, the background (median) and bright end (99.5th percentile) of that image, and its Otsu
// threshold.
struct LitRange {
  cv::Mat grey;  // the crop's grey image, inverted for dark segments on a light board
  bool dark_on_light = false;
  double background = 0.0;
  double peak = 0.0;
  int otsu = 0;
};

// The range of a crop; none when the crop is too small or nothing stands out of the background.
std::optional<LitRange> lit_range(const cv::Mat& grey);

// The default lit level's place between the background and the bright end: a quarter of the way
// up, above glowing unlit segments (up to a fifth of the lit level on most boards); never under
// Otsu's threshold.
inline constexpr double kLitShare = 0.25;

// The display in a grey crop for a layout of `cells` digit cells (1, 2, or 4 for a clock); none
// when nothing lit stands out of the background or the crop is too small. The lit pixels are
// those above the default level.
std::optional<FoundDisplay> find_display(const cv::Mat& grey, int cells);

// The display laid out for a clock of three digit cells instead of four ("dd.d", "d:dd"): the
// glyphs' columns, widened so that the cells the layout puts either side of the separator fit (a
// blank leading cell stays inside). Other counts: the display as found.
FoundDisplay for_clock_cells(const FoundDisplay& found, int64_t cells);

// The box without the strips of lit rows (a label, an edge) along its top or bottom that an unlit
// row parts from the rest; none when there are none.
std::optional<FoundDisplay> without_strips(const LitRange& range, const FoundDisplay& found);

// The level find_display takes lit pixels above.
double default_level(const LitRange& range);

// Displays proposed with the pixels above `level` (of the range's grey image) taken as lit: the
// `bands` tallest distinct bands of rows, and in each the two groups of glyphs with the most ink.
// The first is what find_display finds at that level.
std::vector<FoundDisplay> displays_at(const LitRange& range, double level, int cells, size_t bands);

// The steps of find_display, exposed for tests.
std::vector<Blob> lit_components(const cv::Mat& mask, int64_t min_area);
std::vector<Blob> without_edges(const std::vector<Blob>& blobs, int width, int height);
std::vector<Blob> merge_into_glyphs(std::vector<Blob> blobs);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_DISPLAY_FINDER_H_
