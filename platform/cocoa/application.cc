#include "platform/cocoa/application.h"

#include <pthread.h>
#include <signal.h>

#include <mutex>
#include <thread>

#include "platform/cocoa/run_loop.h"

namespace {

std::mutex shared_mutex;
std::unique_ptr<NSApplication> shared_application;

// Blocks SIGTERM, SIGINT and SIGHUP in this thread (and so in every thread started later) and
// turns each delivery into a termination request on the main queue, so that a closed terminal
// also stops the children. SIGPIPE is ignored: a closed standard output must not end the agent.
// Children are spawned with an empty signal mask and default handlers.
void WatchTerminationSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
      for (;;) {
        int received = 0;
        if (sigwait(&signals, &received) == 0) {
          dispatch_async(dispatch_get_main_queue(),
                         [] { NSApplication::sharedApplication()->terminate(nullptr); });
        }
      }
    }).detach();
  });
}

}  // namespace

NSApplication* NSApplication::sharedApplication() {
  std::lock_guard<std::mutex> lock(shared_mutex);
  if (!shared_application) {
    shared_application = std::make_unique<NSApplication>();
  }
  return shared_application.get();
}

void NSApplication::resetSharedApplicationForTesting() {
  NSRunLoop::mainRunLoop()->reset();
  std::lock_guard<std::mutex> lock(shared_mutex);
  shared_application = std::make_unique<NSApplication>();
}

bool NSApplication::setActivationPolicy(NSApplicationActivationPolicy policy) {
  policy_ = policy;
  return true;
}

void NSApplication::activateIgnoringOtherApps(bool /*flag*/) {
  ++activations_;
}

void NSApplication::run() {
  WatchTerminationSignals();
  finishLaunching();
  if (!terminated_) {
    NSRunLoop::mainRunLoop()->run();
  }
}

void NSApplication::finishLaunching() {
  if (auto delegate = delegate_.lock()) {
    delegate->applicationDidFinishLaunching();
  }
  std::vector<NSURL> urls;
  urls.swap(pending_urls_);
  if (!urls.empty() && !terminated_) {
    if (auto delegate = delegate_.lock()) {
      delegate->applicationOpenURLs(this, urls);
    }
  }
}

void NSApplication::terminate(const void* /*sender*/) {
  if (terminated_) {
    return;
  }
  auto delegate = delegate_.lock();
  if (delegate && delegate->applicationShouldTerminate(this) != NSTerminateNow) {
    return;
  }
  terminated_ = true;
  NSRunLoop::mainRunLoop()->stop();
}
