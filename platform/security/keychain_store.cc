#include "platform/security/keychain_store.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "base/atomic_file.h"
#include "base/file_handle.h"
#include "base/full_io.h"
#include "base/make_directories.h"

namespace security_store {
namespace {

// Keychains are small; anything larger than this is not one of ours.
constexpr off_t kMaxKeychainBytes = off_t{1} << 30;

using base::UniqueFd;

OSStatus StatusFromErrno(int error) {
  return (error == EACCES || error == EPERM || error == EROFS) ? errSecWrPerm : errSecIO;
}

std::string ParentDirectory(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates the missing directories of `dir` with mode 0700; existing ones are left as they are.
OSStatus MakeDirectories(const std::string& dir) {
  const int error = base::make_directories(dir, 0700);
  return error == 0 ? errSecSuccess : error == ENOTDIR ? errSecIO : StatusFromErrno(error);
}

bool SyncDirectory(const std::string& dir) {
  UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
}

// Writes `bytes` to a new temporary sibling "<path>.tmp.XXXXXX" (mode 0600) and renames it over
// `path`; the temporary file is removed again on any failure.
OSStatus ReplaceFile(const std::string& path, const Bytes& bytes) {
  const base::FileResult result = base::replace_file_via_unique_temporary(
      path, ".tmp.", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
      0600);
  if (!result.ok()) {
    return StatusFromErrno(result.error);
  }
  // The rename is done: a failed directory sync cannot undo it, so it is not an error.
  SyncDirectory(ParentDirectory(path));
  return errSecSuccess;
}

// Removes temporary siblings of `path` left by a writer that died before renaming or removing its
// file (they may hold secrets). Only called under the lock, when no live writer has one open.
void RemoveStaleTemporaries(const std::string& path) {
  std::string dir = ParentDirectory(path);
  std::string prefix = path.substr(path.find_last_of('/') + 1) + ".tmp.";
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.c_str()), ::closedir);
  if (!listing) {
    return;
  }
  while (const dirent* entry = ::readdir(listing.get())) {
    std::string name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
      ::unlink((dir + "/" + name).c_str());
    }
  }
}

// An exclusive lock on "<path>.lock", held while the object lives.
class KeychainLock {
 public:
  OSStatus Acquire(const std::string& path) {
    std::string lock_path = path + ".lock";
    // Never through a link planted at the lock's name, and never blocking on a FIFO there.
    fd_.reset(
        ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd_.valid()) {
      return StatusFromErrno(errno);
    }
    struct stat info;
    if (::fstat(fd_.get(), &info) != 0) {
      return StatusFromErrno(errno);
    }
    if (!S_ISREG(info.st_mode)) {
      return errSecIO;
    }
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        return StatusFromErrno(errno);
      }
    }
    return errSecSuccess;  // closing the descriptor releases the lock
  }

 private:
  UniqueFd fd_;
};

}  // namespace

OSStatus LoadKeychain(const std::string& path, KeychainContents* contents) {
  // O_NONBLOCK: opening a FIFO (or a device) at the keychain's path must not wait for a writer;
  // it is refused below as not a regular file. Reads of a regular file are not affected.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) {
      *contents = KeychainContents();
      return errSecSuccess;
    }
    return StatusFromErrno(errno);
  }
  struct stat info;
  if (::fstat(fd.get(), &info) != 0) {
    return StatusFromErrno(errno);
  }
  if (!S_ISREG(info.st_mode) || info.st_size > kMaxKeychainBytes) {
    return errSecInvalidKeychain;
  }
  Bytes bytes(static_cast<std::size_t>(info.st_size));
  if (!base::read_fully(fd.get(), bytes.data(), bytes.size())) {
    return errSecIO;
  }
  return DecodeKeychain(bytes.data(), bytes.size(), contents);
}

OSStatus UpdateKeychain(const std::string& path,
                        const std::function<OSStatus(KeychainContents*)>& change) {
  if (OSStatus status = MakeDirectories(ParentDirectory(path)); status != errSecSuccess) {
    return status;
  }
  KeychainLock lock;
  if (OSStatus status = lock.Acquire(path); status != errSecSuccess) {
    return status;
  }
  RemoveStaleTemporaries(path);
  KeychainContents contents;
  if (OSStatus status = LoadKeychain(path, &contents); status != errSecSuccess) {
    return status;
  }
  if (OSStatus status = change(&contents); status != errSecSuccess) {
    return status;
  }
  return ReplaceFile(path, EncodeKeychain(contents));
}

std::string DefaultKeychainPath() {
  const char* data_home = ::getenv("XDG_DATA_HOME");
  if (data_home != nullptr && data_home[0] == '/') {
    return std::string(data_home) + "/keychains/login.keychain";
  }
  std::string home;
  if (const char* env_home = ::getenv("HOME"); env_home != nullptr && env_home[0] != '\0') {
    home = env_home;
  } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
    home = entry->pw_dir;
  }
  return home.empty() ? std::string() : home + "/.local/share/keychains/login.keychain";
}

}  // namespace security_store
