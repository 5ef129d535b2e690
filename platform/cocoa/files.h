#ifndef PLATFORM_COCOA_FILES_H_
#define PLATFORM_COCOA_FILES_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cocoa/error.h"
#include "platform/cocoa/url.h"

// Files and the process's surroundings, in the shape of Foundation's NSFileManager, NSData,
// NSString and NSProcessInfo.

class NSFileManager {
 public:
  static NSFileManager* defaultManager();

  // True for a file that is not a directory and that this process may execute.
  bool isExecutableFileAtPath(const std::string& path) const;
  bool fileExistsAtPath(const std::string& path) const;
  // Creates the directory (and its parents when asked). An existing directory is success.
  bool createDirectoryAtURL(const NSURL& url, bool withIntermediateDirectories,
                            NSError* error) const;
  // Removes a file or an empty directory.
  bool removeItemAtURL(const NSURL& url, NSError* error) const;
};

class NSData {
 public:
  // Files larger than this are not read: the agent's files are small documents written by peers.
  static constexpr size_t kMaxFileBytes = 1 << 20;

  // The bytes of a regular file, or nullopt when it is missing, not a regular file (a directory,
  // a pipe), unreadable or larger than kMaxFileBytes.
  static std::optional<std::string> dataWithContentsOfURL(const NSURL& url);
  // Writes through a temporary sibling that is flushed, synchronised and renamed over the
  // target, so readers see the old or the new content, never a mixture.
  static bool writeToURLAtomically(const NSURL& url, std::string_view bytes);
};

class NSString {
 public:
  // The file as UTF-8 text; nullopt when it cannot be read or is not valid UTF-8.
  static std::optional<std::string> stringWithContentsOfURLUTF8(const NSURL& url);
  // Removes white space and line ends (ASCII and Unicode) from both ends.
  static std::string stringByTrimmingWhitespaceAndNewlines(std::string_view text);
  static bool isValidUTF8(std::string_view text);
  // The longest prefix of at most max_units UTF-16 code units (NSString's length) that ends on
  // a character boundary; the text must be valid UTF-8.
  static std::string substringToUTF16Length(std::string_view text, size_t max_units);
};

class NSProcessInfo {
 public:
  static NSProcessInfo* processInfo();
  // A copy of the process's environment.
  std::map<std::string, std::string> environment() const;
};

// The current user's home directory from the user database ("/" when there is none).
std::string NSHomeDirectory();

#endif  // PLATFORM_COCOA_FILES_H_
