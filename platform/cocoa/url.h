#ifndef PLATFORM_COCOA_URL_H_
#define PLATFORM_COCOA_URL_H_

#include <optional>
#include <string>
#include <string_view>

// An absolute URL in the shape of Foundation's NSURL. Parsed URLs keep their text as given;
// file URLs keep a file-system path.
class NSURL {
 public:
  // Longest text accepted by URLWithString.
  static constexpr size_t kMaxLength = 8192;

  // Parses an absolute URL of the form scheme://authority[path][?query][#fragment]. Gives
  // nullopt (nil) for text that is empty, longer than kMaxLength, holds a character that a URL
  // may not hold (spaces, backslashes, control or non-ASCII bytes), lacks "://", or that
  // libcurl's parser refuses (for example a port above 65535).
  static std::optional<NSURL> URLWithString(std::string_view text);
  // A file URL for a path; the path is used as it stands.
  static NSURL fileURLWithPath(std::string path);

  bool isFileURL() const { return is_file_; }
  // The text as parsed, or "file://" plus the path for a file URL.
  std::string absoluteString() const;
  // For a file URL the file-system path; otherwise the URL's path ("" when there is none).
  const std::string& path() const { return path_; }
  const std::optional<std::string>& scheme() const { return scheme_; }
  // The host without the brackets of an IPv6 literal.
  const std::optional<std::string>& host() const { return host_; }
  const std::optional<int>& port() const { return port_; }
  const std::optional<std::string>& user() const { return user_; }
  const std::optional<std::string>& password() const { return password_; }
  // Present (perhaps empty) when the text holds a "?" or "#".
  const std::optional<std::string>& query() const { return query_; }
  const std::optional<std::string>& fragment() const { return fragment_; }

  // File URLs only: the path with one more component, and the path of the parent directory.
  NSURL URLByAppendingPathComponent(std::string_view component) const;
  NSURL URLByDeletingLastPathComponent() const;

 private:
  NSURL() = default;

  bool is_file_ = false;
  std::string text_;
  std::string path_;
  std::optional<std::string> scheme_;
  std::optional<std::string> host_;
  std::optional<int> port_;
  std::optional<std::string> user_;
  std::optional<std::string> password_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

// ASCII lower case of a text.
std::string NSLowercaseString(std::string_view text);

#endif  // PLATFORM_COCOA_URL_H_
