#include "vaultkeep/secret_buffer.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <utility>

namespace vaultkeep {
namespace {

enum class ReadOutcome { kData, kEndOfFile, kError };

// One read into `data`, retried when interrupted.
ReadOutcome ReadSome(int fd, unsigned char* data, std::size_t size, std::size_t* got) {
  for (;;) {
    ssize_t n = ::read(fd, data, size);
    if (n > 0) {
      *got = static_cast<std::size_t>(n);
      return ReadOutcome::kData;
    }
    if (n == 0) {
      return ReadOutcome::kEndOfFile;
    }
    if (errno != EINTR) {
      return ReadOutcome::kError;
    }
  }
}

// With the buffer full at the limit: true when the input ends right there.
bool InputEndsHere(int fd) {
  unsigned char probe = 0;
  std::size_t got = 0;
  ReadOutcome outcome = ReadSome(fd, &probe, 1, &got);
  WipeBytes(&probe, sizeof(probe));
  return outcome == ReadOutcome::kEndOfFile;
}

}  // namespace

void WipeBytes(void* data, std::size_t size) {
  if (data != nullptr && size > 0) {
#ifdef __APPLE__
    memset_s(data, size, 0, size);
#else
    explicit_bzero(data, size);
#endif
  }
}

SecretBuffer::~SecretBuffer() {
  Clear();
}

SecretBuffer::SecretBuffer(SecretBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

SecretBuffer& SecretBuffer::operator=(SecretBuffer&& other) noexcept {
  if (this != &other) {
    Clear();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

bool SecretBuffer::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) {
    return true;
  }
  auto* larger = new (std::nothrow) unsigned char[capacity];
  if (larger == nullptr) {
    return false;
  }
  if (size_ > 0) {
    std::memcpy(larger, data_, size_);
  }
  std::size_t size = size_;
  Clear();
  data_ = larger;
  size_ = size;
  capacity_ = capacity;
  return true;
}

void SecretBuffer::Clear() {
  WipeBytes(data_, capacity_);
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

bool ReadSecret(int fd, SecretBuffer* secret) {
  secret->Clear();
  SecretBuffer buffer;
  if (!buffer.Reserve(kSecretInitialBytes)) {
    return false;
  }
  for (;;) {
    if (buffer.size() == buffer.capacity()) {
      if (buffer.capacity() >= kSecretMaxBytes) {
        if (!InputEndsHere(fd)) {
          return false;  // more than the limit: refused, and `buffer` wipes what it holds
        }
        break;
      }
      if (!buffer.Reserve(buffer.capacity() * 2)) {
        return false;
      }
    }
    std::size_t got = 0;
    ReadOutcome outcome =
        ReadSome(fd, buffer.data() + buffer.size(), buffer.capacity() - buffer.size(), &got);
    if (outcome == ReadOutcome::kError) {
      return false;
    }
    if (outcome == ReadOutcome::kEndOfFile) {
      break;
    }
    buffer.set_size(buffer.size() + got);
  }
  if (buffer.empty()) {
    return false;
  }
  *secret = std::move(buffer);
  return true;
}

bool WriteSecret(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace vaultkeep
