#include "agent/plintor_packaged_app.h"

#include <signal.h>

#include "platform/cocoa/alert.h"
#include "platform/cocoa/bundle.h"
#include "platform/cocoa/files.h"
#include "platform/cocoa/json.h"

namespace {

constexpr const char* kDecisionFileName = "plintor-launch.json";
constexpr const char* kLogFileName = "plintor.log";
constexpr const char* kPrepareArgument = "--plintor-prepare";
constexpr const char* kShutdownArgument = "--plintor-shutdown";
constexpr double kStopPollSeconds = 0.1;
constexpr int kStopPolls = 80;  // 8 s

const NSInfoValue* InfoValue(const char* key) {
  return NSBundle::mainBundle()->objectForInfoDictionaryKey(key);
}

bool InfoStringIsOne(const char* key) {
  const NSInfoValue* value = InfoValue(key);
  const std::string* text = value != nullptr ? value->stringValue() : nullptr;
  return text != nullptr && *text == "1";
}

// The decision's "action" when it is a string, else "".
std::string DecisionAction(const nlohmann::json& decision) {
  const auto action = decision.find("action");
  return action != decision.end() && action->is_string() ? action->get<std::string>() : "";
}

// A supervisor step that is waited for; false when it could not be launched.
bool RunAndWait(const std::shared_ptr<NSTask>& task) {
  if (!task->launchAndReturnError(nullptr)) {
    return false;
  }
  task->waitUntilExit();
  return true;
}

}  // namespace

void PlintorPackagedApp::applicationDidFinishLaunching() {
  NSApplication::sharedApplication()->setActivationPolicy(NSApplicationActivationPolicyAccessory);
  installStatusMenu();
  startForegroundWatch();
  startPreparedLauncher();
  startSparkle();
}

NSApplicationTerminateReply PlintorPackagedApp::applicationShouldTerminate(
    NSApplication* /*sender*/) {
  quitting_ = true;
  stopLauncher();
  return NSTerminateNow;
}

bool PlintorPackagedApp::qaMode() const {
  return InfoStringIsOne("PLINTORQAMode");
}

bool PlintorPackagedApp::nativeTestMode() const {
  return InfoStringIsOne("PLINTORNativeTest");
}

bool PlintorPackagedApp::releaseCandidateMode() const {
  return InfoStringIsOne("PLINTORReleaseCandidate");
}

bool PlintorPackagedApp::updateTestMode() const {
  const NSInfoValue* value = InfoValue("PLINTORUpdateTest");
  return value != nullptr && value->boolValue();
}

std::string PlintorPackagedApp::homeDirectory() const {
  const auto environment = NSProcessInfo::processInfo()->environment();
  const auto home = environment.find("HOME");
  if (home != environment.end() && !home->second.empty() && home->second.front() == '/') {
    return home->second;
  }
  return NSHomeDirectory();
}

NSURL PlintorPackagedApp::logDirectory() const {
  const char* relative = "Library/Logs/Plintor";
  if (updateTestMode()) {
    relative = "Library/Logs/Plintor-Update-Test";
  } else if (releaseCandidateMode()) {
    relative = "Library/Logs/Plintor-v0.3.0-RC";
  } else if (qaMode()) {
    relative = "Library/Logs/Plintor-QA";
  } else if (nativeTestMode()) {
    relative = "Library/Logs/Plintor-Native-Test";
  }
  return NSURL::fileURLWithPath(homeDirectory()).URLByAppendingPathComponent(relative);
}

NSURL PlintorPackagedApp::supervisorURL() const {
  return NSBundle::mainBundle()
      ->resourceURL()
      .URLByAppendingPathComponent("agent")
      .URLByAppendingPathComponent("Plintor");
}

std::optional<std::map<std::string, std::string>> PlintorPackagedApp::launcherEnvironment() const {
  std::vector<const char*> variables;
  if (qaMode()) {
    variables.push_back("PLINTOR_QA");
  }
  if (nativeTestMode()) {
    variables.push_back("PLINTOR_NATIVE_TEST");
    variables.push_back("PLINTOR_NATIVE_SEGSENSE");
  }
  if (releaseCandidateMode()) {
    variables.push_back("PLINTOR_RELEASE_CANDIDATE");
  }
  if (updateTestMode()) {
    variables.push_back("PLINTOR_UPDATE_TEST");
  }
  if (variables.empty()) {
    return std::nullopt;
  }
  std::map<std::string, std::string> environment = NSProcessInfo::processInfo()->environment();
  for (const char* name : variables) {
    environment[name] = "1";
  }
  return environment;
}

void PlintorPackagedApp::applyLauncherEnvironment(NSTask& task) const {
  if (auto environment = launcherEnvironment()) {
    task.setEnvironment(std::move(environment));
  }
}

std::string PlintorPackagedApp::runOwnershipPrepare() {
  const NSURL supervisor = supervisorURL();
  if (!NSFileManager::defaultManager()->isExecutableFileAtPath(supervisor.path())) {
    return "start";
  }
  auto task = std::make_shared<NSTask>();
  task->setExecutableURL(supervisor);
  task->setArguments({kPrepareArgument});
  applyLauncherEnvironment(*task);
  if (!RunAndWait(task) || task->terminationStatus() != 0) {
    return "error";
  }
  const std::string action = DecisionAction(launchDecision());
  return action == "adopt" || action == "error" ? action : "start";
}

nlohmann::json PlintorPackagedApp::launchDecision() const {
  const std::optional<std::string> bytes =
      NSData::dataWithContentsOfURL(logDirectory().URLByAppendingPathComponent(kDecisionFileName));
  std::optional<nlohmann::json> decision =
      bytes ? NSJSONSerialization::JSONObjectWithData(*bytes) : std::nullopt;
  if (!decision || !decision->is_object()) {
    return nlohmann::json::object();
  }
  return *decision;
}

