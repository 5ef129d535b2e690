#include "platform/cocoa/workspace.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "platform/cocoa/task.h"

namespace {

std::atomic<NSWorkspace*> workspace_override{nullptr};

std::optional<std::string> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return std::nullopt;
}

}  // namespace

NSWorkspace* NSWorkspace::sharedWorkspace() {
  static NSWorkspace workspace;
  NSWorkspace* override_workspace = workspace_override.load();
  return override_workspace != nullptr ? override_workspace : &workspace;
}

void NSWorkspace::setSharedWorkspaceForTesting(NSWorkspace* workspace) {
  workspace_override.store(workspace);
}

bool NSWorkspace::openURL(const NSURL& url) {
  const std::string target = url.isFileURL() ? url.path() : url.absoluteString();
  const std::optional<std::string> opener = FindOnPath("xdg-open");
  if (!opener) {
    std::printf("Open %s\n", target.c_str());
    std::fflush(stdout);
    return true;
  }
  // The opener is reaped by its task's own thread; nobody waits for it.
  auto task = std::make_shared<NSTask>();
  task->setExecutableURL(NSURL::fileURLWithPath(*opener));
  task->setArguments({target});
  return task->launchAndReturnError(nullptr);
}
