#include "agent/testing/fake_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/cocoa/application.h"
#include "platform/cocoa/bundle.h"

namespace agent_testing {

std::string PlistString(const std::string& text) {
  return "<string>" + text + "</string>";
}
std::string PlistBool(bool value) {
  return value ? "<true/>" : "<false/>";
}
std::string PlistInteger(long value) {
  return "<integer>" + std::to_string(value) + "</integer>";
}

void ManualQueue::async(dispatch_block_t block) {
  std::lock_guard<std::mutex> lock(mutex_);
  blocks_.push_back(std::move(block));
}

size_t ManualQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.size();
}

void ManualQueue::runAll() {
  for (;;) {
    dispatch_block_t block;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (blocks_.empty()) {
        return;
      }
      block = std::move(blocks_.front());
      blocks_.pop_front();
    }
    block();
  }
}

FakePlatform::FakePlatform() {
  std::string pattern = (std::filesystem::temp_directory_path() / "plintor-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  root_ = pattern;
  std::filesystem::create_directories(home());
  std::filesystem::create_directories(bundle() + "/Contents/Resources/agent");
  if (const char* saved = std::getenv("HOME")) {
    had_home_ = true;
    saved_home_ = saved;
  }
  setenv("HOME", home().c_str(), 1);
  NSApplication::resetSharedApplicationForTesting();
  NSWorkspace::setSharedWorkspaceForTesting(this);
  dispatch_set_global_queue_for_testing(&background);
  NSAlert::setPresenterForTesting([this](const NSAlert& alert) {
    std::lock_guard<std::mutex> lock(mutex_);
    alerts_.push_back(RecordedAlert{alert.messageText(), alert.informativeText(), alert.buttons(),
                                    alert.alertStyle()});
    return NSAlertFirstButtonReturn;
  });
  NSThread::setSleeperForTesting([this](double seconds) {
    virtualSeconds += seconds;
    if (onSleep) {
      onSleep(virtualSeconds);
    }
    // Let child processes and reaper threads make real progress meanwhile.
    usleep(1000);
  });
  setInfo({});
}

FakePlatform::~FakePlatform() {
  NSThread::setSleeperForTesting(nullptr);
  NSAlert::setPresenterForTesting(nullptr);
  dispatch_set_global_queue_for_testing(nullptr);
  NSWorkspace::setSharedWorkspaceForTesting(nullptr);
  NSBundle::setMainBundleForTesting(nullptr);
  NSApplication::resetSharedApplicationForTesting();
  if (had_home_) {
    setenv("HOME", saved_home_.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  std::error_code ignored;
  std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(root_, ignored);
}

void FakePlatform::setInfo(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::ofstream plist(bundle() + "/Contents/Info.plist");
  plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
  for (const auto& [key, value] : entries) {
    plist << "  <key>" << key << "</key>\n  " << value << "\n";
  }
  plist << "</dict>\n</plist>\n";
  plist.close();
  NSBundle::setMainBundleForTesting(NSBundle::bundleWithPath(bundle()));
}

void FakePlatform::writeSupervisor(const std::string& body) {
  const std::string path = supervisorPath();
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
}

std::string FakePlatform::logDirectory(const std::string& name) const {
  return home() + "/Library/Logs/" + name;
}

void FakePlatform::writeLogFile(const std::string& name, const std::string& content,
                                const std::string& directory) const {
  std::filesystem::create_directories(logDirectory(directory));
  std::ofstream(logDirectory(directory) + "/" + name, std::ios::binary) << content;
}

std::string FakePlatform::readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool FakePlatform::pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return NSRunLoop::mainRunLoop()->runUntil(done, timeout);
}

bool FakePlatform::openURL(const NSURL& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  opened_.push_back(url.isFileURL() ? url.path() : url.absoluteString());
  return true;
}

std::vector<std::string> FakePlatform::openedURLs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opened_;
}

std::vector<RecordedAlert> FakePlatform::alerts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return alerts_;
}

}  // namespace agent_testing
