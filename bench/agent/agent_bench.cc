// Timings of what the agent does on its polling timer and on request: one poll of the update
// command file (absent, or holding a word), one status publish, and reading the interface address.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "agent/plintor_packaged_app.h"
#include "agent/plintor_sparkle_driver.h"
#include "platform/cocoa/bundle.h"

namespace {

// A home directory and an empty bundle in a temporary directory, for the life of the program.
const std::string& Root() {
  static const std::string* root = new std::string([] {
    std::string pattern = (std::filesystem::temp_directory_path() / "agent-bench-XXXXXX").string();
    std::string made = mkdtemp(pattern.data());
    std::filesystem::create_directories(made + "/home/Library/Logs/Plintor");
    std::filesystem::create_directories(made + "/Plintor.app/Contents");
    setenv("HOME", (made + "/home").c_str(), 1);
    NSBundle::setMainBundleForTesting(NSBundle::bundleWithPath(made + "/Plintor.app"));
    std::atexit([] { std::filesystem::remove_all(Root()); });
    return made;
  }());
  return *root;
}

std::string LogDirectory() {
  return Root() + "/home/Library/Logs/Plintor";
}

void BM_PollWithoutCommand(benchmark::State& state) {
  PlintorSparkleDriver driver(NSURL::fileURLWithPath(LogDirectory()));
  for (auto _ : state) {
    driver.consumeCommand();
  }
}
BENCHMARK(BM_PollWithoutCommand);

void BM_PollWithCommand(benchmark::State& state) {
  PlintorSparkleDriver driver(NSURL::fileURLWithPath(LogDirectory()));
  const std::string path = LogDirectory() + "/" + PlintorSparkleDriver::kCommandFileName;
  for (auto _ : state) {
    std::ofstream(path) << "dismiss\n";
    driver.consumeCommand();
  }
}
BENCHMARK(BM_PollWithCommand);

void BM_PublishStatus(benchmark::State& state) {
  PlintorSparkleDriver driver(NSURL::fileURLWithPath(LogDirectory()));
  for (auto _ : state) {
    driver.publish();
  }
}
BENCHMARK(BM_PublishStatus)->Unit(benchmark::kMicrosecond);

void BM_ReadyInterfaceURL(benchmark::State& state) {
  auto app = std::make_shared<PlintorPackagedApp>();
  std::ofstream(LogDirectory() + "/plintor-url") << "http://127.0.0.1:8080\n";
  for (auto _ : state) {
    benchmark::DoNotOptimize(app->readyInterfaceURL());
  }
}
BENCHMARK(BM_ReadyInterfaceURL);

}  // namespace

BENCHMARK_MAIN();
