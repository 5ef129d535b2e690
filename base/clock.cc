#include "base/clock.h"

#include <chrono>

namespace base {

int64_t monotonic_ns() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
}

int64_t wall_clock_micros() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::microseconds>(since).count();
}

double wall_clock_seconds() {
  return static_cast<double>(wall_clock_micros()) / 1e6;
}

namespace {

class SystemClock : public Clock {
 public:
  int64_t monotonic_ns() override { return base::monotonic_ns(); }
  int64_t wall_clock_micros() override { return base::wall_clock_micros(); }
};

}  // namespace

Clock& system_clock() {
  static SystemClock clock;
  return clock;
}

}  // namespace base
