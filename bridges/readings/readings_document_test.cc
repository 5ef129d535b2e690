#include "bridges/readings/readings_document.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "base/testing/scoped_temp_dir.h"

namespace readings {
namespace {

FrameReadings two_zones() {
  FrameReadings r;
  r.frame = 42;
  r.pts_s = 1.4;
  r.latency_ms = 2.25;
  r.frames_read = 40;
  r.frames_dropped = 2;
  r.zones.push_back({"clock", "clock", {true, "59.8", true, "raw", true}, {true, "59.8"}});
  r.zones.push_back(
      {"home\x08", "", {false, std::nullopt, false, "missing_units", false}, {false, "7"}});
  return r;
}

TEST(ReadingsDocumentTest, WritesMembersInOrderWithEachBridgesConventions) {
  EXPECT_EQ(readings_document(two_zones(), DocumentStyle::kRivlet),
            "{\n"
            "  \"frame\": 42,\n"
            "  \"pts_s\": 1.400,\n"
            "  \"latency_ms\": 2.250,\n"
            "  \"frames_read\": 40,\n"
            "  \"frames_dropped\": 2,\n"
            "  \"readings\": [\n"
            "    {\"name\": \"clock\", \"role\": \"clock\", \"value\": \"59.8\", \"valid\": true, "
            "\"reason\": \"raw\", \"trusted\": true, \"stable\": true, \"shown\": \"59.8\"},\n"
            "    {\"name\": \"home\\u0008\", \"role\": null, \"value\": null, \"valid\": false, "
            "\"reason\": \"missing_units\", \"trusted\": false, \"stable\": false, \"shown\": 7}\n"
            "  ]\n"
            "}\n");
  FrameReadings refused = two_zones();
  refused.zones_error = "zone 1: \"x\" must be a number";
  refused.zones.clear();
  const std::string ndi = readings_document(refused, DocumentStyle::kNdiBridge);
  EXPECT_NE(ndi.find("\"pts_s\": 1.3999999999999999,\n"), std::string::npos) << ndi;
  EXPECT_NE(ndi.find("\"frames_dropped\": 2,\n  \"zones_error\": \"zone 1: \\\"x\\\" must be a "
                     "number\",\n  \"readings\": []\n}\n"),
            std::string::npos)
      << ndi;
}

std::string contents(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Each publish leaves the new document at the path and nothing beside it, whether it replaced a
// document (swapped out and removed) or was the first; a directory in the way is not moved.
TEST(ReadingsDocumentTest, PublishReplacesTheDocumentAndLeavesNothingBehind) {
  base::ScopedTempDir dir;
  const std::string path = dir.path() + "/readings.json";
  ASSERT_TRUE(publish_document(path, "first\n").ok());
  ASSERT_TRUE(publish_document(path, "second, longer\n").ok());
  ASSERT_TRUE(publish_document(path, "3\n").ok());
  EXPECT_EQ(contents(path), "3\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  const std::string taken = dir.path() + "/taken";
  ASSERT_EQ(::mkdir(taken.c_str(), 0755), 0);
  const base::FileResult refused = publish_document(taken, "x\n");
  EXPECT_EQ(refused.failed, base::FileStep::kRename);
  EXPECT_TRUE(std::filesystem::is_directory(taken));
  EXPECT_FALSE(std::filesystem::exists(taken + ".tmp"));
}

}  // namespace
}  // namespace readings
