// Preloaded into rivlet by the end-to-end tests: every time a file whose name ends with
// $RENAME_RECORD_SUFFIX is renamed into place, its contents are first appended to
// $RENAME_RECORD_FILE. The tests thus see every status document ever published, however briefly.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using RenameFunction = int (*)(const char*, const char*);

bool ends_with(const char* text, const char* suffix) {
  const size_t n = std::strlen(text);
  const size_t m = std::strlen(suffix);
  return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

void append_copy(const char* from, const char* record) {
  const int in = ::open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    return;
  }
  char buffer[8192];
  size_t size = 0;
  ssize_t n = 0;
  while (size < sizeof buffer && (n = ::read(in, buffer + size, sizeof buffer - size)) > 0) {
    size += static_cast<size_t>(n);
  }
  ::close(in);
  const int out = ::open(record, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out >= 0) {
    // One write per document keeps documents whole in the record.
    [[maybe_unused]] const ssize_t written = ::write(out, buffer, size);
    ::close(out);
  }
}

}  // namespace

extern "C" int rename(const char* from, const char* to) {
  static const auto real = reinterpret_cast<RenameFunction>(::dlsym(RTLD_NEXT, "rename"));
  const char* record = std::getenv("RENAME_RECORD_FILE");
  const char* suffix = std::getenv("RENAME_RECORD_SUFFIX");
  if (record != nullptr && suffix != nullptr && ends_with(to, suffix)) {
    append_copy(from, record);
  }
  return real(from, to);
}
