// The keychain file format: encoding the items of one keychain into bytes and decoding them back.
// The layout is described in platform/security/FORMAT.md.
#ifndef PLATFORM_SECURITY_KEYCHAIN_FILE_H_
#define PLATFORM_SECURITY_KEYCHAIN_FILE_H_

#include <Security/Security.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/security/wiped_bytes.h"

namespace security_store {

inline constexpr char kKeychainMagic[8] = {'V', 'K', 'C', 'H', 'A', 'I', 'N', '\0'};
inline constexpr std::uint32_t kKeychainFormatVersion = 1;

// Who may use an item: a descriptor and the canonical paths of trusted programs, in order.
struct AccessList {
  std::string descriptor;
  std::vector<std::string> trusted_apps;
};

// A generic password. Service and account (byte strings) identify it within a keychain.
struct KeychainItem {
  std::string service;
  std::string account;
  Bytes secret;
  std::optional<AccessList> access;  // none until one is set
};

struct KeychainContents {
  std::vector<KeychainItem> items;

  // The item with exactly this service and account, or null.
  KeychainItem* Find(const std::string& service, const std::string& account);
};

// The file image of `contents`.
Bytes EncodeKeychain(const KeychainContents& contents);

// Decodes a file image into `*contents`. errSecInvalidKeychain for anything that is not a whole,
// intact keychain of a known version (wrong magic, truncation, trailing bytes, bad checksum,
// duplicate items); errSecWrongSecVersion for a version newer than this code knows.
OSStatus DecodeKeychain(const std::uint8_t* data, std::size_t size, KeychainContents* contents);

// CRC-32 (the IEEE polynomial, as zlib and PNG use it).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace security_store

#endif  // PLATFORM_SECURITY_KEYCHAIN_FILE_H_
