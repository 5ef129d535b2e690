// The zone readers as a C++ library: a crop, its role and its normalised settings in, a typed
// reading out; and the decisions that turn slot results into a value or a clock string. No Python
// anywhere; the module's bindings only parse arguments and turn a Reading into the result
// dictionary of its reader.
//
// The chain, one step per function:
//
//   CropView crop{pixels, /*three_dimensional=*/true};        // a view, never written to
//   ProcessingSettings settings = clamp_settings(raw);        // already normalised
//   const SegmentClassifier classifier;                       // the seven-segment classifier
//   Reading r = read_crop(ReaderKind::kClock, crop, "clock", settings, classifier);
//   // or, step by step (what the bindings do, to check a role after the display is made):
//   PreparedDisplay display = prepare_display(crop, settings, /*detect_separator=*/true);
//   Reading r = read_prepared(ReaderKind::kClock, display, "clock", classifier);
//   // or with a separator detection kept from pixels seen before (what the bridges do):
//   Reading r = read_crop_given_separator(ReaderKind::kClock, crop, "clock", settings, kept,
//                                         classifier);
//
//   r.shape         which result it is: kNoFrame, kLayout (early "layout" result), kFull ...
//   r.value/valid/reason, r.clock_value (clock readers), r.layout, r.slots (one per digit slot,
//   with the classifier's SlotDiagnostics), r.binary, r.angle, r.separator ...
//
// Readers by role (reader_for_role): the clock-like roles take the clock reader, "period" the
// period reader, the roles of kSingleDigitRoles the single-digit reader, every other role (and no
// role) the score reader.
//
// SlotClassifier is the seam for the digit cells: SegmentClassifier is the real one (the segsense
// core, linked in) and stands for the built-in classifiers, so a display prepared with the
// setting classifier "learned" is read by LearnedClassifier (learned_classifier.h) instead;
// tests use a fake that reports chosen statuses (a fake is used whatever the setting). Every
// function is pure and thread-safe as long as the classifier is (SegmentClassifier is): several
// zones may be read at once on different threads. Failures to read are values (valid false,
// reason); exceptions are only what OpenCV throws (cv::Exception, for example a crop colour
// conversion refuses) and what the classifier throws.
#ifndef NATIVE_OCR_ZONESCAN_READER_H_
#define NATIVE_OCR_ZONESCAN_READER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/layout.h"
#include "native_ocr/zonescan/separator/separator_detector.h"
#include "native_ocr/zonescan/settings.h"
#include "native_ocr/zonescan/slot_diagnostics.h"
#include "native_ocr/zonescan/zone.h"

namespace native_ocr::zonescan {

// The readers' decisions: how the classifier's slot results become a value, a validity flag and a
// reason (score, period, single digit), and how digit cells and the separator become a clock
// string such as 12:34 or 59.8.

enum class SlotStatus { kDigit, kEmpty, kUnknown };

// What a reader needs of one slot result: its status and, for a digit, the digit.
struct SlotOutcome {
  SlotStatus status = SlotStatus::kUnknown;
  std::optional<int64_t> digit;
};

// A reader's decision: the value, whether it is valid, and why not.
struct Decision {
  std::optional<int64_t> value;
  bool valid = false;
  std::string_view reason;  // "ok", or why the reading is not valid
};

// "digit", "empty" or "unknown"; anything else reads as unknown.
SlotStatus slot_status(std::string_view status);
std::string_view slot_status_name(SlotStatus status);

// A two-digit field read left to right: the units must be a digit; an empty tens slot reads as a
// single digit ("7"), a digit tens slot as a two-digit number, an unknown one is "unrecognized".
Decision decide_score(const SlotOutcome& tens, const SlotOutcome& units);

// A one-digit field: valid when the slot holds a digit; otherwise the slot's status is the reason.
Decision decide_single(const SlotOutcome& slot);

// One digit cell as read: its status and, for a digit, the digit's text.
struct ClockCell {
  SlotStatus status = SlotStatus::kUnknown;
  std::string text;
};

// The cells of one side concatenated ("" when all are empty or there are none); nothing when a
// cell is neither a digit nor empty.
std::optional<std::string> clock_side_text(std::span<const ClockCell> side);

// The clock string of the two sides. With a decimal point: the left text, ".", and the first right
// cell (the second is ignored); with a colon, left ":" right. Nothing when a side is unreadable or
// a needed part is empty. Cells are kept exactly as read: no zero padding, no range check.
std::optional<std::string> clock_value(std::span<const ClockCell> left,
                                       std::span<const ClockCell> right, SeparatorKind kind);

// The separator the reading uses: the detector's, or a colon in minutes mode when none was found.
struct ClockSeparator {
  bool found = false;
  std::optional<double> x;
  SeparatorKind kind = SeparatorKind::kColon;
  double confidence = 0.0;

