#include "native_ocr/zonescan/layout.h"

#include <algorithm>
#include <string_view>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan {
namespace {

constexpr std::string_view kTwoDigitRoles[] = {"home_score",
                                               "guest_score",
                                               "home_penalty_player_1",
                                               "home_penalty_player_2",
                                               "guest_penalty_player_1",
                                               "guest_penalty_player_2",
                                               "home_shots",
                                               "guest_shots",
                                               "to_go",
                                               "ball_on"};
constexpr std::string_view kOneDigitRoles[] = {"period", "down", "home_timeouts", "guest_timeouts"};
constexpr std::string_view kClockLikeRoles[] = {"clock", "home_penalty_1", "home_penalty_2",
                                                "guest_penalty_1", "guest_penalty_2"};

template <size_t N>
bool contains(const std::string_view (&roles)[N], std::string_view role) {
  return std::find(std::begin(roles), std::end(roles), role) != std::end(roles);
}

Slot digit(int64_t index, const Box& box) {
  return Slot{SlotKind::kDigit, index, box};
}

}  // namespace

Box make_box(double x1, double y1, double x2, double y2) {
  return {round_to_int(x1), round_to_int(y1), round_to_int(x2), round_to_int(y2)};
}

Layout equal_digit_slots(int64_t width, int64_t height, int64_t count) {
  width = std::max<int64_t>(1, width);
  height = std::max<int64_t>(1, height);
  count = std::max<int64_t>(1, count);
  const double w = static_cast<double>(width);
  const double n = static_cast<double>(count);
  Layout layout;
  layout.reserve(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    double left = w * static_cast<double>(i) / n;
    double right = w * static_cast<double>(i + 1) / n;
    layout.push_back(digit(i, make_box(left, 0, right - 1, static_cast<double>(height) - 1)));
  }
  return layout;
}

Layout clock_slots(int64_t width, int64_t height, std::optional<double> separator_x) {
  const double w = static_cast<double>(std::max<int64_t>(1, width));
  const double bottom = static_cast<double>(std::max<int64_t>(1, height)) - 1;
  double sx = separator_x ? *separator_x : w / 2.0;
  sx = py_clamp(sx, 0.3 * w, 0.7 * w);
  const double gap = py_max(4.0, 0.055 * w) / 2.0;
  const double left_end = py_max(1.0, sx - gap);
  const double right_start = py_min(w - 2.0, sx + gap);
  const double left_width = left_end / 2.0;
  const double right_width = (w - right_start) / 2.0;
  return {
      digit(0, make_box(0, 0, left_width - 1, bottom)),
      digit(1, make_box(left_width, 0, left_end - 1, bottom)),
      Slot{SlotKind::kSeparator, std::nullopt, make_box(left_end, 0, right_start - 1, bottom)},
      digit(2, make_box(right_start, 0, right_start + right_width - 1, bottom)),
      digit(3, make_box(right_start + right_width, 0, w - 1, bottom)),
  };
}

std::string_view separator_char(SeparatorKind kind) {
  return kind == SeparatorKind::kDecimalPoint ? "." : ":";
}

std::string_view clock_mode(SeparatorKind kind) {
  return kind == SeparatorKind::kDecimalPoint ? "tenths" : "minutes";
}

int64_t clock_left_cells(int64_t cells, SeparatorKind kind) {
  if (cells >= 4) {
    return 2;
  }
  if (cells == 3) {
    return kind == SeparatorKind::kDecimalPoint ? 2 : 1;
  }
  return 1;
}

namespace {

// `count` equal cells over [start, end) from index `first` on.
void add_cells(Layout& layout, double start, double end, int64_t count, int64_t first,
               double bottom) {
  const double width = (end - start) / static_cast<double>(count);
  for (int64_t i = 0; i < count; ++i) {
    const double left = start + width * static_cast<double>(i);
    const double right = i + 1 == count ? end : left + width;
    layout.push_back(digit(first + i, make_box(left, 0, right - 1, bottom)));
  }
}

}  // namespace

Layout clock_cell_slots(int64_t width, int64_t height, std::optional<double> separator_x,
                        int64_t cells, SeparatorKind kind) {
  if (cells >= 4) {
    return clock_slots(width, height, separator_x);
  }
  cells = std::max<int64_t>(2, cells);
  const int64_t left_cells = clock_left_cells(cells, kind);
  const double w = static_cast<double>(std::max<int64_t>(1, width));
  const double bottom = static_cast<double>(std::max<int64_t>(1, height)) - 1;
  const double split = static_cast<double>(left_cells) / static_cast<double>(cells);
  double sx = separator_x ? *separator_x : w * split;
  sx = py_clamp(sx, 0.3 * w, 0.7 * w);
  const double gap = py_max(4.0, 0.055 * w) / 2.0;
  const double left_end = py_max(1.0, sx - gap);
  const double right_start = py_min(w - 2.0, sx + gap);
  Layout layout;
  add_cells(layout, 0, left_end, left_cells, 0, bottom);
  layout.push_back(
      Slot{SlotKind::kSeparator, std::nullopt, make_box(left_end, 0, right_start - 1, bottom)});
  add_cells(layout, right_start, w, cells - left_cells, left_cells, bottom);
  return layout;
}

RoleGroup role_group(std::string_view role) {
  if (contains(kTwoDigitRoles, role)) {
    return RoleGroup::kTwoDigit;
  }
  if (contains(kOneDigitRoles, role)) {
    return RoleGroup::kOneDigit;
  }
  if (contains(kClockLikeRoles, role)) {
    return RoleGroup::kClockLike;
  }
  return RoleGroup::kOther;
}

std::span<const std::string_view> roles_of(RoleGroup group) {
  switch (group) {
    case RoleGroup::kTwoDigit:
      return kTwoDigitRoles;
    case RoleGroup::kOneDigit:
      return kOneDigitRoles;
    case RoleGroup::kClockLike:
      return kClockLikeRoles;
    case RoleGroup::kOther:
      break;
  }
  return {};
}

Layout layout_for_role(std::string_view role, int64_t width, int64_t height,
                       std::optional<double> separator_x) {
  switch (role_group(role)) {
    case RoleGroup::kTwoDigit:
      return equal_digit_slots(width, height, 2);
    case RoleGroup::kClockLike:
      return clock_slots(width, height, separator_x);
    case RoleGroup::kOneDigit:
    case RoleGroup::kOther:
      break;
  }
  return equal_digit_slots(width, height, 1);
}

const Slot* find_separator(const Layout& layout) {
  for (const Slot& slot : layout) {
    if (slot.kind == SlotKind::kSeparator) {
      return &slot;
    }
  }
  return nullptr;
}

}  // namespace native_ocr::zonescan
