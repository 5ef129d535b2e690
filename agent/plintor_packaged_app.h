#ifndef AGENT_PLINTOR_PACKAGED_APP_H_
#define AGENT_PLINTOR_PACKAGED_APP_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "agent/plintor_sparkle_driver.h"
#include "platform/cocoa/application.h"
#include "platform/cocoa/run_loop.h"
#include "platform/cocoa/status_bar.h"
#include "platform/cocoa/task.h"
#include "platform/cocoa/url.h"

// The menu-bar agent's application delegate. It asks the host's packaged supervisor (a
// prepare run and the decision file "plintor-launch.json") whether another copy already owns
// the machine, then adopts that copy or starts the supervisor as its launcher child, watches
// it, stops it on quit, shows the status menu, opens the interface and hosts the update
// driver. All of it runs on the main thread except the wait for the interface address behind
// handleAppOpen. Create it with std::make_shared: the termination handler and background wait
// hold it weakly.
class PlintorPackagedApp : public NSApplicationDelegate,
                           public std::enable_shared_from_this<PlintorPackagedApp> {
 public:
  static constexpr int kHandOverExitStatus = 10;
  static constexpr const char* kDefaultInterfaceAddress = "http://127.0.0.1:8080";

  // NSApplicationDelegate
  void applicationDidFinishLaunching() override;
  NSApplicationTerminateReply applicationShouldTerminate(NSApplication* sender) override;
  void applicationOpenURLs(NSApplication* application, const std::vector<NSURL>& urls) override;

  // Modes, read from the bundle's Info.plist only.
  bool qaMode() const;
  bool nativeTestMode() const;
  bool releaseCandidateMode() const;
  bool updateTestMode() const;
  // HOME when it is an absolute path, otherwise the user's home directory.
  std::string homeDirectory() const;
  // Under homeDirectory: the directory of the first mode that is on (update test, release
  // candidate, QA, native test), else the plain one.
  NSURL logDirectory() const;
  // Contents/Resources/agent/Plintor in the bundle.
  NSURL supervisorURL() const;
  // With a mode on: this process's environment plus "1" for each mode's variables; with none
  // on, nullopt (the child inherits the environment unchanged).
  std::optional<std::map<std::string, std::string>> launcherEnvironment() const;
  void applyLauncherEnvironment(NSTask& task) const;

  // "start", "adopt" or "error".
  std::string runOwnershipPrepare();
  // The object in the decision file, or an empty object when it is missing, unreadable, not
  // JSON or not an object.
  nlohmann::json launchDecision() const;
  std::string launchErrorMessage() const;
  void startPreparedLauncher();
  void startLauncher();
  // Stops a running launcher (SIGTERM, up to 8 s, then SIGKILL); without one, the shutdown run.
  void stopLauncher();
  void runOwnershipShutdown();
  // One modal alert naming the log file; the application comes to the front for it.
  void showError(const std::string& message);
  void startForegroundWatch();
  void pollLauncherRequests();
  void startSparkle();

  // Update feeds.
  bool officialHttpsFeed(const std::string& feed) const;
  bool loopbackTestFeed(const std::string& feed) const;
  bool sparkleFeedIsPermitted(const std::string& feed) const;

  // Status menu, interface and app-open URL.
  void installStatusMenu();
  void openInterface(const void* sender);
  void openLogs(const void* sender);
  void quitApplication(const void* sender);
  // The published address when it is a plain http loopback address with a port, else the
  // default address; never empty.
  NSURL interfaceURL() const;
  // The published address when it also has no query and no user; nullopt until then.
  std::optional<NSURL> readyInterfaceURL() const;
  // Polls readyInterfaceURL every 250 ms for at most 30 s, holding the delegate only while it
  // reads; nullopt when nothing was published in time or the delegate is gone.
  static std::optional<NSURL> waitForReadyInterfaceURL(std::weak_ptr<PlintorPackagedApp> weak);
  bool isAppOpenURL(const NSURL& url) const;
  void handleAppOpen();

  // Properties.
  const std::shared_ptr<NSTask>& launcherTask() const { return launcherTask_; }
  const std::shared_ptr<NSStatusItem>& statusItem() const { return statusItem_; }
  bool quitting() const { return quitting_; }
  bool appOpenScheduled() const { return appOpenScheduled_; }
  const std::shared_ptr<NSTimer>& foregroundTimer() const { return foregroundTimer_; }
  PlintorSparkleDriver* sparkleDriver() const { return sparkleDriver_.get(); }

 private:
  void launcherDidTerminate(int status);
  void openURL(const NSURL& url) const;
  // The trimmed content of "plintor-url" when it parses as an http URL on 127.0.0.1 or
  // localhost that names a port.
  std::optional<NSURL> publishedInterfaceURL() const;
  void quitAfterFailure();
  std::shared_ptr<NSMenu> buildMenu();

  std::shared_ptr<NSTask> launcherTask_;
  std::shared_ptr<NSStatusItem> statusItem_;
  bool quitting_ = false;
  bool appOpenScheduled_ = false;
  std::shared_ptr<NSTimer> foregroundTimer_;
  std::unique_ptr<PlintorSparkleDriver> sparkleDriver_;
};

#endif  // AGENT_PLINTOR_PACKAGED_APP_H_
