// Keychain calls with the platform's own names and signatures: generic-password items in keychain
// files, and the trusted-application access list of an item. On this system the keychain is a file
// store (see platform/security/FORMAT.md); a build for the platform links its framework instead.
#ifndef PLATFORM_SECURITY_INCLUDE_SECURITY_SECURITY_H_
#define PLATFORM_SECURITY_INCLUDE_SECURITY_SECURITY_H_

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef SInt32 OSStatus;

typedef struct OpaqueSecKeychainRef* SecKeychainRef;
typedef struct OpaqueSecKeychainItemRef* SecKeychainItemRef;
typedef struct OpaqueSecTrustedApplicationRef* SecTrustedApplicationRef;
typedef struct OpaqueSecAccessRef* SecAccessRef;

typedef UInt32 SecKeychainAttrType;
typedef struct {
  SecKeychainAttrType tag;
  UInt32 length;
  void* data;
} SecKeychainAttribute;
typedef struct {
  UInt32 count;
  SecKeychainAttribute* attr;
} SecKeychainAttributeList;

enum {
  errSecSuccess = 0,
  errSecUnimplemented = -4,
  errSecIO = -36,
  errSecParam = -50,
  errSecWrPerm = -61,
  errSecAllocate = -108,
  errSecNoSuchKeychain = -25294,
  errSecInvalidKeychain = -25295,
  errSecDuplicateItem = -25299,
  errSecItemNotFound = -25300,
  errSecInvalidItemRef = -25304,
  errSecNoDefaultKeychain = -25307,
  errSecWrongSecVersion = -25310,
};

// A reference to the keychain file at `pathName` (made absolute against the working directory). The
// file need not exist: until the first change it reads as an empty keychain.
OSStatus SecKeychainOpen(const char* pathName, SecKeychainRef* keychain);

// Finds the generic password with the given service and account (a zero length matches any) in
// `keychainOrArray`: a keychain, an array of keychains searched in order, or null for the default
// keychain. On success, when `passwordData` is not null it receives a copy of the secret that the
// caller frees with SecKeychainItemFreeContent, and `*itemRef` (if asked for) a reference the
// caller releases. errSecItemNotFound when there is no such item.
OSStatus SecKeychainFindGenericPassword(CFTypeRef keychainOrArray, UInt32 serviceNameLength,
                                        const char* serviceName, UInt32 accountNameLength,
                                        const char* accountName, UInt32* passwordLength,
                                        void** passwordData, SecKeychainItemRef* itemRef);

// Overwrites with zeros and frees data returned by a keychain call. Either argument may be null.
OSStatus SecKeychainItemFreeContent(SecKeychainAttributeList* attrList, void* data);

// Adds a generic password to `keychain` (null: the default keychain). errSecDuplicateItem when an
// item with the same service and account is already there.
OSStatus SecKeychainAddGenericPassword(SecKeychainRef keychain, UInt32 serviceNameLength,
                                       const char* serviceName, UInt32 accountNameLength,
                                       const char* accountName, UInt32 passwordLength,
                                       const void* passwordData, SecKeychainItemRef* itemRef);

// Replaces the item's secret with `length` bytes at `data` (null: secret unchanged). Only an empty
// or null attribute list is supported here (errSecUnimplemented otherwise). errSecInvalidItemRef
// when the item has been deleted since it was found.
OSStatus SecKeychainItemModifyAttributesAndData(SecKeychainItemRef itemRef,
                                                const SecKeychainAttributeList* attrList,
                                                UInt32 length, const void* data);

// Deletes the item from its keychain. errSecInvalidItemRef when it is no longer there.
OSStatus SecKeychainItemDelete(SecKeychainItemRef itemRef);

// A trusted application for the program at `path` (null: the calling program itself). The path must
// name an existing file; it is kept in canonical form.
OSStatus SecTrustedApplicationCreateFromPath(const char* path, SecTrustedApplicationRef* app);

// An access object with the given descriptor whose trusted applications are those of `trustedlist`,
// in order (null: the calling program alone).
OSStatus SecAccessCreate(CFStringRef descriptor, CFArrayRef trustedlist, SecAccessRef* accessRef);

// Stores `access` as the item's access list.
OSStatus SecKeychainItemSetAccess(SecKeychainItemRef itemRef, SecAccessRef access);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // PLATFORM_SECURITY_INCLUDE_SECURITY_SECURITY_H_
