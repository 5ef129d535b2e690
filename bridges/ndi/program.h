// ndi_bridge as a whole: NDI set-up, the start and end lines, and the bridge loop in between.
#ifndef BRIDGES_NDI_PROGRAM_H_
#define BRIDGES_NDI_PROGRAM_H_

#include <csignal>

namespace ndi_bridge {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNdiSetupFailed = 1;

// Sets NDI up, prints the start lines, runs the bridge until *keep_running is cleared, tears
// everything down and prints the end line. Returns the exit status; the set-up failures are
// reported on standard error.
int run_ndi_bridge(const volatile std::sig_atomic_t* keep_running);

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_PROGRAM_H_
