// Digit-slot layouts: how a prepared display is cut into digit cells and, for clocks, the gap that
// holds the colon or decimal point; the separator kind, and the character and clock mode it
// stands for.
#ifndef NATIVE_OCR_ZONESCAN_LAYOUT_H_
#define NATIVE_OCR_ZONESCAN_LAYOUT_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "native_ocr/numerics/inclusive.h"

namespace native_ocr::zonescan {

enum class SlotKind { kDigit, kSeparator };

// The mark between a clock's two sides: a colon ("12:34", minutes and seconds) or a decimal point
// ("59.8", seconds and tenths).
enum class SeparatorKind { kColon, kDecimalPoint };

// The mark as a clock string writes it: ":" or ".".
std::string_view separator_char(SeparatorKind kind);
// The clock's mode: "minutes" for a colon, "tenths" for a decimal point.
std::string_view clock_mode(SeparatorKind kind);

struct Slot {
  SlotKind kind = SlotKind::kDigit;
  std::optional<int64_t>
      index;  // digit position counted from 0 left to right; none for the separator
  // In prepared-display coordinates, not clipped to the display: neighbouring cells may share a
  // column or leave one out, as the rounding falls.
  Box box{};
  bool operator==(const Slot&) const = default;
};

// A layout lists its slots from left to right.
using Layout = std::vector<Slot>;

// Rounds each value to the nearest integer, ties to even (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
Box make_box(double x1, double y1, double x2, double y2);

// `count` equal-width digit cells across the display. width, height and count below 1 count as 1.
Layout equal_digit_slots(int64_t width, int64_t height, int64_t count);

// Five entries: digits 0 and 1, the separator gap, digits 2 and 3. The gap is centred on
// separator_x (crop pixels), clamped to 30 %..70 % of the width, or on the middle when absent.
Layout clock_slots(int64_t width, int64_t height, std::optional<double> separator_x = std::nullopt);

// A clock of `cells` digit cells (2 to 4; 4 is clock_slots exactly). With 3 cells a decimal
// point leaves two cells on its left ("dd.d") and a colon one ("d:dd"); 2 cells are one each side.
// The cells of a side share it equally; the gap is centred on separator_x clamped as clock_slots
// does, or when absent where the split puts it (two thirds of the width for "dd.d").
Layout clock_cell_slots(int64_t width, int64_t height, std::optional<double> separator_x,
                        int64_t cells, SeparatorKind kind);

// How many of a clock layout's digit cells stand left of its separator.
int64_t clock_left_cells(int64_t cells, SeparatorKind kind);

enum class RoleGroup { kTwoDigit, kOneDigit, kClockLike, kOther };

// Which layout group a role belongs to (exact, case-sensitive comparison).
RoleGroup role_group(std::string_view role);

// The known roles of a group, in their documented order; none for kOther.
std::span<const std::string_view> roles_of(RoleGroup group);

// The layout for a role: two equal cells, one cell, or the clock layout (the only one that uses
// separator_x); an unknown role gets one cell.
Layout layout_for_role(std::string_view role, int64_t width, int64_t height,
                       std::optional<double> separator_x = std::nullopt);

// The separator slot of a layout, or nullptr when it has none.
const Slot* find_separator(const Layout& layout);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_LAYOUT_H_
