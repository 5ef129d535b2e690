// The status menu, the interface address, the app-open URL and the update feed rules of
// PlintorPackagedApp.
#include <initializer_list>

#include "agent/plintor_packaged_app.h"
#include "platform/cocoa/bundle.h"
#include "platform/cocoa/files.h"
#include "platform/cocoa/workspace.h"

#ifndef PLINTOR_UPDATE_DOMAIN
#define PLINTOR_UPDATE_DOMAIN "updates.glomark.app"
#endif

namespace {

constexpr const char* kInterfaceFileName = "plintor-url";
constexpr double kReadyPollSeconds = 0.25;
constexpr int kReadyPolls = 120;  // 30 s

bool HasNoCredentialsQueryOrFragment(const NSURL& url) {
  return !url.user() && !url.password() && !url.query() && !url.fragment();
}

bool HostIsOneOf(const NSURL& url, std::initializer_list<const char*> hosts) {
  if (!url.host()) {
    return false;
  }
  const std::string host = NSLowercaseString(*url.host());
  for (const char* candidate : hosts) {
    if (host == candidate) {
      return true;
    }
  }
  return false;
}

bool SchemeIs(const NSURL& url, const char* scheme) {
  return url.scheme() && NSLowercaseString(*url.scheme()) == scheme;
}

}  // namespace

void PlintorPackagedApp::installStatusMenu() {
  statusItem_ = NSStatusBar::systemStatusBar()->statusItemWithLength(NSVariableStatusItemLength);
  NSStatusBarButton* button = statusItem_->button();
  if (std::shared_ptr<NSImage> image = NSImage::imageNamed("Plintor-MenuBarTemplate")) {
    image->setTemplate(true);
    image->setSize(NSSize{18, 18});
    button->setImage(image);
    button->setImagePosition(NSImageLeft);
  }
  if (releaseCandidateMode()) {
    button->setTitle("Plintor RC");
    button->setToolTip("Plintor release candidate is running");
  } else if (nativeTestMode()) {
    button->setTitle("Plintor Native");
    button->setToolTip("Plintor Native Test is running");
  } else {
    button->setTitle("Plintor");
    button->setToolTip("Plintor is running");
  }
  statusItem_->setMenu(buildMenu());
}

std::shared_ptr<NSMenu> PlintorPackagedApp::buildMenu() {
  std::weak_ptr<PlintorPackagedApp> weak = weak_from_this();
  const auto item = [this, weak](const char* title, void (PlintorPackagedApp::*action)(const void*),
                                 const char* key) {
    auto entry = std::make_shared<NSMenuItem>(
        title,
        [weak, action](NSMenuItem* sender) {
          if (auto self = weak.lock()) {
            ((*self).*action)(sender);
          }
        },
        key);
    entry->setTarget(this);
    return entry;
  };
  auto menu = std::make_shared<NSMenu>();
  menu->addItem(item("Open Plintor", &PlintorPackagedApp::openInterface, ""));
  menu->addItem(item("View Logs", &PlintorPackagedApp::openLogs, ""));
  menu->addItem(NSMenuItem::separatorItem());
  const NSInfoValue* version =
      NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleShortVersionString");
  const std::string* version_text = version != nullptr ? version->stringValue() : nullptr;
  auto version_item = std::make_shared<NSMenuItem>(
      version_text != nullptr && !version_text->empty() ? *version_text : "Plintor", nullptr, "");
  version_item->setEnabled(false);
  menu->addItem(version_item);
  menu->addItem(item("Quit Plintor", &PlintorPackagedApp::quitApplication, "q"));
  return menu;
}

void PlintorPackagedApp::openInterface(const void* /*sender*/) {
  openURL(interfaceURL());
}

void PlintorPackagedApp::openLogs(const void* /*sender*/) {
  const NSURL directory = logDirectory();
  NSFileManager::defaultManager()->createDirectoryAtURL(directory, true, nullptr);
  openURL(directory);
}

void PlintorPackagedApp::quitApplication(const void* /*sender*/) {
  quitting_ = true;
  NSApplication::sharedApplication()->terminate(this);
}

void PlintorPackagedApp::openURL(const NSURL& url) const {
  NSWorkspace::sharedWorkspace()->openURL(url);
}

