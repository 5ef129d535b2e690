#include "bridges/srt/stall_rule.h"

#include <cerrno>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

namespace rivlet {
namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kStart = 1000 * 1000 * kMs;

// One receive phase as a list of read durations (the last one fails); the clock moves only while
// reading, and every read but the last returns a packet (a negative duration: EAGAIN after that
// many milliseconds).
struct Phase {
  const char* name;
  std::vector<int64_t> reads_ms;
  int error;
  bool stall;
};

bool judge(const Phase& phase) {
  StallRule rule;
  int64_t now = kStart;
  int64_t last_packet = now;
  for (size_t i = 0; i < phase.reads_ms.size(); ++i) {
    const int64_t started = now;
    const bool delivered = phase.reads_ms[i] >= 0;
    now += (delivered ? phase.reads_ms[i] : -phase.reads_ms[i]) * kMs;
    const bool last = i + 1 == phase.reads_ms.size();
    rule.on_read(started, now, last ? phase.error : delivered ? 0 : AVERROR(EAGAIN));
    if (delivered && !last) {
      last_packet = now;
    }
  }
  return rule.stalled(phase.error, now, last_packet);
}

TEST(StallRuleTest, SilenceIsAStallAndAClosedConnectionADisconnect) {
  const int kEof = AVERROR_EOF;
  const int kIo = AVERROR(EIO);
  const Phase phases[] = {
      // The sender goes silent; after the long wait the demuxer hands out what it held, at once.
      {"silence, then held packets", {40, 40, 4990, 0, 0}, kIo, true},
      {"silence ending in the failing read", {40, 40, 4990}, kEof, true},
      {"read timeout", {40, 40}, AVERROR(ETIMEDOUT), true},
      {"no packet for over five seconds", {40, 5001}, kEof, true},
      {"silence, empty waits, held packets", {40, 4990, -20, 0}, kIo, true},
      {"silence, four held packets", {40, 4990, 0, 0, 0, 0}, kIo, true},
      // The caller paused under five seconds, sent its last frames (paced, live) and closed.
      {"pause, last frames, close", {40, 40, 4400, 40, 40, 40, 1}, kEof, false},
      {"pause, one last frame, close", {40, 4400, 33, 0}, kEof, false},
      {"pause, then the close after a wait", {40, 4400, 0, 20}, kEof, false},
      {"pause, a burst of frames, close", {40, 4400, 0, 0, 0, 0, 0, 0, 0}, kEof, false},
      {"pause, frames for over a second, close", {4400, 600, 600, 0}, kEof, false},
      {"close without a pause", {40, 40, 40, 0}, kEof, false},
      // The caller's process frozen for 4.4 s (4.8 s), then its frames sent at once and closed:
      // the close discards the frames still held for their play time, the parser hands out one.
      {"frozen 4.4 s, then closed", {40, 40, 4340, 0}, kIo, false},
      {"frozen 4.8 s, then closed", {40, 40, 4750, 0}, kIo, false},
      // A silence that libsrt ended itself, seen from a read that began one latency late.
      {"silence broken by libsrt's idle timeout", {40, 40, 4880, 0}, kIo, true},
      {"close at once", {0}, kEof, false},
  };
  for (const Phase& phase : phases) {
    EXPECT_EQ(judge(phase), phase.stall) << phase.name;
  }
}

TEST(StallRuleTest, OnlyTheLatestSilenceCounts) {
  // Alive after the first pause, silent after the second: a stall; and the other way round a
  // disconnect.
  EXPECT_TRUE(judge({"two pauses", {4400, 40, 40, 4990, 0}, AVERROR_EOF, true}));
  EXPECT_FALSE(
      judge({"long pause, then a short one", {4990, 40, 40, 4400, 0}, AVERROR_EOF, false}));
}

TEST(ReadDeadlineTest, FiresOnlyForAnArmedReadThatReachedItAndStaysFiredForThePhase) {
  ReadDeadline deadline;
  EXPECT_FALSE(deadline.reached(kStart)) << "never armed";
  deadline.arm(kStart + kStallNs + kReadOverrunNs);
  EXPECT_FALSE(deadline.reached(kStart + kStallNs)) << "FFmpeg's own reports come first";
  EXPECT_FALSE(deadline.fired());
  EXPECT_TRUE(deadline.reached(kStart + kStallNs + kReadOverrunNs));
  deadline.disarm();
  EXPECT_FALSE(deadline.reached(kStart + 10 * kStallNs)) << "between reads and while accepting";
  EXPECT_TRUE(deadline.fired()) << "the reads after the interrupted one fail with its error";
  deadline.reset();
  EXPECT_FALSE(deadline.fired());
}

}  // namespace
}  // namespace rivlet
