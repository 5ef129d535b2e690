// Byte buffers for secrets and for anything that may hold one: their memory is overwritten with
// zeros whenever it is released, including the old block when a vector grows.
#ifndef PLATFORM_SECURITY_WIPED_BYTES_H_
#define PLATFORM_SECURITY_WIPED_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/secret_buffer.h"

namespace security_store {

template <typename T>
struct WipingAllocator {
  using value_type = T;

  WipingAllocator() = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) {}  // NOLINT: allocators convert implicitly

  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) {
    base::wipe_bytes(p, n * sizeof(T));  // never optimised away, unlike memset before free
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const WipingAllocator<U>&) const {
    return true;
  }
};

using Bytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

}  // namespace security_store

#endif  // PLATFORM_SECURITY_WIPED_BYTES_H_
