// An owning FILE pointer.
#ifndef BRIDGES_COMMON_FILE_HANDLE_H_
#define BRIDGES_COMMON_FILE_HANDLE_H_

#include <cstdio>
#include <memory>

namespace bridges {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Closes the file when it goes out of scope; call release() and fclose() by hand where the result
// of the close matters.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace bridges

#endif  // BRIDGES_COMMON_FILE_HANDLE_H_
