#include "platform/cocoa/alert.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "platform/cocoa/files.h"

namespace {

std::mutex alert_mutex;
std::string log_file;
NSAlert::Presenter presenter;

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string FormatAlert(const NSAlert& alert) {
  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) != nullptr) {
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  }
  return std::string(stamp) + " alert: " + alert.messageText() + "\n" + alert.informativeText() +
         "\n";
}

}  // namespace

NSModalResponse NSAlert::runModal() const {
  std::string path;
  Presenter current;
  {
    std::lock_guard<std::mutex> lock(alert_mutex);
    path = log_file;
    current = presenter;
  }
  if (current) {
    return current(*this);
  }
  const std::string text = FormatAlert(*this);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  if (!path.empty()) {
    NSFileManager::defaultManager()->createDirectoryAtURL(
        NSURL::fileURLWithPath(path).URLByDeletingLastPathComponent(), true, nullptr);
    std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "ae"));
    if (file) {
      std::fputs(text.c_str(), file.get());
    }
  }
  return NSAlertFirstButtonReturn;
}

void NSAlert::setLogFile(std::string path) {
  std::lock_guard<std::mutex> lock(alert_mutex);
  log_file = std::move(path);
}

void NSAlert::setPresenterForTesting(Presenter replacement) {
  std::lock_guard<std::mutex> lock(alert_mutex);
  presenter = std::move(replacement);
}
