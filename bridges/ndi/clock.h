// The two clocks of ndi_bridge: monotonic nanoseconds for intervals, the system clock in whole
// microseconds for published times.
#ifndef BRIDGES_NDI_CLOCK_H_
#define BRIDGES_NDI_CLOCK_H_

#include <cstdint>

namespace ndi_bridge {

inline constexpr int64_t kNanosPerMilli = 1000000;
inline constexpr int64_t kNanosPerSecond = 1000000000;

int64_t monotonic_ns();

// Microseconds since the Unix epoch.
int64_t wall_clock_micros();

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_CLOCK_H_
