#include "platform/ndi/sender_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ndi_loopback {
namespace {

ParseOutcome parse(std::vector<std::string> args, SenderOptions* options, std::string* err) {
  std::string program = "ndi_loopback_send";
  std::vector<char*> argv{program.data()};
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  return parse_sender_options(static_cast<int>(argv.size()), argv.data(), options, err);
}

TEST(SenderOptionsTest, ParsesEveryOption) {
  SenderOptions o;
  std::string err;
  ASSERT_EQ(parse({"--name",
                   "Cam 1",
                   "--url",
                   "10.0.0.1:5961",
                   "--size",
                   "1920x1080",
                   "--fps",
                   "30000/1001",
                   "--frames",
                   "12",
                   "--error-at",
                   "3",
                   "--die-mid-frame",
                   "9",
                   "--dir",
                   "/tmp/x",
                   "--wait-for-receiver",
                   "a.ppm",
                   "--",
                   "-b.jpg"},
                  &o, &err),
            ParseOutcome::kRun)
      << err;
  EXPECT_EQ(o.name, "Cam 1");
  EXPECT_EQ(o.url, "10.0.0.1:5961");
  EXPECT_EQ(o.width, 1920);
  EXPECT_EQ(o.height, 1080);
  EXPECT_EQ(o.frame_rate_n, 30000);
  EXPECT_EQ(o.frame_rate_d, 1001);
  EXPECT_EQ(o.frames, 12u);
  EXPECT_EQ(o.error_at, 3u);
  EXPECT_EQ(o.die_mid_frame, 9u);
  EXPECT_EQ(o.dir, "/tmp/x");
  EXPECT_TRUE(o.wait_for_receiver);
  EXPECT_EQ(o.images, (std::vector<std::string>{"a.ppm", "-b.jpg"}));
}

TEST(SenderOptionsTest, EmptyNameIsAllowedAndHelpWins) {
  SenderOptions o;
  std::string err;
  EXPECT_EQ(parse({"--name", ""}, &o, &err), ParseOutcome::kRun);
  EXPECT_EQ(parse({"--name", "x", "--help"}, &o, &err), ParseOutcome::kHelp);
}

TEST(SenderOptionsTest, RejectsBadCommandLines) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--size", "64x64"},
      {"--name"},
      {"--name", "x", "--size", "0x10"},
      {"--name", "x", "--size", "64"},
      {"--name", "x", "--size", "64x99999"},
      {"--name", "x", "--fps", "0"},
      {"--name", "x", "--fps", "30/0"},
      {"--name", "x", "--fps", "5000"},
      {"--name", "x", "--fps", "60abc"},
      {"--name", "x", "--frames", "-1"},
      {"--name", "x", "--url", "a", "--no-url"},
      {"--name", "x", "--url", ""},
      {"--name", "x", "--colour", "red"},
  };
  for (const auto& args : bad) {
    SenderOptions o;
    std::string err;
    EXPECT_EQ(parse(args, &o, &err), ParseOutcome::kError) << ::testing::PrintToString(args);
    EXPECT_FALSE(err.empty());
  }
}

}  // namespace
}  // namespace ndi_loopback
