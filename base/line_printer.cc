#include "base/line_printer.h"

#include <cstdarg>
#include <cstdio>

namespace base {

void say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::fflush(stdout);
}

}  // namespace base
