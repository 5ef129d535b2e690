// Keychain calls over the file store: each call reads or changes the keychain file it names, so
// separate processes see each other's changes at once.
#include <Security/Security.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "base/secret_buffer.h"
#include "platform/security/cf_object.h"
#include "platform/security/keychain_store.h"

using security_store::AccessList;
using security_store::CFArrayObject;
using security_store::CFObject;
using security_store::CFStringObject;
using security_store::HandleFor;
using security_store::KeychainContents;
using security_store::KeychainItem;
using security_store::ObjectAs;

namespace {

struct KeychainObject : CFObject {
  std::string path;
};

// An item is named by its keychain and its identity there, so it follows the file across changes
// made by other processes.
struct ItemObject : CFObject {
  std::string keychain_path;
  std::string service;
  std::string account;
};

struct TrustedAppObject : CFObject {
  std::string path;
};

struct AccessObject : CFObject {
  AccessList access;
};

// Secrets handed out are preceded by their length so that they can be wiped when freed.
constexpr std::size_t kContentHeader = alignof(std::max_align_t);

// Runs a call body; allocation failures become errSecAllocate rather than escaping into C callers.
template <typename Body>
OSStatus Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return errSecAllocate;
  } catch (...) {
    return errSecIO;
  }
}

bool ValidBytes(const void* data, UInt32 length) {
  return length == 0 || data != nullptr;
}

std::string TextOf(const char* data, UInt32 length) {
  return length == 0 ? std::string() : std::string(data, length);
}

OSStatus DefaultKeychain(std::string* path) {
  *path = security_store::DefaultKeychainPath();
  return path->empty() ? errSecNoDefaultKeychain : errSecSuccess;
}

// The keychain files a call addresses: null means the default keychain; otherwise a keychain or an
// array of keychains.
OSStatus KeychainPaths(CFTypeRef keychain_or_array, std::vector<std::string>* paths) {
  if (keychain_or_array == nullptr) {
    paths->emplace_back();
    return DefaultKeychain(&paths->back());
  }
  if (auto* keychain = ObjectAs<KeychainObject>(keychain_or_array)) {
    paths->push_back(keychain->path);
    return errSecSuccess;
  }
  auto* array = ObjectAs<CFArrayObject>(keychain_or_array);
  if (array == nullptr) {
    return errSecParam;
  }
  for (const void* value : array->values) {
    auto* keychain = ObjectAs<KeychainObject>(value);
    if (keychain == nullptr) {
      return errSecParam;
    }
    paths->push_back(keychain->path);
  }
  return errSecSuccess;
}

// A zero-length service or account matches any.
KeychainItem* FindMatching(KeychainContents* contents, const std::string& service,
                           const std::string& account) {
  for (KeychainItem& item : contents->items) {
    if ((service.empty() || item.service == service) &&
        (account.empty() || item.account == account)) {
      return &item;
    }
  }
  return nullptr;
}

void* CopySecretOut(const security_store::Bytes& secret) {
  auto* block = static_cast<std::uint8_t*>(::malloc(kContentHeader + secret.size()));
  if (block == nullptr) {
    return nullptr;
  }
  std::size_t size = secret.size();
  ::memcpy(block, &size, sizeof(size));
  if (size > 0) {
    ::memcpy(block + kContentHeader, secret.data(), size);
  }
  return block + kContentHeader;
}

SecKeychainItemRef NewItemRef(const std::string& path, const KeychainItem& item) {
  auto* ref = new ItemObject();
  ref->keychain_path = path;
  ref->service = item.service;
  ref->account = item.account;
  return HandleFor<SecKeychainItemRef>(ref);
}

// Reports an item found in the keychain at `path` through the optional outputs.
OSStatus ReportFound(const std::string& path, const KeychainItem& item, UInt32* length, void** data,
                     SecKeychainItemRef* item_ref) {
  if (data != nullptr) {
    *data = CopySecretOut(item.secret);
    if (*data == nullptr) {
      return errSecAllocate;
    }
  }
  if (length != nullptr) {
    *length = static_cast<UInt32>(item.secret.size());
  }
  if (item_ref != nullptr) {
    *item_ref = NewItemRef(path, item);
  }
  return errSecSuccess;
}

