#include "bridges/ndi/clock.h"

#include <chrono>

namespace ndi_bridge {

int64_t monotonic_ns() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
}

int64_t wall_clock_micros() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::microseconds>(since).count();
}

}  // namespace ndi_bridge
