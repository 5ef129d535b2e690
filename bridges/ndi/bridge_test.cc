// The loop's timing rules, on a fake clock, a fake NDI endpoint and the host's files in memory:
// each capture without a frame moves the clock on by its whole timeout, each discovery by its
// wait, so the times below are exact multiples of the loop's steps.
#include "bridges/ndi/bridge.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ndi_bridge {
namespace {

constexpr int64_t kStart = 1000 * base::kNanosPerSecond;
constexpr int64_t kWallStartMicros = 1765000000000000;
constexpr int64_t kFramePeriod = 40 * base::kNanosPerMilli;
constexpr int64_t kMs = base::kNanosPerMilli;

class FakeClock : public base::Clock {
 public:
  int64_t monotonic_ns() override { return now_; }
  int64_t wall_clock_micros() override { return kWallStartMicros + (now_ - kStart) / 1000; }
  void advance(int64_t ns) { now_ += ns; }
  // Nanoseconds since the bridge was made.
  int64_t elapsed() const { return now_ - kStart; }

 private:
  int64_t now_ = kStart;
};

// One finder and one receiver. The followed source sends a frame every 40 ms while the clock is
// before frames_until; the run flag is cleared once the clock reaches stop_at.
class FakeEndpoint : public NdiEndpoint {
 public:
  struct Event {
    int64_t at;          // since the start
    std::string source;  // connect: the source's name, empty for a disconnect; discovery: ""
    uint32_t wait_ms;    // discovery only
  };

  explicit FakeEndpoint(FakeClock& clock) : clock_(clock) {}

  std::vector<SourceInfo> find_sources(uint32_t wait_ms) override {
    discoveries.push_back({clock_.elapsed(), "", wait_ms});
    clock_.advance(wait_ms * kMs);
    return listed;
  }

  void connect(const SourceInfo* source) override {
    connects.push_back({clock_.elapsed(), source == nullptr ? "" : source->name, 0});
    following_ = source == nullptr ? "" : source->name;
  }

  CaptureKind capture(uint32_t timeout_ms, VideoFrame* video) override {
    if (before_capture) {
      before_capture();
    }
    if (clock_.elapsed() >= stop_at) {
      running = 0;
    }
    const int64_t timeout = timeout_ms * kMs;
    next_frame_ = std::max(next_frame_, clock_.elapsed());
    if (!following_.empty() && next_frame_ < frames_until &&
        next_frame_ <= clock_.elapsed() + timeout) {
      clock_.advance(next_frame_ - clock_.elapsed());
      next_frame_ += kFramePeriod;
      video->picture = BgrxFrame{pixels_.data(), 2, 2, 8};
      video->frame_rate_n = 25;
      video->frame_rate_d = 1;
      return CaptureKind::kVideo;
    }
    clock_.advance(timeout);
    return CaptureKind::kNone;
  }

  void release_video() override {}
  int connections() override { return following_.empty() ? 0 : 1; }

  std::vector<SourceInfo> listed;
  int64_t frames_until = 0;
  int64_t stop_at = 0;
  volatile std::sig_atomic_t running = 1;
  std::function<void()> before_capture;
  std::vector<Event> connects;
  std::vector<Event> discoveries;

 private:
  FakeClock& clock_;
  std::string following_;
  int64_t next_frame_ = 0;
  std::vector<uint8_t> pixels_ = std::vector<uint8_t>(16, 0x80);
};

// The host's files by path; previews are counted, not encoded.
class MemoryHostFiles : public HostFiles {
 public:
  std::string read(const std::string& path) override {
    const auto found = files.find(path);
    return found == files.end() ? std::string() : found->second;
  }
  bool replace(const std::string& path, std::string_view contents) override {
    files[path] = std::string(contents);
    return true;
  }
  void publish_preview(const BgrxFrame&, uint64_t, int64_t, int64_t) override { ++previews; }

