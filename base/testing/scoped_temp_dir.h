// Files for tests: a temporary directory removed with its contents when the object goes away,
// and reading a file whole.
#ifndef BASE_TESTING_SCOPED_TEMP_DIR_H_
#define BASE_TESTING_SCOPED_TEMP_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace base {

class ScopedTempDir {
 public:
  // The directory is made under the system's temporary directory, its name starting with prefix.
  explicit ScopedTempDir(const std::string& prefix = "glomark") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
  }
  ~ScopedTempDir() {
    std::error_code ignored;
    if (!path_.empty()) {
      std::filesystem::remove_all(path_, ignored);
    }
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // Empty when the directory could not be made.
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Every byte of the file at path; empty when it cannot be read.
inline std::string read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace base

#endif  // BASE_TESTING_SCOPED_TEMP_DIR_H_
