#include "native_ocr/zonescan/calibration/zone_agreement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/display_traits.h"
#include "native_ocr/zonescan/three_cell_separator.h"

namespace native_ocr::zonescan::calibration {
namespace {

// The highest grey level a threshold is moved to.
constexpr int64_t kWhiteLevel = 255;
// The two ways a threshold or an edge is moved.
constexpr std::array<int, 2> kWays = {-1, 1};

// The frame's pixels inside the zone at `rect`, as the zone's crop is cut; empty when it covers
// no pixel.
CropView crop_of(const CropView& frame, const ZoneRect& rect) {
  const std::optional<cv::Rect> pixels = zone_pixels(rect, frame.pixels.size());
  return {pixels ? frame.pixels(*pixels) : cv::Mat(), frame.three_dimensional};
}

// Whether `separators` can give the detection of `crop` (what the clock reader would search for
// on the colour crop itself).
bool served_by(const MovedSeparators* separators, ReaderKind reader, const CropView& crop,
               const ProcessingSettings& settings) {
  return separators != nullptr && reader == ReaderKind::kClock && crop.three_dimensional &&
         !crop.pixels.empty() && !crop_too_large(crop) && !needs_upright(settings) &&
         !searches_three_cells(settings);
}

// The zone moved by one pixel (move 0..3: left, right, up, down) read as read_crop reads it.
Reading read_moved(const FrameZone& zone, ReaderKind reader, const ZoneRect& moved, int move,
                   const SlotClassifier& classifier, MovedSeparators* separators) {
  const CropView crop = crop_of(zone.frame, moved);
  if (served_by(separators, reader, crop, zone.settings)) {
    return read_crop_given_separator(reader, crop, zone.role, zone.settings,
                                     separators->detect(move, crop.pixels), classifier);
  }
  return read_crop(reader, crop, zone.role, zone.settings, classifier);
}

double share_of_four_moves(const FrameZone& zone, ReaderKind reader, const ReadValue& value,
                           const SlotClassifier& classifier, MovedSeparators* separators) {
  const double pixel[2] = {1.0 / static_cast<double>(zone.frame.pixels.cols),
                           1.0 / static_cast<double>(zone.frame.pixels.rows)};
  int same = 0;
  int move = 0;
  for (int axis = 0; axis < 2; ++axis) {
    for (const int way : kWays) {
      ZoneRect moved = zone.rect;
      double& edge = axis == 0 ? moved.x : moved.y;
      edge = edge + way * pixel[axis];
      same += keeps_value(read_moved(zone, reader, moved, move++, classifier, separators), value);
    }
  }
  return same / static_cast<double>(kMovedCuts);
}

// Whether the display prepared with a moved threshold is the grey display's threshold and
// inversion alone (nothing after them but the cells): then one grey display serves every move.
bool threshold_only_differs(const ProcessingSettings& settings) {
  return settings.binarize && settings.morphology == Morphology::kNone;
}

// prepare_display's display of `grey` (grey_display of the turned crop) at the settings, with
// `separator`: a level above the threshold lit, the inversion after it.
PreparedDisplay at_threshold(const cv::Mat& grey, const ProcessingSettings& settings,
                             const std::optional<SeparatorDetection>& separator) {
  cv::Mat binary;
  cv::threshold(grey, binary, static_cast<double>(settings.threshold), kWhiteLevel,
                settings.invert ? cv::THRESH_BINARY_INV : cv::THRESH_BINARY);
  return prepared_display(std::move(binary), grey, settings, separator);
}

// The zone's separator as the clock reader finds it on the crop: the caller's when it gave one
// (the threshold does not enter the search), searched for otherwise.
std::optional<SeparatorDetection> separator_of(const FrameZone& zone, const CropView& crop) {
  if (zone.separator_known) {
    return zone.separator;
  }
  return prepare_display(crop, zone.settings, true).separator;
}

// The zone's crop read with its threshold each step down and up, in this order: read_crop's
// readings. The grey display is made once (left in `grey` when shared) and the separator searched
// for at most once: only the threshold differs between the moves.
std::array<Reading, 4> threshold_moves(const FrameZone& zone, ReaderKind reader,
                                       const SlotClassifier& classifier, cv::Mat& grey) {
  const CropView crop = crop_of(zone.frame, zone.rect);
  std::array<Reading, 4> out;
  const bool refused = reader == ReaderKind::kSingleDigit && !is_single_digit_role(zone.role);
  const bool shared =
      !refused && !crop.empty() && !crop_too_large(crop) && threshold_only_differs(zone.settings);
  std::optional<SeparatorDetection> separator;
  if (shared) {
    separator = reader == ReaderKind::kClock ? separator_of(zone, crop) : std::nullopt;
    grey = grey_display(upright_crop(crop, zone.settings), zone.settings);
  }
  size_t k = 0;
  for (const int step : {kNearThresholdStep, kFarThresholdStep}) {
    for (const int way : kWays) {
      ProcessingSettings moved = zone.settings;
      moved.threshold = std::clamp<int64_t>(zone.settings.threshold + way * step, 0, kWhiteLevel);
      out[k++] = shared ? read_prepared(reader, at_threshold(grey, moved, separator), zone.role,
                                        classifier)
                        : read_crop(reader, crop, zone.role, moved, classifier);
    }
  }
  return out;
}

}  // namespace

bool keeps_value(const Reading& reading, const ReadValue& value) {
  if (!reading.valid) {
    return false;
  }
  if (reading.reader == ReaderKind::kClock) {
    return value.text && reading.clock_value == value.text;
  }
  return value.number && reading.value == value.number;
}

namespace {

// The rows and columns the cells span on the zone's display: the outermost cells' sides, the
// glyphs' top and bottom and the tallest glyph's height.
struct CellExtent {
  int64_t left = 0, right = 0, top = 0, bottom = 0, tallest = 0;
};

CellExtent extent_of(std::span<const TrustCell> cells) {
  CellExtent e{cells[0].box[0], cells[0].box[2], cells[0].glyph_box[1], cells[0].glyph_box[3], 0};
  for (const TrustCell& c : cells) {
    e.left = std::min(e.left, c.box[0]);
    e.right = std::max(e.right, c.box[2]);
    e.top = std::min(e.top, c.glyph_box[1]);
    e.bottom = std::max(e.bottom, c.glyph_box[3]);
    e.tallest = std::max(e.tallest, c.glyph_box[3] - c.glyph_box[1] + 1);
  }
  return e;
}

// The most lit pixels in one column of [from, to) of `rows` (0 for no column), from one pass of
// column sums (the display is 0 or kWhiteLevel).
int most_lit_column(const cv::Mat& rows, int from, int to) {
  from = std::max(from, 0);
  to = std::min(to, rows.cols);
  if (from >= to) {
    return 0;
  }
  cv::Mat sums;
  cv::reduce(rows.colRange(from, to), sums, 0, cv::REDUCE_SUM, CV_32S);
  double most = 0.0;
  cv::minMaxLoc(sums, nullptr, &most);
  return static_cast<int>(most) / static_cast<int>(kWhiteLevel);
}

// The share of the lit pixels of the zone's display outside the cells' glyphs.
double stray_share(const cv::Mat& display, std::span<const TrustCell> cells) {
  const int lit = cv::countNonZero(display);
  if (lit == 0) {
    return 0.0;
  }
  const cv::Rect whole(0, 0, display.cols, display.rows);
  int inside = 0;
  for (const TrustCell& c : cells) {
    const cv::Rect glyph =
        cv::Rect(static_cast<int>(c.glyph_box[0]), static_cast<int>(c.glyph_box[1]),
                 static_cast<int>(c.glyph_box[2] - c.glyph_box[0] + 1),
                 static_cast<int>(c.glyph_box[3] - c.glyph_box[1] + 1)) &
        whole;
    inside += glyph.empty() ? 0 : cv::countNonZero(display(glyph));
  }
  return std::max(0, lit - inside) / static_cast<double>(lit);
}

// The most lit pixels in one column of the glyph rows [top, bottom] of the frame's columns
// [from, to), the zone's rows prepared on their own; 0 for no column.
int most_lit_beyond(const FrameZone& zone, const cv::Rect& pixels, int from, int to, int top,
                    int bottom) {
  from = std::max(from, 0);
  to = std::min(to, zone.frame.pixels.cols);
  if (from >= to) {
    return 0;
  }
  const CropView strip{zone.frame.pixels(cv::Rect(from, pixels.y, to - from, pixels.height)),
                       zone.frame.three_dimensional};
  const cv::Mat lit = prepare_display(strip, zone.settings, false).binary;
  return most_lit_column(lit.rowRange(top, bottom + 1), 0, lit.cols);
}

// The ink around `cells` on `display`, the zone's prepared display at `pixels` of the frame.
InkAround ink_on(const FrameZone& zone, const cv::Rect& pixels, const cv::Mat& display,
                 std::span<const TrustCell> cells) {
  InkAround out;
  out.stray = stray_share(display, cells);
  const CellExtent e = extent_of(cells);
  const int top = static_cast<int>(std::max<int64_t>(e.top, 0));
  const int bottom = static_cast<int>(std::min<int64_t>(e.bottom, display.rows - 1));
  if (top > bottom) {
    return out;
  }
  const int reach = static_cast<int>(std::ceil(kBeyondEdgeReach * static_cast<double>(e.tallest)));
  const cv::Mat rows = display.rowRange(top, bottom + 1);
  const int x0 = pixels.x, x1 = pixels.x + pixels.width;
  const int left = std::max(most_lit_column(rows, 0, static_cast<int>(e.left)),
                            most_lit_beyond(zone, pixels, x0 - reach, x0, top, bottom));
  const int right = std::max(most_lit_column(rows, static_cast<int>(e.right) + 1, display.cols),
                             most_lit_beyond(zone, pixels, x1, x1 + reach, top, bottom));
  out.beyond_edges = std::max(left, right) / static_cast<double>(bottom - top + 1);
  return out;
}

}  // namespace

Agreement zone_agreement(const FrameZone& zone, const ReadValue& value,
                         const SlotClassifier& classifier, std::span<const TrustCell> cells,
                         MovedSeparators* separators) {
  const ReaderKind reader = reader_for_role(zone.role);
  Agreement out;
  out.shift = share_of_four_moves(zone, reader, value, classifier, separators);
  cv::Mat grey;
  const std::array<Reading, 4> moves = threshold_moves(zone, reader, classifier, grey);
  out.near_threshold = (keeps_value(moves[0], value) + keeps_value(moves[1], value)) / 2.0;
  out.far_threshold = (keeps_value(moves[2], value) + keeps_value(moves[3], value)) / 2.0;
  const std::optional<cv::Rect> pixels = zone_pixels(zone.rect, zone.frame.pixels.size());
  if (!cells.empty() && pixels && !grey.empty()) {
    // The zone's own display from the shared grey one, as prepare_display makes it.
    out.ink = ink_on(zone, *pixels, at_threshold(grey, zone.settings, std::nullopt).binary, cells);
  } else if (!cells.empty()) {
    out.ink = ink_around_cells(zone, cells);
  }
  return out;
}

InkAround ink_around_cells(const FrameZone& zone, std::span<const TrustCell> cells) {
  const std::optional<cv::Rect> pixels = zone_pixels(zone.rect, zone.frame.pixels.size());
  if (!pixels || cells.empty()) {
    return {};
  }
  const CropView crop{zone.frame.pixels(*pixels), zone.frame.three_dimensional};
  if (crop_too_large(crop)) {
    return {};
  }
  return ink_on(zone, *pixels, prepare_display(crop, zone.settings, false).binary, cells);
}

}  // namespace native_ocr::zonescan::calibration