  std::map<std::string, std::string> files;
  int previews = 0;
};

class MemoryLog : public bridges::BridgeLog {
 public:
  void write(std::string_view text) override { out.append(text); }
  std::string out;
};

// A state the loop published, and from when.
struct Change {
  int64_t at;
  ReceiverState state;
  std::string error;
};

// Runs the bridge over an empty host root.
class BridgeTest : public testing::Test {
 protected:
  void write_file(const std::string& path, const std::string& text) { files_.files[path] = text; }
  bool exists(const std::string& path) const { return files_.files.count(path) != 0; }

  // Runs until stop_at, recording each change of state as seen before each capture (the time of
  // the previous iteration's end: no time passes in between). Returns the lines it printed.
  std::string run(int64_t stop_at) {
    endpoint_.stop_at = stop_at;
    Bridge bridge(endpoint_, clock_, files_, log_);
    endpoint_.before_capture = [&] {
      if (extra_before_capture) {
        extra_before_capture();
      }
      const ReceiverStatus& status = bridge.status();
      if (changes.empty() || changes.back().state != status.receiver_state ||
          changes.back().error != status.error) {
        changes.push_back({clock_.elapsed(), status.receiver_state, status.error});
      }
    };
    bridge.run(&endpoint_.running);
    return log_.out;
  }

  // The first recorded change to state at or after from.
  const Change* change_to(ReceiverState state, int64_t from = 0) const {
    for (const Change& change : changes) {
      if (change.at >= from && change.state == state) {
        return &change;
      }
    }
    return nullptr;
  }

