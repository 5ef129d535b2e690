#include "platform/cocoa/task.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace {

std::shared_ptr<NSTask> Shell(const std::string& script) {
  auto task = std::make_shared<NSTask>();
  task->setExecutableURL(NSURL::fileURLWithPath("/bin/sh"));
  task->setArguments({"-c", script});
  return task;
}

TEST(TaskTest, ExitStatusAndHandlerOffTheCallingThread) {
  auto task = Shell("exit 7");
  std::promise<std::pair<int, std::thread::id>> ended;
  task->setTerminationHandler([&ended](NSTask* t) {
    ended.set_value({t->terminationStatus(), std::this_thread::get_id()});
  });
  ASSERT_TRUE(task->launchAndReturnError(nullptr));
  EXPECT_GT(task->processIdentifier(), 0);
  const auto [status, thread] = ended.get_future().get();
  EXPECT_EQ(status, 7);
  EXPECT_NE(thread, std::this_thread::get_id());
  task->waitUntilExit();
  EXPECT_FALSE(task->isRunning());
  EXPECT_EQ(task->terminationReason(), NSTaskTerminationReason::kExit);
  EXPECT_FALSE(task->launchAndReturnError(nullptr));  // once only
}

TEST(TaskTest, ArgumentsEnvironmentAndDirectory) {
  const std::string dir = std::filesystem::temp_directory_path().string();
  const std::string out = dir + "/task-test-" + std::to_string(getpid());
  auto task = Shell("echo \"$1|$(pwd)|${ONLY-unset}|${HOME-unset}\" >" + out);
  task->setArguments({"-c", "echo \"$0|$(pwd)|${ONLY-unset}|${HOME-unset}\" >" + out, "arg one"});
  task->setEnvironment(std::map<std::string, std::string>{{"ONLY", "yes"}});
  task->setCurrentDirectoryURL(NSURL::fileURLWithPath("/"));
  ASSERT_TRUE(task->launchAndReturnError(nullptr));
  task->waitUntilExit();
  std::string line;
  std::getline(std::ifstream(out), line);
  std::filesystem::remove(out);
  EXPECT_EQ(line, "arg one|/|yes|unset");
}

TEST(TaskTest, TerminateSendsSigterm) {
  auto task = Shell("exec sleep 30");
  ASSERT_TRUE(task->launchAndReturnError(nullptr));
  EXPECT_TRUE(task->isRunning());
  task->terminate();
  task->waitUntilExit();
  EXPECT_EQ(task->terminationReason(), NSTaskTerminationReason::kUncaughtSignal);
  EXPECT_EQ(task->terminationStatus(), SIGTERM);
  task->terminate();  // after the end: nothing to signal
}

TEST(TaskTest, LaunchFailuresAreErrors) {
  NSTask unset;
  NSError error;
  EXPECT_FALSE(unset.launchAndReturnError(&error));
  unset.waitUntilExit();  // never launched: returns at once

  auto missing = std::make_shared<NSTask>();
  missing->setExecutableURL(NSURL::fileURLWithPath("/no/such/program"));
  EXPECT_FALSE(missing->launchAndReturnError(&error));
  EXPECT_NE(error.localizedDescription.find("/no/such/program"), std::string::npos);
  EXPECT_NE(error.localizedDescription.find("No such file"), std::string::npos);

  auto bad_directory = Shell("exit 0");
  bad_directory->setCurrentDirectoryURL(NSURL::fileURLWithPath("/no/such/dir"));
  EXPECT_FALSE(bad_directory->launchAndReturnError(&error));
  EXPECT_FALSE(bad_directory->isRunning());
}

}  // namespace
