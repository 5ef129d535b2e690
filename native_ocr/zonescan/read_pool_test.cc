#include "native_ocr/zonescan/read_pool.h"

#include <gtest/gtest.h>

#include <atomic>
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

TEST(ReadPool, OneThreadAndEmptyRunsStartNoHelper) {
  ReadPool pool;
  int ran = 0;
  pool.run(5, 1, [&](size_t) { ++ran; });
  pool.run(0, 8, [&](size_t) { ++ran; });
  pool.run(1, 8, [&](size_t) { ++ran; });
  EXPECT_EQ(ran, 6);
  EXPECT_EQ(pool.helpers(), 0u);
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

}  // namespace
}  // namespace native_ocr::zonescan
