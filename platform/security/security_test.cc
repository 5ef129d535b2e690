// The keychain calls as callers use them, over keychain files in a temporary directory.
#include <Security/Security.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <string>

#include "platform/security/keychain_store.h"
#include "platform/security/test_support.h"

namespace security_store {
namespace {

class SecurityTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SecKeychainOpen(path_.c_str(), &keychain_), errSecSuccess); }
  void TearDown() override { CFRelease(keychain_); }

  OSStatus Add(const std::string& account, const std::string& secret) {
    return AddTo(keychain_, account, secret);
  }
  static OSStatus AddTo(SecKeychainRef keychain, const std::string& account,
                        const std::string& secret) {
    return SecKeychainAddGenericPassword(keychain, 3, "svc", static_cast<UInt32>(account.size()),
                                         account.data(), static_cast<UInt32>(secret.size()),
                                         secret.data(), nullptr);
  }
  std::string Secret(const std::string& account) { return SecretIn(keychain_, account); }
  // The secret of the item, or "<status>" when the lookup fails.
  static std::string SecretIn(CFTypeRef keychain, const std::string& account) {
    UInt32 length = 0;
    void* data = nullptr;
    OSStatus status =
        SecKeychainFindGenericPassword(keychain, 3, "svc", static_cast<UInt32>(account.size()),
                                       account.data(), &length, &data, nullptr);
    if (status != errSecSuccess) {
      return "<" + std::to_string(status) + ">";
    }
    std::string secret(static_cast<const char*>(data), length);
    SecKeychainItemFreeContent(nullptr, data);
    return secret;
  }
  SecKeychainItemRef Item(const std::string& account) {
    SecKeychainItemRef item = nullptr;
    EXPECT_EQ(
        SecKeychainFindGenericPassword(keychain_, 3, "svc", static_cast<UInt32>(account.size()),
                                       account.data(), nullptr, nullptr, &item),
        errSecSuccess);
    return item;
  }

  ScopedTempDir dir_;
  std::string path_ = dir_.file("test.keychain");
  SecKeychainRef keychain_ = nullptr;
};

TEST_F(SecurityTest, AddFindModifyDelete) {
  EXPECT_EQ(Secret("alice"), "<-25300>");
  ASSERT_EQ(Add("alice", std::string("p\0w\n", 4)), errSecSuccess);
  ASSERT_EQ(Add("bob", "other"), errSecSuccess);
  EXPECT_EQ(Add("alice", "again"), errSecDuplicateItem);
  EXPECT_EQ(Secret("alice"), std::string("p\0w\n", 4));

  SecKeychainItemRef item = Item("alice");
  EXPECT_EQ(SecKeychainItemModifyAttributesAndData(item, nullptr, 3, "new"), errSecSuccess);
  EXPECT_EQ(Secret("alice"), "new");
  EXPECT_EQ(Secret("bob"), "other");
  EXPECT_EQ(SecKeychainItemDelete(item), errSecSuccess);
  EXPECT_EQ(Secret("alice"), "<-25300>");
  EXPECT_EQ(Secret("bob"), "other");

  // The reference now names an item that is gone.
  EXPECT_EQ(SecKeychainItemDelete(item), errSecInvalidItemRef);
  EXPECT_EQ(SecKeychainItemModifyAttributesAndData(item, nullptr, 1, "x"), errSecInvalidItemRef);
  CFRelease(item);
}

TEST_F(SecurityTest, EmptyAccountMatchesAnyAndNoOutputsMayBeAsked) {
  ASSERT_EQ(Add("alice", "a"), errSecSuccess);
  EXPECT_EQ(
      SecKeychainFindGenericPassword(keychain_, 3, "svc", 0, nullptr, nullptr, nullptr, nullptr),
      errSecSuccess);
  EXPECT_EQ(Secret(""), "a");
}

TEST_F(SecurityTest, NullKeychainIsTheDefaultOneAndArraysAreSearchedInOrder) {
  ScopedEnv data("XDG_DATA_HOME", dir_.file("data"));
  ASSERT_EQ(SecKeychainAddGenericPassword(nullptr, 3, "svc", 5, "alice", 3, "def", nullptr),
            errSecSuccess);
  EXPECT_EQ(SecretIn(nullptr, "alice"), "def");
  EXPECT_EQ(base::read_whole_file(dir_.file("data/keychains/login.keychain")).substr(0, 7),
            "VKCHAIN");

  SecKeychainRef second = nullptr;
  ASSERT_EQ(SecKeychainOpen(dir_.file("second.keychain").c_str(), &second), errSecSuccess);
  ASSERT_EQ(AddTo(second, "alice", "in-second"), errSecSuccess);
  ASSERT_EQ(Add("bob", "in-first"), errSecSuccess);
  const void* both[] = {keychain_, second};
  CFArrayRef list = CFArrayCreate(kCFAllocatorDefault, both, 2, &kCFTypeArrayCallBacks);
  CFRelease(second);  // the array keeps it
  EXPECT_EQ(SecretIn(list, "alice"), "in-second");
  EXPECT_EQ(SecretIn(list, "bob"), "in-first");
  CFRelease(list);
}

