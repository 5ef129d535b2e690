// vaultkeep: keeps secrets in the keychain as generic passwords named by a service and an account.
// Secrets come in on standard input and go out on standard output, never on the command line.
#ifndef VAULTKEEP_KEYCHAIN_TOOL_H_
#define VAULTKEEP_KEYCHAIN_TOOL_H_

#include <cstdio>
#include <string>
#include <vector>

namespace vaultkeep {

inline constexpr int kExitSuccess = 0;
// A keychain call failed (with a message), or the secret could not be read or written (without).
inline constexpr int kExitFailure = 1;
// The command line is not valid (no message).
inline constexpr int kExitUsage = 2;
inline constexpr int kExitItemNotFound = 44;
inline constexpr int kExitDuplicateItem = 45;

struct ToolStreams {
  int input_fd;       // the secret to store
  int output_fd;      // the secret read back, and the help text
  std::FILE* errors;  // the one failure message
};

// Runs vaultkeep with `args` (the arguments after the program name) and returns its exit status.
int run_vaultkeep(const std::vector<std::string>& args, const ToolStreams& streams);

}  // namespace vaultkeep

#endif  // VAULTKEEP_KEYCHAIN_TOOL_H_
