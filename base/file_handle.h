// Owners for a FILE pointer and for a file descriptor.
#ifndef BASE_FILE_HANDLE_H_
#define BASE_FILE_HANDLE_H_

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace base {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Closes the file when it goes out of scope; call release() and fclose() by hand where the result
// of the close matters.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Owns a descriptor (negative: none) and closes it when it goes out of scope.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() { close(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes fd.
  void reset(int fd = -1) {
    close();
    fd_ = fd;
  }
  // Closes now; false when the close failed (it may report a delayed write error, in errno).
  bool close() {
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace base

#endif  // BASE_FILE_HANDLE_H_
