#include "base/make_directories.h"

#include <sys/stat.h>

#include <cerrno>

namespace base {

namespace {

// 0 when path is a directory, ENOTDIR when it is something else, else the errno of stat.
int directory_state(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return errno;
  }
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

}  // namespace

int make_directories(const std::string& path, mode_t mode) {
  for (size_t end = 1; end <= path.size(); ++end) {
    if (end != path.size() && path[end] != '/') {
      continue;
    }
    if (path[end - 1] == '/') {
      continue;  // a doubled or trailing slash
    }
    const std::string prefix = path.substr(0, end);
    if (::mkdir(prefix.c_str(), mode) == 0) {
      continue;
    }
    const int error = errno;
    if (error != EEXIST) {
      // A parent that exists but is not searchable fails with EACCES; an existing directory
      // further down may still be fine, so only an absent one is an error.
      if (directory_state(prefix) != 0) {
        return error;
      }
      continue;
    }
    if (const int state = directory_state(prefix); state != 0) {
      return state;
    }
  }
  return path.empty() ? ENOENT : directory_state(path);
}

}  // namespace base
