// The objects behind the opaque CoreFoundation and keychain references handed to callers. Every
// reference points at a CFObject; the typed handles are the same pointer under another name.
#ifndef PLATFORM_SECURITY_CF_OBJECT_H_
#define PLATFORM_SECURITY_CF_OBJECT_H_

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <string>
#include <vector>

namespace security_store {

class CFObject {
 public:
  CFObject() = default;
  virtual ~CFObject() = default;
  CFObject(const CFObject&) = delete;
  CFObject& operator=(const CFObject&) = delete;

  void Retain() { references_.fetch_add(1, std::memory_order_relaxed); }
  // Drops a reference and destroys the object with its last one; immortal objects stay.
  void Release() {
    if (!immortal_ && references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete this;
    }
  }
  void MakeImmortal() { immortal_ = true; }

 private:
  std::atomic<long> references_{1};
  bool immortal_ = false;
};

struct CFStringObject : CFObject {
  std::string text;
};

struct CFArrayObject : CFObject {
  ~CFArrayObject() override;

  std::vector<const void*> values;
  CFArrayReleaseCallBack release = nullptr;
};

// The object behind `ref` when it is a T, else null.
template <typename T>
T* ObjectAs(const void* ref) {
  if (ref == nullptr) {
    return nullptr;
  }
  return dynamic_cast<T*>(static_cast<CFObject*>(const_cast<void*>(ref)));
}

// The reference a caller gets for `object` (which it then owns), as handle type H.
template <typename H>
H HandleFor(CFObject* object) {
  return static_cast<H>(static_cast<void*>(object));
}

}  // namespace security_store

#endif  // PLATFORM_SECURITY_CF_OBJECT_H_
