#include "platform/security/keychain_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/security/test_support.h"

namespace security_store {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A change that adds one item with the given account.
auto AddAccount(const std::string& account, const std::string& secret = "s") {
  return [account, secret](KeychainContents* contents) {
    if (contents->Find("svc", account) != nullptr) {
      return static_cast<OSStatus>(errSecDuplicateItem);
    }
    KeychainItem item;
    item.service = "svc";
    item.account = account;
    item.secret.assign(secret.begin(), secret.end());
    contents->items.push_back(std::move(item));
    return static_cast<OSStatus>(errSecSuccess);
  };
}

TEST(KeychainStoreTest, MissingFileReadsAsEmptyAndIsNotCreatedByReading) {
  ScopedTempDir dir;
  KeychainContents contents;
  contents.items.emplace_back();
  EXPECT_EQ(LoadKeychain(dir.file("none.keychain"), &contents), errSecSuccess);
  EXPECT_TRUE(contents.items.empty());
  EXPECT_TRUE(Listing(dir.path()).empty());
}

TEST(KeychainStoreTest, FirstChangeCreatesPrivateFileAndDirectories) {
  ScopedTempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  std::string path = dir.file("a/b/login.keychain");
  ASSERT_EQ(UpdateKeychain(path, AddAccount("alice")), errSecSuccess);
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(ModeOf(dir.file("a")), 0700u);
  EXPECT_EQ(ModeOf(dir.file("a/b")), 0700u);
  EXPECT_EQ(ModeOf(dir.path()), 0755u);  // an existing directory is left alone
  EXPECT_EQ(Listing(dir.file("a/b")),
            (std::vector<std::string>{"login.keychain", "login.keychain.lock"}));
  KeychainContents contents;
  ASSERT_EQ(LoadKeychain(path, &contents), errSecSuccess);
  ASSERT_EQ(contents.items.size(), 1u);
  EXPECT_EQ(contents.items[0].account, "alice");
}

TEST(KeychainStoreTest, ReplacedFileIsPrivateWhateverTheOldModeWas) {
  ScopedTempDir dir;
  std::string path = dir.file("k");
  ASSERT_EQ(UpdateKeychain(path, AddAccount("alice")), errSecSuccess);
  ::chmod(path.c_str(), 0644);
  ASSERT_EQ(UpdateKeychain(path, AddAccount("bob")), errSecSuccess);
  EXPECT_EQ(ModeOf(path), 0600u);
}

TEST(KeychainStoreTest, RefusedChangeLeavesFileAsItWas) {
  ScopedTempDir dir;
  std::string path = dir.file("k");
  ASSERT_EQ(UpdateKeychain(path, AddAccount("alice", "first")), errSecSuccess);
  std::string before = base::read_whole_file(path);
  EXPECT_EQ(UpdateKeychain(path, AddAccount("alice", "second")), errSecDuplicateItem);
  EXPECT_EQ(base::read_whole_file(path), before);
  EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"k", "k.lock"}));
}

TEST(KeychainStoreTest, TemporariesOfADeadWriterAreRemovedByTheNextChange) {
  ScopedTempDir dir;
  std::string path = dir.file("k");
  WriteFileBytes(path + ".tmp.a1b2c3", "half-written keychain with secrets");
  WriteFileBytes(dir.file("k.tmp.unrelated-name"), "kept");
  WriteFileBytes(dir.file("other.tmp.a1b2c3"), "kept");
  ASSERT_EQ(UpdateKeychain(path, AddAccount("alice")), errSecSuccess);
  EXPECT_EQ(Listing(dir.path()),
            (std::vector<std::string>{"k", "k.lock", "k.tmp.unrelated-name", "other.tmp.a1b2c3"}));
}

TEST(KeychainStoreTest, InvalidFilesAreReportedAndNeverOverwritten) {
  ScopedTempDir dir;
  KeychainContents valid;
  valid.items.emplace_back();
  Bytes image = EncodeKeychain(valid);
  std::string newer(image.begin(), image.end());
  newer[8] = 2;
  struct Case {
    const char* what;
    std::string bytes;
    OSStatus expected;
  } cases[] = {
      {"text", "not a keychain at all, just some words\n", errSecInvalidKeychain},
      {"empty", "", errSecInvalidKeychain},
      {"truncated", std::string(image.begin(), image.end() - 1), errSecInvalidKeychain},
      {"newer", newer, errSecWrongSecVersion},
  };
  for (const Case& c : cases) {
    std::string path = dir.file(c.what);
    WriteFileBytes(path, c.bytes);
    KeychainContents contents;
    EXPECT_EQ(LoadKeychain(path, &contents), c.expected) << c.what;
    EXPECT_EQ(UpdateKeychain(path, AddAccount("alice")), c.expected) << c.what;
    EXPECT_EQ(base::read_whole_file(path), c.bytes) << c.what;
  }
  KeychainContents contents;
  EXPECT_EQ(LoadKeychain(dir.path(), &contents), errSecInvalidKeychain);  // a directory
}

TEST(KeychainStoreTest, ConcurrentChangesAreAllKept) {
  ScopedTempDir dir;
  std::string path = dir.file("k");
  constexpr int kThreads = 8;
  constexpr int kPerThread = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&path, t] {
      for (int i = 0; i < kPerThread; ++i) {
        EXPECT_EQ(UpdateKeychain(path, AddAccount(std::to_string(t) + "-" + std::to_string(i))),
                  errSecSuccess);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  KeychainContents contents;
  ASSERT_EQ(LoadKeychain(path, &contents), errSecSuccess);
  EXPECT_EQ(contents.items.size(), static_cast<std::size_t>(kThreads * kPerThread));
}

TEST(KeychainStoreTest, DefaultKeychainFollowsTheDataDirectory) {
  {
    ScopedEnv data("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(DefaultKeychainPath(), "/data/home/keychains/login.keychain");
  }
  ScopedEnv data("XDG_DATA_HOME", "relative/ignored");
  ScopedEnv home("HOME", "/home/someone");
  EXPECT_EQ(DefaultKeychainPath(), "/home/someone/.local/share/keychains/login.keychain");
}

}  // namespace
}  // namespace security_store
