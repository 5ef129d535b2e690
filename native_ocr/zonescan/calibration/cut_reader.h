// Reading cuts of one crop as the role's reader reads a zone of exactly those pixels, and the
// threshold ladder and shifted cuts the calibration searches over.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_CUT_READER_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_CUT_READER_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/calibration/calibration.h"
#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan::calibration {

// The pixels of a cut.
cv::Mat sub(const cv::Mat& image, const Cut& cut);

// The threshold ladder over a cut's grey pixels: kLadderSteps steps between its dark and its
// bright end.
std::vector<int> levels_of(const cv::Mat& grey);

// The moved cuts: each vertical edge in and out, or the whole cut each way.
inline constexpr size_t kMovedCuts = 4;

// The four cuts a few pixels off: each vertical edge moved in and out.
std::array<Cut, kMovedCuts> shifted(const Cut& c, int width);

// The four cuts one pixel off: the whole cut moved left, right, up and down (within the crop).
std::array<Cut, kMovedCuts> nudged(const Cut& c, int width, int height);

// A detection for a cut moved from the one it was made in: the same separator, in the moved
// cut's columns.
std::optional<SeparatorDetection> moved_separator(const std::optional<SeparatorDetection>& found,
                                                  const Cut& from, const Cut& to);

// Levels of the threshold ladder in a row that read one text.
struct Run {
  std::string text;
  int level = 0;   // the middle level (the lower of two)
  int lowest = 0;  // the first level
  std::vector<int> levels;
};

class CutReader {
 public:
  // `traits` gives the display settings every reading uses (polarity, slant, clock_cells; the
  // rest is ignored). Thresholds stay on the finder's scale: with a dark polarity, threshold t
  // becomes 254 - t on the negative, which lights exactly the pixels t lights inverted.
  CutReader(const CropView& crop, std::string_view role, bool invert,
            const SlotClassifier& classifier, const ProcessingSettings& traits = {});

  bool is_clock() const { return reader_ == ReaderKind::kClock; }

  // The separator the clock reader finds in the cut (of the settings, only the display traits
  // matter to the detector).
  std::optional<SeparatorDetection> detect(const Cut& cut) const;

  Reading read(const Cut& cut, int threshold,
               const std::optional<SeparatorDetection>& separator) const;

  // The reading's text (empty when not valid or the cut is empty).
  std::string text(const Cut& cut, int threshold,
                   const std::optional<SeparatorDetection>& separator) const;

  // The cut read at each level of the ladder, equal neighbouring texts taken together.
  std::vector<Run> ladder_runs(const Cut& cut, const std::vector<int>& levels,
                               const std::optional<SeparatorDetection>& separator) const;

  ProcessingSettings settings(int threshold) const;
  // The threshold on the finder's scale of settings made by settings(): its inverse.
  int level_of(const ProcessingSettings& s) const;

 private:
  const CropView& crop_;
  std::string_view role_;
  ReaderKind reader_;
  bool invert_;
  const SlotClassifier& classifier_;
  ProcessingSettings traits_;
};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_CUT_READER_H_
