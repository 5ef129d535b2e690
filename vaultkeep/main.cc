// vaultkeep: the keychain tool. See keychain_tool.h.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "vaultkeep/keychain_tool.h"

int main(int argc, char** argv) {
  // A reader that goes away must give a failed write (status 1), not a silent death by signal.
  ::signal(SIGPIPE, SIG_IGN);
  // A crash must not leave the secret behind in a core file.
  const rlimit no_core = {0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  std::vector<std::string> args(argv + 1, argv + argc);
  return vaultkeep::run_vaultkeep(args, {STDIN_FILENO, STDOUT_FILENO, stderr});
}
