#include "native_ocr/zonescan/calibration/cut_reader.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "native_ocr/zonescan/calibration/display_finder.h"
#include "native_ocr/zonescan/display.h"

namespace native_ocr::zonescan::calibration {
namespace {

// Steps of the threshold ladder between a cut's dark and bright ends: fine enough that a
// working band of a faint display spans several, few enough to read in a few milliseconds.
constexpr double kLadderSteps = 24.0;
// The highest grey level: a threshold t on the negative lights what 254 - t lights inverted.
constexpr int kTopLevel = 255;
// The ends of the ladder: a low percentile of the cut (its dark board) and a high one (its
// brightest segments, above a few hot pixels).
constexpr double kDarkPercentile = 5.0;
constexpr double kBrightPercentile = 99.5;
// The smallest step between ladder levels, in grey levels.
constexpr double kMinStep = 2.0;
// How far the shifted cuts move an edge: this share of the cut's width, at least kMinShift.
constexpr double kShiftShare = 0.03;
constexpr int kMinShift = 2;

}  // namespace

cv::Mat sub(const cv::Mat& image, const Cut& cut) {
  return image(cv::Range(cut.y1, cut.y2), cv::Range(cut.x1, cut.x2));
}

std::vector<int> levels_of(const cv::Mat& grey) {
  const double lo = grey_percentile(grey, kDarkPercentile);
  const double hi = grey_percentile(grey, kBrightPercentile);
  const double step = std::max(kMinStep, (hi - lo) / kLadderSteps);
  const double start = lo + step, stop = hi - step / 2;
  std::vector<int> levels;
  const double n = std::ceil((stop - start) / step);
  for (int i = 0; i < n; ++i) {
    levels.push_back(static_cast<int>(start + i * step));
  }
  return levels;
}

std::array<Cut, kMovedCuts> shifted(const Cut& c, int width) {
  const int d = std::max(kMinShift, static_cast<int>(std::nearbyint(kShiftShare * c.width())));
  return {Cut{std::max(0, c.x1 - d), c.y1, c.x2, c.y2}, Cut{c.x1 + d, c.y1, c.x2, c.y2},
          Cut{c.x1, c.y1, std::min(width, c.x2 + d), c.y2}, Cut{c.x1, c.y1, c.x2 - d, c.y2}};
}

std::array<Cut, kMovedCuts> nudged(const Cut& c, int width, int height) {
  const int left = c.x1 > 0 ? 1 : 0, right = c.x2 < width ? 1 : 0;
  const int up = c.y1 > 0 ? 1 : 0, down = c.y2 < height ? 1 : 0;
  return {Cut{c.x1 - left, c.y1, c.x2 - left, c.y2}, Cut{c.x1 + right, c.y1, c.x2 + right, c.y2},
          Cut{c.x1, c.y1 - up, c.x2, c.y2 - up}, Cut{c.x1, c.y1 + down, c.x2, c.y2 + down}};
}

std::optional<SeparatorDetection> moved_separator(const std::optional<SeparatorDetection>& found,
                                                  const Cut& from, const Cut& to) {
  if (!found) {
    return found;
  }
  SeparatorDetection moved = *found;
  moved.x += from.x1 - to.x1;
  if (moved.alternative) {
    moved.alternative =
        std::make_shared<const SeparatorDetection>(*moved_separator(*moved.alternative, from, to));
  }
  return moved;
}

CutReader::CutReader(const CropView& crop, std::string_view role, bool invert,
                     const SlotClassifier& classifier, const ProcessingSettings& traits)
    : crop_(crop),
      role_(role),
      reader_(reader_for_role(role)),
      invert_(invert),
      classifier_(classifier) {
  traits_.polarity = traits.polarity;
  traits_.slant = traits.slant;
  traits_.clock_cells = traits.clock_cells;
}

std::optional<SeparatorDetection> CutReader::detect(const Cut& cut) const {
  const CropView view{sub(crop_.pixels, cut), crop_.three_dimensional};
  return prepare_display(view, traits_, true).separator;
}

Reading CutReader::read(const Cut& cut, int threshold,
                        const std::optional<SeparatorDetection>& separator) const {
  const CropView view{sub(crop_.pixels, cut), crop_.three_dimensional};
  PreparedDisplay display = prepare_display(view, settings(threshold), false);
  display.separator = separator;
  return read_prepared(reader_, display, role_, classifier_);
}

std::string CutReader::text(const Cut& cut, int threshold,
                            const std::optional<SeparatorDetection>& separator) const {
  if (cut.width() < 1 || cut.height() < 1) {
    return {};
  }
  return reading_text(read(cut, threshold, separator));
}

std::vector<Run> CutReader::ladder_runs(const Cut& cut, const std::vector<int>& levels,
                                        const std::optional<SeparatorDetection>& separator) const {
  std::vector<Run> runs;
  for (int level : levels) {
    std::string read = text(cut, level, separator);
    if (runs.empty() || runs.back().text != read) {
      runs.push_back(Run{std::move(read), level, level, {}});
    }
    runs.back().levels.push_back(level);
  }
  for (Run& run : runs) {
    run.lowest = run.levels.front();
    run.level = run.levels[(run.levels.size() - 1) / 2];
  }
  return runs;
}

ProcessingSettings CutReader::settings(int threshold) const {
  ProcessingSettings s = traits_;
  const bool negative = traits_.polarity == Polarity::kDark;
  s.threshold = negative ? kTopLevel - 1 - threshold : threshold;
  s.invert = invert_ && !negative;
  return clamp_settings(s);
}

int CutReader::level_of(const ProcessingSettings& s) const {
  const int threshold = static_cast<int>(s.threshold);
  return traits_.polarity == Polarity::kDark ? kTopLevel - 1 - threshold : threshold;
}

}  // namespace native_ocr::zonescan::calibration
