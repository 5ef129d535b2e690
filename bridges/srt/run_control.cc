#include "bridges/srt/run_control.h"

#include <signal.h>
#include <time.h>

#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>

namespace rivlet {

namespace {

volatile std::sig_atomic_t g_keep_running = 1;

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

void handle_signal(int /*signal_number*/) {
  g_keep_running = 0;
}

void install_signal_handlers() {
  struct sigaction action {};
  action.sa_handler = handle_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interrupt_callback(void* /*opaque*/) {
  return keep_running() ? 0 : 1;
}

void pause_one_second() {
  if (!keep_running()) {
    return;
  }
  const timespec one_second{1, 0};
  ::nanosleep(&one_second, nullptr);
}

int64_t monotonic_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::fflush(stdout);
}

}  // namespace rivlet
