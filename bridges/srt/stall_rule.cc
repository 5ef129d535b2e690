#include "bridges/srt/stall_rule.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

namespace rivlet {

void StallRule::on_read(int64_t started, int64_t finished, int /*result*/) {
  if (finished - started >= kSilenceNs) {
    silence_ns_ = finished - started;
    silence_end_ = finished;
  }
}

bool StallRule::stalled(int read_error, int64_t now, int64_t last_packet) const {
  if (read_error == AVERROR(ETIMEDOUT) || now - last_packet > kStallNs) {
    return true;
  }
  const bool ends_silence = silence_end_ != 0 && now - silence_end_ <= kAfterSilenceNs;
  return ends_silence && silence_ns_ >= kPeerIdleTimeoutNs - latency_ns_ - kIdleSlackNs;
}

}  // namespace rivlet
