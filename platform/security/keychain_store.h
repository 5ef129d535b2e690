// Keychain files on disk: reading one, and changing one safely when several processes do so at
// once.
//
// A change takes an exclusive lock on the sibling file "<keychain>.lock", reads the keychain
// afresh, applies the change, writes the result to a temporary sibling (mode 0600 before any byte
// is written), flushes and synchronises it, renames it over the keychain and synchronises the
// directory. Readers take no lock: they see either the old or the new file, never a part of one.
#ifndef PLATFORM_SECURITY_KEYCHAIN_STORE_H_
#define PLATFORM_SECURITY_KEYCHAIN_STORE_H_

#include <Security/Security.h>

#include <functional>
#include <string>

#include "platform/security/keychain_file.h"

namespace security_store {

// Reads the keychain at `path` into `*contents`. A file that does not exist is an empty keychain. A
// file that is not a valid keychain gives the error of DecodeKeychain; a failed read errSecIO (or
// errSecWrPerm when access is refused).
OSStatus LoadKeychain(const std::string& path, KeychainContents* contents);

// Applies `change` to the current contents of the keychain at `path`, under the lock, and stores
// the result when `change` returns errSecSuccess; otherwise returns what `change` returned and
// leaves the file as it was. Missing directories on the way to `path` are created with mode 0700;
// the keychain file itself always ends up with mode 0600. On any failure the keychain file is left
// untouched and no temporary file remains.
OSStatus UpdateKeychain(const std::string& path,
                        const std::function<OSStatus(KeychainContents*)>& change);

// The user's default keychain: "keychains/login.keychain" under $XDG_DATA_HOME when that is an
// absolute path, else under ~/.local/share. Empty when no home directory is known.
std::string DefaultKeychainPath();

}  // namespace security_store

#endif  // PLATFORM_SECURITY_KEYCHAIN_STORE_H_
