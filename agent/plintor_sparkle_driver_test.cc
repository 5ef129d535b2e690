#include "agent/plintor_sparkle_driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "agent/testing/fake_platform.h"
#include "platform/cocoa/json.h"

namespace {

using agent_testing::FakePlatform;
using agent_testing::PlistString;

class SparkleDriverTest : public ::testing::Test {
 protected:
  SparkleDriverTest() : driver_(NSURL::fileURLWithPath(platform_.logDirectory())) {
    platform_.setInfo({{"CFBundleShortVersionString", PlistString("0.3.0")},
                       {"CFBundleVersion", PlistString("300")}});
  }

  nlohmann::json Status() const {
    auto parsed = NSJSONSerialization::JSONObjectWithData(FakePlatform::readFile(statusPath()));
    return parsed ? *parsed : nlohmann::json();
  }
  std::string statusPath() const {
    return platform_.logDirectory() + "/" + PlintorSparkleDriver::kStatusFileName;
  }
  std::string commandPath() const {
    return platform_.logDirectory() + "/" + PlintorSparkleDriver::kCommandFileName;
  }
  void Command(const std::string& content) {
    platform_.writeLogFile(PlintorSparkleDriver::kCommandFileName, content);
    driver_.consumeCommand();
  }
  void Offer(const std::string& build = "1234") {
    SUAppcastItem item;
    item.displayVersionString = "0.4.0";
    item.versionString = build;
    item.itemDescription = "Faster clock reading";
    item.fileURL = NSURL::URLWithString("https://updates.example/Plintor-0.4.0.zip");
    item.contentLength = 5000;
    driver_.showUpdateFoundWithAppcastItem(item, SPUUserUpdateState{},
                                           [this](SPUUserUpdateChoice c) { found_.push_back(c); });
  }
  void Ready() {
    driver_.showReadyToInstallAndRelaunch([this](SPUUserUpdateChoice c) { ready_.push_back(c); });
  }

