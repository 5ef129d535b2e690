#include "native_ocr/zonescan/zone_check.h"

#include <cmath>
#include <limits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan {
namespace {

using ::testing::HasSubstr;

TEST(NearestName, TyposFindTheirNameAndStrangersFindNone) {
  const struct {
    std::string_view name;
    std::optional<std::string_view> nearest;
  } rows[] = {
      {"clok", "clock"},           {"treshold", "threshold"},
      {"homescore", "home_score"}, {"guest_penalty1", "guest_penalty_1"},
      {"clock", "clock"},          {"scoreboard", std::nullopt},
      {"x", std::nullopt},         {"", std::nullopt},
  };
  std::vector<std::string_view> known(known_roles().begin(), known_roles().end());
  known.insert(known.end(), kSettingKeys.begin(), kSettingKeys.end());
  for (const auto& row : rows) {
    EXPECT_EQ(nearest_name(row.name, known), row.nearest) << row.name;
  }
}

TEST(ZoneCheck, KnownRolesAndTheEmptyRoleAreClean) {
  ASSERT_EQ(known_roles().size(), 19u);
  for (std::string_view role : known_roles()) {
    EXPECT_FALSE(role_problem(role)) << role;
  }
  EXPECT_FALSE(role_problem(""));
  const std::optional<ZoneProblem> typo = role_problem("clok");
  ASSERT_TRUE(typo);
  EXPECT_EQ(typo->field, "role");
  EXPECT_EQ(typo->problem, "unknown_role");
  EXPECT_EQ(typo->suggestion, "clock");
  EXPECT_THAT(typo->message, HasSubstr("did you mean 'clock'"));
  EXPECT_EQ(role_problem("scoreboard")->suggestion, std::nullopt);
}

TEST(ZoneCheck, UnknownSettingKeysNameTheNearestKnownKey) {
  for (std::string_view key : kSettingKeys) {
    EXPECT_FALSE(setting_key_problem(key)) << key;
  }
  const std::optional<ZoneProblem> typo = setting_key_problem("treshold");
  ASSERT_TRUE(typo);
  EXPECT_EQ(typo->field, "processing.treshold");
  EXPECT_EQ(typo->suggestion, "threshold");
  EXPECT_EQ(setting_key_problem("host_note")->suggestion, std::nullopt);
}

TEST(ZoneCheck, SettingChangesSayWhatIsUsed) {
  const ZoneProblem clamped = setting_problem("threshold", SettingChange::kClamped, "300", "255");
  EXPECT_EQ(clamped.problem, "clamped_setting");
  EXPECT_THAT(clamped.message, HasSubstr("outside 0..255"));
  EXPECT_EQ(clamped.suggestion, "255");
  EXPECT_THAT(setting_problem("contrast", SettingChange::kClamped, "9", "4.0").message,
              HasSubstr("outside 0.2..4"));
  const ZoneProblem rejected =
      setting_problem("threshold", SettingChange::kRejected, "'abc'", "ValueError: bad");
  EXPECT_EQ(rejected.problem, "invalid_setting");
  EXPECT_EQ(rejected.suggestion, std::nullopt);
  EXPECT_EQ(setting_problem("invert", SettingChange::kReplaced, "'false'", "True").problem,
            "replaced_setting");
}

// The table the messages quote is the one the clamp applies.
TEST(ZoneCheck, SettingRangesAreTheClampsRanges) {
  ProcessingSettings low, high;
  low.threshold = low.brightness = low.blur = low.morph_size = -1000000;
  low.contrast = low.gamma = low.rotation = -1e9;
  high.threshold = high.brightness = high.blur = high.morph_size = 1000000;
  high.contrast = high.gamma = high.rotation = 1e9;
  const ProcessingSettings lo = clamp_settings(low), hi = clamp_settings(high);
  const double lows[] = {double(lo.threshold), lo.contrast,     double(lo.brightness), lo.gamma,
                         lo.rotation,          double(lo.blur), double(lo.morph_size)};
  const double highs[] = {double(hi.threshold), hi.contrast,     double(hi.brightness), hi.gamma,
                          hi.rotation,          double(hi.blur), double(hi.morph_size)};
  for (size_t i = 0; i < kSettingRanges.size(); ++i) {
    EXPECT_EQ(kSettingRanges[i].low, lows[i]) << kSettingRanges[i].key;
    EXPECT_EQ(kSettingRanges[i].high, highs[i]) << kSettingRanges[i].key;
  }
}

TEST(ZoneCheck, BoundsOutsideTheFrame) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    ZoneRect zone;
    std::vector<std::string> fields;
    std::string problem;
  } rows[] = {
      {{0.1, 0.1, 0.5, 0.5}, {}, ""},
      {{0.0, 0.0, 1.0, 1.0}, {}, ""},
      {{0.5, 0.5, 0.0, 0.2}, {"width"}, "empty_zone"},
      {{0.5, 0.5, 0.2, -0.1}, {"height"}, "empty_zone"},
      {{1.2, 0.5, 0.2, 0.2}, {"x"}, "outside_frame"},
      {{-0.5, 0.5, 0.4, 0.2}, {"x"}, "outside_frame"},
      {{-0.1, -0.1, 0.5, 0.5}, {"x", "y"}, "partly_outside"},
      {{0.8, 0.9, 0.3, 0.2}, {"width", "height"}, "partly_outside"},
      {{nan, 0.1, 0.2, 0.2}, {"x"}, "invalid_bound"},
  };
  for (const auto& row : rows) {
    const std::vector<ZoneProblem> found = bounds_problems(row.zone);
    ASSERT_EQ(found.size(), row.fields.size()) << row.zone.x << " " << row.zone.width;
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].field, row.fields[i]);
      EXPECT_EQ(found[i].problem, row.problem);
    }
  }
}

}  // namespace
}  // namespace native_ocr::zonescan
