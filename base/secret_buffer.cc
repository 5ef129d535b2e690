#include "base/secret_buffer.h"

#include <string.h>

#include <cstring>
#include <new>
#include <utility>

namespace base {

void wipe_bytes(void* data, std::size_t size) {
  if (data != nullptr && size > 0) {
#ifdef __APPLE__
    memset_s(data, size, 0, size);
#else
    explicit_bzero(data, size);
#endif
  }
}

SecretBuffer::SecretBuffer(std::size_t size) {
  if (size > 0 && reserve(size)) {
    std::memset(data_, 0, size);
    size_ = size;
  }
}

SecretBuffer::SecretBuffer(SecretBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

SecretBuffer& SecretBuffer::operator=(SecretBuffer&& other) noexcept {
  if (this != &other) {
    wipe();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

bool SecretBuffer::reserve(std::size_t capacity) {
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
  const std::size_t size = size_;
  wipe();
  data_ = larger;
  size_ = size;
  capacity_ = capacity;
  return true;
}

void SecretBuffer::wipe() {
  wipe_bytes(data_, capacity_);
  delete[] data_;
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

}  // namespace base
