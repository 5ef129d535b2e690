#include "native_ocr/zonescan/reader.h"

#include <algorithm>
#include <span>
#include <tuple>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "native_ocr/segsense/display_view.h"
#include "native_ocr/segsense/slot_reader.h"
#include "native_ocr/zonescan/display.h"
#include "native_ocr/zonescan/display_traits.h"
#include "native_ocr/zonescan/learned_classifier.h"
#include "native_ocr/zonescan/three_cell_separator.h"

namespace native_ocr::zonescan {
namespace {

// The role a reader uses when the zone has none.
std::string_view role_or(std::string_view role, std::string_view fallback) {
  return role.empty() ? fallback : role;
}

Reading early(ReaderKind reader, ReadingShape shape, std::string_view reason) {
  Reading r;
  r.reader = reader;
  r.shape = shape;
  r.reason = reason;
  return r;
}

// What read_crop gives before any work, if anything: the single-digit reader's role check, no
// crop, a crop past kMaxCropSide.
std::optional<Reading> refused(ReaderKind reader, const CropView& crop, std::string_view role) {
  if (reader == ReaderKind::kSingleDigit && !is_single_digit_role(role)) {
    return early(reader, ReadingShape::kLayout, "layout");
  }
  if (crop.empty()) {
    return early(reader, ReadingShape::kNoFrame, "no_frame");
  }
  if (crop_too_large(crop)) {
    return early(reader, ReadingShape::kNoFrame, kCropTooLarge);
  }
  return std::nullopt;
}

// A reading of a prepared display, before the reader's own decisions.
Reading started(ReaderKind reader, const PreparedDisplay& display) {
  Reading r = early(reader, ReadingShape::kFull, "");
  r.binary = display.binary;
  r.angle = display.angle;
  return r;
}

SlotOutcome outcome(const SlotResult& result) {
  return {result.status, result.digit};
}

// The digit cells of the display, by the classifier its settings chose.
std::vector<SlotResult> read_cells(const SlotClassifier& classifier, const PreparedDisplay& display,
                                   const Layout& layout) {
  return classifier.chosen_for(display.classifier).read_display(display, layout);
}

void set_decision(Reading& r, const Decision& d) {
  r.value = d.value;
  r.valid = d.valid;
  r.reason = d.reason;
}

Reading read_score(const PreparedDisplay& display, std::string_view role,
                   const SlotClassifier& classifier) {
  Reading r = started(ReaderKind::kScore, display);
  r.layout = layout_for_role(role_or(role, "home_score"), display.width(), display.height());
  r.slots = read_cells(classifier, display, r.layout);
  if (r.slots.size() != 2) {
    r.shape = ReadingShape::kLayoutWithSlots;
    r.reason = "layout";
    return r;
  }
  set_decision(r, decide_score(outcome(r.slots[0]), outcome(r.slots[1])));
  return r;
}

Reading read_period(const PreparedDisplay& display, const SlotClassifier& classifier) {
  Reading r = started(ReaderKind::kPeriod, display);
  r.layout = layout_for_role("period", display.width(), display.height());
  r.slots = read_cells(classifier, display, r.layout);
  set_decision(r, decide_single(outcome(r.slots.at(0))));
  return r;
}

Reading read_single_digit(const PreparedDisplay& display, std::string_view role,
                          const SlotClassifier& classifier) {
  if (!is_single_digit_role(role)) {
    return early(ReaderKind::kSingleDigit, ReadingShape::kLayout, "layout");
  }
  Reading r = started(ReaderKind::kSingleDigit, display);
  r.layout = layout_for_role(role, display.width(), display.height());
  if (r.layout.size() != 1 || r.layout[0].kind != SlotKind::kDigit) {
    r.shape = ReadingShape::kLayoutWithGeometry;
    r.reason = "layout";
    return r;
  }
  r.slots = read_cells(classifier, display, r.layout);
  const SlotResult& item = r.slots.at(0);
  // The digit's text must be decimal digits only (a negative number is not).
  if (item.status == SlotStatus::kDigit && item.digit && *item.digit >= 0) {
    set_decision(r, {item.digit, true, "ok"});
  } else {
    r.reason = slot_status_name(item.status);
  }
  return r;
}

PatternMatch pattern_match(const segsense::Candidate& c) {
  return {c.digit, c.variant, c.pattern, c.score};
}

GlyphFrame glyph_frame(const segsense::CellFrame& f) {
  const segsense::Structure& s = f.structure;
  return {f.frame_method,
          f.horizontal_frame_source,
          f.horizontal_structure_position,
          s.vertical_core_top,
          s.vertical_core_bottom,
          s.top,
          s.bottom,
          s.left,
          s.right,
          s.width_ratio,
          s.nominal_segment_length,
          s.nominal_frame_width};
}

// The seven-segment classifier's reading of a cell in the readers' words.
SlotDiagnostics diagnostics_of(const segsense::SlotReading& r) {
  const segsense::Classification& c = r.classification;
  return {r.box,
          r.confidence,
          r.empty_confidence,
          r.ink_ratio,
          r.glyph_box,
          glyph_frame(r.frame),
          c.strengths,
          c.activations,
          pattern_match(c.best),
          pattern_match(c.second),
          r.observed_width_ratio};
}

ClockSeparator clock_separator(const std::optional<SeparatorDetection>& detection) {
  ClockSeparator s;
  if (detection) {
    s.found = true;
    s.x = detection->x;
    s.kind = detection->kind;
    s.confidence = detection->confidence;
  }
  return s;
}

std::vector<ClockCell> clock_cells(std::span<const SlotResult> results) {
  std::vector<ClockCell> cells;
  for (const SlotResult& result : results) {
    ClockCell cell{result.status, {}};
    if (result.status == SlotStatus::kDigit && result.digit) {
      cell.text = std::to_string(*result.digit);
    }
    cells.push_back(std::move(cell));
  }
  return cells;
}

// The clock read with `separator` as its detection.
Reading clock_reading(const PreparedDisplay& display, std::string_view role,
                      const SlotClassifier& classifier,
                      const std::optional<SeparatorDetection>& separator) {
  Reading r = started(ReaderKind::kClock, display);
  r.separator = separator;
  r.clock_separator = clock_separator(separator);
  const std::string_view clock_role = role_or(role, "clock");
  const bool cells_set =
      display.clock_cells != 4 && role_group(clock_role) == RoleGroup::kClockLike;
  r.layout = cells_set ? clock_cell_slots(display.width(), display.height(), r.clock_separator.x,
                                          display.clock_cells, r.clock_separator.kind)
                       : layout_for_role(clock_role, display.width(), display.height(),
                                         r.clock_separator.x);
  r.slots = read_cells(classifier, display, r.layout);
  const size_t left_count =
      cells_set ? static_cast<size_t>(clock_left_cells(display.clock_cells, r.clock_separator.kind))
                : 2;
  const std::span<const SlotResult> all(r.slots);
  const std::span<const SlotResult> left = all.first(std::min<size_t>(left_count, all.size()));
  const std::span<const SlotResult> right =
      all.size() > left_count
          ? all.subspan(left_count, std::min<size_t>(2, all.size() - left_count))
          : std::span<const SlotResult>();
  r.clock_value = clock_value(clock_cells(left), clock_cells(right), r.clock_separator.kind);
  r.valid = r.clock_value.has_value();
  r.reason = r.valid ? "raw" : "unrecognized";
  return r;
}

// How well a clock reading's cells support its layout: valid readings first, then the fewer
// cells read as neither a digit nor empty, then the higher mean confidence of the cells read.
std::tuple<bool, int, double> layout_support(const Reading& r) {
  int unknown = 0;
  double confidence = 0.0;
  for (const SlotResult& slot : r.slots) {
    unknown += slot.status == SlotStatus::kUnknown ? 1 : 0;
    confidence += slot.status == SlotStatus::kEmpty ? slot.diagnostics.empty_confidence
                                                    : slot.diagnostics.confidence;
  }
  const double mean = r.slots.empty() ? 0.0 : confidence / static_cast<double>(r.slots.size());
  return {r.valid, -unknown, mean};
}

Reading read_clock(const PreparedDisplay& display, std::string_view role,
                   const SlotClassifier& classifier) {
  Reading r = clock_reading(display, role, classifier, display.separator);
  if (display.separator && display.separator->alternative) {
    Reading other = clock_reading(display, role, classifier, *display.separator->alternative);
    if (layout_support(other) > layout_support(r)) {
      return other;
    }
  }
  return r;
}

}  // namespace

bool is_single_digit_role(std::string_view role) {
  return std::find(kSingleDigitRoles.begin(), kSingleDigitRoles.end(), role) !=
         kSingleDigitRoles.end();
}

ReaderKind reader_for_role(std::string_view role) {
  if (role_group(role) == RoleGroup::kClockLike) {
    return ReaderKind::kClock;
  }
  if (role == "period") {
    return ReaderKind::kPeriod;
  }
  if (is_single_digit_role(role)) {
    return ReaderKind::kSingleDigit;
  }
  return ReaderKind::kScore;
}

std::optional<cv::Rect> zone_pixels(const ZoneRect& rect, const cv::Size& frame) {
  Bounds b;
  if (normalized_zone_bounds(rect, frame.width, frame.height, &b) != BoundsError::kNone ||
      covers_no_pixel(b)) {
    return std::nullopt;
  }
  return cv::Rect(static_cast<int>(b.x1), static_cast<int>(b.y1), static_cast<int>(b.x2 - b.x1),
                  static_cast<int>(b.y2 - b.y1));
}

bool crop_too_large(const CropView& crop) {
  return crop.pixels.rows > kMaxCropSide || crop.pixels.cols > kMaxCropSide;
}

CropView upright_crop(const CropView& crop, const ProcessingSettings& settings) {
  return needs_upright(settings)
             ? CropView{upright_grey(crop.pixels, crop.three_dimensional, settings), false}
             : crop;
}

PreparedDisplay prepare_display(const CropView& given, const ProcessingSettings& settings,
                                bool detect_separator) {
  // A dark display or a slanted one is read from its upright grey negative, separator search too.
  const CropView crop = upright_crop(given, settings);
  // The learned classifier reads the grey display; the binary one is its threshold.
  const bool learned = settings.classifier == CellClassifier::kLearned;
  const cv::Mat grey = learned ? grey_display(crop, settings) : cv::Mat();
  cv::Mat binary = learned ? finish_grey(grey, settings)
                           : process_image(crop.pixels, crop.three_dimensional, settings);
  std::optional<SeparatorDetection> separator;
  if (detect_separator) {
    // Separator coordinates are unrotated crop pixels, whatever the rotation setting.
    // The detector reads colour crops; the upright grey goes to it as three equal channels.
    cv::Mat colour = crop.pixels;
    if (needs_upright(settings)) {
      cv::cvtColor(crop.pixels, colour, cv::COLOR_GRAY2BGR);
    }
    separator = searches_three_cells(settings)
                    ? three_cell_separator(colour)
                    : detect_clock_separator_without_regions(colour, 0.0);
  }
  return prepared_display(std::move(binary), grey, settings, std::move(separator));
}

PreparedDisplay prepared_display(cv::Mat binary, const cv::Mat& grey,
                                 const ProcessingSettings& settings,
                                 std::optional<SeparatorDetection> separator) {
  PreparedDisplay out;
  out.clock_cells = settings.clock_cells;
  out.binary = std::move(binary);
  out.angle = settings.rotation;
  out.classifier = settings.classifier;
  if (settings.classifier == CellClassifier::kLearned) {
    out.grey = grey;
  }
  out.separator = std::move(separator);
  return out;
}

cv::Mat grey_display(const CropView& crop, const ProcessingSettings& settings) {
  ProcessingSettings grey = settings;
  grey.binarize = false;
  grey.invert = false;
  grey.morphology = Morphology::kNone;
  return process_image(crop.pixels, crop.three_dimensional, grey);
}

const SlotClassifier& SegmentClassifier::chosen_for(CellClassifier choice) const {
  if (choice == CellClassifier::kLearned) {
    static const LearnedClassifier learned;
    return learned;
  }
  return *this;
}

std::vector<SlotResult> SegmentClassifier::read_slots(const cv::Mat& binary,
                                                      const Layout& layout) const {
  const segsense::DisplayView view = segsense::view_of(binary);
  segsense::CellScratch scratch;
  std::vector<SlotResult> out;
  for (const Slot& slot : layout) {
    if (slot.kind != SlotKind::kDigit) {
      continue;
    }
    SlotResult result;
    result.slot = slot;
    const segsense::SlotReading reading = segsense::read_slot(view, slot.box, &scratch);
    result.diagnostics = diagnostics_of(reading);
    const std::optional<int>& value = reading.classification.value;
    if (reading.empty) {
      result.status = SlotStatus::kEmpty;
    } else if (value) {
      result.status = SlotStatus::kDigit;
      result.digit = *value;
    }
    out.push_back(std::move(result));
  }
  return out;
}

Reading read_prepared(ReaderKind reader, const PreparedDisplay& display, std::string_view role,
                      const SlotClassifier& classifier) {
  switch (reader) {
    case ReaderKind::kScore:
      return read_score(display, role, classifier);
    case ReaderKind::kPeriod:
      return read_period(display, classifier);
    case ReaderKind::kSingleDigit:
      return read_single_digit(display, role, classifier);
    case ReaderKind::kClock:
      return read_clock(display, role, classifier);
  }
  return early(reader, ReadingShape::kNoFrame, "no_frame");
}

Reading read_crop(ReaderKind reader, const CropView& crop, std::string_view role,
                  const ProcessingSettings& settings, const SlotClassifier& classifier) {
  if (std::optional<Reading> r = refused(reader, crop, role)) {
    return *std::move(r);
  }
  const PreparedDisplay display = prepare_display(crop, settings, reader == ReaderKind::kClock);
  return read_prepared(reader, display, role, classifier);
}

Reading read_crop_given_separator(ReaderKind reader, const CropView& crop, std::string_view role,
                                  const ProcessingSettings& settings,
                                  const std::optional<SeparatorDetection>& separator,
                                  const SlotClassifier& classifier) {
  if (std::optional<Reading> r = refused(reader, crop, role)) {
    return *std::move(r);
  }
  PreparedDisplay display = prepare_display(crop, settings, false);
  display.separator = separator;
  return read_prepared(reader, display, role, classifier);
}

SlotStatus slot_status(std::string_view status) {
  if (status == "digit") {
    return SlotStatus::kDigit;
  }
  if (status == "empty") {
    return SlotStatus::kEmpty;
  }
  return SlotStatus::kUnknown;
}

std::string_view slot_status_name(SlotStatus status) {
  switch (status) {
    case SlotStatus::kDigit:
      return "digit";
    case SlotStatus::kEmpty:
      return "empty";
    case SlotStatus::kUnknown:
      break;
  }
  return "unknown";
}

Decision decide_score(const SlotOutcome& tens, const SlotOutcome& units) {
  if (units.status != SlotStatus::kDigit || !units.digit) {
    return {std::nullopt, false, "missing_units"};
  }
  if (tens.status == SlotStatus::kEmpty) {
    return {*units.digit, true, "ok"};
  }
  if (tens.status == SlotStatus::kDigit && tens.digit) {
    return {10 * *tens.digit + *units.digit, true, "ok"};
  }
  return {std::nullopt, false, "unrecognized"};
}

Decision decide_single(const SlotOutcome& slot) {
  if (slot.status == SlotStatus::kDigit && slot.digit) {
    return {slot.digit, true, "ok"};
  }
  return {std::nullopt, false, slot.status == SlotStatus::kEmpty ? "empty" : "unknown"};
}

std::optional<std::string> clock_side_text(std::span<const ClockCell> side) {
  std::string text;
  for (const ClockCell& cell : side) {
    switch (cell.status) {
      case SlotStatus::kDigit:
        text += cell.text;
        break;
      case SlotStatus::kEmpty:
        break;
      case SlotStatus::kUnknown:
        return std::nullopt;
    }
  }
  return text;
}

std::optional<std::string> clock_value(std::span<const ClockCell> left,
                                       std::span<const ClockCell> right, SeparatorKind kind) {
  const std::optional<std::string> left_text = clock_side_text(left);
  const std::optional<std::string> right_text = clock_side_text(right);
  if (!left_text || !right_text || left_text->empty()) {
    return std::nullopt;
  }
  if (kind == SeparatorKind::kDecimalPoint) {
    // Only the first right cell is read as tenths; an empty one leaves no tenths.
    const std::string tenths =
        right.empty() || right[0].status != SlotStatus::kDigit ? std::string() : right[0].text;
    if (tenths.empty()) {
      return std::nullopt;
    }
    return *left_text + std::string(separator_char(kind)) + tenths;
  }
  if (right_text->empty()) {
    return std::nullopt;
  }
  return *left_text + std::string(separator_char(kind)) + *right_text;
}

}  // namespace native_ocr::zonescan
