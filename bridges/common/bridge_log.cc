#include "bridges/common/bridge_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace bridges {

void BridgeLog::say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measure;
  va_copy(measure, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length > 0) {
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<size_t>(length));
    write(text);
  }
  va_end(arguments);
}

void StdoutLog::write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

BridgeLog& standard_output_log() {
  static StdoutLog log;
  return log;
}

}  // namespace bridges
