// A secret in memory: a move-only byte buffer that overwrites itself with zeros before its memory
// is released, and that has no way of being printed.
#ifndef VAULTKEEP_SECRET_BUFFER_H_
#define VAULTKEEP_SECRET_BUFFER_H_

#include <cstddef>
#include <iosfwd>

namespace vaultkeep {

// Overwrites `size` bytes at `data` with zeros in a way the compiler may not remove.
void WipeBytes(void* data, std::size_t size);

class SecretBuffer {
 public:
  SecretBuffer() = default;
  ~SecretBuffer();
  SecretBuffer(SecretBuffer&& other) noexcept;
  SecretBuffer& operator=(SecretBuffer&& other) noexcept;
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  // Enlarges the buffer to `capacity` bytes, keeping its contents; the old block is wiped. False
  // (and the buffer unchanged) when the memory cannot be had.
  bool Reserve(std::size_t capacity);
  // Wipes and releases the memory now.
  void Clear();

  unsigned char* data() { return data_; }
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  // Sets how many bytes at the start are the secret; at most capacity().
  void set_size(std::size_t size) { size_ = size <= capacity_ ? size : capacity_; }

 private:
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Secrets are never written to a stream.
std::ostream& operator<<(std::ostream& out, const SecretBuffer& secret) = delete;

inline constexpr std::size_t kSecretInitialBytes = 4096;
inline constexpr std::size_t kSecretMaxBytes = 1048576;

// Reads everything from `fd` up to end of file into `*secret`, starting with a 4 KiB buffer and
// doubling it whenever it is full, up to 1 MiB. Returns false (with `*secret` wiped and empty) on a
// read error, a failed enlargement, input longer than 1 MiB, or empty input. The bytes are kept as
// they are, a trailing newline included.
bool ReadSecret(int fd, SecretBuffer* secret);

// Writes all `size` bytes at `data` to `fd` directly (no stdio buffer keeps a copy). False on any
// failed or short write.
bool WriteSecret(int fd, const void* data, std::size_t size);

}  // namespace vaultkeep

#endif  // VAULTKEEP_SECRET_BUFFER_H_
