#include "base/run_flag.h"

#include <signal.h>

namespace base {

namespace {

volatile std::sig_atomic_t g_keep_running = 1;

void clear_run_flag(int /*signal_number*/) {
  g_keep_running = 0;
}

}  // namespace

bool keep_running() {
  return g_keep_running != 0;
}

void request_stop() {
  g_keep_running = 0;
}

void reset_keep_running() {
  g_keep_running = 1;
}

const volatile std::sig_atomic_t* run_flag() {
  return &g_keep_running;
}

void install_stop_signals() {
  struct sigaction action {};
  action.sa_handler = clear_run_flag;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace base
