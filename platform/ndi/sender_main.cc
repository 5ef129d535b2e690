// ndi_loopback_send: a source for the loopback NDI layer. See --help.
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/ndi/sender.h"
#include "platform/ndi/sender_options.h"

namespace {

constexpr int kExitUsage = 2;

ndi_loopback::SenderSignals signals;

void handle_stop(int /*signal*/) {
  signals.stop = 1;
}
void handle_error_request(int /*signal*/) {
  signals.error_request = 1;
}

void install(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  ndi_loopback::SenderOptions options;
  std::string err;
  switch (ndi_loopback::parse_sender_options(argc, argv, &options, &err)) {
    case ndi_loopback::ParseOutcome::kHelp:
      std::fputs(ndi_loopback::sender_usage().c_str(), stdout);
      return 0;
    case ndi_loopback::ParseOutcome::kError:
      std::fprintf(stderr, "ndi_loopback_send: %s\nTry 'ndi_loopback_send --help'.\n", err.c_str());
      return kExitUsage;
    case ndi_loopback::ParseOutcome::kRun:
      break;
  }
  install(SIGINT, handle_stop);
  install(SIGTERM, handle_stop);
  install(SIGUSR1, handle_error_request);
  return ndi_loopback::run_sender(options, &signals);
}
