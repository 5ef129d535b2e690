// Reading every decoded frame's zones on a thread of its own, so that reading never slows the
// video: the decode loop hands each frame over and goes on. Frames wait for the thread while they
// are a burst (a decoder catching up after a stall, or the packets read while the stream was
// probed, hands many over within milliseconds); once the oldest waiting frame was decoded more
// than kMaxBacklogNs before the newest, the thread has fallen behind and the oldest is dropped (and
// counted), never waited for. After each read the thread publishes the readings document
// atomically. It follows the zones file: re-read when its content changes, a refused content keeps
// the last good zones (reported once, and in every document while it lasts).
#ifndef BRIDGES_READINGS_READING_THREAD_H_
#define BRIDGES_READINGS_READING_THREAD_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "base/atomic_file.h"
#include "base/clock.h"
#include "bridges/readings/board_read.h"
#include "bridges/readings/readings_document.h"
#include "bridges/readings/stability.h"
#include "bridges/readings/zones_file.h"

namespace readings {

// How far behind the newest frame the oldest waiting one may be, in decode time: a burst decoded
// within this time is read late rather than dropped (the probe's second of packets decodes in about
// 60 ms at 720p); a reader slower than the frame rate drops frames once it is this far behind.
inline constexpr int64_t kMaxBacklogNs = 200 * base::kNanosPerMilli;
// And how many frames may wait whatever their times (each holds a decoded picture).
inline constexpr size_t kMaxWaitingFrames = 64;

// How often the zones file is looked at.
inline constexpr int64_t kZonesCheckInterval = 250 * base::kNanosPerMilli;

// How far outside the region asked for a Picture's fill_bgr may write: a subsampled picture is
// converted in whole chroma samples, at most 4 pixels wide (4:1:0 and 4:1:1), so up to 3 pixels
// more on either side.
inline constexpr int kFillSpillPixels = 3;

// A decoded picture on its way to the reading thread. It holds the frame's pixels (a reference or
// a copy) and converts them there, so the decode loop only pays for the hand-over.
class Picture {
 public:
  virtual ~Picture() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Writes the picture's pixels inside region (within the picture) into the same rectangle of
  // *bgr, a width() x height() CV_8UC3 image, and possibly pixels up to kFillSpillPixels around
  // it (as converted from the same picture); the rest of *bgr is left as it is. False when the
  // conversion failed.
  virtual bool fill_bgr(const cv::Rect& region, cv::Mat* bgr) = 0;
  // True when the pixels inside rect are byte for byte those of previous (a picture of the same
  // kind, size and format), so that what was read there last time still holds.
  virtual bool same_pixels(const Picture& previous, const cv::Rect& rect) const = 0;
};

struct DecodedFrame {
  int64_t frame = 0;       // decoded frames since the stream began, this one included
  double pts_s = 0.0;      // presentation time, seconds
  int64_t decoded_ns = 0;  // monotonic time at the end of its decode
  std::unique_ptr<Picture> picture;
};

// Where and how the thread publishes, and what it says when something fails: the program words
// the messages (in its own language).
struct ReadingsOutput {
  std::string zones_path;
  std::string readings_path;
  DocumentStyle style = DocumentStyle::kRivlet;
  std::function<void(const std::string& why)> zones_refused;  // once per refused content
  std::function<void(const base::FileResult& failed)> write_failed;
};

class ReadingThread {
 public:
  // Looks at the zones file once before the thread starts. The clock must outlive the thread.
  ReadingThread(ReadingsOutput output, base::Clock& clock);
  ~ReadingThread();  // stops the thread (a read in progress finishes) and joins it
  ReadingThread(const ReadingThread&) = delete;
  ReadingThread& operator=(const ReadingThread&) = delete;

  // True while the zones file holds zones: frames are worth handing over only then.
  bool reading() const { return has_zones_.load(); }

  // Hands a frame over without waiting. Waiting frames decoded more than kMaxBacklogNs before this
  // one are dropped, and the oldest while more than kMaxWaitingFrames wait.
  void offer(DecodedFrame frame);

  // A new stream begins: the frames waiting are forgotten, the counts and every zone's
  // stability start again.
  void restart();

 private:
  void run();
  void check_zones();
  void place_zones(int width, int height);
  bool convert_changed_zones(Picture& picture);
  void read_and_publish(DecodedFrame frame);
  void reset_trackers();

  ReadingsOutput output_;
  base::Clock& clock_;
  ZonesWatch watch_;
  std::atomic<bool> has_zones_{false};

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<DecodedFrame> pending_;
  bool stopping_ = false;
  int64_t dropped_ = 0;
  uint64_t generation_ = 0;

  // The thread's own state.
  uint64_t seen_generation_ = 0;
  int64_t read_ = 0;
  int64_t last_zones_check_ = 0;
  int64_t last_write_ns_ = 0;
  std::vector<BoardZone> zones_;
  std::unique_ptr<BoardRead> board_;  // over zones_
  std::vector<StabilityTracker> trackers_;
  cv::Mat bgr_;                        // every zone's pixels as last converted
  std::vector<cv::Rect> zone_rects_;   // each zone's pixels in bgr_ (empty when it has none)
  std::vector<cv::Rect> reach_rects_;  // each zone's trust_reach in bgr_ (empty likewise)
  std::vector<cv::Rect> converted_;    // what this frame's conversions wrote (with the spill)
  std::vector<bool> touched_;          // the zones whose pixels in bgr_ this frame may change
  std::unique_ptr<Picture> previous_;  // the picture bgr_ was last converted from
  bool convert_all_ = true;            // the next frame's zones are all converted
  std::thread thread_;                 // last: starts once everything above exists
};

}  // namespace readings

#endif  // BRIDGES_READINGS_READING_THREAD_H_
