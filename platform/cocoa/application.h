#ifndef PLATFORM_COCOA_APPLICATION_H_
#define PLATFORM_COCOA_APPLICATION_H_

#include <memory>
#include <vector>

#include "platform/cocoa/url.h"

class NSApplication;

enum NSApplicationActivationPolicy {
  NSApplicationActivationPolicyRegular = 0,
  NSApplicationActivationPolicyAccessory = 1,
  NSApplicationActivationPolicyProhibited = 2,
};

enum NSApplicationTerminateReply {
  NSTerminateCancel = 0,
  NSTerminateNow = 1,
  NSTerminateLater = 2,
};

// The calls the application makes on its delegate, all on the main thread.
class NSApplicationDelegate {
 public:
  virtual ~NSApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() {}
  virtual NSApplicationTerminateReply applicationShouldTerminate(NSApplication* /*sender*/) {
    return NSTerminateNow;
  }
  // application:openURLs:
  virtual void applicationOpenURLs(NSApplication* /*application*/,
                                   const std::vector<NSURL>& /*urls*/) {}
};

// The shared application: activation policy, the delegate, the main run loop and termination.
// Here "terminate" ends the run loop (run() returns) instead of exiting the process, and
// SIGTERM, SIGINT or SIGHUP sent to the process during run() is a termination request.
class NSApplication {
 public:
  static NSApplication* sharedApplication();
  // A fresh shared application and an empty main run loop (between tests).
  static void resetSharedApplicationForTesting();

  // The delegate is held weakly, as in Cocoa; the caller keeps it alive.
  void setDelegate(std::weak_ptr<NSApplicationDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  bool setActivationPolicy(NSApplicationActivationPolicy policy);
  NSApplicationActivationPolicy activationPolicy() const { return policy_; }
  void activateIgnoringOtherApps(bool flag);
  int activationCount() const { return activations_; }

  // URLs handed to the application (its command line here), delivered to the delegate's
  // applicationOpenURLs once launching has finished.
  void openURLsAfterLaunch(std::vector<NSURL> urls) { pending_urls_ = std::move(urls); }
  // Finishes launching (the delegate's applicationDidFinishLaunching, then pending URLs) and
  // runs the main run loop until the application terminates.
  void run();
  // Asks the delegate (applicationShouldTerminate:); on NSTerminateNow the application ends.
  void terminate(const void* sender);
  bool isTerminated() const { return terminated_; }

 private:
  void finishLaunching();

  std::weak_ptr<NSApplicationDelegate> delegate_;
  NSApplicationActivationPolicy policy_ = NSApplicationActivationPolicyRegular;
  int activations_ = 0;
  std::vector<NSURL> pending_urls_;
  bool terminated_ = false;
};

#endif  // PLATFORM_COCOA_APPLICATION_H_
