#include "bridges/common/text_file.h"

#include <cstdio>

#include "base/file_handle.h"

namespace bridges {

std::string read_text_file(const std::string& path) {
  base::FileHandle file(std::fopen(path.c_str(), "rb"));
  std::string contents;
  if (!file) {
    return contents;
  }
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    contents.append(buffer, n);
  }
  return contents;
}

}  // namespace bridges