// Applies `change` to the item behind `item_ref` in its keychain; errSecInvalidItemRef when the
// item is no longer there.
template <typename Change>
OSStatus ChangeItem(SecKeychainItemRef item_ref, Change change) {
  auto* ref = ObjectAs<ItemObject>(item_ref);
  if (ref == nullptr) {
    return errSecParam;
  }
  return security_store::UpdateKeychain(ref->keychain_path, [&](KeychainContents* contents) {
    KeychainItem* item = contents->Find(ref->service, ref->account);
    if (item == nullptr) {
      return static_cast<OSStatus>(errSecInvalidItemRef);
    }
    return change(contents, item);
  });
}

std::string SelfPath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer));
  return n > 0 && static_cast<std::size_t>(n) < sizeof(buffer) ? std::string(buffer, n) : "";
}

}  // namespace

extern "C" {

OSStatus SecKeychainOpen(const char* pathName, SecKeychainRef* keychain) {
  if (pathName == nullptr || keychain == nullptr) {
    return errSecParam;
  }
  if (pathName[0] == '\0') {
    return errSecNoSuchKeychain;
  }
  return Guarded([&] {
    std::string path = pathName;
    if (path[0] != '/') {
      char cwd[PATH_MAX];
      if (::getcwd(cwd, sizeof(cwd)) == nullptr) {
        return static_cast<OSStatus>(errSecNoSuchKeychain);
      }
      path = std::string(cwd) + "/" + path;
    }
    auto* object = new KeychainObject();
    object->path = path;
    *keychain = HandleFor<SecKeychainRef>(object);
    return static_cast<OSStatus>(errSecSuccess);
  });
}

OSStatus SecKeychainFindGenericPassword(CFTypeRef keychainOrArray, UInt32 serviceNameLength,
                                        const char* serviceName, UInt32 accountNameLength,
                                        const char* accountName, UInt32* passwordLength,
                                        void** passwordData, SecKeychainItemRef* itemRef) {
  if (!ValidBytes(serviceName, serviceNameLength) || !ValidBytes(accountName, accountNameLength)) {
    return errSecParam;
  }
  return Guarded([&] {
    std::vector<std::string> paths;
    if (OSStatus status = KeychainPaths(keychainOrArray, &paths); status != errSecSuccess) {
      return status;
    }
    std::string service = TextOf(serviceName, serviceNameLength);
    std::string account = TextOf(accountName, accountNameLength);
    for (const std::string& path : paths) {
      KeychainContents contents;
      if (OSStatus status = security_store::LoadKeychain(path, &contents);
          status != errSecSuccess) {
        return status;
      }
      if (const KeychainItem* item = FindMatching(&contents, service, account)) {
        return ReportFound(path, *item, passwordLength, passwordData, itemRef);
      }
    }
    return static_cast<OSStatus>(errSecItemNotFound);
  });
}

OSStatus SecKeychainItemFreeContent(SecKeychainAttributeList*, void* data) {
  if (data != nullptr) {
    std::uint8_t* block = static_cast<std::uint8_t*>(data) - kContentHeader;
    std::size_t size = 0;
    ::memcpy(&size, block, sizeof(size));
    base::wipe_bytes(block, kContentHeader + size);
    ::free(block);
  }
  return errSecSuccess;
}

OSStatus SecKeychainAddGenericPassword(SecKeychainRef keychain, UInt32 serviceNameLength,
                                       const char* serviceName, UInt32 accountNameLength,
                                       const char* accountName, UInt32 passwordLength,
                                       const void* passwordData, SecKeychainItemRef* itemRef) {
  if (!ValidBytes(serviceName, serviceNameLength) || !ValidBytes(accountName, accountNameLength) ||
      !ValidBytes(passwordData, passwordLength)) {
    return errSecParam;
  }
  return Guarded([&] {
    std::vector<std::string> paths;
    if (OSStatus status = KeychainPaths(keychain, &paths); status != errSecSuccess) {
      return status;
    }
    if (keychain != nullptr && ObjectAs<KeychainObject>(keychain) == nullptr) {
      return static_cast<OSStatus>(errSecParam);  // an array names no single keychain to add to
    }
    KeychainItem item;
    item.service = TextOf(serviceName, serviceNameLength);
    item.account = TextOf(accountName, accountNameLength);
    const auto* secret = static_cast<const std::uint8_t*>(passwordData);
    item.secret.assign(secret, secret + passwordLength);
    OSStatus status = security_store::UpdateKeychain(paths[0], [&](KeychainContents* contents) {
      if (contents->Find(item.service, item.account) != nullptr) {
        return static_cast<OSStatus>(errSecDuplicateItem);
      }
      contents->items.push_back(item);
      return static_cast<OSStatus>(errSecSuccess);
    });
    if (status == errSecSuccess && itemRef != nullptr) {
      *itemRef = NewItemRef(paths[0], item);
    }
    return status;
  });
}

OSStatus SecKeychainItemModifyAttributesAndData(SecKeychainItemRef itemRef,
                                                const SecKeychainAttributeList* attrList,
                                                UInt32 length, const void* data) {
  if (attrList != nullptr && attrList->count > 0) {
    return errSecUnimplemented;
  }
  if (data == nullptr && length > 0) {
    return errSecParam;
  }
  return Guarded([&] {
    return ChangeItem(itemRef, [&](KeychainContents*, KeychainItem* item) {
      if (data != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        item->secret.assign(bytes, bytes + length);
      }
      return static_cast<OSStatus>(errSecSuccess);
    });
  });
}

OSStatus SecKeychainItemDelete(SecKeychainItemRef itemRef) {
  return Guarded([&] {
    return ChangeItem(itemRef, [](KeychainContents* contents, KeychainItem* item) {
      contents->items.erase(contents->items.begin() + (item - contents->items.data()));
      return static_cast<OSStatus>(errSecSuccess);
    });
  });
}

OSStatus SecTrustedApplicationCreateFromPath(const char* path, SecTrustedApplicationRef* app) {
  if (app == nullptr || (path != nullptr && path[0] == '\0')) {
    return errSecParam;
  }
  return Guarded([&] {
    std::string target = path != nullptr ? path : SelfPath();
    char* canonical = ::realpath(target.c_str(), nullptr);
    if (canonical == nullptr) {
      return static_cast<OSStatus>(errSecParam);
    }
    auto* object = new TrustedAppObject();
    object->path = canonical;
    ::free(canonical);
    *app = HandleFor<SecTrustedApplicationRef>(object);
    return static_cast<OSStatus>(errSecSuccess);
  });
}

OSStatus SecAccessCreate(CFStringRef descriptor, CFArrayRef trustedlist, SecAccessRef* accessRef) {
  auto* text = ObjectAs<CFStringObject>(descriptor);
  if (text == nullptr || accessRef == nullptr) {
    return errSecParam;
  }
  return Guarded([&] {
    AccessList access;
    access.descriptor = text->text;
    if (trustedlist == nullptr) {
      access.trusted_apps.push_back(SelfPath());
    } else if (auto* array = ObjectAs<CFArrayObject>(trustedlist)) {
      for (const void* value : array->values) {
        auto* app = ObjectAs<TrustedAppObject>(value);
        if (app == nullptr) {
          return static_cast<OSStatus>(errSecParam);
        }
        access.trusted_apps.push_back(app->path);
      }
    } else {
      return static_cast<OSStatus>(errSecParam);
    }
    auto* object = new AccessObject();
    object->access = std::move(access);
    *accessRef = HandleFor<SecAccessRef>(object);
    return static_cast<OSStatus>(errSecSuccess);
  });
}

OSStatus SecKeychainItemSetAccess(SecKeychainItemRef itemRef, SecAccessRef access) {
  auto* object = ObjectAs<AccessObject>(access);
  if (object == nullptr) {
    return errSecParam;
  }
  return Guarded([&] {
    return ChangeItem(itemRef, [&](KeychainContents*, KeychainItem* item) {
      item->access = object->access;
      return static_cast<OSStatus>(errSecSuccess);
    });
  });
}

}  // extern "C"
