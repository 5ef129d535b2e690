#include "vaultkeep/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vaultkeep {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, InvalidShapesAreRefused) {
  const Args cases[] = {
      {},
      {"read", "svc"},
      {"read", "", "acct"},
      {"read", "svc", ""},
      {"read", "svc", "acct", "--keychain"},              // option without its path
      {"read", "svc", "acct", "extra"},                   // extra argument
      {"read", "svc", "acct", "--keychain", "k", "x"},    // more after the option
      {"read", "svc", "acct", "--Keychain", "k"},         // not exactly the option
      {"create", "svc", "acct", "x", "--keychain", "k"},  // option not the last pair
      {"grant-app", "svc", "acct"},                       // no APP
      {"grant-app", "svc", "acct", ""},                   // empty APP
      {"grant-app", "svc", "acct", "/app", "--keychain"},
      {"grant-app", "svc", "acct", "/app", "x", "k"},
      {"grant-app", "svc", "acct", "/app", "--keychain", "k", "x"},
  };
  for (const Args& args : cases) {
    EXPECT_FALSE(parse_arguments(args).has_value()) << ::testing::PrintToString(args);
  }
}

TEST(CommandLineTest, ValidShapesAreTakenApart) {
  std::optional<Invocation> plain = parse_arguments({"read", "svc", "acct"});
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->command_word, "read");
  EXPECT_EQ(plain->service, "svc");
  EXPECT_EQ(plain->account, "acct");
  EXPECT_FALSE(plain->keychain_path.has_value());

  std::optional<Invocation> grant =
      parse_arguments({"grant-app", "svc", "acct", "/Applications/X", "--keychain", "k"});
  ASSERT_TRUE(grant.has_value());
  EXPECT_EQ(grant->app, "/Applications/X");
  EXPECT_EQ(grant->keychain_path, "k");

  // The command word is checked later, once the keychain is open; an empty path is the keychain's
  // business too.
  std::optional<Invocation> unknown =
      parse_arguments({"frobnicate", "svc", "acct", "--keychain", ""});
  ASSERT_TRUE(unknown.has_value());
  EXPECT_EQ(unknown->keychain_path, "");
  // For other commands a fourth argument is never an APP.
  EXPECT_FALSE(parse_arguments({"upsert", "svc", "acct", "/app"}).has_value());
}

TEST(CommandLineTest, CommandWordsAreExact) {
  EXPECT_EQ(command_from_word("read"), Command::kRead);
  EXPECT_EQ(command_from_word("delete"), Command::kDelete);
  EXPECT_EQ(command_from_word("create"), Command::kCreate);
  EXPECT_EQ(command_from_word("upsert"), Command::kUpsert);
  EXPECT_EQ(command_from_word("grant-app"), Command::kGrantApp);
  EXPECT_FALSE(command_from_word("Read").has_value());
  EXPECT_FALSE(command_from_word("grant").has_value());
  EXPECT_FALSE(command_from_word("").has_value());
}

}  // namespace
}  // namespace vaultkeep
