#include "bridges/readings/zones_file.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "base/testing/scoped_temp_dir.h"

namespace readings {
namespace {

TEST(ZonesFileTest, ReadsZonesWithSettingsConvertedAsTheReadersConvertThem) {
  const ZonesParse parsed = parse_zones(R"({"zones": [
      {"name": "clock", "x": 0.4, "y": 0.05, "width": 0.2, "height": 0.1, "role": "clock",
       "processing": {"threshold": 99.9, "contrast": 9, "invert": "yes", "morphology": "Dilate",
                      "blur": true, "future_setting": [1]}},
      {"name": "home", "x": 0.1, "y": 0.05, "width": 0.1, "height": 0.1, "role": null}]})");
  ASSERT_TRUE(parsed.zones) << parsed.error;
  ASSERT_EQ(parsed.zones->size(), 2u);
  const BoardZone& clock = (*parsed.zones)[0];
  EXPECT_EQ(clock.name, "clock");
  EXPECT_EQ(clock.role, "clock");
  EXPECT_EQ(clock.rect.width, 0.2);
  EXPECT_EQ(clock.settings.threshold, 99);  // int() truncates
  EXPECT_EQ(clock.settings.contrast, 4.0);  // clamped
  EXPECT_TRUE(clock.settings.invert);
  EXPECT_EQ(clock.settings.morphology, native_ocr::zonescan::Morphology::kNone);  // exact names
  EXPECT_EQ(clock.settings.blur, 1);
  EXPECT_EQ((*parsed.zones)[1].role, "");
  EXPECT_EQ((*parsed.zones)[1].settings.threshold, 150);
}

TEST(ZonesFileTest, RefusesABadFileOrZoneNamingWhatIsWrong) {
  const struct {
    const char* text;
    const char* error;
  } rows[] = {
      {"{\"zones\": [", "not JSON: "},
      {"{\"zones\": []} x", "not JSON: "},
      {R"({"zones": [{"name": "a", "x": 1e999, "y": 0, "width": 1, "height": 1}]})", "not JSON: "},
      {"[]", "no \"zones\" list"},
      {"{\"zones\": {}}", "no \"zones\" list"},
      {R"({"zones": [{"name": "a", "x": 0, "y": 0, "width": 1, "height": 1}, 3]})",
       "zone 2: not an object"},
      {R"({"zones": [{"x": 0, "y": 0, "width": 1, "height": 1}]})", "zone 1: \"name\""},
      {R"({"zones": [{"name": "a", "x": "0", "y": 0, "width": 1, "height": 1}]})",
       "zone 1: \"x\" must be a number"},
      {R"({"zones": [{"name": "a", "x": 0, "y": 0, "width": 1, "height": 1, "role": 2}]})",
       "zone 1: \"role\""},
      {R"({"zones": [{"name": "a", "x": 0, "y": 0, "width": 1, "height": 1, "processing": 2}]})",
       "zone 1: \"processing\""},
      {R"({"zones": [{"name": "a", "x": 0, "y": 0, "width": 1, "height": 1,
                      "processing": {"threshold": "high"}}]})",
       "zone 1: setting \"threshold\""},
  };
  for (const auto& row : rows) {
    const ZonesParse parsed = parse_zones(row.text);
    EXPECT_FALSE(parsed.zones) << row.text;
    EXPECT_EQ(parsed.error.rfind(row.error, 0), 0u) << parsed.error;
  }
}

TEST(ZonesWatchTest, KeepsTheLastGoodZonesWhileTheFileIsBad) {
  base::ScopedTempDir dir;
  const std::string path = dir.file("zones.json");
  auto write = [&](const std::string& text) { std::ofstream(path, std::ios::binary) << text; };
  ZonesWatch watch(path);
  EXPECT_EQ(watch.check(), ZonesWatch::Change::kRemoved);  // no file: no zones
  EXPECT_FALSE(watch.has_zones());
  write(R"({"zones": [{"name": "a", "x": 0, "y": 0, "width": 1, "height": 1}]})");
  EXPECT_EQ(watch.check(), ZonesWatch::Change::kZones);
  EXPECT_EQ(watch.check(), ZonesWatch::Change::kNone);
  write("{\"zones\": [");
  EXPECT_EQ(watch.check(), ZonesWatch::Change::kRefused);
  EXPECT_EQ(watch.check(), ZonesWatch::Change::kNone);  // said once
  EXPECT_TRUE(watch.has_zones());
  EXPECT_EQ(watch.zones().front().name, "a");
  EXPECT_NE(watch.error(), "");
  write(R"({"zones": []})");
  EXPECT_EQ(watch.check(), ZonesWatch::Change::kZones);
  EXPECT_EQ(watch.error(), "");
  EXPECT_TRUE(watch.has_zones());
}

}  // namespace
}  // namespace readings
