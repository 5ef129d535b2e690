// rivlet: publishes the live picture of one SRT caller as a JPEG preview and a status document.
#include <string>
#include <vector>

#include "bridges/srt/rivlet.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return rivlet::run_rivlet(args);
}
