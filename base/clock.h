// The two clocks of the programs: monotonic nanoseconds for intervals, the system clock in whole
// microseconds for published times. Loops that wait on time take a Clock so that a test can run
// them on a fake one.
#ifndef BASE_CLOCK_H_
#define BASE_CLOCK_H_

#include <cstdint>

namespace base {

inline constexpr int64_t kNanosPerMilli = 1000000;
inline constexpr int64_t kNanosPerSecond = 1000000000;

int64_t monotonic_ns();

// Microseconds since the Unix epoch.
int64_t wall_clock_micros();

// Seconds since the Unix epoch from the system clock, taken in whole microseconds.
double wall_clock_seconds();

class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t monotonic_ns() = 0;
  // Microseconds since the Unix epoch.
  virtual int64_t wall_clock_micros() = 0;
};

// The machine's clocks (the free functions above).
Clock& system_clock();

}  // namespace base

#endif  // BASE_CLOCK_H_
