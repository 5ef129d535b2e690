// Whether a reading holds when its zone is read again a little off: moved one pixel each way, and
// with its threshold a few levels either side. A clean reading keeps its value under all of
// these; a glowing unlit segment, a faint lit one or a cell boundary through a digit flips it.
//
// Every re-read is the one the zone's reader makes of a zone of the frame with those bounds and
// those settings (read_crop), on views into the one frame; the threshold moves share the zone's
// grey display and one separator search (the reading's own when the caller gives it), which the
// threshold does not enter.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_ZONE_AGREEMENT_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_ZONE_AGREEMENT_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/settings.h"
#include "native_ocr/zonescan/zone.h"

namespace native_ocr::zonescan::calibration {

// A zone of a frame as its reader reads it.
struct FrameZone {
  CropView frame;               // the whole frame the zone is cut from
  ZoneRect rect;                // the zone's position, fractions of the frame
  std::string role;             // the role its reader takes ("home_score" for none)
  ProcessingSettings settings;  // normalised
  // Whether the caller knows the clock separator its reading found on the zone's crop, and that
  // separator (none: it found none); searched for again when not known.
  bool separator_known = false;
  std::optional<SeparatorDetection> separator;
};

// The value a reading gave: a clock's text, or a number. A re-read keeps it when it is valid and
// gives the same; a value of neither kind is kept by nothing.
struct ReadValue {
  std::optional<int64_t> number;
  std::optional<std::string> text;
};

// Ink around a reading's cells that they do not account for, on the zone's prepared display and
// the frame's columns kBeyondEdgeReach of the tallest glyph's height beyond each side (each side's
// strip of the zone's rows prepared on its own, with the zone's settings). A box that lost a cell
// leaves that digit's strokes just beyond its outermost cell; a box around two rows, a label or a
// housing leaves lit pixels outside every glyph.
struct InkAround {
  // The largest share of the glyph rows lit in one column beyond the outermost cells, either side
  // (a vertical stroke there lights most of them).
  double beyond_edges = 0.0;
  // The share of the zone's lit pixels outside every digit cell's glyph.
  double stray = 0.0;
};

// The shares of the re-reads that kept the value: the four one-pixel moves, the two threshold
// moves of kNearThresholdStep and the two of kFarThresholdStep (trust.h); and the ink around the
// cells when they were given.
struct Agreement {
  double shift = 1.0;
  double near_threshold = 1.0;
  double far_threshold = 1.0;
  InkAround ink;
};

// Where the clock separator detection of a moved crop can come from (a caller that reads the same
// zone frame after frame keeps each move's detection while the pixels the detector looks at are
// unchanged). `move` is 0..kMovedCuts-1; `crop` is a colour crop read_crop would prepare with the
// detector (a four-cell clock read upright, not empty, not too large). It returns what
// detect_clock_separator_without_regions returns on that crop.
class MovedSeparators {
 public:
  virtual ~MovedSeparators() = default;
  virtual std::optional<SeparatorDetection> detect(int move, const cv::Mat& crop) = 0;
};

// Whether `reading` is valid and gives `value`.
bool keeps_value(const Reading& reading, const ReadValue& value);

// The zone's re-reads with `classifier` (the module's: the readers choose the learned one by the
// settings), and the ink around `cells` (ink_around_cells, on the grey display the threshold moves
// share). OpenCV and classifier errors propagate.
// With `separators`, a moved clock crop they can serve is read with the detection they give
// (read_crop_given_separator: the same reading).
Agreement zone_agreement(const FrameZone& zone, const ReadValue& value,
                         const SlotClassifier& classifier, std::span<const TrustCell> cells = {},
                         MovedSeparators* separators = nullptr);

// How far past the zone the display is cut, over the tallest glyph's height: about a cell's pitch
// in the seven-segment faces (a digit is about half as wide as it is tall, with a gap), so the
// strokes of a digit the box left out lie within it.
inline constexpr double kBeyondEdgeReach = 0.5;

// The ink around `cells` (display pixels of the zone's crop); none when there is no cell, the
// zone covers no pixel or its widened crop is too large to prepare. OpenCV errors propagate.
InkAround ink_around_cells(const FrameZone& zone, std::span<const TrustCell> cells);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_ZONE_AGREEMENT_H_
