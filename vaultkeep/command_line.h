// The command line of vaultkeep:
//   read|delete|create|upsert SERVICE ACCOUNT [--keychain PATH]
//   grant-app SERVICE ACCOUNT APP [--keychain PATH]
#ifndef VAULTKEEP_COMMAND_LINE_H_
#define VAULTKEEP_COMMAND_LINE_H_

#include <optional>
#include <string>
#include <vector>

namespace vaultkeep {

enum class Command { kRead, kDelete, kCreate, kUpsert, kGrantApp };

// A command line whose shape is valid. The command word itself is checked only later, after the
// keychain has been opened, so it is kept as given.
struct Invocation {
  std::string command_word;
  std::string service;
  std::string account;
  std::string app;                           // grant-app only
  std::optional<std::string> keychain_path;  // after "--keychain"
};

// Checks the arguments after the program name: at least three; non-empty SERVICE and ACCOUNT; for
// "grant-app" four or six arguments with a non-empty APP, for any other first word three or five;
// a keychain path only as the last pair, after exactly "--keychain". Nothing when any check fails.
std::optional<Invocation> parse_arguments(const std::vector<std::string>& args);

// The command named by `word`, or nothing for a word that names none.
std::optional<Command> command_from_word(const std::string& word);

}  // namespace vaultkeep

#endif  // VAULTKEEP_COMMAND_LINE_H_
