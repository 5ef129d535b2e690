#include "bridges/common/number_format.h"

#include <cstdio>

namespace bridges {

namespace {

// "%.3f" of the largest double needs 313 bytes; "%.17g" at most 24.
constexpr size_t kBufferSize = 400;

std::string from_buffer(const char* buffer, int n) {
  if (n < 0) {
    return std::string();
  }
  return std::string(buffer, static_cast<size_t>(n) < kBufferSize ? n : kBufferSize - 1);
}

}  // namespace

std::string format_general17(double value) {
  char buffer[kBufferSize];
  return from_buffer(buffer, std::snprintf(buffer, sizeof buffer, "%.17g", value));
}

std::string format_fixed3(double value) {
  char buffer[kBufferSize];
  return from_buffer(buffer, std::snprintf(buffer, sizeof buffer, "%.3f", value));
}

}  // namespace bridges
