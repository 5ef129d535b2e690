// Plintor: the menu-bar agent. Wires the application delegate into the shared application.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "agent/plintor_packaged_app.h"
#include "platform/cocoa/alert.h"
#include "platform/cocoa/application.h"

namespace {

constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: Plintor [plintor://open ...]\n"
      "\n"
      "The Plintor menu-bar agent. Run from an application bundle\n"
      "(<bundle>/Contents/MacOS/Plintor): it prepares and starts the bundle's supervisor\n"
      "(Contents/Resources/agent/Plintor), keeps it running and stops it when the agent ends\n"
      "(SIGTERM, SIGINT or SIGHUP). Modes come from Contents/Info.plist; logs and status files lie "
      "in\n"
      "~/Library/Logs/Plintor (or the mode's directory).\n"
      "\n"
      "Arguments are URLs handed to the agent once it has started; plintor://open opens the\n"
      "interface as soon as the supervisor publishes its address.\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<NSURL> urls;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintUsage(stdout);
      return 0;
    }
    std::optional<NSURL> url = NSURL::URLWithString(argv[i]);
    if (!url) {
      std::fprintf(stderr, "Plintor: not a URL: %s\n", argv[i]);
      PrintUsage(stderr);
      return kExitUsage;
    }
    urls.push_back(*url);
  }
  NSApplication* application = NSApplication::sharedApplication();
  auto delegate = std::make_shared<PlintorPackagedApp>();
  // Alerts also go to the agent's own log beside the supervisor's.
  NSAlert::setLogFile(
      delegate->logDirectory().URLByAppendingPathComponent("plintor-agent.log").path());
  application->setDelegate(delegate);
  application->openURLsAfterLaunch(std::move(urls));
  application->run();
  return 0;
}
