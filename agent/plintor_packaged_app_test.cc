#include "agent/plintor_packaged_app.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "agent/testing/fake_platform.h"
#include "platform/cocoa/files.h"

namespace {

using agent_testing::FakePlatform;
using agent_testing::PlistBool;
using agent_testing::PlistInteger;
using agent_testing::PlistString;

constexpr const char* kNoConfirmation =
    "Plintor could not confirm which agent is already running. No second agent was started.";

// A supervisor that records every run in $HOME/calls as
// "<arguments>|<working directory>|<PLINTOR_QA>|<PLINTOR_UPDATE_TEST>", then runs one of three
// shell snippets.
std::string Supervisor(const std::string& prepare, const std::string& launcher,
                       const std::string& shutdown = "exit 0",
                       const std::string& logs = "Plintor") {
  return "logs=\"$HOME/Library/Logs/" + logs +
         "\"; mkdir -p \"$logs\"\n"
         "echo \"$*|$(pwd)|${PLINTOR_QA-unset}|${PLINTOR_UPDATE_TEST-unset}\" >>\"$HOME/calls\"\n"
         "case \"$1\" in\n"
         "  --plintor-prepare) " +
         prepare +
         " ;;\n"
         "  --plintor-shutdown) " +
         shutdown +
         " ;;\n"
         "  *) " +
         launcher +
         " ;;\n"
         "esac\n";
}

const std::string kDecideStart = "echo '{\"action\":\"start\"}' >\"$logs/plintor-launch.json\"";
const std::string kDecideAdopt = "echo '{\"action\":\"adopt\"}' >\"$logs/plintor-launch.json\"";
const std::string kRunUntilStopped = "touch \"$HOME/started\"; exec sleep 100";

class PackagedAppTest : public ::testing::Test {
 protected:
  PackagedAppTest() : app_(std::make_shared<PlintorPackagedApp>()) {
    NSApplication::sharedApplication()->setDelegate(app_);
    std::filesystem::create_directories(platform_.logDirectory());
  }
  ~PackagedAppTest() override {
    if (const auto& task = app_->launcherTask()) {
      if (task->isRunning()) {
        kill(task->processIdentifier(), SIGKILL);
      }
      task->waitUntilExit();
    }
  }

  std::vector<std::string> Calls() const {
    std::istringstream in(FakePlatform::readFile(platform_.home() + "/calls"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line);
    }
    return lines;
  }
  static std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '|');) {
      fields.push_back(field);
    }
    return fields;
  }
  std::string AlertText() const {
    const auto alerts = platform_.alerts();
    return alerts.empty() ? "" : alerts.back().informativeText;
  }
  std::string WithLogHint(const std::string& message) const {
    return message + "\n\nSee the log at:\n" + platform_.logDirectory() + "/plintor.log";
  }
  bool Terminated() const { return NSApplication::sharedApplication()->isTerminated(); }
  bool WaitForFile(const std::string& path) {
    return platform_.pumpUntil([&path] { return std::filesystem::exists(path); });
  }

  FakePlatform platform_;
  std::shared_ptr<PlintorPackagedApp> app_;
};

TEST_F(PackagedAppTest, ModesComeOnlyFromTheirTypedInfoValues) {
  EXPECT_FALSE(app_->qaMode() || app_->nativeTestMode() || app_->releaseCandidateMode() ||
               app_->updateTestMode());
  platform_.setInfo({{"PLINTORQAMode", PlistString("1")},
                     {"PLINTORNativeTest", PlistInteger(1)},
                     {"PLINTORReleaseCandidate", PlistString("true")},
                     {"PLINTORUpdateTest", PlistString("1")}});
  EXPECT_TRUE(app_->qaMode());
  EXPECT_FALSE(app_->nativeTestMode());
  EXPECT_FALSE(app_->releaseCandidateMode());
  EXPECT_FALSE(app_->updateTestMode());
  platform_.setInfo({{"PLINTORUpdateTest", PlistBool(true)}});
  EXPECT_TRUE(app_->updateTestMode());
  platform_.setInfo({{"PLINTORUpdateTest", PlistInteger(2)}});
  EXPECT_TRUE(app_->updateTestMode());
  platform_.setInfo({{"PLINTORUpdateTest", PlistBool(false)}});
  EXPECT_FALSE(app_->updateTestMode());

  setenv("PLINTOR_QA", "1", 1);  // the environment never turns a mode on
  EXPECT_FALSE(app_->qaMode());
  unsetenv("PLINTOR_QA");
}

