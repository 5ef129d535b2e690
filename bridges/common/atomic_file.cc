#include "bridges/common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bridges {

namespace {

// Writes contents to a freshly opened file and closes it; true when every byte was written and
// flush, fsync and close succeeded.
bool write_sync_close(std::FILE* file, std::string_view contents) {
  const size_t written = std::fwrite(contents.data(), 1, contents.size(), file);
  const bool closed_cleanly = sync_and_close(file);
  return written == contents.size() && closed_cleanly;
}

}  // namespace

std::FILE* create_temporary_file(const std::string& temporary) {
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    return nullptr;  // a directory, or a name this process may not clear
  }
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
    errno = EINVAL;
  }
  std::FILE* file = S_ISREG(info.st_mode) ? ::fdopen(fd, "wb") : nullptr;
  if (file == nullptr) {
    const int saved = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    errno = saved;
  }
  return file;
}

bool sync_and_close(std::FILE* file) {
  bool ok = std::fflush(file) == 0;
  if (ok) {
    ok = ::fsync(::fileno(file)) == 0;
  }
  const bool closed = std::fclose(file) == 0;
  return ok && closed;
}

bool rename_or_discard(const std::string& temporary, const std::string& path) {
  if (std::rename(temporary.c_str(), path.c_str()) == 0) {
    return true;
  }
  const int saved = errno;
  std::remove(temporary.c_str());
  errno = saved;
  return false;
}

bool write_text_atomically(const std::string& path, std::string_view contents) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = create_temporary_file(temporary);
  if (file == nullptr) {
    std::fprintf(stderr, "Impossible d'ouvrir %s: %s\n", temporary.c_str(), std::strerror(errno));
    return false;
  }
  if (!write_sync_close(file, contents)) {
    std::fprintf(stderr, "Impossible d'écrire %s de façon atomique.\n", path.c_str());
    std::remove(temporary.c_str());
    return false;
  }
  if (!rename_or_discard(temporary, path)) {
    std::fprintf(stderr, "Impossible de remplacer %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

bool replace_rivlet_status(const std::string& path, std::string_view contents) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = create_temporary_file(temporary);
  if (file == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", temporary.c_str());
    return false;
  }
  if (!write_sync_close(file, contents)) {
    std::remove(temporary.c_str());
    return false;
  }
  return rename_or_discard(temporary, path);
}

}  // namespace bridges
