#include "bridges/srt/listener.h"

#include <string>

#include <gtest/gtest.h>

#include "bridges/srt/log_filter.h"

namespace rivlet {
namespace {

std::string get(const AVDictionary* dictionary, const char* key) {
  const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
  return entry == nullptr ? "<absent>" : entry->value;
}

TEST(ListenerUrlTest, LatencyInMicroseconds) {
  EXPECT_EQ(listener_url(9000, 120),
            "srt://0.0.0.0:9000?mode=listener&transtype=live&latency=120000"
            "&listen_timeout=500000&timeout=5000000");
  EXPECT_EQ(listener_url(65535, 8000),
            "srt://0.0.0.0:65535?mode=listener&transtype=live&latency=8000000"
            "&listen_timeout=500000&timeout=5000000");
}

TEST(OpenOptionsTest, PlainListenerHasOnlyProbeLimits) {
  AVDictionary* options = open_options(Options{}, "");
  EXPECT_EQ(av_dict_count(options), 2);
  EXPECT_EQ(get(options, "probesize"), "1000000");
  EXPECT_EQ(get(options, "analyzeduration"), "1000000");
  EXPECT_FALSE(has_refused_options(options));
  free_open_options(&options);
  EXPECT_EQ(options, nullptr);
}

TEST(OpenOptionsTest, PassphraseKeyLengthAndStreamId) {
  Options settings;
  settings.stream_id = "studio/a";
  AVDictionary* options = open_options(settings, "0123456789");
  EXPECT_EQ(get(options, "passphrase"), "0123456789");
  EXPECT_EQ(get(options, "pbkeylen"), "32");
  EXPECT_EQ(get(options, "streamid"), "studio/a");
  EXPECT_TRUE(has_refused_options(options));
  free_open_options(&options);

  settings.key_length = 16;
  settings.stream_id.clear();
  options = open_options(settings, std::string(80, 'k'));
  EXPECT_EQ(get(options, "passphrase"), std::string(80, 'k'));
  EXPECT_EQ(get(options, "pbkeylen"), "16");
  EXPECT_EQ(get(options, "streamid"), "<absent>");
  free_open_options(&options);
}

TEST(OpenOptionsTest, AnyLeftoverProtocolOptionIsARefusal) {
  for (const char* key : {"passphrase", "pbkeylen", "streamid"}) {
    AVDictionary* options = open_options(Options{}, "");
    av_dict_set(&options, key, "x", 0);
    EXPECT_TRUE(has_refused_options(options)) << key;
    free_open_options(&options);
  }
}

TEST(ReportedFrameRateTest, AverageThenRealBaseThenNothing) {
  struct Row {
    AVRational average, real_base, expected;
  };
  const Row rows[] = {
      {{30000, 1001}, {60, 1}, {30000, 1001}},
      {{0, 1}, {25, 1}, {25, 1}},
      {{25, 0}, {50, 1}, {50, 1}},
      {{-1, 1}, {0, 0}, {0, 0}},
      {{0, 0}, {1, 0}, {0, 0}},
  };
  for (const Row& row : rows) {
    AVStream stream{};
    stream.avg_frame_rate = row.average;
    stream.r_frame_rate = row.real_base;
    const AVRational rate = reported_frame_rate(stream);
    EXPECT_EQ(rate.num, row.expected.num);
    EXPECT_EQ(rate.den, row.expected.den);
  }
}

TEST(CallerStreamIdTest, OnlyAnAcceptedCallerWithAnotherIdIsRefused) {
  forget_caller_stream_id();
  EXPECT_TRUE(caller_stream_id_allowed("studio/a"));  // nobody accepted yet
  av_log_set_callback(quiet_ffmpeg_log);
  av_log(nullptr, AV_LOG_VERBOSE, "accept streamid [%s], length %d\n", "studio/b", 8);
  EXPECT_FALSE(caller_stream_id_allowed("studio/a"));
  EXPECT_TRUE(caller_stream_id_allowed("studio/b"));
  EXPECT_TRUE(caller_stream_id_allowed(""));  // no stream id configured: anyone
  av_log(nullptr, AV_LOG_VERBOSE, "accept streamid [%s], length %d\n", "", 0);
  EXPECT_FALSE(caller_stream_id_allowed("studio/a"));
  av_log_set_callback(av_log_default_callback);
  forget_caller_stream_id();
}

}  // namespace
}  // namespace rivlet
