#include "base/full_io.h"

#include <unistd.h>

#include <cerrno>

namespace base {

namespace {

// Moves all size bytes with transfer(left, done), retrying on EINTR; transfer returns
// what read, write or pread returned.
template <typename Transfer>
bool transfer_all(size_t size, Transfer transfer) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = transfer(size - done, done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      if (n == 0) {
        errno = 0;
      }
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ssize_t read_some(int fd, void* data, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n >= 0 || errno != EINTR) {
      return n;
    }
  }
}

bool read_fully(int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  return transfer_all(size,
                      [&](size_t left, size_t done) { return ::read(fd, bytes + done, left); });
}

bool pread_fully(int fd, void* data, size_t size, off_t offset) {
  auto* bytes = static_cast<char*>(data);
  return transfer_all(size, [&](size_t left, size_t done) {
    return ::pread(fd, bytes + done, left, offset + static_cast<off_t>(done));
  });
}

bool write_fully(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  return transfer_all(size,
                      [&](size_t left, size_t done) { return ::write(fd, bytes + done, left); });
}

}  // namespace base
