// Creating a directory and its missing parents.
#ifndef BASE_MAKE_DIRECTORIES_H_
#define BASE_MAKE_DIRECTORIES_H_

#include <sys/types.h>

#include <string>

namespace base {

// Creates each missing directory of path, parents first, with mode (less the umask); existing
// directories are left as they are. Returns 0, or the errno of the step that failed (ENOTDIR when
// a component, path itself included, exists but is not a directory).
int make_directories(const std::string& path, mode_t mode);

}  // namespace base

#endif  // BASE_MAKE_DIRECTORIES_H_
