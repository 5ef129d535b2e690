#include "native_ocr/zonescan/zone_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "native_ocr/zonescan/layout.h"
#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan {
namespace {

size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  std::iota(row.begin(), row.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t substitute = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
      diagonal = row[j];
      row[j] = std::min({substitute, row[j] + 1, row[j - 1] + 1});
    }
  }
  return row[b.size()];
}

std::string quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// "; did you mean 'clock'?" when a known name is near, else "".
std::string did_you_mean(const std::optional<std::string_view>& nearest) {
  return nearest ? "; did you mean " + quoted(*nearest) + "?" : "";
}

std::optional<std::string> as_suggestion(const std::optional<std::string_view>& nearest) {
  return nearest ? std::optional<std::string>(*nearest) : std::nullopt;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

const SettingRange* range_of(std::string_view key) {
  const auto it = std::find_if(kSettingRanges.begin(), kSettingRanges.end(),
                               [&](const SettingRange& r) { return r.key == key; });
  return it == kSettingRanges.end() ? nullptr : &*it;
}

ZoneProblem problem(std::string field, std::string code, std::string message,
                    std::optional<std::string> suggestion = std::nullopt) {
  return ZoneProblem{std::move(field), std::move(code), std::move(message), std::move(suggestion)};
}

}  // namespace

std::optional<std::string_view> nearest_name(std::string_view name,
                                             std::span<const std::string_view> known) {
  const size_t allowed = std::max<size_t>(1, name.size() / 3);
  std::optional<std::string_view> best;
  size_t best_distance = allowed + 1;
  for (std::string_view candidate : known) {
    // The distance is at least the difference in length: a name far longer than every known
    // one (a 10 MB role) is never compared.
    const size_t gap = name.size() > candidate.size() ? name.size() - candidate.size()
                                                      : candidate.size() - name.size();
    if (gap >= best_distance) {
      continue;
    }
    const size_t d = edit_distance(name, candidate);
    if (d < best_distance) {
      best = candidate;
      best_distance = d;
    }
  }
  return best;
}

std::span<const std::string_view> known_roles() {
  static const std::vector<std::string_view> roles = [] {
    std::vector<std::string_view> all;
    for (RoleGroup group : {RoleGroup::kTwoDigit, RoleGroup::kOneDigit, RoleGroup::kClockLike}) {
      const std::span<const std::string_view> members = roles_of(group);
      all.insert(all.end(), members.begin(), members.end());
    }
    return all;
  }();
  return roles;
}

std::optional<ZoneProblem> role_problem(std::string_view role) {
  if (role.empty() || role_group(role) != RoleGroup::kOther) {
    return std::nullopt;
  }
  const std::optional<std::string_view> nearest = nearest_name(role, known_roles());
  return problem(
      "role", "unknown_role",
      quoted(role) + " is not a known role; its layout is one digit cell" + did_you_mean(nearest),
      as_suggestion(nearest));
}

ZoneProblem role_type_problem(std::string_view type_name) {
  return problem("role", "invalid_role",
                 "the role is of type " + std::string(type_name) +
                     ", not text; the score and clock readers raise TypeError");
}

std::optional<ZoneProblem> setting_key_problem(std::string_view key) {
  static const std::vector<std::string_view> known = [] {
    std::vector<std::string_view> keys(kSettingKeys.begin(), kSettingKeys.end());
    keys.push_back(kClassifierKey);
    keys.insert(keys.end(), {kPolarityKey, kSlantKey, kClockCellsKey});
    return keys;
  }();
  if (std::find(known.begin(), known.end(), key) != known.end()) {
    return std::nullopt;
  }
  const std::optional<std::string_view> nearest = nearest_name(key, known);
  return problem(
      "processing." + std::string(key), "unknown_setting",
      quoted(key) + " is not a processing setting and has no effect" + did_you_mean(nearest),
      as_suggestion(nearest));
}

ZoneProblem setting_problem(std::string_view key, SettingChange change, std::string_view given,
                            std::string_view used) {
  const std::string field = "processing." + std::string(key);
  const std::string head = std::string(key) + " " + std::string(given);
  switch (change) {
    case SettingChange::kClamped: {
      const SettingRange* range = range_of(key);
      const std::string span =
          range ? " is outside " + number_text(range->low) + ".." + number_text(range->high) : "";
      return problem(field, "clamped_setting", head + span + "; it is used as " + std::string(used),
                     std::string(used));
    }
    case SettingChange::kReplaced:
      return problem(field, "replaced_setting", head + " is used as " + std::string(used),
                     std::string(used));
    case SettingChange::kRejected:
      break;
  }
  return problem(field, "invalid_setting",
                 head + " cannot be converted (" + std::string(used) +
                     "); reading the zone raises that error");
}

ZoneProblem settings_problem(std::string_view error) {
  return problem("processing", "invalid_settings",
                 "the processing settings cannot be merged (" + std::string(error) +
                     "); reading the zone raises that error");
}

ZoneProblem bound_problem(std::string_view key, std::string_view error) {
  return problem(std::string(key), "invalid_bound",
                 "the zone's " + std::string(key) + " is unusable (" + std::string(error) +
                     "); reading the zone fails");
}

std::vector<ZoneProblem> bounds_problems(const ZoneRect& z) {
  const double right = z.x + z.width;
  const double bottom = z.y + z.height;
  for (double edge : {z.x, z.y, right, bottom}) {
    if (!std::isfinite(edge)) {
      return {problem("x", "invalid_bound",
                      "the zone's edges are not finite numbers; reading the zone raises "
                      "ValueError or OverflowError")};
    }
  }
  if (z.width <= 0 || z.height <= 0) {
    return {problem(z.width <= 0 ? "width" : "height", "empty_zone",
                    "the zone has no area (width " + number_text(z.width) + ", height " +
                        number_text(z.height) + "); every reader reports no_frame")};
  }
  if (z.x >= 1 || z.y >= 1 || right <= 0 || bottom <= 0) {
    return {problem("x", "outside_frame",
                    "the zone lies wholly outside the frame; every reader reports no_frame")};
  }
  std::vector<ZoneProblem> found;
  const auto past = [&](bool outside, const char* field, const std::string& what) {
    if (outside) {
      found.push_back(
          problem(field, "partly_outside", what + "; the crop is cut at the frame's edge"));
    }
  };
  past(z.x < 0, "x", "x " + number_text(z.x) + " starts left of the frame");
  past(z.y < 0, "y", "y " + number_text(z.y) + " starts above the frame");
  past(right > 1, "width", "x + width = " + number_text(right) + " reaches past the right edge");
  past(bottom > 1, "height",
       "y + height = " + number_text(bottom) + " reaches past the bottom edge");
  return found;
}

}  // namespace native_ocr::zonescan
