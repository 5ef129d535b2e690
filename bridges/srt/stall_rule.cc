#include "bridges/srt/stall_rule.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace rivlet {

void StallRule::on_read(int64_t started, int64_t finished, int result) {
  const int64_t waited = finished - started;
  const bool delivered = result != AVERROR(EAGAIN);
  if (waited >= kLongWaitNs) {
    last_long_wait_end_ = finished;
    fresh_data_since_long_wait_ = false;
    packets_since_long_wait_ = 0;
  } else if (delivered && waited >= kFreshDataWaitNs) {
    fresh_data_since_long_wait_ = true;
  }
  if (result >= 0 && ++packets_since_long_wait_ > kMaxHeldPackets) {
    fresh_data_since_long_wait_ = true;
  }
}

bool StallRule::stalled(int read_error, int64_t now, int64_t last_packet) const {
  if (read_error == AVERROR(ETIMEDOUT) || now - last_packet > kStallNs) {
    return true;
  }
  return last_long_wait_end_ != 0 && now - last_long_wait_end_ < kAfterLongWaitNs &&
         !fresh_data_since_long_wait_;
}

}  // namespace rivlet
