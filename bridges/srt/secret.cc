#include "bridges/srt/secret.h"

#include <unistd.h>

#include <cstdint>
#include <utility>

#include "base/full_io.h"

namespace rivlet {

PassphraseResult read_passphrase(int fd, SecretBuffer* passphrase) {
  passphrase->wipe();
  unsigned char header[4];
  if (!base::read_fully(fd, header, sizeof header)) {
    return PassphraseResult::kUnreadable;
  }
  const uint32_t length = (uint32_t{header[0]} << 24) | (uint32_t{header[1]} << 16) |
                          (uint32_t{header[2]} << 8) | uint32_t{header[3]};
  if (length > kMaxPassphraseBytes) {
    return PassphraseResult::kUnreadable;
  }
  SecretBuffer buffer(length);
  if (!base::read_fully(fd, buffer.data(), length)) {
    return PassphraseResult::kUnreadable;  // buffer wipes itself
  }
  ::close(fd);
  if (length != 0 && length < kMinPassphraseBytes) {
    return PassphraseResult::kInvalidLength;
  }
  *passphrase = std::move(buffer);
  return PassphraseResult::kOk;
}

}  // namespace rivlet
