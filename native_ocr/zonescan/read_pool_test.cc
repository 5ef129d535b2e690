#include "native_ocr/zonescan/read_pool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace native_ocr::zonescan {
namespace {

// Counts the threads that ever ran a task: each counts itself once, the first time.
std::atomic<int> threads_seen{0};
void note_thread() {
  thread_local const bool counted = (++threads_seen, true);
  (void)counted;
}

TEST(ReadPool, RunsEveryTaskOnceOnThreadsThatStay) {
  ReadPool pool;
  threads_seen = 0;
  for (int call = 0; call < 200; ++call) {
    std::vector<std::atomic<int>> runs(37);
    pool.run(runs.size(), 3, [&](size_t i) {
      note_thread();
      ++runs[i];
    });
    for (const std::atomic<int>& r : runs) {
      ASSERT_EQ(r.load(), 1);
    }
  }
  // The caller and two helpers, whatever the number of calls: no thread per call.
  EXPECT_EQ(pool.helpers(), 2u);
  EXPECT_LE(threads_seen.load(), 3);
}

TEST(ReadPool, CallersAtOnceAllFinish) {
  ReadPool pool;
  std::atomic<int> total{0};
  std::vector<std::jthread> callers;
  for (int c = 0; c < 4; ++c) {
    callers.emplace_back([&] {
      for (int call = 0; call < 100; ++call) {
        pool.run(9, 3, [&](size_t) { ++total; });
      }
    });
  }
  callers.clear();
  EXPECT_EQ(total.load(), 4 * 100 * 9);
  EXPECT_LE(pool.helpers(), 2u);
}

// Runs `child` in a forked process that dies by alarm if it hangs; returns its exit status.
int in_forked_child(const std::function<int()>& child) {
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(30);  // a hang in the child ends it with SIGALRM instead of blocking the test
    _exit(child());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Whether a run on three threads ran each of nine tasks once.
bool runs_every_task(ReadPool& pool) {
  std::vector<std::atomic<int>> runs(9);
  pool.run(runs.size(), 3, [&](size_t i) { ++runs[i]; });
  return std::all_of(runs.begin(), runs.end(), [](const std::atomic<int>& r) { return r == 1; });
}

TEST(ReadPool, AForkedChildReadsWithoutTheParentsHelpers) {
  auto own = std::make_unique<ReadPool>();
  ASSERT_TRUE(runs_every_task(*own));
  ASSERT_TRUE(runs_every_task(*shared_read_pool()));
  ASSERT_EQ(own->helpers(), 2u);
  EXPECT_EQ(in_forked_child([&] {
              // The parent's pool runs every task here on the calling thread, and is destroyed
              // without waiting for helpers that this process does not have.
              const bool alone = runs_every_task(*own) && own->helpers() == 0;
              own.reset();
              if (!alone) {
                return 1;
              }
              // The shared pool is this process's own, and starts helpers of its own.
              ReadPool& shared = *shared_read_pool();
              const bool fresh = shared.helpers() == 0;
              return fresh && runs_every_task(shared) && shared.helpers() == 2 ? 0 : 2;
            }),
            0);
  // The parent's pools are untouched by the child.
  EXPECT_TRUE(runs_every_task(*own));
  EXPECT_EQ(own->helpers(), 2u);
  EXPECT_TRUE(runs_every_task(*shared_read_pool()));
}

}  // namespace
}  // namespace native_ocr::zonescan
