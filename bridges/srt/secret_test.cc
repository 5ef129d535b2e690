#include "bridges/srt/secret.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace rivlet {
namespace {

// A pipe holding bytes, its write end closed. Returns the read end.
int pipe_with(const std::string& bytes) {
  int ends[2];
  if (::pipe(ends) != 0) {
    return -1;
  }
  EXPECT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(ends[1]);
  return ends[0];
}

std::string with_length(uint32_t length, const std::string& body) {
  std::string message;
  message.push_back(static_cast<char>(length >> 24));
  message.push_back(static_cast<char>(length >> 16));
  message.push_back(static_cast<char>(length >> 8));
  message.push_back(static_cast<char>(length));
  return message + body;
}

bool is_open(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

TEST(ReadPassphraseTest, AcceptsNoneOrTenToEightyBytesAndClosesTheDescriptor) {
  for (const std::string& passphrase : {std::string(), std::string(10, 'p'), std::string(80, 'q'),
                                        std::string("a\0b c d e f", 11)}) {
    const int fd = pipe_with(with_length(passphrase.size(), passphrase) + "trailing");
    SecretBuffer secret;
    EXPECT_EQ(read_passphrase(fd, &secret), PassphraseResult::kOk);
    EXPECT_EQ(secret.view(), passphrase);
    EXPECT_FALSE(is_open(fd));
  }
}

TEST(ReadPassphraseTest, RefusesBadLengthsAndShortInput) {
  const std::pair<std::string, PassphraseResult> rows[] = {
      {with_length(9, std::string(9, 'p')), PassphraseResult::kInvalidLength},
      {with_length(1, "p"), PassphraseResult::kInvalidLength},
      {with_length(81, std::string(81, 'p')), PassphraseResult::kUnreadable},
      {with_length(0x01000010, std::string(16, 'p')), PassphraseResult::kUnreadable},
      {with_length(20, std::string(19, 'p')), PassphraseResult::kUnreadable},
      {std::string("\0\0\0", 3), PassphraseResult::kUnreadable},
      {std::string(), PassphraseResult::kUnreadable},
  };
  for (const auto& [bytes, result] : rows) {
    const int fd = pipe_with(bytes);
    SecretBuffer secret(4);
    EXPECT_EQ(read_passphrase(fd, &secret), result) << bytes.size();
    EXPECT_TRUE(secret.empty());
    ::close(fd);
  }
  SecretBuffer secret;
  EXPECT_EQ(read_passphrase(-1, &secret), PassphraseResult::kUnreadable);
}

}  // namespace
}  // namespace rivlet
