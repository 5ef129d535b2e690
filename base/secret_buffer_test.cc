#include "base/secret_buffer.h"

#include <cstring>
#include <utility>

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(SecretBufferTest, SizedBufferIsZeroFilledAndMoveTransfersOwnership) {
  SecretBuffer a(12);
  EXPECT_EQ(a.view(), std::string_view("\0\0\0\0\0\0\0\0\0\0\0\0", 12));
  std::memcpy(a.data(), "hello secret", 12);
  SecretBuffer b(std::move(a));
  EXPECT_TRUE(a.empty());        // NOLINT: checking the moved-from state on purpose
  EXPECT_EQ(a.data(), nullptr);  // NOLINT
  EXPECT_EQ(b.view(), "hello secret");
  a = std::move(b);
  EXPECT_EQ(a.view(), "hello secret");
  a.wipe();
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.capacity(), 0u);
  EXPECT_EQ(a.view(), "");
}

TEST(SecretBufferTest, ReserveKeepsContentsAndSizeIsClampedToTheCapacity) {
  SecretBuffer first;
  ASSERT_TRUE(first.reserve(4));
  std::memcpy(first.data(), "abcd", 4);
  first.set_size(4);
  ASSERT_TRUE(first.reserve(1000));
  ASSERT_TRUE(first.reserve(10));  // never shrinks
  EXPECT_EQ(first.capacity(), 1000u);
  EXPECT_EQ(first.view(), "abcd");
  first.set_size(5000);
  EXPECT_EQ(first.size(), 1000u);
}

TEST(WipeBytesTest, ZeroesExactlyTheRange) {
  char bytes[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  wipe_bytes(bytes + 1, 3);
  EXPECT_EQ(std::string_view(bytes, 6), std::string_view("a\0\0\0ef", 6));
  wipe_bytes(nullptr, 4);  // nothing to do
}

}  // namespace
}  // namespace base
