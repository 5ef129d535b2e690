// Telling a sender that went silent (a stall) from one that closed the connection.
//
// What the libraries report is the same in both cases. libsrt marks the socket broken
// (SRTS_BROKEN, SRT_ECONNLOST "Connection was broken") whether the peer's shutdown arrived or the
// peer was idle for its peer idle timeout (SRTO_PEERIDLETIMEO, 5 s by default, which FFmpeg 5.1's
// srt protocol cannot change); FFmpeg then finds the socket in its epoll error set and
// av_read_frame returns AVERROR(EIO), after handing out the packets its parser still held. No
// log line tells them apart. Only one report differs: AVERROR(ETIMEDOUT), when FFmpeg's own 5 s
// read timeout (the listener URL's timeout) runs out before libsrt breaks the socket.
//
// So a break is judged by libsrt's one reason to break a live link by itself: the peer idle
// timeout. A break that ends a silence at least that long (less the time the receiver holds a
// packet before handing it over, the SRT latency) is the link timing out; any other break is the
// peer's shutdown. A caller frozen for 4.4 s that then sends and closes is heard again before the
// timeout, and its close discards the frames still held for their play time: a disconnect.
#ifndef BRIDGES_SRT_STALL_RULE_H_
#define BRIDGES_SRT_STALL_RULE_H_

#include <atomic>
#include <cstdint>

namespace rivlet {

inline constexpr int64_t kStallNs = 5000000000;  // no packet for this long: stalled
// libsrt's default peer idle timeout: a silent peer's socket is broken after this long.
inline constexpr int64_t kPeerIdleTimeoutNs = 5000000000;
// A read that waits this long is a silence (live frames come at least a few times a second).
inline constexpr int64_t kSilenceNs = 1000000000;
// Reads that follow a silence within this time only hand out what the demuxer held (they take
// microseconds), so a failure this soon after a silence is the end of it.
inline constexpr int64_t kAfterSilenceNs = 100000000;
// Allowance for libsrt's timer granularity and the scheduling of the read after the last packet.
inline constexpr int64_t kIdleSlackNs = 50000000;
inline constexpr int64_t kDefaultLatencyNs = 120000000;  // rivlet's default SRT latency

// How long past kStallNs without a packet a read may still wait for FFmpeg to end it with its own
// report (its read timeout or libsrt's broken socket, both due about kStallNs after the last
// packet, and the reports that tell a stall from a close): beyond it the read is interrupted.
inline constexpr int64_t kReadOverrunNs = 1000000000;

// The deadline of the read in progress, which FFmpeg's interrupt callback checks while the read
// waits, so that no library path can keep a silent sender's read waiting past it. Once it has
// interrupted a read it stays fired for the phase: the interrupted read may still hand out what
// the demuxer held, and only the reads after it fail (FFmpeg keeps the interruption as the
// input's error). Used on the reading thread; atomic so that a check from another is well defined.
class ReadDeadline {
 public:
  // A new receive phase: not armed, not fired.
  void reset() {
    deadline_ns_.store(0, std::memory_order_relaxed);
    fired_.store(false, std::memory_order_relaxed);
  }
  // The read that starts now may wait until deadline_ns (monotonic nanoseconds).
  void arm(int64_t deadline_ns) { deadline_ns_.store(deadline_ns, std::memory_order_relaxed); }
  void disarm() { deadline_ns_.store(0, std::memory_order_relaxed); }
  // For the interrupt callback: true once an armed deadline is reached (it has then fired).
  bool reached(int64_t now) {
    const int64_t deadline = deadline_ns_.load(std::memory_order_relaxed);
    if (deadline == 0 || now < deadline) {
      return false;
    }
    fired_.store(true, std::memory_order_relaxed);
    return true;
  }
  // Whether it interrupted a read since the last reset.
  bool fired() const { return fired_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int64_t> deadline_ns_{0};
  std::atomic<bool> fired_{false};
};

class StallRule {
 public:
  // latency_ns: the SRT latency of the connection (packets reach the reader this much after
  // they arrived, so a silence seen by the reader starts that much late).
  explicit StallRule(int64_t latency_ns = kDefaultLatencyNs) : latency_ns_(latency_ns) {}

  // Records one read of the phase, in monotonic nanoseconds, with what av_read_frame returned.
  // Call it for the failing read too, before judging it.
  void on_read(int64_t started, int64_t finished, int result);

  // Judges the failed read that finished at now, read_error being its FFmpeg error code and
  // last_packet when the last packet arrived: true for a stall (FFmpeg's read timeout, no packet
  // for more than kStallNs, or a failure that ends a silence as long as libsrt's peer idle timeout
  // less the latency), false for a sender that closed.
  bool stalled(int read_error, int64_t now, int64_t last_packet) const;

 private:
  int64_t latency_ns_;
  int64_t silence_ns_ = 0;   // the latest read that waited at least kSilenceNs
  int64_t silence_end_ = 0;  // when it finished
};

}  // namespace rivlet

#endif  // BRIDGES_SRT_STALL_RULE_H_
