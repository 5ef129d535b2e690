#include "platform/cocoa/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_handle.h"
#include "base/full_io.h"
#include "base/make_directories.h"

extern char** environ;

namespace {

void SetError(NSError* error, int code, const std::string& what) {
  if (error != nullptr) {
    *error = NSError{"NSPOSIXErrorDomain", code, what + ": " + std::strerror(code)};
  }
}

// Decodes one UTF-8 sequence at text[*pos]; gives -1 for a malformed one.
long DecodeUTF8(std::string_view text, size_t* pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*pos);
  int length = 0;
  long code = 0;
  long min = 0;
  if (lead < 0x80) {
    ++*pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, min = 0x10000;
  } else {
    return -1;
  }
  if (*pos + length > text.size()) {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    if ((byte(*pos + i) & 0xC0) != 0x80) {
      return -1;
    }
    code = (code << 6) | (byte(*pos + i) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return -1;
  }
  *pos += length;
  return code;
}

bool IsWhitespaceOrNewline(long code) {
  return (code >= 0x09 && code <= 0x0D) || code == 0x20 || code == 0x85 || code == 0xA0 ||
         code == 0x1680 || (code >= 0x2000 && code <= 0x200A) || code == 0x2028 || code == 0x2029 ||
         code == 0x202F || code == 0x205F || code == 0x3000;
}

}  // namespace

NSFileManager* NSFileManager::defaultManager() {
  static NSFileManager manager;
  return &manager;
}

bool NSFileManager::isExecutableFileAtPath(const std::string& path) const {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

bool NSFileManager::fileExistsAtPath(const std::string& path) const {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

bool NSFileManager::createDirectoryAtURL(const NSURL& url, bool withIntermediateDirectories,
                                         NSError* error) const {
  const std::string& path = url.path();
  int code = 0;
  if (withIntermediateDirectories) {
    code = base::make_directories(path, 0755);
  } else if (mkdir(path.c_str(), 0755) != 0) {
    code = errno;
    struct stat info {};
    if (code == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      code = 0;
    }
  }
  if (code == 0) {
    return true;
  }
  SetError(error, code, "Could not create the directory " + path);
  return false;
}

bool NSFileManager::removeItemAtURL(const NSURL& url, NSError* error) const {
  if (unlink(url.path().c_str()) == 0 || (errno == EISDIR && rmdir(url.path().c_str()) == 0)) {
    return true;
  }
  SetError(error, errno, "Could not remove " + url.path());
  return false;
}

std::optional<std::string> NSData::dataWithContentsOfURL(const NSURL& url) {
  // O_NONBLOCK so that a pipe at the path cannot stall the caller; only regular files are read.
  base::UniqueFd fd(open(url.path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<size_t>(info.st_size) > kMaxFileBytes) {
    return std::nullopt;
  }
  std::string bytes;
  char buffer[8192];
  for (;;) {
    const ssize_t n = base::read_some(fd.get(), buffer, sizeof buffer);
    if (n < 0 || bytes.size() + static_cast<size_t>(n) > kMaxFileBytes) {
      return std::nullopt;
    }
    if (n == 0) {
      return bytes;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

bool NSData::writeToURLAtomically(const NSURL& url, std::string_view bytes) {
  return base::replace_file_via_unique_temporary(url.path(), ".tmp-", bytes, 0644).ok();
}

std::optional<std::string> NSString::stringWithContentsOfURLUTF8(const NSURL& url) {
  std::optional<std::string> bytes = NSData::dataWithContentsOfURL(url);
  if (!bytes || !isValidUTF8(*bytes)) {
    return std::nullopt;
  }
  return bytes;
}

bool NSString::isValidUTF8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    if (DecodeUTF8(text, &pos) < 0) {
      return false;
    }
  }
  return true;
}

std::string NSString::stringByTrimmingWhitespaceAndNewlines(std::string_view text) {
  size_t begin = text.size();
  size_t end = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const long code = DecodeUTF8(text, &pos);
    if (code < 0) {
      ++pos;  // a stray byte is content, not white space
    }
    if (code < 0 || !IsWhitespaceOrNewline(code)) {
      begin = std::min(begin, start);
      end = pos;
    }
  }
  return begin < end ? std::string(text.substr(begin, end - begin)) : std::string();
}

std::string NSString::substringToUTF16Length(std::string_view text, size_t max_units) {
  size_t units = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t next = pos;
    const long code = DecodeUTF8(text, &next);
    const size_t width = code >= 0x10000 ? 2 : 1;
    if (code < 0 || units + width > max_units) {
      break;
    }
    units += width;
    pos = next;
  }
  return std::string(text.substr(0, pos));
}

NSProcessInfo* NSProcessInfo::processInfo() {
  static NSProcessInfo info;
  return &info;
}

std::map<std::string, std::string> NSProcessInfo::environment() const {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const size_t equals = text.find('=');
    if (equals != std::string_view::npos) {
      variables.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
    }
  }
  return variables;
}

std::string NSHomeDirectory() {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return "/";
}
