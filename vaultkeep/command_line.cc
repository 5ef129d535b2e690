#include "vaultkeep/command_line.h"

#include <array>
#include <cstddef>
#include <utility>

namespace vaultkeep {
namespace {

constexpr char kGrantAppWord[] = "grant-app";
constexpr char kKeychainOption[] = "--keychain";

// `args` holds `base` positional arguments, optionally followed by "--keychain PATH".
bool take_keychain_option(const std::vector<std::string>& args, std::size_t base,
                          Invocation* invocation) {
  if (args.size() == base) {
    return true;
  }
  if (args.size() != base + 2 || args[base] != kKeychainOption) {
    return false;
  }
  invocation->keychain_path = args[base + 1];
  return true;
}

}  // namespace

std::optional<Invocation> parse_arguments(const std::vector<std::string>& args) {
  if (args.size() < 3 || args[1].empty() || args[2].empty()) {
    return std::nullopt;
  }
  Invocation invocation;
  invocation.command_word = args[0];
  invocation.service = args[1];
  invocation.account = args[2];
  std::size_t base = 3;
  if (args[0] == kGrantAppWord) {
    if (args.size() < 4 || args[3].empty()) {
      return std::nullopt;
    }
    invocation.app = args[3];
    base = 4;
  }
  if (!take_keychain_option(args, base, &invocation)) {
    return std::nullopt;
  }
  return invocation;
}

std::optional<Command> command_from_word(const std::string& word) {
  static const std::array<std::pair<const char*, Command>, 5> kWords = {{
      {"read", Command::kRead},
      {"delete", Command::kDelete},
      {"create", Command::kCreate},
      {"upsert", Command::kUpsert},
      {kGrantAppWord, Command::kGrantApp},
  }};
  for (const auto& [name, command] : kWords) {
    if (word == name) {
      return command;
    }
  }
  return std::nullopt;
}

}  // namespace vaultkeep
