#include "native_ocr/zonescan/read_pool.h"

#include <algorithm>
#include <atomic>

namespace native_ocr::zonescan {

// One run's tasks: taken in order by whichever thread is free; `done` counts the finished ones.
struct ReadPool::Batch {
  size_t count = 0;
  size_t helpers = 0;  // how many helpers may join
  const std::function<void(size_t)>* task = nullptr;
  std::atomic<size_t> next{0};
  size_t joined = 0;  // helpers working on it, under the pool's state mutex
  std::atomic<size_t> done{0};
  std::mutex mutex;
  std::condition_variable finished;
};

ReadPool::~ReadPool() {
  if (getpid() != owner_) {
    // The helpers do not exist here: joining them, or destroying what they wait on, would wait
    // on threads of another process. Their state is left behind, as the threads themselves were.
    static_cast<void>(state_.release());
    return;
  }
  {
    const std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  state_->helpers.clear();  // joins
}

size_t ReadPool::helpers() const {
  if (getpid() != owner_) {
    return 0;
  }
  const std::lock_guard lock(state_->mutex);
  return state_->helpers.size();
}

void ReadPool::work_on(Batch* batch) {
  size_t finished = 0;
  for (size_t i = batch->next++; i < batch->count; i = batch->next++) {
    (*batch->task)(i);
    ++finished;
  }
  if (finished > 0 && batch->done.fetch_add(finished) + finished == batch->count) {
    const std::lock_guard lock(batch->mutex);
    batch->finished.notify_all();
  }
}

void ReadPool::serve() {
  State& state = *state_;
  size_t seen = 0;
  std::unique_lock lock(state.mutex);
  for (;;) {
    state.wake.wait(lock, [&] {
      return state.stopping || (state.batch != nullptr && state.generation != seen);
    });
    if (state.stopping) {
      return;
    }
    seen = state.generation;
    Batch* batch = state.batch;
    if (batch->joined >= batch->helpers) {
      continue;
    }
    ++batch->joined;
    lock.unlock();
    work_on(batch);
    lock.lock();
    if (--batch->joined == 0) {
      state.idle.notify_all();
    }
  }
}

void ReadPool::run(size_t count, size_t threads, const std::function<void(size_t)>& task) {
  const size_t helpers = std::min(threads, count) > 1 ? std::min(threads, count) - 1 : 0;
  State& state = *state_;
  std::unique_lock<std::mutex> owner;
  if (helpers > 0 && getpid() == owner_) {  // before any lock: see owner_
    owner = std::unique_lock(state.run, std::try_to_lock);
  }
  if (!owner.owns_lock()) {
    for (size_t i = 0; i < count; ++i) {
      task(i);
    }
    return;
  }
  Batch batch;
  batch.count = count;
  batch.helpers = helpers;
  batch.task = &task;
  {
    const std::lock_guard lock(state.mutex);
    while (state.helpers.size() < helpers) {
      state.helpers.emplace_back([this] { serve(); });
    }
    state.batch = &batch;
    ++state.generation;
  }
  state.wake.notify_all();
  work_on(&batch);
  {
    std::unique_lock lock(batch.mutex);
    batch.finished.wait(lock, [&] { return batch.done == batch.count; });
  }
  // No helper may still hold the batch once it is withdrawn.
  std::unique_lock lock(state.mutex);
  state.batch = nullptr;
  state.idle.wait(lock, [&] { return batch.joined == 0; });
}

// The pool is found by process id rather than reset in a pthread_atfork child handler: that
// handler would run in a process with one thread where only async-signal-safe calls are sound (no
// allocation, no lock of a mutex a lost thread held), and a prepare handler would have to wait
// for every run in progress before fork() could go on. Comparing the id costs a getpid() per call.
namespace {
struct ProcessPool {
  pid_t process;
  std::shared_ptr<ReadPool> pool;
};
}  // namespace

const std::shared_ptr<ReadPool>& shared_read_pool() {
  // Swapped without a lock, which the fork could have left held. A replaced entry is never freed:
  // callers may still hold the reference, and the parent's pool must not be destroyed here.
  static std::atomic<ProcessPool*> current{nullptr};
  const pid_t self = getpid();
  ProcessPool* seen = current.load(std::memory_order_acquire);
  while (seen == nullptr || seen->process != self) {
    auto* made = new ProcessPool{self, std::make_shared<ReadPool>()};  // NOLINT
    if (current.compare_exchange_strong(seen, made, std::memory_order_acq_rel)) {
      return made->pool;
    }
    delete made;  // NOLINT: another thread of this process installed its pool first
  }
  return seen->pool;
}

}  // namespace native_ocr::zonescan
