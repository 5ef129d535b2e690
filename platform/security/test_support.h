// Helpers for the keychain layer's tests.
#ifndef PLATFORM_SECURITY_TEST_SUPPORT_H_
#define PLATFORM_SECURITY_TEST_SUPPORT_H_

#include <stdlib.h>

#include <fstream>
#include <string>

#include "base/testing/scoped_temp_dir.h"

namespace security_store {

using base::ScopedTempDir;

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = ::getenv(name)) {
      old_ = old;
      had_ = true;
    }
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace security_store

#endif  // PLATFORM_SECURITY_TEST_SUPPORT_H_