  MemoryHostFiles files_;
  MemoryLog log_;
  FakeClock clock_;
  FakeEndpoint endpoint_{clock_};
  std::vector<Change> changes;
  std::function<void()> extra_before_capture;
};

TEST_F(BridgeTest, StaleAfterThreeSecondsDroppedAfterFiveAndRetriedHalfASecondLater) {
  write_file(kSelectionPath, "Cam 1");
  endpoint_.listed = {{"Cam 1", "127.0.0.1:5961"}};
  const int64_t last_frame_before = 2 * base::kNanosPerSecond;
  endpoint_.frames_until = last_frame_before;
  run(16 * base::kNanosPerSecond);

  ASSERT_GE(endpoint_.connects.size(), 4u);
  EXPECT_EQ(endpoint_.connects[0].source, "");  // the selection change disconnects first
  EXPECT_EQ(endpoint_.connects[1].source, "Cam 1");
  EXPECT_EQ(endpoint_.connects[1].at, 0);
  const Change* connected = change_to(ReceiverState::kConnected);
  ASSERT_NE(connected, nullptr);
  EXPECT_LT(connected->at, 100 * kMs);

  // Frames stop just before 2 s; the last one arrived at 1.96 s.
  const int64_t last_frame = last_frame_before - kFramePeriod;
  const Change* stale = change_to(ReceiverState::kOffline);
  ASSERT_NE(stale, nullptr);
  EXPECT_EQ(stale->error, "No recent video frames");
  EXPECT_GE(stale->at - last_frame, kStaleAfter);
  EXPECT_LT(stale->at - last_frame, kStaleAfter + 200 * kMs);

  // Dropped once more than 5 s have passed, retried on the first iteration 500 ms after that.
  const FakeEndpoint::Event& drop = endpoint_.connects[2];
  EXPECT_EQ(drop.source, "");
  EXPECT_GT(drop.at - last_frame, kReconnectAfter - 1);
  EXPECT_LE(drop.at - last_frame, kReconnectAfter + 200 * kMs);
  const FakeEndpoint::Event& retry = endpoint_.connects[3];
  EXPECT_EQ(retry.source, "Cam 1");
  EXPECT_GE(retry.at - drop.at, kConnectSpacing);
  EXPECT_LT(retry.at - drop.at, kConnectSpacing + 200 * kMs);

  // Without frames the retry reads "connecting", then "offline" 3 s after the attempt, and the
  // cycle starts again 5 s after it.
  const Change* connecting = change_to(ReceiverState::kConnecting, retry.at);
  ASSERT_NE(connecting, nullptr);
  const Change* stale_again = change_to(ReceiverState::kOffline, connecting->at);
  ASSERT_NE(stale_again, nullptr);
  EXPECT_GE(stale_again->at - retry.at, kStaleAfter);
  EXPECT_LT(stale_again->at - retry.at, kStaleAfter + 200 * kMs);
  ASSERT_GE(endpoint_.connects.size(), 5u);
  EXPECT_EQ(endpoint_.connects[4].source, "");
  EXPECT_GT(endpoint_.connects[4].at - retry.at, kReconnectAfter - 1);
  EXPECT_LE(endpoint_.connects[4].at - retry.at, kReconnectAfter + 200 * kMs);
}

TEST_F(BridgeTest, DiscoveryEveryTwoSecondsAndAtOnceOnARefreshRequest) {
  endpoint_.listed = {{"Cam 1", ""}};
  extra_before_capture = [&] {
    // Unchanged lists found by the periodic discovery are not written again; a refresh request
    // (a change of the file's content) forces the write.
    if (clock_.elapsed() == 5 * base::kNanosPerSecond) {
      files_.files.erase(kSourcesPath);
    }
    if (clock_.elapsed() == 7 * base::kNanosPerSecond) {
      EXPECT_FALSE(exists(kSourcesPath));
      write_file(kRefreshPath, "1");
    }
  };
  run(9 * base::kNanosPerSecond);

  ASSERT_GE(endpoint_.discoveries.size(), 5u);
  EXPECT_EQ(endpoint_.discoveries[0].at, 0);
  EXPECT_EQ(endpoint_.discoveries[0].wait_ms, 0u);
  for (size_t i = 1; i < endpoint_.discoveries.size(); ++i) {
    const FakeEndpoint::Event& previous = endpoint_.discoveries[i - 1];
    const FakeEndpoint::Event& discovery = endpoint_.discoveries[i];
    const int64_t since = discovery.at - (previous.at + previous.wait_ms * kMs);
    if (discovery.wait_ms == kRefreshWaitMs) {
      EXPECT_GT(discovery.at, 7 * base::kNanosPerSecond);
      EXPECT_LE(discovery.at, 7 * base::kNanosPerSecond + 200 * kMs);
    } else {
      EXPECT_GE(since, kDiscoveryInterval) << i;
      EXPECT_LT(since, kDiscoveryInterval + 200 * kMs) << i;
    }
  }
  EXPECT_TRUE(exists(kSourcesPath));
}

TEST_F(BridgeTest, StatisticsOnceFiveSecondsAfterTheSelectionAndStoppedAtTheEnd) {
  write_file(kSelectionPath, "Cam 1");
  endpoint_.listed = {{"Cam 1", ""}};
  endpoint_.frames_until = 20 * base::kNanosPerSecond;
  size_t lines_seen = 0;
  const std::string out = run(12 * base::kNanosPerSecond);

  size_t position = 0;
  while ((position = out.find("Capture 5s: ", position)) != std::string::npos) {
    ++lines_seen;
    ++position;
  }
  EXPECT_EQ(lines_seen, 1u) << out;
  EXPECT_NE(out.find("connexions=1 état=connected\n"), std::string::npos) << out;
  // Frames every 40 ms from 0 to 5 s, counted from the selection: 126 video results, no others.
  EXPECT_NE(out.find("Capture 5s: video=126 audio=0 metadata=0 none=0 error=0 other=0"),
            std::string::npos)
      << out;

  const std::string status = files_.files[kStatusPath];
  EXPECT_NE(status.find("\"receiver_running\": false,"), std::string::npos) << status;
  EXPECT_NE(status.find("\"receiver_state\": \"stopped\","), std::string::npos) << status;
  EXPECT_NE(status.find("\"active_source_name\": null,"), std::string::npos) << status;
  EXPECT_NE(status.find("\"selected_source_name\": \"Cam 1\","), std::string::npos) << status;
  EXPECT_EQ(endpoint_.connects.back().source, "");
}

TEST_F(BridgeTest, AClearedFlagStopsBeforeTheFirstIteration) {
  endpoint_.running = 0;
  const std::string out = run(0);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(endpoint_.discoveries.empty());
  const std::string status = files_.files[kStatusPath];
  EXPECT_NE(status.find("\"receiver_state\": \"stopped\","), std::string::npos) << status;
}

}  // namespace
}  // namespace ndi_bridge
