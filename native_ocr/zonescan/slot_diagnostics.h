// What a classifier saw in one digit cell, beside the status and digit it decided: the figures the
// slot result dictionaries report and the trust in a reading weighs. The readers' own vocabulary:
// the seven-segment classifier's reading is turned into it where that classifier is called.
#ifndef NATIVE_OCR_ZONESCAN_SLOT_DIAGNOSTICS_H_
#define NATIVE_OCR_ZONESCAN_SLOT_DIAGNOSTICS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "native_ocr/numerics/inclusive.h"

namespace native_ocr::zonescan {

// One value per segment of a seven-segment digit, A to G.
inline constexpr size_t kSegmentsPerDigit = 7;
using SegmentValues = std::array<double, kSegmentsPerDigit>;

// A digit pattern compared with the cell: the digit, which of its drawings, the segments it
// lights (1) and how well the cell's segments agree with them, 0 to 1.
struct PatternMatch {
  int digit = 0;
  int variant = 0;
  std::array<uint8_t, kSegmentsPerDigit> pattern{};
  double score = 0.0;
};

// How the glyph of a read cell was framed, in cell rows and columns. The texts name the way the
// frame was found; they are static strings.
struct GlyphFrame {
  std::string_view method;
  std::string_view horizontal_source;
  std::string_view horizontal_position;  // "wide", "right", "left" or "ambiguous"
  int64_t vertical_core_top = 0;
  int64_t vertical_core_bottom = 0;
  int64_t top = 0;
  int64_t bottom = 0;
  int64_t left = 0;
  int64_t right = 0;
  double width_ratio = 0.0;
  double nominal_segment_length = 0.0;
  int64_t nominal_frame_width = 0;
};

struct SlotDiagnostics {
  Box box{};  // the slot's box clipped to the display
  double confidence = 1.0;
  double empty_confidence = 1.0;
  double ink_ratio = 0.0;
  // Set only for a cell that was read (status not empty).
  Box glyph_box{};  // the glyph's frame, display coordinates
  GlyphFrame frame;
  SegmentValues strengths{};    // ink share of each segment's probe
  SegmentValues activations{};  // each strength mapped to 0..1
  PatternMatch best;
  PatternMatch runner_up;  // the best pattern of another digit
  double observed_width_ratio = 0.0;
};

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SLOT_DIAGNOSTICS_H_
