#include "platform/sparkle/updater.h"

#include <atomic>

#include "platform/cocoa/run_loop.h"

namespace {

std::atomic<SPUUpdaterScript*> script_override{nullptr};

SPUUpdaterScript* CurrentScript() {
  static SPUUpdaterScript standard;
  SPUUpdaterScript* script = script_override.load();
  return script != nullptr ? script : &standard;
}

}  // namespace

bool SPUUpdaterScript::startUpdater(SPUUpdater& /*updater*/, NSError* /*error*/) {
  return true;
}

void SPUUpdaterScript::checkForUpdates(SPUUpdater& updater, SPUUserDriver& /*driver*/) {
  dispatch_async(dispatch_get_main_queue(), [handle = updater.userDriverHandle()] {
    if (auto driver = handle.lock()) {
      (*driver)->showUpdateNotFoundWithError(
          NSError{"SUSparkleErrorDomain", 1001, "You're up to date!"}, [] {});
    }
  });
}

SPUUpdater::SPUUpdater(NSBundle* hostBundle, NSBundle* /*applicationBundle*/,
                       SPUUserDriver* userDriver, const void* /*delegate*/)
    : host_bundle_(hostBundle), driver_(std::make_shared<SPUUserDriver*>(userDriver)) {}

SPUUpdater::~SPUUpdater() = default;

bool SPUUpdater::startUpdater(NSError* error) {
  started_ = CurrentScript()->startUpdater(*this, error);
  return started_;
}

void SPUUpdater::checkForUpdates() {
  if (started_) {
    CurrentScript()->checkForUpdates(*this, **driver_);
  }
}

void SPUUpdater::setScriptForTesting(SPUUpdaterScript* script) {
  script_override.store(script);
}
