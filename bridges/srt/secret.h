// The SRT passphrase and its intake from an inherited descriptor.
#ifndef BRIDGES_SRT_SECRET_H_
#define BRIDGES_SRT_SECRET_H_

#include <cstddef>

#include "base/secret_buffer.h"

namespace rivlet {

using base::SecretBuffer;

inline constexpr size_t kMaxPassphraseBytes = 80;
inline constexpr size_t kMinPassphraseBytes = 10;

enum class PassphraseResult {
  kOk,             // *passphrase holds the passphrase, empty for none (length 0)
  kUnreadable,     // "Can't read this source": short read, read error, length field above 80
  kInvalidLength,  // "Invalid passphrase length": a length other than 0 or 10 to 80
};

// Reads a 4-byte big-endian length L and then L bytes from fd, retrying on EINTR, and closes fd
// after a complete read. Every buffer that held passphrase bytes is zeroed before it is released.
PassphraseResult read_passphrase(int fd, SecretBuffer* passphrase);

}  // namespace rivlet

#endif  // BRIDGES_SRT_SECRET_H_
