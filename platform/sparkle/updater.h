#ifndef PLATFORM_SPARKLE_UPDATER_H_
#define PLATFORM_SPARKLE_UPDATER_H_

#include <memory>

#include "platform/cocoa/bundle.h"
#include "platform/cocoa/error.h"
#include "platform/sparkle/user_driver.h"

class SPUUpdater;

// What the updater does when it starts and when it checks. The stand-in's own behaviour starts
// and, on a check, answers (on the main queue) that no update exists. Tests install a script of
// their own to drive a user driver through any sequence of calls.
class SPUUpdaterScript {
 public:
  virtual ~SPUUpdaterScript() = default;
  virtual bool startUpdater(SPUUpdater& updater, NSError* error);
  virtual void checkForUpdates(SPUUpdater& updater, SPUUserDriver& driver);
};

// The updater in the shape of Sparkle's SPUUpdater. It keeps the user driver by pointer: the
// driver owns the updater and outlives it. Work posted to the main queue by a check is dropped
// when the updater is gone by then.
class SPUUpdater {
 public:
  SPUUpdater(NSBundle* hostBundle, NSBundle* applicationBundle, SPUUserDriver* userDriver,
             const void* delegate);
  ~SPUUpdater();
  SPUUpdater(const SPUUpdater&) = delete;
  SPUUpdater& operator=(const SPUUpdater&) = delete;

  bool startUpdater(NSError* error);
  void checkForUpdates();
  bool sessionInProgress() const { return started_; }
  NSBundle* hostBundle() const { return host_bundle_; }

  // The driver, or nullptr once the updater is destroyed; for scripts that post work.
  std::weak_ptr<SPUUserDriver*> userDriverHandle() const { return driver_; }

  // Replaces the stand-in's behaviour (nullptr restores it).
  static void setScriptForTesting(SPUUpdaterScript* script);

 private:
  NSBundle* host_bundle_;
  std::shared_ptr<SPUUserDriver*> driver_;
  bool started_ = false;
};

#endif  // PLATFORM_SPARKLE_UPDATER_H_
