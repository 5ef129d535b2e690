#include "platform/cocoa/run_loop.h"

#include <atomic>
#include <thread>

namespace {

// Each block gets its own detached thread: the agent's background work is a rare, long wait.
class ThreadQueue : public DispatchQueue {
 public:
  void async(dispatch_block_t block) override { std::thread(std::move(block)).detach(); }
};

std::atomic<dispatch_queue_t> global_queue_override{nullptr};

// Never destroyed: background threads may sleep while the process exits.
std::mutex& SleeperMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}
std::function<void(double)>& Sleeper() {
  static auto* sleeper = new std::function<void(double)>;
  return *sleeper;
}

}  // namespace

dispatch_queue_t dispatch_get_main_queue() {
  return NSRunLoop::mainRunLoop();
}

dispatch_queue_t dispatch_get_global_queue(long /*identifier*/, unsigned long /*flags*/) {
  static ThreadQueue queue;
  dispatch_queue_t override_queue = global_queue_override.load();
  return override_queue != nullptr ? override_queue : &queue;
}

void dispatch_async(dispatch_queue_t queue, dispatch_block_t block) {
  queue->async(std::move(block));
}

void dispatch_set_global_queue_for_testing(dispatch_queue_t queue) {
  global_queue_override.store(queue);
}

NSRunLoop* NSRunLoop::mainRunLoop() {
  // Never destroyed: reaper and background threads may post to it while the process exits.
  static NSRunLoop* loop = new NSRunLoop;
  return loop;
}

void NSRunLoop::async(dispatch_block_t block) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  wake_.notify_all();
}

void NSRunLoop::addTimer(const std::shared_ptr<NSTimer>& timer) {
  std::lock_guard<std::mutex> lock(mutex_);
  timer->next_fire_ = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(timer->interval_));
  timers_.push_back(timer);
}

void NSRunLoop::run() {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopped_) {
        stopped_ = false;
        return;
      }
    }
    runOnce(Clock::now() + std::chrono::hours(24));
  }
}

bool NSRunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  // done() may depend on things outside the loop (files, other processes): look again often.
  constexpr auto kRecheck = std::chrono::milliseconds(10);
  while (!done() && Clock::now() < deadline) {
    runOnce(std::min(deadline, Clock::now() + kRecheck));
  }
  return done();
}

void NSRunLoop::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
}

void NSRunLoop::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  blocks_.clear();
  timers_.clear();
  stopped_ = false;
}

size_t NSRunLoop::pendingBlockCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.size();
}

void NSRunLoop::runOnce(Clock::time_point deadline) {
  std::deque<dispatch_block_t> ready;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    Clock::time_point wake_at = deadline;
    for (const auto& timer : timers_) {
      wake_at = std::min(wake_at, timer->next_fire_);
    }
    wake_.wait_until(lock, wake_at, [this] { return !blocks_.empty() || stopped_; });
    ready.swap(blocks_);
  }
  for (dispatch_block_t& block : ready) {
    block();
  }
  fireDueTimers();
}

bool NSRunLoop::fireDueTimers() {
  std::vector<std::shared_ptr<NSTimer>> due;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    std::erase_if(timers_, [](const auto& timer) { return !timer->valid_; });
    for (const auto& timer : timers_) {
      if (timer->next_fire_ <= now) {
        due.push_back(timer);
        timer->next_fire_ = now + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(timer->interval_));
      }
    }
  }
  for (const auto& timer : due) {
    if (timer->valid_) {
      timer->fire();
    }
  }
  return !due.empty();
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double seconds, bool repeats,
                                                                 Block block) {
  auto timer = std::make_shared<NSTimer>();
  timer->interval_ = seconds > 0.0001 ? seconds : 0.0001;
  timer->repeats_ = repeats;
  timer->block_ = std::move(block);
  NSRunLoop::mainRunLoop()->addTimer(timer);
  return timer;
}

void NSTimer::fire() {
  if (!valid_) {
    return;
  }
  if (!repeats_) {
    valid_ = false;
  }
  if (block_) {
    block_(this);
  }
}

void NSThread::sleepForTimeInterval(double seconds) {
  std::function<void(double)> current;
  {
    std::lock_guard<std::mutex> lock(SleeperMutex());
    current = Sleeper();
  }
  if (current) {
    current(seconds);
  } else if (seconds > 0) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
}

void NSThread::setSleeperForTesting(std::function<void(double)> replacement) {
  std::lock_guard<std::mutex> lock(SleeperMutex());
  Sleeper() = std::move(replacement);
}
