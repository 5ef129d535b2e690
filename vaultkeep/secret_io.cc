#include "vaultkeep/secret_io.h"

#include <utility>

#include "base/full_io.h"

namespace vaultkeep {
namespace {

// With the buffer full at the limit: true when the input ends right there.
bool input_ends_here(int fd) {
  unsigned char probe = 0;
  const ssize_t got = base::read_some(fd, &probe, 1);
  wipe_bytes(&probe, sizeof(probe));
  return got == 0;
}

}  // namespace

bool read_secret(int fd, SecretBuffer* secret) {
  secret->wipe();
  SecretBuffer buffer;
  if (!buffer.reserve(kSecretInitialBytes)) {
    return false;
  }
  for (;;) {
    if (buffer.size() == buffer.capacity()) {
      if (buffer.capacity() >= kSecretMaxBytes) {
        if (!input_ends_here(fd)) {
          return false;  // more than the limit: refused, and `buffer` wipes what it holds
        }
        break;
      }
      if (!buffer.reserve(buffer.capacity() * 2)) {
        return false;
      }
    }
    const ssize_t got =
        base::read_some(fd, buffer.data() + buffer.size(), buffer.capacity() - buffer.size());
    if (got < 0) {
      return false;
    }
    if (got == 0) {
      break;
    }
    buffer.set_size(buffer.size() + static_cast<std::size_t>(got));
  }
  if (buffer.empty()) {
    return false;
  }
  *secret = std::move(buffer);
  return true;
}

bool write_secret(int fd, const void* data, std::size_t size) {
  return base::write_fully(fd, data, size);
}

}  // namespace vaultkeep
