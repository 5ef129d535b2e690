#ifndef PLATFORM_COCOA_RUN_LOOP_H_
#define PLATFORM_COCOA_RUN_LOOP_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Dispatch queues, the main run loop, timers and sleeping, in the shape of libdispatch and
// Foundation's NSRunLoop, NSTimer and NSThread.

using dispatch_block_t = std::function<void()>;

class DispatchQueue {
 public:
  virtual ~DispatchQueue() = default;
  // Runs the block later on the queue's thread(s); safe to call from any thread.
  virtual void async(dispatch_block_t block) = 0;
};
using dispatch_queue_t = DispatchQueue*;

constexpr long QOS_CLASS_USER_INITIATED = 0x19;

// The main queue: blocks run on the thread that runs the main run loop.
dispatch_queue_t dispatch_get_main_queue();
// A concurrent background queue; every quality of service shares it.
dispatch_queue_t dispatch_get_global_queue(long identifier, unsigned long flags);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);
// Replaces the background queue (nullptr restores the real one).
void dispatch_set_global_queue_for_testing(dispatch_queue_t queue);

class NSTimer;

// The main thread's run loop: a queue of blocks plus timers.
class NSRunLoop : public DispatchQueue {
 public:
  static NSRunLoop* mainRunLoop();

  void async(dispatch_block_t block) override;
  void addTimer(const std::shared_ptr<NSTimer>& timer);
  // Runs blocks and due timers until stop() is called.
  void run();
  // Runs blocks and due timers until done() holds (checked at least every 10 ms) or the timeout
  // passes; gives done().
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  void stop();
  // Drops pending blocks, timers and the stop request (between tests).
  void reset();
  size_t pendingBlockCount() const;

 private:
  using Clock = std::chrono::steady_clock;

  // Waits until a block is queued, a timer is due, stop() or the deadline; runs what is due.
  void runOnce(Clock::time_point deadline);
  bool fireDueTimers();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<dispatch_block_t> blocks_;
  std::vector<std::shared_ptr<NSTimer>> timers_;
  bool stopped_ = false;
};

// A timer on the main run loop.
class NSTimer {
 public:
  using Block = std::function<void(NSTimer* timer)>;

  static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(double seconds, bool repeats,
                                                                 Block block);
  double timeInterval() const { return interval_; }
  bool repeats() const { return repeats_; }
  bool isValid() const { return valid_; }
  // Runs the block now; a non-repeating timer is then invalid.
  void fire();
  void invalidate() { valid_ = false; }

 private:
  friend class NSRunLoop;

  double interval_ = 0;
  bool repeats_ = false;
  bool valid_ = true;
  Block block_;
  std::chrono::steady_clock::time_point next_fire_;
};

class NSThread {
 public:
  // Sleeps the calling thread (through the test sleeper when one is set).
  static void sleepForTimeInterval(double seconds);
  // Replaces sleeping, for tests that run on a virtual clock (empty restores real sleeping).
  static void setSleeperForTesting(std::function<void(double seconds)> sleeper);
};

#endif  // PLATFORM_COCOA_RUN_LOOP_H_
