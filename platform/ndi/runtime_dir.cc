#include "platform/ndi/runtime_dir.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "base/make_directories.h"

namespace ndi_loopback {

namespace {

std::string env_or_empty(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string runtime_dir() {
  std::string dir = env_or_empty("NDI_LOOPBACK_DIR");
  if (!dir.empty()) {
    return dir;
  }
  std::string xdg = env_or_empty("XDG_RUNTIME_DIR");
  if (!xdg.empty()) {
    return xdg + "/ndi-loopback";
  }
  std::string base = is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  return base + "/ndi-loopback-" + std::to_string(::getuid());
}

bool ensure_runtime_dir(const std::string& dir, std::string* err) {
  const int error = base::make_directories(dir, 0700);
  if (error == ENOTDIR) {
    *err = dir + ": not a directory";
  } else if (error != 0) {
    *err = dir + ": " + std::strerror(error);
  }
  return error == 0;
}

bool process_alive(int pid) {
  if (pid <= 0) {
    return false;
  }
  if (::kill(pid, 0) != 0 && errno != EPERM) {
    return false;
  }
  // kill() succeeds for a zombie too: a sender that died but was not reaped is gone all the same.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) {
    return true;  // no /proc: trust kill()
  }
  size_t paren = line.rfind(')');
  return paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] != 'Z';
}

}  // namespace ndi_loopback