std::string PlintorPackagedApp::launchErrorMessage() const {
  const nlohmann::json decision = launchDecision();
  const auto message = decision.find("message");
  if (message != decision.end() && message->is_string() && !message->get<std::string>().empty()) {
    return message->get<std::string>();
  }
  return "Plintor could not confirm which agent is already running. No second agent was started.";
}

void PlintorPackagedApp::startPreparedLauncher() {
  const std::string decision = runOwnershipPrepare();
  if (decision == "adopt") {
    if (std::optional<NSURL> ready = readyInterfaceURL()) {
      openURL(*ready);
    }
  } else if (decision == "error") {
    showError(launchErrorMessage());
    quitAfterFailure();
  } else {
    startLauncher();
  }
}

void PlintorPackagedApp::startLauncher() {
  const NSURL supervisor = supervisorURL();
  if (!NSFileManager::defaultManager()->isExecutableFileAtPath(supervisor.path())) {
    showError("The packaged Plintor supervisor is missing:\n" + supervisor.path());
    quitAfterFailure();
    return;
  }
  auto task = std::make_shared<NSTask>();
  task->setExecutableURL(supervisor);
  task->setCurrentDirectoryURL(supervisor.URLByDeletingLastPathComponent());
  applyLauncherEnvironment(*task);
  std::weak_ptr<PlintorPackagedApp> weak = weak_from_this();
  task->setTerminationHandler([weak](NSTask* ended) {
    const int status = ended->terminationStatus();
    dispatch_async(dispatch_get_main_queue(), [weak, status] {
      if (auto self = weak.lock()) {
        self->launcherDidTerminate(status);
      }
    });
  });
  NSError error;
  if (!task->launchAndReturnError(&error)) {
    showError("Could not start the Plintor launcher:\n" + error.localizedDescription);
    quitAfterFailure();
    return;
  }
  launcherTask_ = task;
}

void PlintorPackagedApp::launcherDidTerminate(int status) {
  if (quitting_) {
    return;
  }
  if (status == kHandOverExitStatus) {
    if (std::optional<NSURL> ready = readyInterfaceURL()) {
      openURL(*ready);
    }
    return;
  }
  showError(status == 0 ? std::string("The Plintor launcher stopped.")
                        : "Plintor could not continue (exit code " + std::to_string(status) + ").");
  quitAfterFailure();
}

void PlintorPackagedApp::quitAfterFailure() {
  quitting_ = true;
  NSApplication::sharedApplication()->terminate(this);
}

void PlintorPackagedApp::stopLauncher() {
  if (!launcherTask_ || !launcherTask_->isRunning()) {
    runOwnershipShutdown();
    return;
  }
  launcherTask_->terminate();
  for (int poll = 0; poll < kStopPolls && launcherTask_->isRunning(); ++poll) {
    NSThread::sleepForTimeInterval(kStopPollSeconds);
  }
  if (launcherTask_->isRunning()) {
    kill(launcherTask_->processIdentifier(), SIGKILL);
    launcherTask_->waitUntilExit();
  }
}

void PlintorPackagedApp::runOwnershipShutdown() {
  const NSURL supervisor = supervisorURL();
  if (DecisionAction(launchDecision()) != "adopt" ||
      !NSFileManager::defaultManager()->isExecutableFileAtPath(supervisor.path())) {
    return;
  }
  auto task = std::make_shared<NSTask>();
  task->setExecutableURL(supervisor);
  task->setArguments({kShutdownArgument});
  applyLauncherEnvironment(*task);
  RunAndWait(task);  // a launch failure is ignored
}

void PlintorPackagedApp::showError(const std::string& message) {
  NSApplication* application = NSApplication::sharedApplication();
  application->setActivationPolicy(NSApplicationActivationPolicyRegular);
  application->activateIgnoringOtherApps(true);
  NSAlert alert;
  alert.setMessageText("Plintor");
  alert.setInformativeText(message + "\n\nSee the log at:\n" +
                           logDirectory().URLByAppendingPathComponent(kLogFileName).path());
  alert.addButtonWithTitle("OK");
  alert.setAlertStyle(NSAlertStyleCritical);
  alert.runModal();
}

void PlintorPackagedApp::startForegroundWatch() {
  std::weak_ptr<PlintorPackagedApp> weak = weak_from_this();
  foregroundTimer_ = NSTimer::scheduledTimerWithTimeInterval(
      updateTestMode() ? 0.25 : 1.0, /*repeats=*/true, [weak](NSTimer* /*timer*/) {
        if (auto self = weak.lock()) {
          self->pollLauncherRequests();
        }
      });
}

void PlintorPackagedApp::pollLauncherRequests() {
  if (sparkleDriver_) {
    sparkleDriver_->consumeCommand();
  }
}

void PlintorPackagedApp::startSparkle() {
  if (quitting_) {
    return;
  }
  const auto info_string = [](const char* key) {
    const NSInfoValue* value = InfoValue(key);
    const std::string* text = value != nullptr ? value->stringValue() : nullptr;
    return text != nullptr ? *text : std::string();
  };
  const std::string feed = info_string("SUFeedURL");
  if (feed.empty() || info_string("SUPublicEDKey").empty() || !sparkleFeedIsPermitted(feed)) {
    return;
  }
  sparkleDriver_ = std::make_unique<PlintorSparkleDriver>(logDirectory());
  sparkleDriver_->startAndReturnError(nullptr);
}
