#include "platform/security/keychain_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace security_store {
namespace {

Bytes BytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

KeychainContents SampleContents() {
  KeychainContents contents;
  KeychainItem plain;
  plain.service = "svc";
  plain.account = "alice";
  plain.secret = BytesOf(std::string("a\0b\nc\xff", 6));
  contents.items.push_back(plain);
  KeychainItem granted;
  granted.service = "svc";
  granted.account = "bob";
  granted.access = AccessList{"Plintor", {"/usr/bin/a", "/opt/b"}};
  contents.items.push_back(granted);  // empty secret
  return contents;
}

// Recomputes the checksum so that a deliberately damaged body reaches the parser.
void Reseal(Bytes* image) {
  std::uint32_t crc = Crc32(image->data(), image->size() - 4);
  for (int i = 0; i < 4; ++i) {
    (*image)[image->size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  }
}

void PutU32At(std::size_t offset, std::uint32_t value, Bytes* image) {
  for (int i = 0; i < 4; ++i) {
    (*image)[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

TEST(KeychainFileTest, RoundTripsItemsSecretsAndAccessLists) {
  Bytes image = EncodeKeychain(SampleContents());
  KeychainContents decoded;
  ASSERT_EQ(DecodeKeychain(image.data(), image.size(), &decoded), errSecSuccess);
  ASSERT_EQ(decoded.items.size(), 2u);
  EXPECT_EQ(decoded.items[0].secret, BytesOf(std::string("a\0b\nc\xff", 6)));
  EXPECT_FALSE(decoded.items[0].access.has_value());
  EXPECT_TRUE(decoded.items[1].secret.empty());
  ASSERT_TRUE(decoded.items[1].access.has_value());
  EXPECT_EQ(decoded.items[1].access->descriptor, "Plintor");
  EXPECT_EQ(decoded.items[1].access->trusted_apps,
            (std::vector<std::string>{"/usr/bin/a", "/opt/b"}));
  EXPECT_NE(decoded.Find("svc", "bob"), nullptr);
  EXPECT_EQ(decoded.Find("svc", "carol"), nullptr);
}

TEST(KeychainFileTest, EmptyKeychainIsHeaderAndChecksumOnly) {
  Bytes image = EncodeKeychain(KeychainContents());
  EXPECT_EQ(image.size(), 20u);
  EXPECT_EQ(std::memcmp(image.data(), "VKCHAIN\0\x01\0\0\0\0\0\0\0", 16), 0);
  KeychainContents decoded;
  EXPECT_EQ(DecodeKeychain(image.data(), image.size(), &decoded), errSecSuccess);
  EXPECT_TRUE(decoded.items.empty());
}

TEST(KeychainFileTest, EveryTruncationIsRefused) {
  Bytes image = EncodeKeychain(SampleContents());
  for (std::size_t size = 0; size < image.size(); ++size) {
    KeychainContents decoded;
    EXPECT_EQ(DecodeKeychain(image.data(), size, &decoded), errSecInvalidKeychain) << size;
  }
}

TEST(KeychainFileTest, EveryFlippedByteIsRefused) {
  Bytes image = EncodeKeychain(SampleContents());
  for (std::size_t i = 0; i < image.size(); ++i) {
    Bytes damaged = image;
    damaged[i] ^= 0x01;
    KeychainContents decoded;
    EXPECT_NE(DecodeKeychain(damaged.data(), damaged.size(), &decoded), errSecSuccess) << i;
  }
}

TEST(KeychainFileTest, DamagedStructureIsRefusedEvenWithAValidChecksum) {
  Bytes image = EncodeKeychain(SampleContents());
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  } cases[] = {
      {"count larger than the items", 12, 3},
      {"count smaller than the items", 12, 1},
      {"service length past the end", 16, 0xFFFFFFFFu},
      {"version zero", 8, 0},
  };
  for (const Case& c : cases) {
    Bytes damaged = image;
    PutU32At(c.offset, c.value, &damaged);
    Reseal(&damaged);
    KeychainContents decoded;
    EXPECT_EQ(DecodeKeychain(damaged.data(), damaged.size(), &decoded), errSecInvalidKeychain)
        << c.what;
  }
}

TEST(KeychainFileTest, NewerVersionIsReportedAsSuch) {
  Bytes image = EncodeKeychain(SampleContents());
  PutU32At(8, kKeychainFormatVersion + 1, &image);  // checksum now wrong too: version comes first
  KeychainContents decoded;
  EXPECT_EQ(DecodeKeychain(image.data(), image.size(), &decoded), errSecWrongSecVersion);
}

TEST(KeychainFileTest, DuplicateItemsAndTrailingBytesAreRefused) {
  KeychainContents twice = SampleContents();
  twice.items.push_back(twice.items[0]);
  Bytes duplicated = EncodeKeychain(twice);
  KeychainContents decoded;
  EXPECT_EQ(DecodeKeychain(duplicated.data(), duplicated.size(), &decoded), errSecInvalidKeychain);

  Bytes longer = EncodeKeychain(SampleContents());
  longer.insert(longer.end() - 4, 0);
  Reseal(&longer);
  EXPECT_EQ(DecodeKeychain(longer.data(), longer.size(), &decoded), errSecInvalidKeychain);
}

TEST(KeychainFileTest, NotAKeychainIsRefused) {
  std::string text = "this is a text file that is long enough to hold a header\n";
  KeychainContents decoded;
  EXPECT_EQ(
      DecodeKeychain(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), &decoded),
      errSecInvalidKeychain);
}

TEST(KeychainFileTest, Crc32MatchesTheStandardCheckValue) {
  const char* check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(check), 9), 0xCBF43926u);
}

}  // namespace
}  // namespace security_store
