#include "bridges/srt/log_filter.h"

#include <syslog.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>

extern "C" {
#include <libavutil/log.h>
}

#include <gtest/gtest.h>

namespace rivlet {
namespace {

SecretBuffer secret_of(const std::string& text) {
  SecretBuffer secret(text.size());
  std::memcpy(secret.data(), text.data(), text.size());
  return secret;
}

class LogFilterTest : public testing::Test {
 protected:
  void SetUp() override {
    set_redacted_secret(secret_of("hunter2hunter2"));
    reset_encryption_mismatch();
    av_log_set_callback(quiet_ffmpeg_log);
  }
  void TearDown() override {
    av_log_set_callback(av_log_default_callback);
    wipe_redacted_secret();
    reset_encryption_mismatch();
  }
};

TEST(RedactTest, ReplacesUpToEightOccurrencesOfALongEnoughSecret) {
  const std::string secret = "0123456789";
  EXPECT_EQ(redact("pass=0123456789&x", secret), "pass=[redacted]&x");
  EXPECT_EQ(redact("012345678", "012345678"), "012345678");  // 9 bytes: left alone
  std::string nine_times;
  for (int i = 0; i < 9; ++i) {
    nine_times += secret + ",";
  }
  std::string expected;
  for (int i = 0; i < 8; ++i) {
    expected += "[redacted],";
  }
  EXPECT_EQ(redact(nine_times, secret), expected + secret + ",");
  // Searching from the start again finds an occurrence the first replacement completed.
  EXPECT_EQ(redact("aaaaaaaaaaaaaaaaaaaa", "aaaaaaaaaa"), "[redacted][redacted]");
  EXPECT_EQ(redact("[redacted]", "[redacted]"), "[redacted]");  // stops after eight
}

TEST(RedactTest, MismatchTexts) {
  EXPECT_TRUE(tells_encryption_mismatch("rsp(REJECT): 1010 - Incorrect passphrase"));
  EXPECT_TRUE(tells_encryption_mismatch("failed to set option SRTO_PASSPHRASE on socket"));
  EXPECT_FALSE(tells_encryption_mismatch("Connection timed out"));
}

TEST_F(LogFilterTest, FfmpegErrorLineHasThePassphraseRedacted) {
  testing::internal::CaptureStderr();
  av_log(nullptr, AV_LOG_ERROR, "srt://0.0.0.0:9000?passphrase=%s: %s\n", "hunter2hunter2",
         "failed");
  av_log(nullptr, AV_LOG_WARNING, "a warning with %s\n", "hunter2hunter2");
  av_log(nullptr, AV_LOG_INFO, "information\n");
  av_log(nullptr, AV_LOG_FATAL, "fatal %d", 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "srt://0.0.0.0:9000?passphrase=[redacted]: failed\nfatal 1");
  EXPECT_FALSE(encryption_mismatch());
}

TEST_F(LogFilterTest, LongLineIsCutAfterRedaction) {
  const std::string padding(2040, '.');
  testing::internal::CaptureStderr();
  av_log(nullptr, AV_LOG_ERROR, "%s%s%s", padding.c_str(), "hunter2hunter2", "tail");
  const std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(written.size(), kLogLineBytes - 1);
  EXPECT_EQ(written.substr(2040), "[redact");
}

TEST_F(LogFilterTest, FfmpegPassphraseOptionErrorRaisesMismatch) {
  testing::internal::CaptureStderr();
  av_log(nullptr, AV_LOG_ERROR, "failed to set option SRTO_PASSPHRASE on socket\n");
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(encryption_mismatch());
}

TEST_F(LogFilterTest, SrtWarningOfIncorrectPassphraseRaisesMismatch) {
  testing::internal::CaptureStderr();
  srt_log_handler(nullptr, LOG_WARNING, "f.cpp", 1, "cn", "processing: something harmless");
  srt_log_handler(nullptr, LOG_NOTICE, "f.cpp", 1, "cn", "Incorrect passphrase (notice)");
  EXPECT_FALSE(encryption_mismatch());
  srt_log_handler(nullptr, LOG_WARNING, "f.cpp", 1, "cn",
                  "rsp(REJECT): 1010 - Incorrect passphrase");
  srt_log_handler(nullptr, LOG_ERR, "f.cpp", 1, "cn", "error with hunter2hunter2\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "rsp(REJECT): 1010 - Incorrect passphrase\nerror with [redacted]\n");
  EXPECT_TRUE(encryption_mismatch());
}

TEST(ParseAcceptedStreamIdTest, TakesTheIdOnlyWhenItsLengthMatches) {
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"accept streamid [scoreboard/main], length 15\n", "scoreboard/main"},
      {"accept streamid [], length 0\n", ""},
      {"accept streamid [a], length 9], length 12\n", "a], length 9"},
      {"accept streamid [cut], length 7\n", std::nullopt},  // a NUL byte ended the %s early
      {"accept streamid [x], length 1", std::nullopt},
      {"accept streamid [x], length +1\n", std::nullopt},
      {"accept streamid [x]\n", std::nullopt},
      {"some other line, length 0\n", std::nullopt},
  };
  for (const auto& [text, id] : rows) {
    EXPECT_EQ(parse_accepted_stream_id(text), id) << text;
  }
}

TEST_F(LogFilterTest, AcceptedStreamIdLineIsKeptAndNotWritten) {
  forget_caller_stream_id();
  testing::internal::CaptureStderr();
  av_log(nullptr, AV_LOG_VERBOSE, "accept streamid [%s], length %d\n", "studio/a", 8);
  EXPECT_EQ(caller_stream_id(), "studio/a");
  av_log(nullptr, AV_LOG_VERBOSE, "accept streamid [%s], length %d\n", "studio", 9);
  EXPECT_EQ(caller_stream_id(), "");  // unreadable: taken as a caller without a stream id
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  forget_caller_stream_id();
  EXPECT_EQ(caller_stream_id(), std::nullopt);
}

}  // namespace
}  // namespace rivlet
