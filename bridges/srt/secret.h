// The SRT passphrase: a buffer that wipes itself, and its intake from an inherited descriptor.
#ifndef BRIDGES_SRT_SECRET_H_
#define BRIDGES_SRT_SECRET_H_

#include <cstddef>
#include <memory>
#include <string_view>

namespace rivlet {

// Move-only bytes that are overwritten with zeros before they are released. Never printed.
class SecretBuffer {
 public:
  SecretBuffer() = default;
  explicit SecretBuffer(size_t size);  // zero-filled
  ~SecretBuffer() { wipe(); }
  SecretBuffer(SecretBuffer&& other) noexcept;
  SecretBuffer& operator=(SecretBuffer&& other) noexcept;
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  char* data() { return bytes_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return std::string_view(bytes_.get(), size_); }

  // Zeroes the bytes and empties the buffer.
  void wipe();

 private:
  std::unique_ptr<char[]> bytes_;
  size_t size_ = 0;
};

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
