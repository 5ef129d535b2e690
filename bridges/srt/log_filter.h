// The filter between the libraries' logs and standard error: only errors get through, the
// passphrase is written as "[redacted]", and a message telling of a passphrase problem raises the
// process-wide encryption mismatch flag. FFmpeg's log and libsrt's own log (where a caller with the
// wrong passphrase is reported, from libsrt's threads) go through the same filter.
#ifndef BRIDGES_SRT_LOG_FILTER_H_
#define BRIDGES_SRT_LOG_FILTER_H_

#include <cstdarg>
#include <optional>
#include <string>
#include <string_view>

#include "bridges/srt/secret.h"

namespace rivlet {

inline constexpr char kRedacted[] = "[redacted]";
inline constexpr size_t kLogLineBytes = 2048;

// Replaces occurrences of secret in text by "[redacted]", searching from the start each time, at
// most 8 times. A secret shorter than 10 bytes is left alone.
std::string redact(std::string text, std::string_view secret);

// True when text contains "Incorrect passphrase" or "SRTO_PASSPHRASE".
bool tells_encryption_mismatch(std::string_view text);

// Process-wide passphrase (empty: no encryption). Set it before the filters can run; wipe it only
// after the libraries have stopped logging.
void set_redacted_secret(SecretBuffer secret);
std::string_view redacted_secret();
void wipe_redacted_secret();

// Set by the filter, from any thread.
bool encryption_mismatch();
void reset_encryption_mismatch();

// FFmpeg's SRT protocol tells the stream id of a caller it accepted only in a verbose log line,
// "accept streamid [ID], length N\n", before it reads anything from that caller. The av_log
// callback keeps the id of the last such line; the listener forgets it before each accept. Both
// happen on the thread that calls avformat_open_input.
inline constexpr char kAcceptedStreamIdPrefix[] = "accept streamid [";
// The ID of such a line when N is its length in bytes; nullopt for any other text.
std::optional<std::string> parse_accepted_stream_id(std::string_view text);
const std::optional<std::string>& caller_stream_id();
void forget_caller_stream_id();

// Redacts one message, raises the mismatch flag when it tells of one, and returns the text to
// write, cut to 2047 bytes. The cut comes after the redaction so that no piece of the secret
// survives at the edge.
std::string filter_log_message(std::string text);

// av_log callback: the accepted stream id line is kept (caller_stream_id) and not written; other
// messages above AV_LOG_ERROR are dropped; the rest are filtered and written to
// standard error unchanged (no prefix, no added newline).
void quiet_ffmpeg_log(void* context, int level, const char* format, va_list arguments);

// libsrt log handler: warnings are examined for a passphrase problem; errors, and any message that
// tells of a mismatch, are filtered and written to standard error on one line.
void srt_log_handler(void* opaque, int level, const char* file, int line, const char* area,
                     const char* message);

// Installs both callbacks (and lets libsrt's warnings through to its handler).
void install_log_filters();
// Detaches libsrt's handler, so that the secret can be wiped.
void remove_srt_log_handler();

}  // namespace rivlet

#endif  // BRIDGES_SRT_LOG_FILTER_H_
