#include "bridges/readings/reading_thread.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/testing/scoped_temp_dir.h"

namespace readings {
namespace {

// Every look at the clock is a second later: the zones file is looked at on each pass.
class SteppingClock : public base::Clock {
 public:
  int64_t monotonic_ns() override { return now_ += base::kNanosPerSecond; }
  int64_t wall_clock_micros() override { return 0; }

 private:
  std::atomic<int64_t> now_{0};
};

// A dark 64x36 picture; the first one it is asked to convert waits until released.
class HeldPicture : public Picture {
 public:
  explicit HeldPicture(std::shared_future<void> release) : release_(std::move(release)) {}
  int width() const override { return 64; }
  int height() const override { return 36; }
  bool fill_bgr(const cv::Rect& region, cv::Mat* bgr) override {
    release_.wait();
    (*bgr)(region).setTo(cv::Scalar::all(10));
    return true;
  }
  bool same_pixels(const Picture&, const cv::Rect&) const override { return false; }

 private:
  std::shared_future<void> release_;
};

// A 64x36 picture whose left and right halves have their own shade; it counts its conversions.
class ShadedPicture : public Picture {
 public:
  ShadedPicture(int left, int right, std::atomic<int>* fills)
      : left_(left), right_(right), fills_(fills) {}
  int width() const override { return 64; }
  int height() const override { return 36; }
  bool fill_bgr(const cv::Rect& region, cv::Mat* bgr) override {
    ++*fills_;
    (*bgr)(region & cv::Rect(0, 0, 32, 36)).setTo(cv::Scalar::all(left_));
    (*bgr)(region & cv::Rect(32, 0, 32, 36)).setTo(cv::Scalar::all(right_));
    return true;
  }
  bool same_pixels(const Picture& previous, const cv::Rect& rect) const override {
    const auto& before = dynamic_cast<const ShadedPicture&>(previous);
    return (rect.x >= 32 || before.left_ == left_) &&
           (rect.br().x <= 32 || before.right_ == right_);
  }

 private:
  int left_;
  int right_;
  std::atomic<int>* fills_;
};

constexpr char kTwoZones[] =
    R"({"zones": [{"name": "clock", "x": 0.1, "y": 0.1, "width": 0.5, "height": 0.5,
                   "role": "clock"}, {"name": "home", "x": 0.6, "y": 0.1, "width": 0.3,
                   "height": 0.5}]})";

class ReadingThreadTest : public testing::Test {
 protected:
  void write_zones(const std::string& text) {
    std::ofstream(dir_.file("zones.tmp"), std::ios::binary) << text;
    std::rename(dir_.file("zones.tmp").c_str(), dir_.file("zones.json").c_str());
  }
  ReadingsOutput output() {
    return {dir_.file("zones.json"), dir_.file("readings.json"), DocumentStyle::kRivlet,
            [this](const std::string& why) { refusals_.push_back(why); }, nullptr};
  }
  DecodedFrame frame(int64_t n, int64_t decoded_ns = 0) {
    return {n, n / 30.0, decoded_ns, std::make_unique<HeldPicture>(released_)};
  }
  // Waits (up to 10 s) for a readings document that holds text.
  std::string wait_for(const std::string& text) {
    std::string doc;
    for (int i = 0; i < 1000 && doc.find(text) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      doc = base::read_whole_file(dir_.file("readings.json"));
    }
    return doc;
  }

  void read_until_refused(ReadingThread* thread, std::string* doc);

  base::ScopedTempDir dir_;
  SteppingClock clock_;
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
  std::vector<std::string> refusals_;
};

TEST_F(ReadingThreadTest, DropsTheOldestWaitingFrameRatherThanWaitAndCountsIt) {
  write_zones(kTwoZones);
  ReadingThread thread(output(), clock_);
  ASSERT_TRUE(thread.reading());
  thread.offer(frame(1, 1));  // taken, then held in its conversion
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // 2 and 3 come as a burst with 1; 4 a backlog later, 5 and 6 a frame apart after it: 2 and 3
  // are dropped when 4 comes.
  const int64_t decoded[] = {0, 0, 1, 2, kMaxBacklogNs + 3, kMaxBacklogNs + 4, kMaxBacklogNs + 5};
  for (int64_t n = 2; n <= 6; ++n) {
    thread.offer(frame(n, decoded[n]));
  }
  release_.set_value();
  const std::string doc = wait_for("\"frame\": 6,");
  ASSERT_NE(doc.find("\"frame\": 6,"), std::string::npos) << doc;
  // Frame 1 was read, then 4, 5 and 6 (unless the thread had not taken 1 yet: then 1 was dropped
  // too).
  const bool first_was_read = doc.find("\"frames_read\": 4,") != std::string::npos;
  EXPECT_NE(doc.find(first_was_read ? "\"frames_dropped\": 2," : "\"frames_dropped\": 3,"),
            std::string::npos)
      << doc;
  EXPECT_NE(doc.find("{\"name\": \"clock\", \"role\": \"clock\", \"value\": null, \"valid\": "
                     "false"),
            std::string::npos)
      << doc;
  thread.restart();
  thread.offer(frame(1));
  EXPECT_NE(wait_for("\"frames_dropped\": 0,").find("\"frames_read\": 1,"), std::string::npos);
}

// Only the zones whose picture pixels changed are converted again, and two zones over the same
// pixels once.
TEST_F(ReadingThreadTest, ConvertsOnlyTheChangedZonesEachRectangleOnce) {
  write_zones(R"({"zones": [{"name": "left", "x": 0.0, "y": 0.0, "width": 0.5, "height": 1.0},
                            {"name": "right", "x": 0.5, "y": 0.0, "width": 0.5, "height": 1.0},
                            {"name": "again", "x": 0.5, "y": 0.0, "width": 0.5, "height": 1.0}]})");
  std::atomic<int> fills{0};
  ReadingThread thread(output(), clock_);
  const int shades[][2] = {{10, 10}, {10, 10}, {10, 200}, {90, 200}};
  for (int n = 0; n < 4; ++n) {
    thread.offer(
        {n + 1, n / 30.0, 0, std::make_unique<ShadedPicture>(shades[n][0], shades[n][1], &fills)});
    ASSERT_NE(wait_for("\"frame\": " + std::to_string(n + 1) + ","), "");
  }
  EXPECT_EQ(fills.load(), 2 + 0 + 1 + 1);
}

TEST_F(ReadingThreadTest, BadZonesFileKeepsTheLastGoodZonesAndSaysSoOnce) {
  release_.set_value();
  std::string doc;
  {
    ReadingThread thread(output(), clock_);
    read_until_refused(&thread, &doc);
  }
  EXPECT_NE(doc.find("\"zones_error\": \"zone 1: \\\"name\\\" must be a string\",\n"),
            std::string::npos)
      << doc;
  EXPECT_NE(doc.find("\"name\": \"home\""), std::string::npos);  // still read
  EXPECT_EQ(refusals_.size(), 1u);
}

void ReadingThreadTest::read_until_refused(ReadingThread* reader, std::string* doc) {
  ReadingThread& thread = *reader;
  EXPECT_FALSE(thread.reading());  // no zones file: nothing to read
  write_zones(kTwoZones);
  for (int i = 0; i < 1000 && !thread.reading(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  write_zones("{\"zones\": [{\"name\": 1}]}");
  for (int64_t n = 1; n < 1000 && doc->find("zones_error") == std::string::npos; ++n) {
    thread.offer(frame(n));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    *doc = base::read_whole_file(dir_.file("readings.json"));
  }
}

}  // namespace
}  // namespace readings
