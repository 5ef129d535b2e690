// The receive phase: decode the accepted stream, publish previews and the status.
#ifndef BRIDGES_SRT_RECEIVE_H_
#define BRIDGES_SRT_RECEIVE_H_

#include <cstdint>
#include <string>

#include "bridges/common/bridge_log.h"
#include "bridges/readings/reading_thread.h"
#include "bridges/srt/decoder.h"
#include "bridges/srt/ffmpeg_handles.h"
#include "bridges/srt/stall_rule.h"
#include "bridges/srt/status.h"

namespace rivlet {

inline constexpr int64_t kPreviewIntervalNs = 200000000;  // at most five previews a second
inline constexpr int kMaxDecodeErrors = 60;               // consecutive failures before "error"
inline constexpr int kMaxPacketBytes = 8 * 1024 * 1024;
inline constexpr char kDecodeFailed[] = "could not decode H.264 video";

struct Outputs {
  std::string preview_path;
  std::string status_path;
  // Reads the zones of every decoded frame while the zones file holds zones; null: no reading.
  readings::ReadingThread* readings = nullptr;
  // The SRT latency the listener asked for: how late packets reach the reads (the stall rule).
  int64_t latency_ns = kDefaultLatencyNs;
  // Where the progress lines go.
  bridges::BridgeLog* log = &bridges::standard_output_log();
  // Armed for each read with the time the sender counts as stalled (kStallNs + kReadOverrunNs
  // after the last packet), when the input's interrupt callback checks it; null: reads end only
  // when FFmpeg ends them.
  ReadDeadline* read_deadline = nullptr;
};

enum class ReceiveResult {
  kNoDecoder,  // no H.264 decoder could be opened; nothing was published
  kEnded,      // the phase ran and ended (status "error" when decoding failed for good)
};

// Decodes the stream at stream_index of input until the run flag is cleared, the sender stalls
// (no packet for 5 s; a read still waiting a second after that is interrupted through
// outputs.read_deadline) or goes away, or decoding fails for good. Publishes a preview of at most
// 1920 pixels on its longer side at most five times a second, updating status and writing it at
// outputs.status_path. The hardware decoder is tried first, with one fallback to software.
// Prints the decoder, "receiving WxH" and how the phase ended on standard output. Every decoded
// picture, at full size, is handed to outputs.readings (when set and reading) before any scaling;
// the phase starts its readings afresh.
ReceiveResult run_receive_phase(AVFormatContext* input, int stream_index, const Outputs& outputs,
                                Status* status,
                                DecoderPlatform& platform = system_decoder_platform());

}  // namespace rivlet

#endif  // BRIDGES_SRT_RECEIVE_H_
