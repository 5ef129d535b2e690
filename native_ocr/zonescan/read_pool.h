// A persistent pool of reading threads: started once, reused by every call. Threads that run
// OpenCV keep memory of their own for as long as they live, so fresh threads per call would grow
// the process without end; these never end before the pool does.
#ifndef NATIVE_OCR_ZONESCAN_READ_POOL_H_
#define NATIVE_OCR_ZONESCAN_READ_POOL_H_

#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace native_ocr::zonescan {

class ReadPool {
 public:
  // A pool that starts no thread until a run asks for helpers.
  ReadPool() = default;
  ~ReadPool();
  ReadPool(const ReadPool&) = delete;
  ReadPool& operator=(const ReadPool&) = delete;

  // Runs task(0) .. task(count - 1), each once, on at most `threads` threads: the calling one
  // and up to threads - 1 helpers (started the first time so many are asked for, then kept).
  // Returns when every task has run. A run that finds the pool busy with another caller's run
  // runs its tasks on the calling thread alone, and so does a run in a process forked from the
  // one that made the pool (its helpers stayed behind). Tasks must not throw.
  void run(size_t count, size_t threads, const std::function<void(size_t)>& task);

  // The helper threads started so far; none in a forked process.
  size_t helpers() const;

 private:
  struct Batch;
  void serve();
  static void work_on(Batch* batch);

  // What the threads share, apart from the pool so that a forked child can leave it behind: the
  // parent's helpers may have held its mutexes and still count as waiters on its condition
  // variables, and glibc's destroy of a condition variable waits for its waiters to leave.
  struct State {
    std::mutex mutex;
    std::condition_variable wake;  // a batch is on offer, or the pool stops
    std::condition_variable idle;  // a helper left its batch
    std::mutex run;                // held by the caller whose batch the helpers serve
    std::vector<std::jthread> helpers;
    Batch* batch = nullptr;  // the batch on offer, under mutex
    size_t generation = 0;   // batches offered so far, under mutex
    bool stopping = false;
  };
  std::unique_ptr<State> state_ = std::make_unique<State>();
  // The process whose threads these are. After fork() the child has only the forking thread:
  // every helper is gone and a mutex may stay locked by a thread that no longer exists, so a pool
  // checks this before it takes any lock and in another process uses none of its state.
  const pid_t owner_ = getpid();
};

// The process's pool, for readers that share one: created at the first call in each process (a
// forked child gets its own) and never destroyed (no helper is joined while the process exits,
// whatever other threads still do).
const std::shared_ptr<ReadPool>& shared_read_pool();

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_READ_POOL_H_
