// Reading a secret from a descriptor into a wiping buffer (base/secret_buffer.h), and writing one
// out without a stdio copy.
#ifndef VAULTKEEP_SECRET_IO_H_
#define VAULTKEEP_SECRET_IO_H_

#include <cstddef>

#include "base/secret_buffer.h"

namespace vaultkeep {

using base::SecretBuffer;
using base::wipe_bytes;

inline constexpr std::size_t kSecretInitialBytes = 4096;
inline constexpr std::size_t kSecretMaxBytes = 1048576;

// Reads everything from `fd` up to end of file into `*secret`, starting with a 4 KiB buffer and
// doubling it whenever it is full, up to 1 MiB. Returns false (with `*secret` wiped and empty) on a
// read error, a failed enlargement, input longer than 1 MiB, or empty input. The bytes are kept as
// they are, a trailing newline included.
bool read_secret(int fd, SecretBuffer* secret);

// Writes all `size` bytes at `data` to `fd` directly (no stdio buffer keeps a copy). False on any
// failed or short write.
bool write_secret(int fd, const void* data, std::size_t size);

}  // namespace vaultkeep

#endif  // VAULTKEEP_SECRET_IO_H_
