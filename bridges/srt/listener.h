// The SRT listener: listen, accept a caller, check its stream, hand it to the receive phase, and
// listen again, until the run flag is cleared or a fatal condition stops it.
#ifndef BRIDGES_SRT_LISTENER_H_
#define BRIDGES_SRT_LISTENER_H_

#include <memory>
#include <string>

#include "bridges/srt/decoder.h"
#include "bridges/srt/ffmpeg_handles.h"
#include "bridges/srt/options.h"
#include "bridges/srt/receive.h"
#include "bridges/srt/status.h"

namespace rivlet {

inline constexpr int kListenTimeoutUs = 500000;
inline constexpr size_t kMaxUrlBytes = 320;

// "srt://0.0.0.0:PORT?mode=listener&transtype=live&latency=US&listen_timeout=500000&timeout=5000000"
// with the latency in microseconds.
std::string listener_url(int port, int latency_ms);

// The options handed to avformat_open_input: probesize and analyzeduration 1000000; passphrase and
// pbkeylen (the effective key length) when passphrase is not empty; streamid when the stream id is
// not empty. The caller owns the result (free_open_options).
AVDictionary* open_options(const Options& options, std::string_view passphrase);

// True when any of passphrase, pbkeylen or streamid is still in options: the SRT protocol takes out
// every option it accepts while it opens.
bool has_refused_options(const AVDictionary* options);

// Overwrites the passphrase left in options (if any) with zeros and frees the dictionary.
void free_open_options(AVDictionary** options);

// False when stream_id is not empty and the caller accepted last (caller_stream_id) announced
// another one; true when no caller has been accepted yet.
bool caller_stream_id_allowed(const std::string& stream_id);

// The frame rate reported for a stream: its average rate when both terms are positive, otherwise
// its real base rate; 0/0 when a term of the chosen rate is below 1.
AVRational reported_frame_rate(const AVStream& stream);

// What the interrupt callback of the listener's input looks at (FFmpeg copies the callback and
// its opaque into every layer it opens, so the pointees stay where they are).
struct InterruptContext {
  const std::string* stream_id;
  ReadDeadline* read_deadline;
};

class Listener {
 public:
  // The passphrase is the process-wide redacted_secret(); the progress lines go to log.
  Listener(const Options& options, DecoderPlatform& platform,
           bridges::BridgeLog& log = bridges::standard_output_log());
  // The input's interrupt callback points into the listener: it stays where it was made.
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Publishes "listening" and runs the listen cycle until a stop; then publishes "offline" and
  // prints "rivlet stopped". A fatal condition is published as "error" before that final write.
  void run();

 private:
  enum class Next { kCycle, kStop };

  Next cycle();
  Next accept(InputPtr* input);
  bool wrong_caller(int result) const;
  Next after_failed_open(int result);
  Next serve(InputPtr input);
  bool stream_acceptable(AVFormatContext* input, int* stream_index);
  Next fatal(const char* text);
  Next retry_later(const char* text, InputPtr* input);
  void set_error(const char* text);
  void stop();
  void write() { write_status(outputs_.status_path, status_); }

  Options options_;
  DecoderPlatform& platform_;
  std::unique_ptr<readings::ReadingThread> readings_;
  Outputs outputs_;
  std::string url_;
  Status status_;
  ReadDeadline read_deadline_;
  InterruptContext interrupt_context_{&options_.stream_id, &read_deadline_};
};

}  // namespace rivlet

#endif  // BRIDGES_SRT_LISTENER_H_
