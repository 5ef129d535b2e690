// A persistent pool of reading threads: started once, reused by every call. Threads that run
// OpenCV keep memory of their own for as long as they live, so fresh threads per call would grow
// the process without end; these never end before the pool does.
#ifndef NATIVE_OCR_ZONESCAN_READ_POOL_H_
#define NATIVE_OCR_ZONESCAN_READ_POOL_H_

#include <condition_variable>
#include <cstddef>
#include <functional>
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
  // runs its tasks on the calling thread alone. Tasks must not throw.
  void run(size_t count, size_t threads, const std::function<void(size_t)>& task);

  // The helper threads started so far.
  size_t helpers() const;

 private:
  struct Batch;
  void serve();
  static void work_on(Batch* batch);

  mutable std::mutex mutex_;
  std::condition_variable wake_;  // a batch is on offer, or the pool stops
  std::condition_variable idle_;  // a helper left its batch
  std::mutex run_;                // held by the caller whose batch the helpers serve
  std::vector<std::jthread> helpers_;
  Batch* batch_ = nullptr;  // the batch on offer, under mutex_
  size_t generation_ = 0;   // batches offered so far, under mutex_
  bool stopping_ = false;
};

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_READ_POOL_H_