std::optional<NSURL> PlintorPackagedApp::publishedInterfaceURL() const {
  const std::optional<std::string> text = NSString::stringWithContentsOfURLUTF8(
      logDirectory().URLByAppendingPathComponent(kInterfaceFileName));
  if (!text) {
    return std::nullopt;
  }
  std::optional<NSURL> url =
      NSURL::URLWithString(NSString::stringByTrimmingWhitespaceAndNewlines(*text));
  if (!url || !HostIsOneOf(*url, {"127.0.0.1", "localhost"}) || !SchemeIs(*url, "http") ||
      !url->port()) {
    return std::nullopt;
  }
  return url;
}

NSURL PlintorPackagedApp::interfaceURL() const {
  if (std::optional<NSURL> published = publishedInterfaceURL()) {
    return *published;
  }
  return *NSURL::URLWithString(kDefaultInterfaceAddress);
}

std::optional<NSURL> PlintorPackagedApp::readyInterfaceURL() const {
  std::optional<NSURL> published = publishedInterfaceURL();
  if (!published || published->query() || published->user()) {
    return std::nullopt;
  }
  return published;
}

std::optional<NSURL> PlintorPackagedApp::waitForReadyInterfaceURL(
    std::weak_ptr<PlintorPackagedApp> weak) {
  for (int poll = 0;; ++poll) {
    {
      std::shared_ptr<PlintorPackagedApp> self = weak.lock();
      if (!self) {
        return std::nullopt;
      }
      if (std::optional<NSURL> ready = self->readyInterfaceURL()) {
        return ready;
      }
    }
    if (poll == kReadyPolls) {
      return std::nullopt;
    }
    NSThread::sleepForTimeInterval(kReadyPollSeconds);
  }
}

void PlintorPackagedApp::applicationOpenURLs(NSApplication* /*application*/,
                                             const std::vector<NSURL>& urls) {
  for (const NSURL& url : urls) {
    if (isAppOpenURL(url)) {
      handleAppOpen();
      return;
    }
  }
}

bool PlintorPackagedApp::isAppOpenURL(const NSURL& url) const {
  return SchemeIs(url, "plintor") && HostIsOneOf(url, {"open"}) && url.path().empty() &&
         !url.port() && HasNoCredentialsQueryOrFragment(url);
}

void PlintorPackagedApp::handleAppOpen() {
  if (appOpenScheduled_) {
    return;
  }
  appOpenScheduled_ = true;
  NSApplication::sharedApplication()->activateIgnoringOtherApps(true);
  std::weak_ptr<PlintorPackagedApp> weak = weak_from_this();
  dispatch_async(dispatch_get_global_queue(QOS_CLASS_USER_INITIATED, 0), [weak] {
    std::optional<NSURL> ready = waitForReadyInterfaceURL(weak);
    dispatch_async(dispatch_get_main_queue(), [weak, ready] {
      std::shared_ptr<PlintorPackagedApp> self = weak.lock();
      if (!self) {
        return;
      }
      if (ready) {
        self->openURL(*ready);
      }
      self->appOpenScheduled_ = false;
    });
  });
}

bool PlintorPackagedApp::officialHttpsFeed(const std::string& feed) const {
  const std::optional<NSURL> url = NSURL::URLWithString(feed);
  return url && HostIsOneOf(*url, {PLINTOR_UPDATE_DOMAIN, "www." PLINTOR_UPDATE_DOMAIN}) &&
         SchemeIs(*url, "https") && HasNoCredentialsQueryOrFragment(*url) &&
         (!url->port() || *url->port() == 443);
}

bool PlintorPackagedApp::loopbackTestFeed(const std::string& feed) const {
  const std::optional<NSURL> url = NSURL::URLWithString(feed);
  return url && HostIsOneOf(*url, {"127.0.0.1", "localhost", "::1"}) && SchemeIs(*url, "http") &&
         url->port() && HasNoCredentialsQueryOrFragment(*url);
}

bool PlintorPackagedApp::sparkleFeedIsPermitted(const std::string& feed) const {
  return officialHttpsFeed(feed) || (updateTestMode() && loopbackTestFeed(feed));
}