  FakePlatform platform_;
  PlintorSparkleDriver driver_;
  std::vector<SPUUserUpdateChoice> found_;
  std::vector<SPUUserUpdateChoice> ready_;
};

TEST_F(SparkleDriverTest, StatusDocumentHasExactlyThirteenMembers) {
  driver_.publish();
  const nlohmann::json expected = {{"update_available", false}, {"version", ""},
                                   {"build", nullptr},          {"current_version", "0.3.0"},
                                   {"current_build", 300},      {"notes", ""},
                                   {"download_url", ""},        {"installable", false},
                                   {"phase", "idle"},           {"bytes_downloaded", 0},
                                   {"bytes_total", 0},          {"progress_percent", 0},
                                   {"error", nullptr}};
  EXPECT_EQ(Status(), expected);
  EXPECT_EQ(Status().size(), 13u);
}

TEST_F(SparkleDriverTest, NonStringBundleVersionsPublishEmptyAndNull) {
  platform_.setInfo({{"CFBundleShortVersionString", agent_testing::PlistInteger(3)},
                     {"CFBundleVersion", agent_testing::PlistBool(true)}});
  driver_.publish();
  EXPECT_EQ(Status()["current_version"], "");
  EXPECT_TRUE(Status()["current_build"].is_null());
}

TEST_F(SparkleDriverTest, OfferIsPublishedAndDownloadRepliesInstallOnce) {
  Offer();
  const nlohmann::json status = Status();
  EXPECT_EQ(status["update_available"], true);
  EXPECT_EQ(status["installable"], true);
  EXPECT_EQ(status["version"], "0.4.0");
  EXPECT_EQ(status["build"], 1234);
  EXPECT_EQ(status["notes"], "Faster clock reading");
  EXPECT_EQ(status["download_url"], "https://updates.example/Plintor-0.4.0.zip");
  EXPECT_EQ(status["bytes_total"], 5000);

  Command("download");
  Command("download");
  EXPECT_EQ(found_, std::vector<SPUUserUpdateChoice>{SPUUserUpdateChoice::kInstall});
  EXPECT_FALSE(std::filesystem::exists(commandPath()));
}

TEST_F(SparkleDriverTest, InformationOnlyOfferIsNotInstallable) {
  SUAppcastItem item;
  item.informationOnlyUpdate = true;
  driver_.showUpdateFoundWithAppcastItem(item, SPUUserUpdateState{}, nullptr);
  EXPECT_EQ(Status()["update_available"], true);
  EXPECT_EQ(Status()["installable"], false);
  EXPECT_EQ(Status()["build"], nullptr);
}

TEST_F(SparkleDriverTest, CommandWordsAreExactAndTheFileIsAlwaysConsumed) {
  struct Case {
    std::string content;
    bool installs;
  };
  const Case cases[] = {
      {"install", true},          {"install\n", true},
      {" \t install \r\n", true}, {"\u00a0install\u2028", true},
      {"Install", false},         {"INSTALL", false},
      {"install now", false},     {"", false},
      {"installer", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    ready_.clear();
    Ready();
    Command(c.content);
    EXPECT_EQ(ready_.size(), c.installs ? 1u : 0u);
    EXPECT_FALSE(std::filesystem::exists(commandPath()));
  }
}

TEST_F(SparkleDriverTest, UnreadableCommandFilesAreLeftAlone) {
  Offer();
  // Not UTF-8: cannot be read as text, so nothing happens and the file stays.
  Command(std::string("download\xff", 9));
  EXPECT_TRUE(found_.empty());
  EXPECT_TRUE(std::filesystem::exists(commandPath()));
  std::filesystem::remove(commandPath());
  // A directory at the path.
  std::filesystem::create_directories(commandPath());
  driver_.consumeCommand();
  EXPECT_TRUE(found_.empty());
  EXPECT_TRUE(std::filesystem::is_directory(commandPath()));
  // No file at all.
  std::filesystem::remove(commandPath());
  driver_.consumeCommand();
  EXPECT_TRUE(driver_.hasFoundReply());
}

TEST_F(SparkleDriverTest, CancelAndDismissUseTheirCallbacksOnce) {
  int cancelled = 0;
  driver_.showDownloadInitiatedWithCancellation([&cancelled] { ++cancelled; });
  Command("cancel");
  Command("cancel");
  EXPECT_EQ(cancelled, 1);

  Offer();
  Ready();
  Command("dismiss");
  Command("dismiss");
  EXPECT_EQ(found_, std::vector<SPUUserUpdateChoice>{SPUUserUpdateChoice::kDismiss});
  EXPECT_EQ(ready_, std::vector<SPUUserUpdateChoice>{SPUUserUpdateChoice::kDismiss});
}

TEST_F(SparkleDriverTest, ACommandCallingBackIntoTheDriverCannotReuseTheReply) {
  int calls = 0;
  driver_.showReadyToInstallAndRelaunch([&](SPUUserUpdateChoice) {
    ++calls;
    platform_.writeLogFile(PlintorSparkleDriver::kCommandFileName, "install");
    driver_.consumeCommand();
  });
  Command("install");
  EXPECT_EQ(calls, 1);
}

TEST_F(SparkleDriverTest, JsonBuildNumber) {
  EXPECT_EQ(PlintorSparkleDriver::jsonBuildNumber("1234"), 1234);
  EXPECT_EQ(PlintorSparkleDriver::jsonBuildNumber("0012"), 12);
  EXPECT_EQ(PlintorSparkleDriver::jsonBuildNumber("9223372036854775807"), INT64_MAX);
  for (const char* text : {"1.2", "", " 12", "12 ", "-5", "+5", "12a", "9223372036854775808",
                           "99999999999999999999999"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(PlintorSparkleDriver::jsonBuildNumber(text).is_null());
  }
}

TEST_F(SparkleDriverTest, ProgressPercent) {
  EXPECT_EQ(PlintorSparkleDriver::progressPercent(500, 0), 0u);
  EXPECT_EQ(PlintorSparkleDriver::progressPercent(0, 100), 0u);
  EXPECT_EQ(PlintorSparkleDriver::progressPercent(150, 100), 100u);
  EXPECT_EQ(PlintorSparkleDriver::progressPercent(1, 3), 33u);
  EXPECT_EQ(PlintorSparkleDriver::progressPercent(99, 100), 99u);
  EXPECT_EQ(PlintorSparkleDriver::progressPercent(UINT64_MAX / 2, UINT64_MAX), 49u);
  EXPECT_EQ(PlintorSparkleDriver::progressPercent(UINT64_MAX, UINT64_MAX), 100u);
}

TEST_F(SparkleDriverTest, ErrorCodes) {
  struct Case {
    const char* description;
    bool duringDownload;
    const char* code;
  };
  const Case cases[] = {
      {"Downgrades are not allowed", false, "older_version"},
      {"downgrade with bad signature", true, "older_version"},
      {"The update is improperly signed (EdDSA)", true, "signature_invalid"},
      {"ED25519 key mismatch", false, "signature_invalid"},
      {"Code signing Requirement failed", false, "signature_invalid"},
      {"The archive is NOT SIGNED", true, "signature_invalid"},
      {"The network connection was lost", true, "download_interrupted"},
      {"The network connection was lost", false, "install_failed"},
      {"", false, "install_failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(PlintorSparkleDriver::errorCodeFor(NSError{"d", 1, c.description}, c.duringDownload),
              c.code);
  }
}

TEST_F(SparkleDriverTest, DownloadVerifyInstallCycle) {
  Offer();
  Command("download");
  int cancelled = 0;
  driver_.showDownloadInitiatedWithCancellation([&cancelled] { ++cancelled; });
  EXPECT_EQ(Status()["phase"], "downloading");
  driver_.showDownloadDidReceiveExpectedContentLength(0);  // keeps the offer's length
  EXPECT_EQ(Status()["bytes_total"], 5000);
  driver_.showDownloadDidReceiveExpectedContentLength(100);
  driver_.showDownloadDidReceiveDataOfLength(60);
  EXPECT_EQ(Status()["progress_percent"], 60);
  driver_.showDownloadDidReceiveDataOfLength(90);
  EXPECT_EQ(Status()["bytes_downloaded"], 150);
  EXPECT_EQ(Status()["progress_percent"], 100);

  driver_.showDownloadDidStartExtractingUpdate();
  EXPECT_EQ(Status()["phase"], "verifying");
  EXPECT_EQ(Status()["bytes_downloaded"], 100);
  Command("cancel");  // the cancellation was dropped when verifying began
  EXPECT_EQ(cancelled, 0);
  driver_.showExtractionReceivedProgress(0.255);
  EXPECT_EQ(Status()["bytes_downloaded"], 25);
  driver_.showExtractionReceivedProgress(7.0);
  EXPECT_EQ(Status()["bytes_downloaded"], 100);
  driver_.showExtractionReceivedProgress(-1.0);
  EXPECT_EQ(Status()["bytes_downloaded"], 0);

  Ready();
  EXPECT_EQ(Status()["phase"], "ready");
  EXPECT_EQ(Status()["bytes_downloaded"], 100);
  Command("install\n");
  EXPECT_EQ(ready_, std::vector<SPUUserUpdateChoice>{SPUUserUpdateChoice::kInstall});
  driver_.showInstallingUpdateWithApplicationTerminated(true, nullptr);
  EXPECT_EQ(Status()["phase"], "installing");
  bool acknowledged = false;
  driver_.showUpdateInstalledAndRelaunched(true, [&acknowledged] { acknowledged = true; });
  EXPECT_TRUE(acknowledged);
  EXPECT_EQ(Status()["phase"], "idle");
  EXPECT_EQ(Status()["update_available"], false);
}

TEST_F(SparkleDriverTest, EdDSAErrorWhileDownloadingDropsRepliesAndHidesTheText) {
  Offer();
  driver_.showDownloadInitiatedWithCancellation([] {});
  bool acknowledged = false;
  driver_.showUpdaterError(NSError{"SUSparkleErrorDomain", 3, "EdDSA signature does not match"},
                           [&acknowledged] { acknowledged = true; });
  EXPECT_TRUE(acknowledged);
  EXPECT_EQ(Status()["phase"], "failed");
  EXPECT_EQ(Status()["error"], "signature_invalid");
  EXPECT_EQ(FakePlatform::readFile(statusPath()).find("does not match"), std::string::npos);
  EXPECT_FALSE(driver_.hasFoundReply() || driver_.hasReadyReply() ||
               driver_.hasDownloadCancellation());
  Command("download");
  EXPECT_TRUE(found_.empty());

  // The next offer leaves "failed".
  Offer();
  EXPECT_EQ(Status()["phase"], "idle");
  EXPECT_TRUE(Status()["error"].is_null());
}

TEST_F(SparkleDriverTest, NotFoundClearsTheOffer) {
  Offer();
  Ready();
  bool acknowledged = false;
  driver_.showUpdateNotFoundWithError(NSError{}, [&acknowledged] { acknowledged = true; });
  EXPECT_TRUE(acknowledged);
  const nlohmann::json status = Status();
  EXPECT_EQ(status["update_available"], false);
  EXPECT_EQ(status["installable"], false);
  EXPECT_EQ(status["version"], "");
  EXPECT_TRUE(status["build"].is_null());
  EXPECT_EQ(status["notes"], "");
  EXPECT_EQ(status["download_url"], "");
  Command("download");
  Command("install");
  EXPECT_TRUE(found_.empty());
  EXPECT_TRUE(ready_.empty());
}

TEST_F(SparkleDriverTest, LongNotesAreCutWithoutSplittingACharacter) {
  SUAppcastItem item;
  item.itemDescription = std::string(7999, 'a') + "\U0001F600" + "tail";  // a surrogate pair
  driver_.showUpdateFoundWithAppcastItem(item, SPUUserUpdateState{}, nullptr);
  EXPECT_EQ(driver_.notes(), std::string(7999, 'a'));
  item.itemDescription = std::string(9000, 'b');
  driver_.showUpdateFoundWithAppcastItem(item, SPUUserUpdateState{}, nullptr);
  EXPECT_EQ(Status()["notes"], std::string(8000, 'b'));
}

TEST_F(SparkleDriverTest, PermissionRequestTurnsAutomaticChecksOff) {
  std::optional<SUUpdatePermissionResponse> response;
  driver_.showUpdatePermissionRequest(SPUUpdatePermissionRequest{true},
                                      [&response](SUUpdatePermissionResponse r) { response = r; });
  ASSERT_TRUE(response);
  EXPECT_FALSE(response->automaticUpdateChecks);
  EXPECT_FALSE(response->sendSystemProfile);
  EXPECT_FALSE(std::filesystem::exists(statusPath()));
}

class FailingStart : public SPUUpdaterScript {
 public:
  bool startUpdater(SPUUpdater&, NSError*) override { return false; }
  void checkForUpdates(SPUUpdater&, SPUUserDriver&) override { ++checks; }
  int checks = 0;
};

TEST_F(SparkleDriverTest, UpdaterThatCannotStartPublishesFailedOnce) {
  FailingStart script;
  SPUUpdater::setScriptForTesting(&script);
  EXPECT_FALSE(driver_.startAndReturnError(nullptr));
  SPUUpdater::setScriptForTesting(nullptr);
  EXPECT_EQ(script.checks, 0);
  EXPECT_EQ(Status()["phase"], "failed");
  EXPECT_EQ(Status()["error"], "install_failed");
}

TEST_F(SparkleDriverTest, StandAloneUpdaterReportsNoUpdate) {
  EXPECT_TRUE(driver_.startAndReturnError(nullptr));
  ASSERT_TRUE(platform_.pumpUntil([this] { return std::filesystem::exists(statusPath()); }));
  EXPECT_EQ(Status()["update_available"], false);
  EXPECT_EQ(Status()["phase"], "idle");
}

TEST_F(SparkleDriverTest, PublishCreatesTheLogDirectoryAndLeavesNoTemporaries) {
  driver_.publish();
  driver_.publish();
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(platform_.logDirectory())) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

}  // namespace
