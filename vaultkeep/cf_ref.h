// Ownership of CoreFoundation-style references: released with CFRelease when the owner goes.
#ifndef VAULTKEEP_CF_REF_H_
#define VAULTKEEP_CF_REF_H_

#include <CoreFoundation/CoreFoundation.h>

#include <memory>
#include <type_traits>

namespace vaultkeep {

struct CFReleaser {
  void operator()(const void* ref) const {
    if (ref != nullptr) {
      CFRelease(ref);
    }
  }
};

// Owns one reference of type Ref (a pointer type such as SecKeychainRef or CFArrayRef).
template <typename Ref>
using CFOwner = std::unique_ptr<std::remove_pointer_t<Ref>, CFReleaser>;

// Fills an owner through a call's out-parameter: `Call(..., OutParam(&owner))`.
template <typename T>
class OutParam {
 public:
  explicit OutParam(std::unique_ptr<T, CFReleaser>* owner) : owner_(owner) {}
  ~OutParam() { owner_->reset(ref_); }
  OutParam(const OutParam&) = delete;
  OutParam& operator=(const OutParam&) = delete;

  operator T**() { return &ref_; }  // NOLINT: converts implicitly by design

 private:
  std::unique_ptr<T, CFReleaser>* owner_;
  T* ref_ = nullptr;
};

}  // namespace vaultkeep

#endif  // VAULTKEEP_CF_REF_H_
