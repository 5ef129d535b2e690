// Process-wide run flag, signal handling, clocks and progress lines.
#ifndef BRIDGES_SRT_RUN_CONTROL_H_
#define BRIDGES_SRT_RUN_CONTROL_H_

#include <cstdint>

namespace rivlet {

// True until SIGINT or SIGTERM (or request_stop) clears the flag.
bool keep_running();
void request_stop();
// Sets the flag again (tests run several loops in one process).
void reset_keep_running();

// Signal handler for SIGINT and SIGTERM: only clears the flag.
void handle_signal(int signal_number);
// Installs handle_signal for SIGINT and SIGTERM, without SA_RESTART so that blocking calls return.
void install_signal_handlers();

// FFmpeg's interrupt callback: nonzero once the flag is cleared.
int interrupt_callback(void* opaque);

// Sleeps for about a second; a signal ends the sleep early.
void pause_one_second();

int64_t monotonic_ns();

// printf to standard output, flushed at once.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace rivlet

#endif  // BRIDGES_SRT_RUN_CONTROL_H_