  std::string_view status() const { return found ? "separator" : "unknown"; }
};

enum class ReaderKind { kScore, kPeriod, kSingleDigit, kClock };

// The one-digit counters the single-digit reader accepts: down, home_timeouts, guest_timeouts.
inline constexpr std::array<std::string_view, 3> kSingleDigitRoles = {"down", "home_timeouts",
                                                                      "guest_timeouts"};
bool is_single_digit_role(std::string_view role);

// The reader a zone of this role is read with (exact, case-sensitive comparison).
ReaderKind reader_for_role(std::string_view role);

// A zone crop: 8-bit pixels with 1 to 4 channels, and whether the caller's array had three
// dimensions (a colour image, converted to grey as BGR; a 2-D array is grey already). Kept by
// reference (a cv::Mat header): the pixels must stay alive while the crop is read.
struct CropView {
  cv::Mat pixels;
  bool three_dimensional = false;
  bool empty() const { return pixels.empty(); }
};

// The pixels of a frame of this size that the zone at `rect` covers (normalized_zone_bounds as a
// rectangle); none when it covers no pixel or an edge has no integer value.
std::optional<cv::Rect> zone_pixels(const ZoneRect& rect, const cv::Size& frame);

// The longest crop side, in pixels, the readers prepare: more than twice the widest preview
// (1920) and a 4K frame (3840) read whole. Preparing costs some 25 bytes a pixel, so a crop past it
// (a 20000-pixel square took over 9 GiB) reads as kCropTooLarge instead, at once.
inline constexpr int kMaxCropSide = 4096;
inline constexpr std::string_view kCropTooLarge = "crop_too_large";
bool crop_too_large(const CropView& crop);

// A crop's prepared display: the 0/255 (or grey) image the cells are cut from.
struct PreparedDisplay {
  cv::Mat binary;      // single channel, the crop's size
  double angle = 0.0;  // the rotation setting that was applied, degrees
  // The classifier the settings chose, and for the learned one the grey display it reads
  // (grey_display: the crop's size, empty otherwise).
  CellClassifier classifier = CellClassifier::kSegments;
  cv::Mat grey;
  // The clock_cells setting: how many digit cells the clock reader lays out (4 is the default).
  int64_t clock_cells = 4;
  // The clock separator detector's result on the unrotated crop; none when detection was not
  // requested or found nothing. With an alternative (a clock of three cells), the clock reader
  // reads both layouts and keeps the one its cells support better.
  std::optional<SeparatorDetection> separator;
  int64_t width() const { return binary.cols; }
  int64_t height() const { return binary.rows; }
};

// The crop display preparation reads: the crop itself, or with a dark polarity or a slant its
// upright grey (display_traits.h): the grey negative, sheared upright.
CropView upright_crop(const CropView& crop, const ProcessingSettings& settings);

// Runs display preparation on a non-empty crop and, when asked, the separator detector on the
// crop itself (angle 0). With a dark polarity or a slant, both run on the crop's upright grey
// (display_traits.h) instead: the grey negative, sheared upright. Throws cv::Exception for what
// OpenCV refuses (a crop of a channel count the colour conversion does not take).
PreparedDisplay prepare_display(const CropView& crop, const ProcessingSettings& settings,
                                bool detect_separator);

// The display prepare_display makes of `binary` (the crop prepared at the settings) with the
// crop's grey display `grey` (read only for the learned classifier; may be empty otherwise) and
// the separator detection `separator`: the settings' rotation, classifier and clock cells.
PreparedDisplay prepared_display(cv::Mat binary, const cv::Mat& grey,
                                 const ProcessingSettings& settings,
                                 std::optional<SeparatorDetection> separator);

// The crop as display preparation has it just before the threshold: grey, with the settings'
// contrast, brightness, gamma, rotation and blur; no threshold, inversion or morphology. What the
// learned classifier reads.
cv::Mat grey_display(const CropView& crop, const ProcessingSettings& settings);

// One digit slot as the classifier read it.
struct SlotResult {
  Slot slot;  // the layout slot that was read (box unclipped)
  SlotStatus status = SlotStatus::kUnknown;
  std::optional<int64_t> digit;  // set when status is kDigit
  // What the classifier saw (clipped box, confidences, segments, frame). A fake classifier may
  // leave it default.
  SlotDiagnostics diagnostics;
};

// Classifies the digit cells of a prepared display.
class SlotClassifier {
 public:
  virtual ~SlotClassifier() = default;
  // One result per slot of `layout` whose kind is digit, in layout order; separators are skipped.
  virtual std::vector<SlotResult> read_slots(const cv::Mat& binary, const Layout& layout) const = 0;
  // The same for a prepared display; what the readers call. By default read_slots on the binary
  // display; a classifier that reads another image of the display overrides it.
  virtual std::vector<SlotResult> read_display(const PreparedDisplay& display,
                                               const Layout& layout) const {
    return read_slots(display.binary, layout);
  }
  // The classifier that reads a display prepared with this choice: this one, unless it stands for
  // the built-in classifiers.
  virtual const SlotClassifier& chosen_for(CellClassifier /*choice*/) const { return *this; }
};

// The seven-segment classifier (native_ocr.segsense's core). Stateless; safe on any thread.
class SegmentClassifier final : public SlotClassifier {
 public:
  std::vector<SlotResult> read_slots(const cv::Mat& binary, const Layout& layout) const override;
  // The learned classifier for CellClassifier::kLearned, itself otherwise.
  const SlotClassifier& chosen_for(CellClassifier choice) const override;
};

// Which result dictionary a reading becomes.
enum class ReadingShape {
  kNoFrame,             // value None, valid False, reason "no_frame" (or kCropTooLarge)
  kLayout,              // value None, valid False, reason "layout" (single digit: role refused)
  kLayoutWithSlots,     // score: "layout" with the slot results (the role is not two-digit)
  kLayoutWithGeometry,  // single digit: "layout" with the layout (not one digit slot)
  kFull,                // the reader's full result
};

struct Reading {
  ReaderKind reader = ReaderKind::kScore;
  ReadingShape shape = ReadingShape::kNoFrame;
  std::optional<int64_t> value;            // score, period and single-digit readers
  std::optional<std::string> clock_value;  // clock reader: "12:34", "59.8"
  bool valid = false;
  std::string_view reason = "no_frame";  // "ok", "raw" (clock), or why not
  Layout layout;                         // the layout that was read (or refused)
  std::vector<SlotResult> slots;         // one per digit slot, in layout order
  cv::Mat binary;                        // the prepared display, when there was a crop
  double angle = 0.0;                    // the rotation applied, not rounded
  // Clock reader: the detector's result (none when nothing was found) and the separator in use.
  std::optional<SeparatorDetection> separator;
  ClockSeparator clock_separator;
  int64_t width() const { return binary.cols; }
  int64_t height() const { return binary.rows; }
};

// The reading of a prepared display. `role` is the zone's role, empty for none: the score reader
// reads an empty role as "home_score", the clock reader as "clock"; the period reader ignores it;
// the single-digit reader refuses a role outside kSingleDigitRoles (kLayout, before any work).
// The display must have been prepared with detection for the clock reader.
Reading read_prepared(ReaderKind reader, const PreparedDisplay& display, std::string_view role,
                      const SlotClassifier& classifier);

// The whole chain on a crop: the single-digit reader's role check, kNoFrame for an empty crop
// ("no_frame") or one past kMaxCropSide (kCropTooLarge), display preparation (with detection for
// the clock reader), then read_prepared.
Reading read_crop(ReaderKind reader, const CropView& crop, std::string_view role,
                  const ProcessingSettings& settings, const SlotClassifier& classifier);

// read_crop with the clock separator detection given instead of looked for: the display is
// prepared without detection and read with `separator` as its detection. The same reading as
// read_crop when `separator` is what prepare_display detects on this crop (a caller that keeps a
// detection for pixels it has seen before skips the detector).
Reading read_crop_given_separator(ReaderKind reader, const CropView& crop, std::string_view role,
                                  const ProcessingSettings& settings,
                                  const std::optional<SeparatorDetection>& separator,
                                  const SlotClassifier& classifier);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_READER_H_
