#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/file_handle.h"
#include "base/full_io.h"

namespace base {

namespace {

FileResult failure(FileStep step, int error) {
  return FileResult{step, error};
}

// Flushes and fsyncs (when asked) and closes file, always closing it; the first failure is kept.
FileResult finish(std::FILE* file, Durability durability) {
  FileResult result;
  if (durability == Durability::kSynced &&
      (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0)) {
    result = failure(FileStep::kSync, errno);
  }
  if (std::fclose(file) != 0 && result.ok()) {
    result = failure(FileStep::kClose, errno);
  }
  return result;
}

}  // namespace

int create_fresh_file(const std::string& temporary, int access, mode_t mode) {
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    return -1;  // a directory, or a name this process may not clear
  }
  const int fd =
      ::open(temporary.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    return -1;
  }
  struct stat info {};
  const bool stated = ::fstat(fd, &info) == 0;
  if (!stated || !S_ISREG(info.st_mode)) {
    const int saved = stated ? EINVAL : errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    errno = saved;
    return -1;
  }
  return fd;
}

std::FILE* create_temporary_file(const std::string& temporary) {
  const int fd = create_fresh_file(temporary, O_WRONLY, 0666);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int saved = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    errno = saved;
  }
  return file;
}

FileResult write_temporary_file(const std::string& temporary, const ContentWriter& write,
                                Durability durability) {
  std::FILE* file = create_temporary_file(temporary);
  if (file == nullptr) {
    return failure(FileStep::kOpen, errno);
  }
  errno = 0;
  FileResult result;
  if (!write(file)) {
    result = failure(FileStep::kWrite, errno);
  }
  const FileResult finished = finish(file, durability);
  if (result.ok()) {
    result = finished;
  }
  if (!result.ok()) {
    std::remove(temporary.c_str());
  }
  return result;
}

FileResult rename_temporary_file(const std::string& temporary, const std::string& path,
                                 OnRenameFailure on_failure) {
  if (std::rename(temporary.c_str(), path.c_str()) == 0) {
    return FileResult{};
  }
  const int error = errno;
  if (on_failure == OnRenameFailure::kDeleteTemporary) {
    std::remove(temporary.c_str());
  }
  return failure(FileStep::kRename, error);
}

FileResult replace_file(const std::string& path, const std::string& temporary,
                        const ContentWriter& write) {
  const FileResult written = write_temporary_file(temporary, write, Durability::kSynced);
  if (!written.ok()) {
    return written;
  }
  return rename_temporary_file(temporary, path, OnRenameFailure::kDeleteTemporary);
}

FileResult replace_file(const std::string& path, const std::string& temporary,
                        std::string_view contents) {
  return replace_file(path, temporary, [contents](std::FILE* file) {
    return std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
  });
}

FileResult replace_file_via_unique_temporary(const std::string& path, std::string_view infix,
                                             std::string_view contents, mode_t mode) {
  std::string temporary = path;
  temporary.append(infix).append("XXXXXX");
  UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) {
    return failure(FileStep::kOpen, errno);
  }
  FileResult result;
  if (::fchmod(fd.get(), mode) != 0) {
    result = failure(FileStep::kOpen, errno);
  } else if (!write_fully(fd.get(), contents.data(), contents.size())) {
    result = failure(FileStep::kWrite, errno);
  } else if (::fsync(fd.get()) != 0) {
    result = failure(FileStep::kSync, errno);
  }
  if (!fd.close() && result.ok()) {
    result = failure(FileStep::kClose, errno);
  }
  if (result.ok()) {
    result = rename_temporary_file(temporary, path, OnRenameFailure::kDeleteTemporary);
  } else {
    ::unlink(temporary.c_str());
  }
  return result;
}

}  // namespace base
