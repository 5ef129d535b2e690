// ndi_bridge: receives the NDI source the host selects and publishes its preview and status under
// app/static/. Started by the host in its root directory; takes no arguments; stops on SIGINT or
// SIGTERM.
#include <csignal>

#include "base/run_flag.h"
#include "bridges/ndi/program.h"

int main() {
  base::install_stop_signals();
  // A host that stops reading the progress lines must not kill the bridge before its final
  // status write: a failed write to standard output is simply lost.
  std::signal(SIGPIPE, SIG_IGN);
  return ndi_bridge::run_ndi_bridge(base::run_flag());
}