TEST_F(SecurityTest, AccessListIsStoredWithTheItemInOrder) {
  ASSERT_EQ(Add("alice", "a"), errSecSuccess);
  std::string app_path = dir_.file("app");
  WriteFileBytes(app_path, "#!/bin/sh\n");
  SecTrustedApplicationRef self = nullptr;
  SecTrustedApplicationRef app = nullptr;
  ASSERT_EQ(SecTrustedApplicationCreateFromPath(nullptr, &self), errSecSuccess);
  ASSERT_EQ(SecTrustedApplicationCreateFromPath((dir_.path() + "/./app").c_str(), &app),
            errSecSuccess);
  const void* apps[] = {self, app};
  CFArrayRef list = CFArrayCreate(kCFAllocatorDefault, apps, 2, &kCFTypeArrayCallBacks);
  CFRelease(self);
  CFRelease(app);
  ASSERT_EQ(CFArrayGetCount(list), 2);
  SecAccessRef access = nullptr;
  ASSERT_EQ(SecAccessCreate(CFSTR("Plintor"), list, &access), errSecSuccess);
  SecKeychainItemRef item = Item("alice");
  EXPECT_EQ(SecKeychainItemSetAccess(item, access), errSecSuccess);
  CFRelease(item);
  CFRelease(access);
  CFRelease(list);

  KeychainContents contents;
  ASSERT_EQ(LoadKeychain(path_, &contents), errSecSuccess);
  ASSERT_TRUE(contents.items[0].access.has_value());
  EXPECT_EQ(contents.items[0].access->descriptor, "Plintor");
  char self_path[PATH_MAX];
  ASSERT_NE(::realpath("/proc/self/exe", self_path), nullptr);
  char app_canonical[PATH_MAX];
  ASSERT_NE(::realpath(app_path.c_str(), app_canonical), nullptr);
  EXPECT_EQ(contents.items[0].access->trusted_apps,
            (std::vector<std::string>{self_path, app_canonical}));
  EXPECT_EQ(contents.items[0].secret, Bytes{'a'});
}

TEST_F(SecurityTest, BadArgumentsAreRefused) {
  SecKeychainRef keychain = nullptr;
  EXPECT_EQ(SecKeychainOpen("", &keychain), errSecNoSuchKeychain);
  EXPECT_EQ(SecKeychainOpen(nullptr, &keychain), errSecParam);
  SecTrustedApplicationRef app = nullptr;
  EXPECT_EQ(SecTrustedApplicationCreateFromPath(dir_.file("missing").c_str(), &app), errSecParam);
  EXPECT_EQ(SecTrustedApplicationCreateFromPath("", &app), errSecParam);
  const void* not_apps[] = {keychain_};
  CFArrayRef list = CFArrayCreate(kCFAllocatorDefault, not_apps, 1, &kCFTypeArrayCallBacks);
  SecAccessRef access = nullptr;
  EXPECT_EQ(SecAccessCreate(CFSTR("Plintor"), list, &access), errSecParam);
  CFRelease(list);
  EXPECT_EQ(SecKeychainAddGenericPassword(keychain_, 3, "svc", 1, "a", 4, nullptr, nullptr),
            errSecParam);
  SecKeychainAttributeList attrs = {1, nullptr};
  SecKeychainItemRef item = nullptr;
  ASSERT_EQ(Add("alice", "a"), errSecSuccess);
  item = Item("alice");
  EXPECT_EQ(SecKeychainItemModifyAttributesAndData(item, &attrs, 1, "b"), errSecUnimplemented);
  CFRelease(item);
}

TEST_F(SecurityTest, CorruptKeychainFileGivesAnErrorToEveryCall) {
  WriteFileBytes(path_, "garbage that is not a keychain file");
  EXPECT_EQ(Secret("alice"), "<-25295>");
  EXPECT_EQ(Add("alice", "a"), errSecInvalidKeychain);
  EXPECT_EQ(base::read_whole_file(path_), "garbage that is not a keychain file");
}

TEST(SecurityOpenTest, RelativePathIsTakenFromTheWorkingDirectory) {
  ScopedTempDir dir;
  char old_cwd[PATH_MAX];
  ASSERT_NE(::getcwd(old_cwd, sizeof(old_cwd)), nullptr);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  SecKeychainRef keychain = nullptr;
  ASSERT_EQ(SecKeychainOpen("rel.keychain", &keychain), errSecSuccess);
  ASSERT_EQ(::chdir(old_cwd), 0);
  ASSERT_EQ(SecKeychainAddGenericPassword(keychain, 1, "s", 1, "a", 1, "x", nullptr),
            errSecSuccess);
  CFRelease(keychain);
  EXPECT_FALSE(base::read_whole_file(dir.file("rel.keychain")).empty());
}

}  // namespace
}  // namespace security_store
