// What a host can tell an operator about a zone before reading it: an unknown role, an unknown
// settings key (with the nearest known one), a setting that normalisation will clamp or replace,
// bounds that reach outside the frame. The readers never consult this; they read every zone as it
// is. The binding gathers the facts from the zone (the interpreter's conversions) and asks these
// functions what to report.
#ifndef NATIVE_OCR_ZONESCAN_ZONE_CHECK_H_
#define NATIVE_OCR_ZONESCAN_ZONE_CHECK_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "native_ocr/zonescan/zone.h"

namespace native_ocr::zonescan {

struct ZoneProblem {
  std::string field;    // "role", "processing", "processing.<key>", "x", "y", "width", "height"
  std::string problem;  // a stable code, e.g. "unknown_role", "clamped_setting", "outside_frame"
  std::string message;  // one sentence for the operator
  std::optional<std::string> suggestion;  // the nearest known name, or the value that is used
};

// The name of `known` nearest to `name` by edit distance (insertions, deletions, substitutions),
// when it is at most a third of the name's length (at least 1); the first of equally near names.
std::optional<std::string_view> nearest_name(std::string_view name,
                                             std::span<const std::string_view> known);

// The nineteen known roles, two-digit, one-digit and clock-like groups in that order.
std::span<const std::string_view> known_roles();

// An unknown role (none for a known one; an empty role is the readers' default, not a problem).
std::optional<ZoneProblem> role_problem(std::string_view role);
// A role that is not text (`type_name` as the interpreter names it).
ZoneProblem role_type_problem(std::string_view type_name);

// A settings key that is not one of the eleven nor "classifier" (none for a known key). `key` is
// the key's text.
std::optional<ZoneProblem> setting_key_problem(std::string_view key);

enum class SettingChange {
  kClamped,   // converted, then held to its range
  kReplaced,  // converted to another value or type ("90" -> 90, "false" -> True, "Open" -> "none")
  kRejected,  // the conversion fails: normalisation (and every read of the zone) raises
};
// A standard setting that normalisation will not keep as given. `given` and `used` are the values
// as the interpreter shows them (repr); for kRejected `used` is the conversion error.
ZoneProblem setting_problem(std::string_view key, SettingChange change, std::string_view given,
                            std::string_view used);

// The processing mapping cannot be merged into the defaults (`error` says why).
ZoneProblem settings_problem(std::string_view error);

// A position key the zone lacks, or whose value is not a number (`error` says which).
ZoneProblem bound_problem(std::string_view key, std::string_view error);

// Bounds, as fractions of the frame, that reach outside it: none, empty, wholly or partly outside
// (left and top edges in x and y, right and bottom edges in width and height).
std::vector<ZoneProblem> bounds_problems(const ZoneRect& zone);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_ZONE_CHECK_H_
