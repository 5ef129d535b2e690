// CoreFoundation calls over CFObject.
#include <CoreFoundation/CoreFoundation.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/security/cf_object.h"

using security_store::CFArrayObject;
using security_store::CFObject;
using security_store::CFStringObject;
using security_store::HandleFor;
using security_store::ObjectAs;

namespace {

const void* RetainValue(CFAllocatorRef, const void* value) {
  return CFRetain(value);
}
void ReleaseValue(CFAllocatorRef, const void* value) {
  CFRelease(value);
}

// Constant strings never die: they are kept here, one per text, for the life of the process.
class ConstantStrings {
 public:
  CFStringRef Get(const char* text) {
    std::lock_guard<std::mutex> hold(mutex_);
    std::unique_ptr<CFStringObject>& entry = strings_[text];
    if (!entry) {
      entry = std::make_unique<CFStringObject>();
      entry->text = text;
      entry->MakeImmortal();
    }
    return HandleFor<CFStringRef>(entry.get());
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<CFStringObject>> strings_;
};

ConstantStrings& Constants() {
  static ConstantStrings* constants = new ConstantStrings();  // outlives every static destructor
  return *constants;
}

}  // namespace

namespace security_store {

CFArrayObject::~CFArrayObject() {
  if (release != nullptr) {
    for (const void* value : values) {
      release(kCFAllocatorDefault, value);
    }
  }
}

}  // namespace security_store

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFArrayCallBacks kCFTypeArrayCallBacks = {0, RetainValue, ReleaseValue, nullptr, nullptr};

CFTypeRef CFRetain(CFTypeRef cf) {
  if (CFObject* object = ObjectAs<CFObject>(cf); object != nullptr) {
    object->Retain();
  }
  return cf;
}

void CFRelease(CFTypeRef cf) {
  CFObject* object = ObjectAs<CFObject>(cf);
  if (object != nullptr) {
    object->Release();
  }
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  if (numValues < 0 || (numValues > 0 && values == nullptr)) {
    return nullptr;
  }
  auto* array = new CFArrayObject();
  array->values.assign(values, values + numValues);
  if (callBacks != nullptr) {
    if (callBacks->retain != nullptr) {
      for (const void* value : array->values) {
        callBacks->retain(kCFAllocatorDefault, value);
      }
    }
    array->release = callBacks->release;
  }
  return HandleFor<CFArrayRef>(array);
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  CFArrayObject* array = ObjectAs<CFArrayObject>(theArray);
  return array == nullptr ? 0 : static_cast<CFIndex>(array->values.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  CFArrayObject* array = ObjectAs<CFArrayObject>(theArray);
  if (array == nullptr || idx < 0 || static_cast<std::size_t>(idx) >= array->values.size()) {
    return nullptr;
  }
  return array->values[static_cast<std::size_t>(idx)];
}

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  return cStr == nullptr ? nullptr : Constants().Get(cStr);
}

}  // extern "C"