TEST_F(PackagedAppTest, LogDirectoryFollowsModePrecedence) {
  const std::string on = PlistString("1");
  const std::vector<std::pair<std::vector<std::pair<std::string, std::string>>, std::string>>
      cases = {
          {{}, "Plintor"},
          {{{"PLINTORNativeTest", on}}, "Plintor-Native-Test"},
          {{{"PLINTORNativeTest", on}, {"PLINTORQAMode", on}}, "Plintor-QA"},
          {{{"PLINTORQAMode", on}, {"PLINTORReleaseCandidate", on}}, "Plintor-v0.3.0-RC"},
          {{{"PLINTORReleaseCandidate", on}, {"PLINTORUpdateTest", PlistBool(true)}},
           "Plintor-Update-Test"},
      };
  for (const auto& [entries, directory] : cases) {
    SCOPED_TRACE(directory);
    platform_.setInfo(entries);
    EXPECT_EQ(app_->logDirectory().path(), platform_.logDirectory(directory));
  }
}

TEST_F(PackagedAppTest, HomeMustBeAnAbsolutePath) {
  EXPECT_EQ(app_->homeDirectory(), platform_.home());
  setenv("HOME", "relative/home", 1);
  EXPECT_EQ(app_->homeDirectory(), NSHomeDirectory());
  EXPECT_EQ(app_->logDirectory().path(), NSHomeDirectory() + "/Library/Logs/Plintor");
  setenv("HOME", "", 1);
  EXPECT_EQ(app_->homeDirectory(), NSHomeDirectory());
}

TEST_F(PackagedAppTest, LauncherEnvironmentAddsEveryModeThatIsOn) {
  EXPECT_FALSE(app_->launcherEnvironment().has_value());
  platform_.setInfo({{"PLINTORUpdateTest", PlistBool(true)},
                     {"PLINTORQAMode", PlistString("1")},
                     {"PLINTORNativeTest", PlistString("1")}});
  setenv("PLINTOR_KEPT", "kept", 1);
  const auto environment = app_->launcherEnvironment();
  unsetenv("PLINTOR_KEPT");
  ASSERT_TRUE(environment.has_value());
  EXPECT_EQ(environment->at("PLINTOR_UPDATE_TEST"), "1");
  EXPECT_EQ(environment->at("PLINTOR_QA"), "1");
  EXPECT_EQ(environment->at("PLINTOR_NATIVE_TEST"), "1");
  EXPECT_EQ(environment->at("PLINTOR_NATIVE_SEGSENSE"), "1");
  EXPECT_EQ(environment->count("PLINTOR_RELEASE_CANDIDATE"), 0u);
  EXPECT_EQ(environment->at("PLINTOR_KEPT"), "kept");
}

TEST_F(PackagedAppTest, DecisionFileThatIsNotAJsonObjectMeansStart) {
  platform_.writeSupervisor(Supervisor("exit 0", "exit 0"));
  const std::string path = platform_.logDirectory() + "/plintor-launch.json";
  const std::vector<std::string> contents = {
      "not json",
      "[\"adopt\"]",
      "\"adopt\"",
      "{\"action\":[\"adopt\"]}",
      "{\"action\":\"ADOPT\"}",
      "{\"action\":\"adopt\"",
      std::string(2 << 20, ' ') + "{\"action\":\"adopt\"}",  // beyond the size limit
      std::string(100000, '[') + std::string(100000, ']'),
      std::string("{\"action\":\"adopt\xff\"}"),
  };
  for (const std::string& content : contents) {
    SCOPED_TRACE(content.substr(0, 40));
    std::ofstream(path, std::ios::binary) << content;
    EXPECT_EQ(app_->runOwnershipPrepare(), "start");
  }
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_EQ(app_->runOwnershipPrepare(), "start");
  EXPECT_TRUE(app_->launchDecision().is_object());
}

TEST_F(PackagedAppTest, PrepareDecisions) {
  platform_.writeSupervisor(Supervisor(kDecideAdopt, "exit 0"));
  EXPECT_EQ(app_->runOwnershipPrepare(), "adopt");
  platform_.writeSupervisor(
      Supervisor("echo '{\"action\":\"error\"}' >\"$logs/plintor-launch.json\"", "exit 0"));
  EXPECT_EQ(app_->runOwnershipPrepare(), "error");
  // A prepare run that fails counts as "error" whatever the file says.
  platform_.writeSupervisor(Supervisor(kDecideStart + "; exit 1", "exit 0"));
  EXPECT_EQ(app_->runOwnershipPrepare(), "error");
  platform_.writeSupervisor(Supervisor("kill -9 $$", "exit 0"));
  EXPECT_EQ(app_->runOwnershipPrepare(), "error");
  // Without an executable supervisor there is nothing to ask.
  std::filesystem::remove(platform_.supervisorPath());
  EXPECT_EQ(app_->runOwnershipPrepare(), "start");
}

