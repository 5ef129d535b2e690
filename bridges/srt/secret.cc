#include "bridges/srt/secret.h"

#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace rivlet {

namespace {

// Reads exactly size bytes; false on end of file or an error other than EINTR.
bool read_exactly(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

SecretBuffer::SecretBuffer(size_t size) : bytes_(new char[size == 0 ? 1 : size]()), size_(size) {}

SecretBuffer::SecretBuffer(SecretBuffer&& other) noexcept
    : bytes_(std::move(other.bytes_)), size_(std::exchange(other.size_, 0)) {}

SecretBuffer& SecretBuffer::operator=(SecretBuffer&& other) noexcept {
  if (this != &other) {
    wipe();
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SecretBuffer::wipe() {
  if (bytes_ != nullptr) {
    ::explicit_bzero(bytes_.get(), size_);
  }
  bytes_.reset();
  size_ = 0;
}

PassphraseResult read_passphrase(int fd, SecretBuffer* passphrase) {
  passphrase->wipe();
  unsigned char header[4];
  if (!read_exactly(fd, reinterpret_cast<char*>(header), sizeof header)) {
    return PassphraseResult::kUnreadable;
  }
  const uint32_t length = (uint32_t{header[0]} << 24) | (uint32_t{header[1]} << 16) |
                          (uint32_t{header[2]} << 8) | uint32_t{header[3]};
  if (length > kMaxPassphraseBytes) {
    return PassphraseResult::kUnreadable;
  }
  SecretBuffer buffer(length);
  if (!read_exactly(fd, buffer.data(), length)) {
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
