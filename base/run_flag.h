// The process-wide run flag: set at start, cleared by SIGINT or SIGTERM (or request_stop). The
// signal handler only clears the flag.
#ifndef BASE_RUN_FLAG_H_
#define BASE_RUN_FLAG_H_

#include <csignal>

namespace base {

// True until the flag is cleared.
bool keep_running();
void request_stop();
// Sets the flag again (tests run several loops in one process).
void reset_keep_running();

// The flag itself, for loops that test it directly; nonzero while running.
const volatile std::sig_atomic_t* run_flag();

// Makes SIGINT and SIGTERM clear the flag, without SA_RESTART so that blocking calls return early.
void install_stop_signals();

}  // namespace base

#endif  // BASE_RUN_FLAG_H_
