// Zone calibration: from an operator's loosely drawn zone crop, the cut of it and the processing
// settings that the readers read well.
//
// Blind (no expected value): the display is found in the crop (display_finder.h), widened to the
// role's layout and given a margin; the threshold is Otsu's threshold of that tight cut, inverted
// for dark segments on a light board. When that reading is stable (the same a threshold step
// either side and a few pixels of shift), it is taken as the expected value and the taught search
// below chooses the zone; when Otsu's threshold reads nothing valid, the value read over the
// widest run of the threshold ladder stands in for it, and a run higher up that reads the value
// with fewer segments lit (unlit segments glowing above Otsu's threshold) replaces it. Taught (the
// value the display shows): cuts around the found display (narrower, wider, shifted) are read at a
// ladder of thresholds with the role's reader; of the cuts that read exactly the expected value,
// the one with the widest band of working thresholds wins (its threshold is the band's middle),
// ties broken by how many cuts a few pixels off still read it, because the same zone must read the
// other values of the game.
//
// Everything is deterministic and pure; the classifier is only read.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_CALIBRATION_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_CALIBRATION_H_

#include <optional>
#include <string>
#include <string_view>

#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan::calibration {

// A cut of a crop: columns x1 .. x2-1 and rows y1 .. y2-1 (exclusive ends), crop pixels.
struct Cut {
  int x1 = 0;
  int y1 = 0;
  int x2 = 0;
  int y2 = 0;
  int width() const { return x2 - x1; }
  int height() const { return y2 - y1; }
};

struct Calibration {
  bool found = false;           // a display was found; otherwise `cut` is the whole crop
  std::string_view reason;      // "ok", "no_display", "expected_not_read"
  Cut cut;                      // the new zone within the crop
  ProcessingSettings settings;  // normalised: threshold and invert chosen, the rest default
};

// The text of a reading's value as the expected value is written: the clock string ("12:34",
// "59.8") or the decimal digits of the number ("7"); empty when the reading is not valid.
std::string reading_text(const Reading& reading);

// Calibrates a non-empty crop for `role` (the zone's role; empty reads as "home_score").
// `expected` is the text of the value shown, when known. OpenCV and classifier errors propagate.
Calibration calibrate_crop(const CropView& crop, std::string_view role,
                           const std::optional<std::string>& expected,
                           const SlotClassifier& classifier);

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_CALIBRATION_H_
