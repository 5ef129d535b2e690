// The loopback sender's loop: announce, then publish frames at the requested rate.
#ifndef PLATFORM_NDI_SENDER_H_
#define PLATFORM_NDI_SENDER_H_

#include <csignal>

#include "platform/ndi/sender_options.h"

namespace ndi_loopback {

// Flags set by the program's signal handlers.
struct SenderSignals {
  volatile std::sig_atomic_t stop = 0;
  volatile std::sig_atomic_t error_request = 0;
};

// Runs until signals->stop is set. Returns the exit status: 0 after a stop, 1 when the images
// cannot be loaded or the source cannot be announced (reported on standard error).
int run_sender(const SenderOptions& options, SenderSignals* signals);

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_SENDER_H_
