#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "agent/plintor_packaged_app.h"
#include "agent/testing/fake_platform.h"

namespace {

using agent_testing::FakePlatform;
using agent_testing::PlistBool;
using agent_testing::PlistString;

class StatusMenuTest : public ::testing::Test {
 protected:
  StatusMenuTest() : app_(std::make_shared<PlintorPackagedApp>()) {
    NSApplication::sharedApplication()->setDelegate(app_);
  }

  void Publish(const std::string& content) { platform_.writeLogFile("plintor-url", content); }
  std::vector<std::string> MenuTitles() const {
    std::vector<std::string> titles;
    for (const auto& item : app_->statusItem()->menu()->itemArray()) {
      titles.push_back(item->isSeparatorItem() ? "-" : item->title());
    }
    return titles;
  }

  FakePlatform platform_;
  std::shared_ptr<PlintorPackagedApp> app_;
};

TEST_F(StatusMenuTest, TitleAndToolTipFollowTheMode) {
  const std::string on = PlistString("1");
  const std::vector<
      std::tuple<std::vector<std::pair<std::string, std::string>>, std::string, std::string>>
      cases = {
          {{}, "Plintor", "Plintor is running"},
          {{{"PLINTORQAMode", on}}, "Plintor", "Plintor is running"},
          {{{"PLINTORNativeTest", on}}, "Plintor Native", "Plintor Native Test is running"},
          {{{"PLINTORNativeTest", on}, {"PLINTORReleaseCandidate", on}},
           "Plintor RC",
           "Plintor release candidate is running"},
      };
  for (const auto& [info, title, tip] : cases) {
    SCOPED_TRACE(title);
    platform_.setInfo(info);
    app_->installStatusMenu();
    EXPECT_EQ(app_->statusItem()->button()->title(), title);
    EXPECT_EQ(app_->statusItem()->button()->toolTip(), tip);
    EXPECT_EQ(app_->statusItem()->length(), NSVariableStatusItemLength);
  }
}

TEST_F(StatusMenuTest, MenuItemsInOrder) {
  platform_.setInfo({{"CFBundleShortVersionString", PlistString("0.3.0")}});
  app_->installStatusMenu();
  EXPECT_EQ(MenuTitles(),
            (std::vector<std::string>{"Open Plintor", "View Logs", "-", "0.3.0", "Quit Plintor"}));
  const NSMenu& menu = *app_->statusItem()->menu();
  EXPECT_FALSE(menu.itemWithTitle("0.3.0")->isEnabled());
  EXPECT_FALSE(menu.itemWithTitle("0.3.0")->hasAction());
  EXPECT_EQ(menu.itemWithTitle("Quit Plintor")->keyEquivalent(), "q");
  EXPECT_EQ(menu.itemWithTitle("Open Plintor")->keyEquivalent(), "");
  for (const char* title : {"Open Plintor", "View Logs", "Quit Plintor"}) {
    EXPECT_EQ(menu.itemWithTitle(title)->target(), app_.get());
    EXPECT_TRUE(menu.itemWithTitle(title)->isEnabled());
  }
  for (const std::string& info : {PlistString(""), PlistBool(true)}) {
    platform_.setInfo({{"CFBundleShortVersionString", info}});
    app_->installStatusMenu();
    EXPECT_EQ(MenuTitles()[3], "Plintor");
  }
  EXPECT_EQ(app_->statusItem()->button()->image(), nullptr);
}

TEST_F(StatusMenuTest, BundleImageIsATemplateLeftOfTheTitle) {
  std::ofstream(platform_.bundle() + "/Contents/Resources/Plintor-MenuBarTemplate.png") << "png";
  app_->installStatusMenu();
  const NSStatusBarButton* button = app_->statusItem()->button();
  ASSERT_NE(button->image(), nullptr);
  EXPECT_TRUE(button->image()->isTemplate());
  EXPECT_EQ(button->image()->size().width, 18);
  EXPECT_EQ(button->image()->size().height, 18);
  EXPECT_EQ(button->imagePosition(), NSImageLeft);
}

TEST_F(StatusMenuTest, MenuActions) {
  app_->installStatusMenu();
  const NSMenu& menu = *app_->statusItem()->menu();
  menu.itemWithTitle("Open Plintor")->performAction();
  EXPECT_EQ(platform_.openedURLs(), std::vector<std::string>{"http://127.0.0.1:8080"});
  menu.itemWithTitle("View Logs")->performAction();
  EXPECT_TRUE(std::filesystem::is_directory(platform_.logDirectory()));
  EXPECT_EQ(platform_.openedURLs().back(), platform_.logDirectory());
  menu.itemWithTitle("Quit Plintor")->performAction();
  EXPECT_TRUE(app_->quitting());
  EXPECT_TRUE(NSApplication::sharedApplication()->isTerminated());
}

TEST_F(StatusMenuTest, PublishedAddresses) {
  const std::string fallback = PlintorPackagedApp::kDefaultInterfaceAddress;
  struct Case {
    std::string content;
    std::string interface;
    std::string ready;  // "" for none
  };
  const Case cases[] = {
      {"http://127.0.0.1:9000\n", "http://127.0.0.1:9000", "http://127.0.0.1:9000"},
      {" \thttp://localhost:9000/app#top\r\n", "http://localhost:9000/app#top",
       "http://localhost:9000/app#top"},
      {"HTTP://LOCALHOST:9000", "HTTP://LOCALHOST:9000", "HTTP://LOCALHOST:9000"},
      {"http://127.0.0.1:9000/?token=1", "http://127.0.0.1:9000/?token=1", ""},
      {"http://user@127.0.0.1:9000", "http://user@127.0.0.1:9000", ""},
      {"https://127.0.0.1:9000", fallback, ""},
      {"http://192.168.1.5:9000", fallback, ""},
      {"http://127.1:9000", fallback, ""},  // other spellings of 127.0.0.1 are not it
      {"http://2130706433:9000", fallback, ""},
      {"http://0x7f000001:9000", fallback, ""},
      {"http://127.0.0.%31:9000", fallback, ""},
      {"http://127.0.0.1", fallback, ""},
      {"http://127.0.0.1:99999", fallback, ""},
      {"http://127.0.0.1:9000 extra", fallback, ""},
      {std::string("http://127.0.0.1:9000\0\xff", 23), fallback, ""},
      {"http://127.0.0.1:9000/" + std::string(200000, 'a'), fallback, ""},
      {"", fallback, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.substr(0, 60));
    Publish(c.content);
    EXPECT_EQ(app_->interfaceURL().absoluteString(), c.interface);
    const auto ready = app_->readyInterfaceURL();
    EXPECT_EQ(ready ? ready->absoluteString() : "", c.ready);
  }
  std::filesystem::remove(platform_.logDirectory() + "/plintor-url");
  EXPECT_EQ(app_->interfaceURL().absoluteString(), fallback);
  EXPECT_FALSE(app_->readyInterfaceURL());
  std::filesystem::create_directory(platform_.logDirectory() + "/plintor-url");
  EXPECT_EQ(app_->interfaceURL().absoluteString(), fallback);
}

TEST_F(StatusMenuTest, AppOpenURLs) {
  const std::pair<const char*, bool> cases[] = {
      {"plintor://open", true},    {"PLINTOR://OPEN", true},     {"Plintor://Open", true},
      {"plintor://open/", false},  {"plintor://open:80", false}, {"plintor://open?x=1", false},
      {"plintor://open#x", false}, {"plintor://me@open", false}, {"plintor://me:pw@open", false},
      {"plintor://close", false},  {"http://open", false},       {"plintor://open/x", false},
  };
  for (const auto& [text, accepted] : cases) {
    SCOPED_TRACE(text);
    const auto url = NSURL::URLWithString(text);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(app_->isAppOpenURL(*url), accepted);
  }
}

TEST_F(StatusMenuTest, OnlyTheFirstAppOpenURLIsHandled) {
  app_->applicationOpenURLs(
      NSApplication::sharedApplication(),
      {*NSURL::URLWithString("http://127.0.0.1:1"), *NSURL::URLWithString("plintor://open/"),
       *NSURL::URLWithString("PLINTOR://open"), *NSURL::URLWithString("plintor://open")});
  EXPECT_TRUE(app_->appOpenScheduled());
  EXPECT_EQ(platform_.background.size(), 1u);
  EXPECT_EQ(NSApplication::sharedApplication()->activationCount(), 1);
}

TEST_F(StatusMenuTest, TwoRequestsWithinTheWaitOpenOnceWhenTheAddressAppearsLate) {
  double opened_at = -1;
  platform_.onSleep = [this](double now) {
    if (now >= 10.0 && now < 10.2) {
      Publish("http://127.0.0.1:9300\n");
    }
  };
  app_->handleAppOpen();
  app_->handleAppOpen();
  ASSERT_EQ(platform_.background.size(), 1u);
  platform_.background.runAll();
  opened_at = platform_.virtualSeconds;
  app_->handleAppOpen();  // still scheduled until the main queue has run
  EXPECT_EQ(platform_.background.size(), 0u);
  ASSERT_TRUE(platform_.pumpUntil([this] { return !app_->appOpenScheduled(); }));
  EXPECT_EQ(platform_.openedURLs(), std::vector<std::string>{"http://127.0.0.1:9300"});
  EXPECT_NEAR(opened_at, 10.0, 0.26);
}

TEST_F(StatusMenuTest, NothingOpensWhenNoAddressAppearsWithinThirtySeconds) {
  Publish("http://127.0.0.1:9300/?not=ready");
  app_->handleAppOpen();
  platform_.background.runAll();
  EXPECT_NEAR(platform_.virtualSeconds, 30.0, 1e-6);
  ASSERT_TRUE(platform_.pumpUntil([this] { return !app_->appOpenScheduled(); }));
  EXPECT_TRUE(platform_.openedURLs().empty());
  // A later request waits again.
  app_->handleAppOpen();
  EXPECT_EQ(platform_.background.size(), 1u);
}

TEST_F(StatusMenuTest, WaitEndsWhenTheAgentIsGone) {
  app_->handleAppOpen();
  app_.reset();
  platform_.background.runAll();
  EXPECT_EQ(platform_.virtualSeconds, 0);
  platform_.pumpUntil([] { return NSRunLoop::mainRunLoop()->pendingBlockCount() == 0; });
  EXPECT_TRUE(platform_.openedURLs().empty());
}

TEST_F(StatusMenuTest, FeedPermission) {
  const std::string host = PLINTOR_UPDATE_DOMAIN;
  struct Case {
    std::string feed;
    bool official;
    bool loopback;
  };
  const Case cases[] = {
      {"https://" + host + "/appcast.xml", true, false},
      {"HTTPS://" + host + ":443/appcast.xml", true, false},
      {"https://www." + host + "/appcast.xml", true, false},
      {"https://" + host + ":8443/appcast.xml", false, false},
      {"https://" + host + "/appcast.xml?channel=beta", false, false},
      {"https://" + host + "/appcast.xml#x", false, false},
      {"https://me@" + host + "/appcast.xml", false, false},
      {"http://" + host + "/appcast.xml", false, false},
      {"https://evil-" + host + "/appcast.xml", false, false},
      {"https://" + host + ".evil.example/appcast.xml", false, false},
      {"http://localhost:8000/appcast.xml", false, true},
      {"HTTP://LocalHost:8000/appcast.xml", false, true},
      {"http://[::1]:8000/appcast.xml", false, true},
      {"http://[0:0:0:0:0:0:0:1]:8000/appcast.xml", false, false},
      {"http://127.1:8000/appcast.xml", false, false},
      {"http://%6cocalhost:8000/appcast.xml", false, false},
      {"http://127.0.0.1:8000/appcast.xml?x", false, false},
      {"http://localhost/appcast.xml", false, false},
      {"https://localhost:8000/appcast.xml", false, false},
      {"not a url", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.feed);
    EXPECT_EQ(app_->officialHttpsFeed(c.feed), c.official);
    EXPECT_EQ(app_->loopbackTestFeed(c.feed), c.loopback);
    EXPECT_EQ(app_->sparkleFeedIsPermitted(c.feed), c.official);
  }
  platform_.setInfo({{"PLINTORUpdateTest", PlistBool(true)}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.feed);
    EXPECT_EQ(app_->sparkleFeedIsPermitted(c.feed), c.official || c.loopback);
  }
}

}  // namespace
