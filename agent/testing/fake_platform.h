#ifndef AGENT_TESTING_FAKE_PLATFORM_H_
#define AGENT_TESTING_FAKE_PLATFORM_H_

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/cocoa/alert.h"
#include "platform/cocoa/run_loop.h"
#include "platform/cocoa/workspace.h"

namespace agent_testing {

// Values for Info.plist entries.
std::string PlistString(const std::string& text);
std::string PlistBool(bool value);
std::string PlistInteger(long value);

struct RecordedAlert {
  std::string messageText;
  std::string informativeText;
  std::vector<std::string> buttons;
  NSAlertStyle style;
};

// A background queue that keeps its blocks until the test runs them.
class ManualQueue : public DispatchQueue {
 public:
  void async(dispatch_block_t block) override;
  size_t size() const;
  // Runs every kept block (and blocks they add) on the calling thread.
  void runAll();

 private:
  mutable std::mutex mutex_;
  std::deque<dispatch_block_t> blocks_;
};

// The platform around the agent for one test: a temporary directory holding a bundle
// (Plintor.app) and a home directory (HOME is set to it), a fresh shared application and main
// run loop, and recorders for alerts, opened URLs and background work. Sleeping advances a
// virtual clock instead of waiting; on_sleep runs after each advance.
class FakePlatform : public NSWorkspace {
 public:
  FakePlatform();
  ~FakePlatform() override;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // Writes Contents/Info.plist with these (key, value-element) entries and reloads the bundle.
  void setInfo(const std::vector<std::pair<std::string, std::string>>& entries);
  // Writes the supervisor as a shell script with this body (after "#!/bin/sh"), executable.
  void writeSupervisor(const std::string& body);
  // The paths tests look at.
  const std::string& root() const { return root_; }
  std::string home() const { return root_ + "/home"; }
  std::string bundle() const { return root_ + "/Plintor.app"; }
  std::string supervisorPath() const { return bundle() + "/Contents/Resources/agent/Plintor"; }
  std::string logDirectory(const std::string& name = "Plintor") const;
  // Writes a file under the default log directory (or the given directory), creating it.
  void writeLogFile(const std::string& name, const std::string& content,
                    const std::string& directory = "Plintor") const;
  static std::string readFile(const std::string& path);

  // Runs the main run loop until done() holds or the timeout passes.
  bool pumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // NSWorkspace
  bool openURL(const NSURL& url) override;
  std::vector<std::string> openedURLs() const;
  std::vector<RecordedAlert> alerts() const;

  ManualQueue background;
  double virtualSeconds = 0;
  std::function<void(double now)> onSleep;

 private:
  std::string root_;
  std::string saved_home_;
  bool had_home_ = false;
  mutable std::mutex mutex_;
  std::vector<std::string> opened_;
  std::vector<RecordedAlert> alerts_;
};

}  // namespace agent_testing

#endif  // AGENT_TESTING_FAKE_PLATFORM_H_
