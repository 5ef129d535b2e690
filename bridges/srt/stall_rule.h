// Telling a sender that went silent (a stall) from one that closed the connection, from the timing
// of the reads of one receive phase.
//
// A read blocks while the sender is silent, and the library drops the connection after 5 s of
// silence, so the stall check at the top of the receive loop rarely sees the silence itself: the
// demuxer may still hand out the packets it holds after that long wait, at once, right before the
// read fails. A caller that only paused (for less than the 5 s) and then sent more frames and
// closed also ends with a failing read shortly after a long wait, but it sent fresh frames after
// the pause: live SRT delivers them at their own pace, so they had to be waited for, and a burst
// of them is more than the few packets a demuxer holds.
#ifndef BRIDGES_SRT_STALL_RULE_H_
#define BRIDGES_SRT_STALL_RULE_H_

#include <cstdint>

namespace rivlet {

inline constexpr int64_t kStallNs = 5000000000;  // no packet for this long: stalled
// A read that waited this long means the sender had gone silent.
inline constexpr int64_t kLongWaitNs = 4000000000;
// A failure within this time after a long wait may be the end of that silence.
inline constexpr int64_t kAfterLongWaitNs = 1000000000;
// A read that waited this long after a long wait had fresh data to wait for: the sender was
// alive. Packets held by the demuxer come out in microseconds; live frames at most 120 a second.
inline constexpr int64_t kFreshDataWaitNs = 5000000;
// More packets than this after a long wait are fresh data too: the demuxer and its parser hold at
// most a packet or two of each stream.
inline constexpr int kMaxHeldPackets = 4;

class StallRule {
 public:
  // Records one read of the phase, in monotonic nanoseconds, with what av_read_frame returned (0:
  // a packet; EAGAIN: nothing came; another negative code: it failed). Call it for the failing
  // read too, before judging it.
  void on_read(int64_t started, int64_t finished, int result);

  // Judges the failed read that finished at now, read_error being its FFmpeg error code and
  // last_packet when the last packet arrived: true for a stall, false for a sender that closed.
  // A stall is a read timeout, no packet for more than kStallNs, or a failure within
  // kAfterLongWaitNs of a long wait with no fresh data since (no read that had to wait for data,
  // at most kMaxHeldPackets packets).
  bool stalled(int read_error, int64_t now, int64_t last_packet) const;

 private:
  int64_t last_long_wait_end_ = 0;
  bool fresh_data_since_long_wait_ = false;
  int packets_since_long_wait_ = 0;
};

}  // namespace rivlet

#endif  // BRIDGES_SRT_STALL_RULE_H_
