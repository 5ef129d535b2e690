// A secret in memory: a move-only byte buffer that overwrites itself with zeros (in a way the
// compiler may not remove) before its memory is released, and that has no way of being printed.
#ifndef BASE_SECRET_BUFFER_H_
#define BASE_SECRET_BUFFER_H_

#include <cstddef>
#include <iosfwd>
#include <string_view>

namespace base {

// Overwrites size bytes at data with zeros: explicit_bzero here, memset_s on macOS.
void wipe_bytes(void* data, std::size_t size);

class SecretBuffer {
 public:
  SecretBuffer() = default;
  // size zero bytes; an empty buffer when the memory cannot be had.
  explicit SecretBuffer(std::size_t size);
  ~SecretBuffer() { wipe(); }
  SecretBuffer(SecretBuffer&& other) noexcept;
  SecretBuffer& operator=(SecretBuffer&& other) noexcept;
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  // Enlarges the buffer to capacity bytes, keeping its contents; the old block is wiped. False
  // (and the buffer unchanged) when the memory cannot be had.
  bool reserve(std::size_t capacity);
  // Wipes and releases the memory now; the buffer is empty afterwards.
  void wipe();

  unsigned char* data() { return data_; }
  const unsigned char* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  // Sets how many bytes at the start are the secret; at most capacity().
  void set_size(std::size_t size) { size_ = size <= capacity_ ? size : capacity_; }
  // The secret's bytes; valid until the buffer changes.
  std::string_view view() const {
    return std::string_view(reinterpret_cast<const char*>(data_), size_);
  }

 private:
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Secrets are never written to a stream.
std::ostream& operator<<(std::ostream& out, const SecretBuffer& secret) = delete;

}  // namespace base

#endif  // BASE_SECRET_BUFFER_H_
