#include "vaultkeep/secret_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>

namespace vaultkeep {
namespace {

// A descriptor reading `bytes` from an unlinked temporary file.
class InputFile {
 public:
  explicit InputFile(const std::string& bytes) {
    FILE* file = ::tmpfile();
    if (file != nullptr) {
      std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::fflush(file);
      fd_ = ::dup(::fileno(file));
      std::fclose(file);
      ::lseek(fd_, 0, SEEK_SET);
    }
  }
  ~InputFile() { ::close(fd_); }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

std::string contents(const SecretBuffer& secret) {
  return std::string(reinterpret_cast<const char*>(secret.data()), secret.size());
}

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(i * 7 + i / 4096);
  }
  return bytes;
}

TEST(ReadSecretTest, KeepsBytesExactlyAcrossEveryEnlargement) {
  for (std::size_t size : {std::size_t{1}, std::size_t{4095}, std::size_t{4096}, std::size_t{4097},
                           std::size_t{300000}, kSecretMaxBytes}) {
    std::string input = pattern(size);
    InputFile file(input);
    SecretBuffer secret;
    ASSERT_TRUE(read_secret(file.fd(), &secret)) << size;
    EXPECT_EQ(contents(secret), input) << size;
  }
}

TEST(ReadSecretTest, TrailingNewlineAndNulBytesArePartOfTheSecret) {
  std::string input("pa\0ss\n", 6);
  InputFile file(input);
  SecretBuffer secret;
  ASSERT_TRUE(read_secret(file.fd(), &secret));
  EXPECT_EQ(contents(secret), input);
}

TEST(ReadSecretTest, EmptyOversizedAndUnreadableInputsAreRefused) {
  SecretBuffer secret;
  {
    InputFile empty("");
    EXPECT_FALSE(read_secret(empty.fd(), &secret));
  }
  for (std::size_t size : {kSecretMaxBytes + 1, 2 * kSecretMaxBytes}) {
    InputFile file(pattern(size));
    EXPECT_FALSE(read_secret(file.fd(), &secret)) << size;
    EXPECT_TRUE(secret.empty());
  }
  int write_only = ::open("/dev/null", O_WRONLY);
  EXPECT_FALSE(read_secret(write_only, &secret));
  ::close(write_only);
}

TEST(ReadSecretTest, ReadsFromAPipeInPieces) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ASSERT_EQ(::write(fds[1], "abc", 3), 3);
  ASSERT_EQ(::write(fds[1], "def\n", 4), 4);
  ::close(fds[1]);
  SecretBuffer secret;
  ASSERT_TRUE(read_secret(fds[0], &secret));
  ::close(fds[0]);
  EXPECT_EQ(contents(secret), "abcdef\n");
}

TEST(WriteSecretTest, FailedWriteIsReported) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  ::signal(SIGPIPE, SIG_IGN);
  EXPECT_FALSE(write_secret(fds[1], "x", 1));
  ::close(fds[1]);
  int read_only = ::open("/dev/null", O_RDONLY);
  EXPECT_FALSE(write_secret(read_only, "x", 1));
  ::close(read_only);
}

}  // namespace
}  // namespace vaultkeep