TEST_F(PackagedAppTest, ErrorDecisionShowsItsMessageOrTheFixedTextAndEnds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"{\"action\":\"error\",\"message\":\"Another Plintor owns port 8080.\"}",
       "Another Plintor owns port 8080."},
      {"{\"action\":\"error\"}", kNoConfirmation},
      {"{\"action\":\"error\",\"message\":\"\"}", kNoConfirmation},
      {"{\"action\":\"error\",\"message\":42}", kNoConfirmation},
  };
  for (const auto& [decision, message] : cases) {
    SCOPED_TRACE(decision);
    NSApplication::resetSharedApplicationForTesting();
    app_ = std::make_shared<PlintorPackagedApp>();
    NSApplication::sharedApplication()->setDelegate(app_);
    platform_.writeSupervisor(
        Supervisor("echo '" + decision + "' >\"$logs/plintor-launch.json\"", "exit 0"));
    app_->startPreparedLauncher();
    EXPECT_EQ(AlertText(), WithLogHint(message));
    EXPECT_TRUE(app_->quitting());
    EXPECT_TRUE(Terminated());
    EXPECT_EQ(app_->launcherTask(), nullptr);
  }
}

TEST_F(PackagedAppTest, PrepareExitingOneShowsTheLaunchErrorAndStartsNothing) {
  platform_.writeSupervisor(Supervisor("exit 1", kRunUntilStopped));
  app_->applicationDidFinishLaunching();
  EXPECT_EQ(AlertText(), WithLogHint(kNoConfirmation));
  EXPECT_TRUE(Terminated());
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_EQ(app_->sparkleDriver(), nullptr);
}

TEST_F(PackagedAppTest, AlertIsCriticalWithOneButtonAndBringsTheAgentForward) {
  app_->showError("Something failed");
  const auto alerts = platform_.alerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].messageText, "Plintor");
  EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(alerts[0].style, NSAlertStyleCritical);
  EXPECT_EQ(NSApplication::sharedApplication()->activationPolicy(),
            NSApplicationActivationPolicyRegular);
  EXPECT_EQ(NSApplication::sharedApplication()->activationCount(), 1);
}

TEST_F(PackagedAppTest, AdoptOpensTheReadyInterfaceAndQuitRunsTheShutdownStep) {
  platform_.writeSupervisor(Supervisor(kDecideAdopt, kRunUntilStopped));
  platform_.writeLogFile("plintor-url", "http://127.0.0.1:8123\n");
  app_->applicationDidFinishLaunching();
  EXPECT_EQ(app_->launcherTask(), nullptr);
  EXPECT_EQ(platform_.openedURLs(), std::vector<std::string>{"http://127.0.0.1:8123"});
  EXPECT_EQ(NSApplication::sharedApplication()->activationPolicy(),
            NSApplicationActivationPolicyAccessory);

  NSApplication::sharedApplication()->terminate(nullptr);
  EXPECT_TRUE(app_->quitting());
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].substr(0, calls[1].find('|')), "--plintor-shutdown");
  EXPECT_TRUE(platform_.alerts().empty());
}

TEST_F(PackagedAppTest, AdoptWithoutAReadyAddressOpensNothing) {
  platform_.writeSupervisor(Supervisor(kDecideAdopt, kRunUntilStopped));
  platform_.writeLogFile("plintor-url", "http://127.0.0.1:8123/?token=1");
  app_->startPreparedLauncher();
  std::filesystem::remove(platform_.logDirectory() + "/plintor-url");
  app_->startPreparedLauncher();
  EXPECT_TRUE(platform_.openedURLs().empty());
  EXPECT_EQ(Calls().size(), 2u);  // two prepare runs, no launcher
}

