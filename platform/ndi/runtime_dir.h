// Where loopback senders announce their sources and publish their frames: one directory per user.
#ifndef PLATFORM_NDI_RUNTIME_DIR_H_
#define PLATFORM_NDI_RUNTIME_DIR_H_

#include <string>

namespace ndi_loopback {

// The file name suffix of an announced source.
inline constexpr char kSourceSuffix[] = ".ndisrc";

// $NDI_LOOPBACK_DIR when set and not empty; otherwise "ndi-loopback" under $XDG_RUNTIME_DIR when
// that is set, else "/dev/shm/ndi-loopback-<uid>" (or under /tmp when /dev/shm is missing).
std::string runtime_dir();

// Creates the runtime directory (and its parents) with mode 0700 when missing. False with *err set
// when it cannot be created or is not a directory.
bool ensure_runtime_dir(const std::string& dir, std::string* err);

// True when the process exists and is not a zombie waiting to be reaped.
bool process_alive(int pid);

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_RUNTIME_DIR_H_
