#include "platform/cocoa/task.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

// Owns posix_spawn's attribute and file-action objects.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // The child starts with no blocked signals and default handling of the termination signals,
  // whatever the parent set up for itself.
  void ResetSignals() {
    sigset_t empty;
    sigemptyset(&empty);
    posix_spawnattr_setsigmask(&attributes_, &empty);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD}) {
      sigaddset(&defaults, signal_number);
    }
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  int ChangeDirectory(const std::string& path) {
    return posix_spawn_file_actions_addchdir_np(&actions_, path.c_str());
  }
  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

void SetLaunchError(NSError* error, int code, const std::string& path) {
  if (error != nullptr) {
    *error = NSError{"NSPOSIXErrorDomain", code,
                     "The file \"" + path + "\" could not be launched: " + std::strerror(code)};
  }
}

}  // namespace

void NSTask::setTerminationHandler(TerminationHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

bool NSTask::launchAndReturnError(NSError* error) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!executable_ || launched_) {
    SetLaunchError(error, executable_ ? EALREADY : ENOENT, executable_ ? executable_->path() : "");
    return false;
  }
  const std::string path = executable_->path();
  std::vector<std::string> argv_texts{path};
  argv_texts.insert(argv_texts.end(), arguments_.begin(), arguments_.end());
  std::vector<char*> argv = PointersTo(argv_texts);
  std::vector<std::string> env_texts;
  if (environment_) {
    for (const auto& [name, value] : *environment_) {
      env_texts.push_back(name + "=" + value);
    }
  }
  std::vector<char*> envp = PointersTo(env_texts);
  SpawnSetup setup;
  setup.ResetSignals();
  if (directory_) {
    if (const int code = setup.ChangeDirectory(directory_->path()); code != 0) {
      SetLaunchError(error, code, path);
      return false;
    }
  }
  pid_t pid = 0;
  const int code = posix_spawn(&pid, path.c_str(), setup.actions(), setup.attributes(), argv.data(),
                               environment_ ? envp.data() : environ);
  if (code != 0) {
    SetLaunchError(error, code, path);
    return false;
  }
  pid_ = pid;
  launched_ = true;
  running_ = true;
  lock.unlock();
  std::thread([self = shared_from_this(), pid] { self->reap(pid); }).detach();
  return true;
}

void NSTask::reap(pid_t pid) {
  // Wait without reaping first, so that the pid cannot be reused while terminate() may still
  // signal it; mark the end under the lock, then reap.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  TerminationHandler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
    status_ = info.si_status;
    reason_ = info.si_code == CLD_EXITED ? NSTaskTerminationReason::kExit
                                         : NSTaskTerminationReason::kUncaughtSignal;
    int ignored = 0;
    while (waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    handler = handler_;
  }
  ended_.notify_all();
  if (handler) {
    handler(this);
  }
}

void NSTask::waitUntilExit() {
  std::unique_lock<std::mutex> lock(mutex_);
  ended_.wait(lock, [this] { return !launched_ || reaped_; });
}

bool NSTask::isRunning() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

int NSTask::terminationStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

NSTaskTerminationReason NSTask::terminationReason() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reason_;
}

void NSTask::terminate() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_) {
    kill(pid_, SIGTERM);
  }
}

pid_t NSTask::processIdentifier() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pid_;
}
