#include "bridges/srt/run_control.h"

#include <time.h>

#include "base/run_flag.h"

namespace rivlet {

int interrupt_callback(void* /*opaque*/) {
  return base::keep_running() ? 0 : 1;
}

void pause_one_second() {
  if (!base::keep_running()) {
    return;
  }
  const timespec one_second{1, 0};
  ::nanosleep(&one_second, nullptr);
}

}  // namespace rivlet
