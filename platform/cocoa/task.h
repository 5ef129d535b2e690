#ifndef PLATFORM_COCOA_TASK_H_
#define PLATFORM_COCOA_TASK_H_

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/cocoa/error.h"
#include "platform/cocoa/url.h"

enum class NSTaskTerminationReason { kExit = 1, kUncaughtSignal = 2 };

// A child process in the shape of Foundation's NSTask, started with posix_spawn. Each launched
// task has a reaper thread that waits for the child, records how it ended and then calls the
// termination handler on that thread. Create tasks with std::make_shared: the reaper keeps the
// task alive until the handler has returned.
class NSTask : public std::enable_shared_from_this<NSTask> {
 public:
  using TerminationHandler = std::function<void(NSTask* task)>;

  NSTask() = default;
  NSTask(const NSTask&) = delete;
  NSTask& operator=(const NSTask&) = delete;

  void setExecutableURL(const NSURL& url) { executable_ = url; }
  void setArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }
  // nullopt (the default) lets the child inherit this process's environment.
  void setEnvironment(std::optional<std::map<std::string, std::string>> environment) {
    environment_ = std::move(environment);
  }
  const std::optional<std::map<std::string, std::string>>& environment() const {
    return environment_;
  }
  // nullopt (the default) keeps this process's working directory.
  void setCurrentDirectoryURL(std::optional<NSURL> url) { directory_ = std::move(url); }
  void setTerminationHandler(TerminationHandler handler);

  // Starts the child once. On failure (no executable set, already launched, spawn or exec
  // failed) fills *error when given and returns false.
  bool launchAndReturnError(NSError* error);
  // Blocks until the child has ended and has been reaped; returns at once if never launched.
  void waitUntilExit();
  bool isRunning() const;
  // The exit status, or the signal number when a signal ended the child; 0 before the end.
  int terminationStatus() const;
  NSTaskTerminationReason terminationReason() const;
  // Sends SIGTERM while the child runs.
  void terminate();
  // The child's process id, 0 before launch.
  pid_t processIdentifier() const;

 private:
  void reap(pid_t pid);

  std::optional<NSURL> executable_;
  std::vector<std::string> arguments_;
  std::optional<std::map<std::string, std::string>> environment_;
  std::optional<NSURL> directory_;

  mutable std::mutex mutex_;
  std::condition_variable ended_;
  TerminationHandler handler_;
  pid_t pid_ = 0;
  bool launched_ = false;
  bool running_ = false;
  bool reaped_ = false;
  int status_ = 0;
  NSTaskTerminationReason reason_ = NSTaskTerminationReason::kExit;
};

#endif  // PLATFORM_COCOA_TASK_H_
