// rivlet's use of the process-wide run flag (base/run_flag.h): FFmpeg's interrupt callback and the
// pause between listen attempts.
#ifndef BRIDGES_SRT_RUN_CONTROL_H_
#define BRIDGES_SRT_RUN_CONTROL_H_

namespace rivlet {

// FFmpeg's interrupt callback: nonzero once the run flag is cleared.
int interrupt_callback(void* opaque);

// Sleeps for about a second; a signal ends the sleep early, and a cleared flag skips it.
void pause_one_second();

}  // namespace rivlet

#endif  // BRIDGES_SRT_RUN_CONTROL_H_
