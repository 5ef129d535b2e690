// Progress lines on standard output, flushed at once so that a host reading a pipe sees each line
// as it comes.
#ifndef BASE_LINE_PRINTER_H_
#define BASE_LINE_PRINTER_H_

namespace base {

// printf to standard output, then fflush. A failed write is lost, never reported.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace base

#endif  // BASE_LINE_PRINTER_H_
