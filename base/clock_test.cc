#include "base/clock.h"

#include <cmath>

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(ClockTest, WallClockHasMicrosecondResolutionAndIsCurrent) {
  const double now = wall_clock_seconds();
  EXPECT_GT(now, 1.7e9);
  const double micros = now * 1e6;
  EXPECT_NEAR(micros, std::round(micros), 2.0);
  EXPECT_NEAR(static_cast<double>(system_clock().wall_clock_micros()) / 1e6, now, 1.0);
}

TEST(ClockTest, MonotonicClockNeverGoesBack) {
  const int64_t first = system_clock().monotonic_ns();
  EXPECT_LE(first, monotonic_ns());
}

}  // namespace
}  // namespace base
