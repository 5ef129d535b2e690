#include "bridges/srt/log_filter.h"

#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <utility>

extern "C" {
#include <libavutil/log.h>
}
#include <srt/srt.h>

namespace rivlet {

namespace {

constexpr int kMaxRedactions = 8;

SecretBuffer g_redacted_secret;
std::atomic<bool> g_encryption_mismatch{false};
std::optional<std::string> g_caller_stream_id;

// The whole formatted message, however long.
std::string format_message(const char* format, va_list arguments) {
  char buffer[kLogLineBytes];
  va_list copy;
  va_copy(copy, arguments);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (n < 0) {
    return std::string();
  }
  if (static_cast<size_t>(n) < sizeof buffer) {
    return std::string(buffer, static_cast<size_t>(n));
  }
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, arguments);
  text.resize(static_cast<size_t>(n));
  return text;
}

}  // namespace

std::string redact(std::string text, std::string_view secret) {
  if (secret.size() < kMinPassphraseBytes) {
    return text;
  }
  for (int i = 0; i < kMaxRedactions; ++i) {
    const size_t at = text.find(secret);
    if (at == std::string::npos) {
      break;
    }
    text.replace(at, secret.size(), kRedacted);
  }
  return text;
}

bool tells_encryption_mismatch(std::string_view text) {
  return text.find("Incorrect passphrase") != std::string_view::npos ||
         text.find("SRTO_PASSPHRASE") != std::string_view::npos;
}

void set_redacted_secret(SecretBuffer secret) {
  g_redacted_secret = std::move(secret);
}

std::string_view redacted_secret() {
  return g_redacted_secret.view();
}

void wipe_redacted_secret() {
  g_redacted_secret.wipe();
}

bool encryption_mismatch() {
  return g_encryption_mismatch.load();
}

void reset_encryption_mismatch() {
  g_encryption_mismatch.store(false);
}

std::optional<std::string> parse_accepted_stream_id(std::string_view text) {
  constexpr std::string_view kPrefix = kAcceptedStreamIdPrefix;
  constexpr std::string_view kLength = "], length ";
  // The id may itself hold "], length ": the last one is the library's.
  const size_t at = text.rfind(kLength);
  if (text.substr(0, kPrefix.size()) != kPrefix || at == std::string_view::npos ||
      at < kPrefix.size() || text.empty() || text.back() != '\n') {
    return std::nullopt;
  }
  const std::string_view number =
      text.substr(at + kLength.size(), text.size() - 1 - at - kLength.size());
  const std::string_view id = text.substr(kPrefix.size(), at - kPrefix.size());
  if (number != std::to_string(id.size())) {
    return std::nullopt;  // cut short by a NUL byte, or not the line it looks like
  }
  return std::string(id);
}

const std::optional<std::string>& caller_stream_id() {
  return g_caller_stream_id;
}

void forget_caller_stream_id() {
  g_caller_stream_id.reset();
}

std::string filter_log_message(std::string text) {
  text = redact(std::move(text), g_redacted_secret.view());
  if (tells_encryption_mismatch(text)) {
    g_encryption_mismatch.store(true);
  }
  if (text.size() >= kLogLineBytes) {
    text.resize(kLogLineBytes - 1);
  }
  return text;
}

void quiet_ffmpeg_log(void* /*context*/, int level, const char* format, va_list arguments) {
  if (level == AV_LOG_VERBOSE && format != nullptr &&
      std::strncmp(format, kAcceptedStreamIdPrefix, std::strlen(kAcceptedStreamIdPrefix)) == 0) {
    // An unreadable line still tells that a caller was accepted; it is taken as one without a
    // stream id, which matches no configured one.
    g_caller_stream_id =
        parse_accepted_stream_id(format_message(format, arguments)).value_or(std::string());
    return;
  }
  if (level > AV_LOG_ERROR) {
    return;
  }
  const std::string text = filter_log_message(format_message(format, arguments));
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void srt_log_handler(void* /*opaque*/, int level, const char* /*file*/, int /*line*/,
                     const char* /*area*/, const char* message) {
  if (level > LOG_WARNING || message == nullptr) {
    return;
  }
  std::string text = filter_log_message(message);
  if (level > LOG_ERR && !tells_encryption_mismatch(text)) {
    return;
  }
  if (text.empty() || text.back() != '\n') {
    text.push_back('\n');
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void install_log_filters() {
  av_log_set_callback(quiet_ffmpeg_log);
  srt_setloghandler(nullptr, srt_log_handler);
  srt_setloglevel(LOG_WARNING);
}

void remove_srt_log_handler() {
  srt_setloghandler(nullptr, nullptr);
}

}  // namespace rivlet
