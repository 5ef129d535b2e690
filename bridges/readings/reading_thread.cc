#include "bridges/readings/reading_thread.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "bridges/readings/board_read.h"

namespace readings {

namespace {

// How long the thread sleeps when no frame comes, before it looks at the zones file again.
constexpr std::chrono::milliseconds kIdleWait(100);

}  // namespace

ReadingThread::ReadingThread(ReadingsOutput output, base::Clock& clock)
    : output_(std::move(output)), clock_(clock), watch_(output_.zones_path) {
  check_zones();
  thread_ = std::thread([this] { run(); });
}

ReadingThread::~ReadingThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void ReadingThread::offer(DecodedFrame frame) {
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(frame));
    while (pending_.size() > kMaxWaitingFrames ||
           pending_.back().decoded_ns - pending_.front().decoded_ns > kMaxBacklogNs) {
      pending_.pop_front();
      ++dropped_;
    }
  }
  wake_.notify_one();
}

void ReadingThread::restart() {
  std::lock_guard lock(mutex_);
  pending_.clear();
  dropped_ = 0;
  ++generation_;
}

void ReadingThread::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (pending_.empty()) {
      wake_.wait_for(lock, kIdleWait, [this] { return stopping_ || !pending_.empty(); });
    }
    std::optional<DecodedFrame> frame;
    if (!pending_.empty()) {
      frame = std::move(pending_.front());
      pending_.pop_front();
    }
    const bool new_stream = generation_ != seen_generation_;
    seen_generation_ = generation_;
    lock.unlock();
    if (new_stream) {
      read_ = 0;
      reset_trackers();
      previous_.reset();  // the decoder may have its frames back
    }
    if (clock_.monotonic_ns() - last_zones_check_ >= kZonesCheckInterval) {
      check_zones();
    }
    if (frame && has_zones_.load()) {
      read_and_publish(std::move(*frame));
    }
    lock.lock();
  }
}

void ReadingThread::check_zones() {
  last_zones_check_ = clock_.monotonic_ns();
  switch (watch_.check()) {
    case ZonesWatch::Change::kNone:
      return;
    case ZonesWatch::Change::kRefused:
      if (output_.zones_refused) {
        output_.zones_refused(watch_.error());
      }
      return;
    case ZonesWatch::Change::kZones:
    case ZonesWatch::Change::kRemoved:
      zones_ = watch_.zones();
      board_ = std::make_unique<BoardRead>(zones_);
      convert_all_ = true;
      reset_trackers();
      has_zones_.store(watch_.has_zones());
      return;
  }
}

void ReadingThread::reset_trackers() {
  trackers_.clear();
  for (const BoardZone& zone : zones_) {
    trackers_.emplace_back(zone.reader == native_ocr::zonescan::ReaderKind::kClock);
  }
}

void ReadingThread::place_zones(int width, int height) {
  bgr_.create(height, width, CV_8UC3);
  zone_rects_.clear();
  reach_rects_.clear();
  for (const BoardZone& zone : zones_) {
    zone_rects_.push_back(zone_pixels(zone, width, height).value_or(cv::Rect()));
    reach_rects_.push_back(trust_reach(zone, width, height).value_or(cv::Rect()));
  }
  touched_.assign(zones_.size(), true);
}

// Converts the zones whose pixels changed since the previous picture (all of them after a change
// of zones, size or stream), each with the pixels around it that its trust reads (trust_reach),
// each rectangle once, and marks the zones those conversions may have written into; false when a
// conversion failed. A zone whose own pixels did not change is not read again, so what lies around
// it need not be current.
bool ReadingThread::convert_changed_zones(Picture& picture) {
  if (convert_all_ || bgr_.cols != picture.width() || bgr_.rows != picture.height()) {
    place_zones(picture.width(), picture.height());
    convert_all_ = true;
  }
  converted_.clear();
  for (size_t i = 0; i < zone_rects_.size(); ++i) {
    const cv::Rect& rect = zone_rects_[i];
    const cv::Rect& reach = reach_rects_[i];
    const cv::Rect spill(reach.x - kFillSpillPixels, reach.y - kFillSpillPixels,
                         reach.width + 2 * kFillSpillPixels, reach.height + 2 * kFillSpillPixels);
    if (rect.empty() ||
        std::find(converted_.begin(), converted_.end(), spill) != converted_.end() ||
        (!convert_all_ && previous_ != nullptr && picture.same_pixels(*previous_, rect))) {
      continue;
    }
    if (!picture.fill_bgr(reach, &bgr_)) {
      convert_all_ = true;
      return false;
    }
    converted_.push_back(spill);
  }
  for (size_t i = 0; i < zone_rects_.size(); ++i) {
    touched_[i] = convert_all_ ||
                  std::any_of(converted_.begin(), converted_.end(),
                              [&](const cv::Rect& c) { return !(c & zone_rects_[i]).empty(); });
  }
  convert_all_ = false;
  return true;
}

void ReadingThread::read_and_publish(DecodedFrame frame) {
  if (!convert_changed_zones(*frame.picture)) {
    return;
  }
  previous_ = std::move(frame.picture);
  const std::vector<ZoneResult>& read = board_->read(bgr_, touched_);
  FrameReadings doc;
  doc.frame = frame.frame;
  doc.pts_s = frame.pts_s;
  doc.frames_read = ++read_;
  {
    std::lock_guard lock(mutex_);
    doc.frames_dropped = dropped_;
  }
  doc.zones_error = watch_.error();
  for (size_t i = 0; i < zones_.size(); ++i) {
    doc.zones.push_back(
        {zones_[i].name, zones_[i].role, read[i], trackers_[i].observe(read[i].text, frame.pts_s)});
  }
  // The write is still to come: its time is taken to be the last write's.
  const int64_t before_write = clock_.monotonic_ns();
  doc.latency_ms =
      static_cast<double>(before_write - frame.decoded_ns + last_write_ns_) / base::kNanosPerMilli;
  const base::FileResult written =
      publish_document(output_.readings_path, readings_document(doc, output_.style));
  last_write_ns_ = clock_.monotonic_ns() - before_write;
  if (!written.ok() && output_.write_failed) {
    output_.write_failed(written);
  }
}

}  // namespace readings
