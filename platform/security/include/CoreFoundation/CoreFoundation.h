// The small part of CoreFoundation that the keychain layer and its callers use: reference-counted
// objects, arrays and constant strings. Declared with the platform's own names and shapes so that
// the same caller code builds against the platform's framework.
#ifndef PLATFORM_SECURITY_INCLUDE_COREFOUNDATION_COREFOUNDATION_H_
#define PLATFORM_SECURITY_INCLUDE_COREFOUNDATION_COREFOUNDATION_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef signed long CFIndex;

typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFArray* CFArrayRef;
typedef const struct __CFString* CFStringRef;

// The default allocator (null); the only one there is here.
extern const CFAllocatorRef kCFAllocatorDefault;

typedef const void* (*CFArrayRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFArrayReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFArrayCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFArrayEqualCallBack)(const void* value1, const void* value2);

typedef struct {
  CFIndex version;
  CFArrayRetainCallBack retain;
  CFArrayReleaseCallBack release;
  CFArrayCopyDescriptionCallBack copyDescription;
  CFArrayEqualCallBack equal;
} CFArrayCallBacks;

// Call-backs that retain each value while it is in the array and release it with the array.
extern const CFArrayCallBacks kCFTypeArrayCallBacks;

// Adds a reference to `cf` and returns it. `cf` must not be null.
CFTypeRef CFRetain(CFTypeRef cf);
// Drops a reference; the object is destroyed with its last one. `cf` must not be null.
void CFRelease(CFTypeRef cf);

// A new array of `numValues` values; with null `callBacks` the values are kept without retaining.
// Returns null when the arguments are invalid. The caller owns the result.
CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks);
CFIndex CFArrayGetCount(CFArrayRef theArray);
// The value at `idx` (not retained for the caller); null when `idx` is out of range.
const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);

// A string that lives as long as the process; releasing it has no effect. Use through CFSTR.
CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // PLATFORM_SECURITY_INCLUDE_COREFOUNDATION_COREFOUNDATION_H_
