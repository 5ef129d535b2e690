#include "base/full_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "base/file_handle.h"

namespace base {
namespace {

struct Pipe {
  Pipe() {
    int ends[2];
    if (::pipe(ends) == 0) {
      read_end.reset(ends[0]);
      write_end.reset(ends[1]);
    }
  }
  UniqueFd read_end;
  UniqueFd write_end;
};

void ignore_signal(int /*signal_number*/) {}

TEST(FullIoTest, ReadFullyCollectsPiecesAndTellsEndOfFileFromAnError) {
  Pipe pipe;
  ASSERT_TRUE(write_fully(pipe.write_end.get(), "abc", 3));
  ASSERT_TRUE(write_fully(pipe.write_end.get(), "def", 3));
  pipe.write_end.close();
  char got[4] = {};
  ASSERT_TRUE(read_fully(pipe.read_end.get(), got, 4));
  EXPECT_EQ(std::string(got, 4), "abcd");
  errno = EINVAL;
  EXPECT_FALSE(read_fully(pipe.read_end.get(), got, 4));  // two bytes, then the end
  EXPECT_EQ(errno, 0);
  EXPECT_FALSE(read_fully(-1, got, 1));
  EXPECT_EQ(errno, EBADF);
}

TEST(FullIoTest, ReadsRetryWhenASignalInterruptsThem) {
  struct sigaction action {};
  action.sa_handler = ignore_signal;  // no SA_RESTART: the blocked read fails with EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
  Pipe pipe;
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    ::usleep(100000);
    ::kill(parent, SIGUSR1);
    ::usleep(100000);
    ::_exit(write_fully(pipe.write_end.get(), "late", 4) ? 0 : 1);
  }
  char got[4] = {};
  EXPECT_TRUE(read_fully(pipe.read_end.get(), got, 4));
  EXPECT_EQ(std::string(got, 4), "late");
  int status = 0;
  ::waitpid(child, &status, 0);
  ::sigaction(SIGUSR1, &previous, nullptr);
}

TEST(FullIoTest, PreadFullyReadsAtTheOffsetAndWriteFailuresAreReported) {
  FileHandle file(std::tmpfile());
  ASSERT_NE(file, nullptr);
  const int fd = ::fileno(file.get());
  ASSERT_TRUE(write_fully(fd, "0123456789", 10));
  char got[3] = {};
  ASSERT_TRUE(pread_fully(fd, got, 3, 6));
  EXPECT_EQ(std::string(got, 3), "678");
  EXPECT_FALSE(pread_fully(fd, got, 3, 8));

  UniqueFd read_only(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  EXPECT_FALSE(write_fully(read_only.get(), "x", 1));
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace base