TEST_F(PackagedAppTest, LauncherRunsInItsDirectoryWithTheModeEnvironment) {
  platform_.setInfo({{"PLINTORQAMode", PlistString("1")}, {"PLINTORUpdateTest", PlistBool(true)}});
  platform_.writeSupervisor(
      Supervisor(kDecideStart, kRunUntilStopped, "exit 0", "Plintor-Update-Test"));
  app_->startPreparedLauncher();
  ASSERT_NE(app_->launcherTask(), nullptr);
  ASSERT_TRUE(WaitForFile(platform_.home() + "/started"));
  const std::string agent_dir =
      std::filesystem::canonical(platform_.bundle() + "/Contents/Resources/agent").string();
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].substr(0, calls[0].find('|')), "--plintor-prepare");
  EXPECT_EQ(calls[1], "|" + agent_dir + "|1|1");
}

TEST_F(PackagedAppTest, NoModeLeavesTheEnvironmentAlone) {
  platform_.writeSupervisor(Supervisor(kDecideStart, kRunUntilStopped));
  setenv("PLINTOR_QA", "inherited", 1);
  app_->startPreparedLauncher();
  unsetenv("PLINTOR_QA");
  ASSERT_TRUE(WaitForFile(platform_.home() + "/started"));
  ASSERT_EQ(Calls().size(), 2u);
  EXPECT_EQ(Fields(Calls()[1]),
            (std::vector<std::string>{"", Fields(Calls()[1])[1], "inherited", "unset"}));
}

TEST_F(PackagedAppTest, HandOverOpensTheInterfaceAndKeepsTheAgent) {
  platform_.writeSupervisor(
      Supervisor(kDecideStart, "echo http://localhost:9100 >\"$logs/plintor-url\"; exit 10"));
  app_->startPreparedLauncher();
  ASSERT_TRUE(platform_.pumpUntil([this] { return !platform_.openedURLs().empty(); }));
  EXPECT_EQ(platform_.openedURLs(), std::vector<std::string>{"http://localhost:9100"});
  EXPECT_FALSE(app_->quitting());
  EXPECT_FALSE(Terminated());
  EXPECT_TRUE(platform_.alerts().empty());
  // Quitting later: no launcher runs, and the decision was "start", so no shutdown run either.
  app_->quitApplication(nullptr);
  EXPECT_TRUE(Terminated());
  EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(PackagedAppTest, LauncherEndingOtherwiseShowsAnAlertAndEnds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"exit 0", "The Plintor launcher stopped."},
      {"exit 3", "Plintor could not continue (exit code 3)."},
      {"kill -9 $$", "Plintor could not continue (exit code 9)."},
  };
  for (const auto& [launcher, message] : cases) {
    SCOPED_TRACE(launcher);
    NSApplication::resetSharedApplicationForTesting();
    app_ = std::make_shared<PlintorPackagedApp>();
    NSApplication::sharedApplication()->setDelegate(app_);
    platform_.writeSupervisor(Supervisor(kDecideStart, launcher));
    app_->startPreparedLauncher();
    ASSERT_NE(app_->launcherTask(), nullptr);
    ASSERT_TRUE(platform_.pumpUntil([this] { return Terminated(); }));
    EXPECT_EQ(AlertText(), WithLogHint(message));
    EXPECT_TRUE(app_->quitting());
  }
}

TEST_F(PackagedAppTest, LauncherEndingDuringQuitIsNotReported) {
  platform_.writeSupervisor(Supervisor(kDecideStart, kRunUntilStopped));
  app_->startPreparedLauncher();
  ASSERT_TRUE(WaitForFile(platform_.home() + "/started"));
  app_->quitApplication(nullptr);
  EXPECT_FALSE(app_->launcherTask()->isRunning());
  platform_.pumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_TRUE(platform_.alerts().empty());
  EXPECT_EQ(app_->launcherTask()->terminationStatus(), SIGTERM);
  EXPECT_LT(platform_.virtualSeconds, 8.0);
}

TEST_F(PackagedAppTest, MissingOrUnusableSupervisorEndsTheAgent) {
  const std::string path = platform_.supervisorPath();
  const std::vector<std::function<void()>> setups = {
      [] {},
      [&path] { std::ofstream(path) << "#!/bin/sh\nexit 0\n"; },  // not executable
      [&path] { std::filesystem::create_directories(path); },
  };
  for (const auto& setup : setups) {
    NSApplication::resetSharedApplicationForTesting();
    app_ = std::make_shared<PlintorPackagedApp>();
    NSApplication::sharedApplication()->setDelegate(app_);
    std::filesystem::remove_all(path);
    setup();
    app_->startPreparedLauncher();
    EXPECT_EQ(AlertText(), WithLogHint("The packaged Plintor supervisor is missing:\n" + path));
    EXPECT_TRUE(Terminated());
  }
}

