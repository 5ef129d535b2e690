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
  std::atomic<size_t> joined{0};
  std::atomic<size_t> done{0};
  std::mutex mutex;
  std::condition_variable finished;
};

ReadPool::~ReadPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  helpers_.clear();  // joins
}

size_t ReadPool::helpers() const {
  const std::lock_guard lock(mutex_);
  return helpers_.size();
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
  size_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || (batch_ != nullptr && generation_ != seen); });
    if (stopping_) {
      return;
    }
    seen = generation_;
    Batch* batch = batch_;
    if (batch->joined >= batch->helpers) {
      continue;
    }
    ++batch->joined;
    lock.unlock();
    work_on(batch);
    lock.lock();
    if (--batch->joined == 0) {
      idle_.notify_all();
    }
  }
}

void ReadPool::run(size_t count, size_t threads, const std::function<void(size_t)>& task) {
  const size_t helpers = std::min(threads, count) > 1 ? std::min(threads, count) - 1 : 0;
  std::unique_lock owner(run_, std::try_to_lock);
  if (helpers == 0 || !owner.owns_lock()) {
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
    const std::lock_guard lock(mutex_);
    while (helpers_.size() < helpers) {
      helpers_.emplace_back([this] { serve(); });
    }
    batch_ = &batch;
    ++generation_;
  }
  wake_.notify_all();
  work_on(&batch);
  {
    std::unique_lock lock(batch.mutex);
    batch.finished.wait(lock, [&] { return batch.done == batch.count; });
  }
  // No helper may still hold the batch once it is withdrawn.
  std::unique_lock lock(mutex_);
  batch_ = nullptr;
  idle_.wait(lock, [&] { return batch.joined == 0; });
}

}  // namespace native_ocr::zonescan
