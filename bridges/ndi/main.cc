// ndi_bridge: receives the NDI source the host selects and publishes its preview and status under
// app/static/. Started by the host in its root directory; takes no arguments; stops on SIGINT or
// SIGTERM.
#include <csignal>

#include "bridges/ndi/bridge.h"

namespace {

volatile std::sig_atomic_t keep_running = 1;

void handle_signal(int /*signal*/) {
  keep_running = 0;
}

}  // namespace

int main() {
  struct sigaction action = {};
  action.sa_handler = handle_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A host that stops reading the progress lines must not kill the bridge before its final
  // status write: a failed write to standard output is simply lost.
  std::signal(SIGPIPE, SIG_IGN);
  return ndi_bridge::run_ndi_bridge(&keep_running);
}