TEST_F(PackagedAppTest, LaunchFailureIsReported) {
  std::ofstream(platform_.supervisorPath()) << "\x7f"
                                               "ELF garbage";
  chmod(platform_.supervisorPath().c_str(), 0755);
  app_->startLauncher();
  EXPECT_EQ(AlertText().rfind("Could not start the Plintor launcher:\n", 0), 0u);
  EXPECT_NE(AlertText().find("Exec format error"), std::string::npos);
  EXPECT_TRUE(Terminated());
  EXPECT_EQ(app_->launcherTask(), nullptr);
}

TEST_F(PackagedAppTest, LauncherIgnoringSigtermIsKilledAfterEightSeconds) {
  platform_.writeSupervisor(Supervisor(
      kDecideStart, "trap '' TERM; touch \"$HOME/started\"; while :; do sleep 0.05; done"));
  app_->startPreparedLauncher();
  ASSERT_TRUE(WaitForFile(platform_.home() + "/started"));
  app_->stopLauncher();
  EXPECT_NEAR(platform_.virtualSeconds, 8.0, 1e-6);
  EXPECT_FALSE(app_->launcherTask()->isRunning());
  EXPECT_EQ(app_->launcherTask()->terminationReason(), NSTaskTerminationReason::kUncaughtSignal);
  EXPECT_EQ(app_->launcherTask()->terminationStatus(), SIGKILL);
}

TEST_F(PackagedAppTest, ForegroundWatchPollsFasterInUpdateTestMode) {
  app_->startForegroundWatch();
  ASSERT_NE(app_->foregroundTimer(), nullptr);
  EXPECT_DOUBLE_EQ(app_->foregroundTimer()->timeInterval(), 1.0);
  EXPECT_TRUE(app_->foregroundTimer()->repeats());
  platform_.setInfo({{"PLINTORUpdateTest", PlistBool(true)}});
  app_->startForegroundWatch();
  EXPECT_DOUBLE_EQ(app_->foregroundTimer()->timeInterval(), 0.25);
}

TEST_F(PackagedAppTest, UpdateDriverStartsOnlyWithAPermittedFeedAndKey) {
  const std::string official = "https://" PLINTOR_UPDATE_DOMAIN "/appcast.xml";
  const std::string key = PlistString("c2VjcmV0IGtleQ==");
  struct Case {
    std::vector<std::pair<std::string, std::string>> info;
    bool starts;
  };
  const Case cases[] = {
      {{{"SUFeedURL", PlistString(official)}, {"SUPublicEDKey", key}}, true},
      {{{"SUFeedURL", PlistString(official)}}, false},
      {{{"SUFeedURL", PlistString(official)}, {"SUPublicEDKey", PlistString("")}}, false},
      {{{"SUFeedURL", PlistString("http://127.0.0.1:8000/appcast.xml")}, {"SUPublicEDKey", key}},
       false},
      {{{"SUFeedURL", PlistString("http://127.0.0.1:8000/appcast.xml")},
        {"SUPublicEDKey", key},
        {"PLINTORUpdateTest", PlistBool(true)}},
       true},
  };
  for (const Case& c : cases) {
    app_ = std::make_shared<PlintorPackagedApp>();
    platform_.setInfo(c.info);
    app_->startSparkle();
    EXPECT_EQ(app_->sparkleDriver() != nullptr, c.starts);
  }
  app_ = std::make_shared<PlintorPackagedApp>();
  app_->quitApplication(nullptr);
  app_->startSparkle();
  EXPECT_EQ(app_->sparkleDriver(), nullptr);
}

TEST_F(PackagedAppTest, PollingHandsTheCommandFileToTheDriver) {
  platform_.setInfo({{"SUFeedURL", PlistString("http://localhost:8000/appcast.xml")},
                     {"SUPublicEDKey", PlistString("key")},
                     {"PLINTORUpdateTest", PlistBool(true)}});
  app_->startSparkle();
  ASSERT_NE(app_->sparkleDriver(), nullptr);
  app_->startForegroundWatch();
  platform_.writeLogFile("plintor-sparkle-command", "download", "Plintor-Update-Test");
  app_->foregroundTimer()->fire();
  EXPECT_FALSE(std::filesystem::exists(platform_.logDirectory("Plintor-Update-Test") +
                                       "/plintor-sparkle-command"));
}

}  // namespace
