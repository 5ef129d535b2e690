// The learned classifier of one digit cell: reads the grey display before the threshold (so it
// sees the faint unlit segments and glow the threshold would merge or lose) and answers a digit,
// blank or unknown with a probability. A second, independent opinion beside the seven-segment
// classifier, over the same layout of cells.
//
// How a cell is seen: the whole display gives its polarity and levels (the lit strokes are the
// far tail on one side of the median grey level, so dark strokes on a light display are flipped;
// the background is a quantile on the other side), every pixel becomes its height above the
// background as a fraction of the lit level's (0 to 1), the cell's clipped box is cut and resized
// to the model's feature image. The twin of this in Python, used to train the model, is
// bench/learned/cells.py.
#ifndef NATIVE_OCR_ZONESCAN_LEARNED_CLASSIFIER_H_
#define NATIVE_OCR_ZONESCAN_LEARNED_CLASSIFIER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/numerics/inclusive.h"
#include "native_ocr/zonescan/reader.h"

namespace native_ocr::zonescan {

// What the learned classifier makes of one cell.
struct CellAnswer {
  SlotStatus status = SlotStatus::kUnknown;  // kDigit, kEmpty (blank), kUnknown (not sure enough)
  std::optional<int64_t> digit;              // set when status is kDigit
  double probability = 0.0;                  // the model's probability of its most likely class
};

// Grey level to cell value (0 to 1) for a display: its polarity and levels, as above.
using LevelTable = std::array<float, 256>;
LevelTable level_table(const cv::Mat& grey);

// The answer for the cell of `box` (inclusive corners, clipped to the display like the
// seven-segment classifier's) of a single-channel 8-bit display with its level table.
CellAnswer classify_cell(const LevelTable& table, const cv::Mat& grey, const Box& box);

// The learned classifier as a SlotClassifier. Safe on any thread. Each thread keeps the answers of
// the cells it read from the last display, with a copy of its pixels: reading the same pixels
// again (the threshold moves of a reading share one grey display, which the threshold does not
// enter; a clock's two layouts share cells) costs a comparison. Its slot results
// carry the answer in their reading: status, char and confidence (the probability) as the
// seven-segment classifier's would; glyph_box is the cell's box and the segment and frame
// diagnostics keep their zero defaults.
class LearnedClassifier final : public SlotClassifier {
 public:
  // `grey`: the display before the threshold (grey_display), single channel, 8-bit.
  std::vector<SlotResult> read_slots(const cv::Mat& grey, const Layout& layout) const override;
  // Reads display.grey, or the binary display when it has no grey one.
  std::vector<SlotResult> read_display(const PreparedDisplay& display,
                                       const Layout& layout) const override;
};

// The learned classifier's opinion of a cell another classifier read.
struct SecondOpinion {
  Slot slot;           // the cell
  CellAnswer learned;  // what the learned classifier reads there
  // Both read the same digit, or both read the cell as empty. An unknown on either side never
  // agrees.
  bool agrees = false;
};

// The learned classifier run as a second opinion over the cells of `read` (for example the
// seven-segment classifier's results of a reading), on the grey display of the same crop
// (grey_display with the zone's settings). One opinion per result, in order.
std::vector<SecondOpinion> second_opinion(const cv::Mat& grey, std::span<const SlotResult> read);

// The same for a reading of `crop` with `settings` (its slots, on the crop's grey display): what a
// rule of trust asks before it trusts a reading of the seven-segment classifier.
std::vector<SecondOpinion> second_opinion(const CropView& crop, const ProcessingSettings& settings,
                                          const Reading& reading);

// True when every opinion agrees (and there is at least one).
bool all_agree(std::span<const SecondOpinion> opinions);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_LEARNED_CLASSIFIER_H_
