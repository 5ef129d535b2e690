#include "bridges/srt/options.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace rivlet {
namespace {

TEST(ParseCommandLineTest, DefaultsWithoutArguments) {
  Options options;
  EXPECT_EQ(parse_command_line({}, &options), CommandAction::kRun);
  EXPECT_EQ(options.port, 9000);
  EXPECT_EQ(options.latency_ms, 120);
  EXPECT_EQ(options.key_length, 0);
  EXPECT_EQ(options.secret_fd, -1);
  EXPECT_EQ(options.secret_handle, -1);
  EXPECT_EQ(options.preview_path, "app/static/srt_preview.jpg");
  EXPECT_EQ(options.status_path, "app/static/srt_status.json");
  EXPECT_EQ(validation_error(options), "");
}

TEST(ParseCommandLineTest, ReadsEveryOptionAndNumbersAsAtoi) {
  Options options;
  ASSERT_EQ(parse_command_line({"--port", "7000x", "--latency", "abc", "--key-length", "24",
                                "--stream-id", "s", "--secret-fd", "3", "--secret-handle",
                                "9000000000", "--preview", "p.jpg", "--status", "s.json"},
                               &options),
            CommandAction::kRun);
  EXPECT_EQ(options.port, 7000);
  EXPECT_EQ(options.latency_ms, 0);
  EXPECT_EQ(options.key_length, 24);
  EXPECT_EQ(options.stream_id, "s");
  EXPECT_EQ(options.secret_fd, 3);
  EXPECT_EQ(options.secret_handle, 9000000000);
  EXPECT_EQ(options.preview_path, "p.jpg");
  EXPECT_EQ(options.status_path, "s.json");
}

TEST(ParseCommandLineTest, ActionsAndErrors) {
  const std::pair<std::vector<std::string>, CommandAction> rows[] = {
      {{"--help"}, CommandAction::kHelp},
      {{"--port", "1", "--help", "--bogus"}, CommandAction::kHelp},
      {{"--self-test", "--port"}, CommandAction::kSelfTest},
      {{"--port"}, CommandAction::kUsageError},
      {{"--bogus", "1"}, CommandAction::kUsageError},
      {{"-port", "1"}, CommandAction::kUsageError},
      {{"--port", "1", "--bogus", "--help"}, CommandAction::kUsageError},
      {{"--port", "--help"}, CommandAction::kRun},  // "--help" taken as the port's value
  };
  for (const auto& [args, action] : rows) {
    Options options;
    EXPECT_EQ(parse_command_line(args, &options), action) << testing::PrintToString(args);
  }
}

TEST(ParseCommandLineTest, HugeNumbersStayOutOfRange) {
  Options options;
  ASSERT_EQ(parse_command_line({"--port", "4294976296"}, &options), CommandAction::kRun);
  EXPECT_EQ(validation_error(options), kUsageText);  // not wrapped round to 9000
}

TEST(OutputNameAllowedTest, RefusesOtherPublishersNamesInAnyDirectory) {
  EXPECT_TRUE(output_name_allowed("app/static/srt_preview.jpg"));
  EXPECT_TRUE(output_name_allowed("ndi_preview.JPG"));
  EXPECT_TRUE(output_name_allowed("x/ndi_preview.jpg.bak"));
  EXPECT_TRUE(output_name_allowed("ndi_status.json/other"));
  EXPECT_FALSE(output_name_allowed(""));
  EXPECT_FALSE(output_name_allowed(std::string("a\0b", 3)));
  for (const char* name :
       {"preview.jpg", "ndi_preview.jpg", "working_preview.jpg", "ndi_status.json"}) {
    EXPECT_FALSE(output_name_allowed(name)) << name;
    EXPECT_FALSE(output_name_allowed(std::string("deep/dir/") + name)) << name;
    EXPECT_FALSE(output_name_allowed(std::string("dir\\") + name)) << name;
  }
}

TEST(ValidationTest, BoundsAndMessagePriority) {
  struct Row {
    void (*change)(Options*);
    std::string message;
  };
  const Row rows[] = {
      {[](Options* o) { o->port = 0; }, kUsageText},
      {[](Options* o) { o->port = 65536; }, kUsageText},
      {[](Options* o) { o->port = 65535; }, ""},
      {[](Options* o) { o->latency_ms = 8001; }, kUsageText},
      {[](Options* o) { o->latency_ms = 8000; }, ""},
      {[](Options* o) { o->latency_ms = 0; }, kUsageText},
      {[](Options* o) { o->key_length = 8; }, "Unsupported SRT key length\n"},
      {[](Options* o) { o->key_length = 16; }, ""},
      {[](Options* o) { o->stream_id = std::string(512, 'e'); }, ""},
      {[](Options* o) { o->stream_id = std::string(513, 'e'); }, "Stream ID is too long\n"},
      {[](Options* o) {
         o->stream_id = std::string(513, 'e');
         o->key_length = 8;
         o->port = 0;
       },
       "Stream ID is too long\n"},
      {[](Options* o) {
         o->key_length = 8;
         o->port = 0;
       },
       "Unsupported SRT key length\n"},
      {[](Options* o) { o->stream_id = std::string("a\0b", 3); }, "Stream ID is too long\n"},
      {[](Options* o) { o->preview_path = "ndi_preview.jpg"; }, kUsageText},
      {[](Options* o) { o->status_path = "x/ndi_status.json"; }, kUsageText},
      {[](Options* o) { o->readings_path = "x/ndi_readings.json"; }, kUsageText},
      {[](Options* o) { o->readings_path = "preview.jpg"; }, kUsageText},
      {[](Options* o) { o->zones_path.clear(); }, kUsageText},
      {[](Options* o) { o->secret_fd = -2; }, kUsageText},
      {[](Options* o) { o->secret_handle = -2; }, kUsageText},
      {[](Options* o) { o->secret_handle = 5; }, "Can't read this source\n"},
      {[](Options* o) { o->secret_handle = 0; }, ""},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    Options options;
    rows[i].change(&options);
    EXPECT_EQ(validation_error(options), rows[i].message) << "row " << i;
  }
}

TEST(ValidationTest, EffectiveKeyLength) {
  Options options;
  EXPECT_EQ(effective_key_length(options), 32);
  options.key_length = 16;
  EXPECT_EQ(effective_key_length(options), 16);
}

}  // namespace
}  // namespace rivlet
