#include "platform/cocoa/url.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <memory>

namespace {

struct CurlUrlFree {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlFree>;

std::optional<std::string> GetPart(CURLU* handle, CURLUPart part) {
  char* value = nullptr;
  if (curl_url_get(handle, part, &value, 0) != CURLUE_OK || value == nullptr) {
    return std::nullopt;
  }
  std::string text(value);
  curl_free(value);
  return text;
}

// Only the characters a URL may hold (RFC 3986: unreserved, reserved and "%"), as NSURL
// demands; a backslash or a space, which parsers and browsers read differently, is refused.
bool HasOnlyURLCharacters(std::string_view text) {
  static constexpr std::string_view kPunctuation = "-._~:/?#[]@!$&'()*+,;=%";
  for (char c : text) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && kPunctuation.find(c) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// The host as the text writes it, between the user information and the port, without the
// brackets of an IPv6 literal. libcurl's own host part is normalised (it turns "127.1" or
// "0x7f000001" into "127.0.0.1" and decodes percent escapes), so it is not used.
std::string HostAsWritten(std::string_view authority) {
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    return std::string(authority.substr(1, close == std::string_view::npos ? close : close - 1));
  }
  return std::string(authority.substr(0, authority.find(':')));
}

}  // namespace

std::string NSLowercaseString(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lower;
}

std::optional<NSURL> NSURL::URLWithString(std::string_view text) {
  if (text.empty() || text.size() > kMaxLength || !HasOnlyURLCharacters(text)) {
    return std::nullopt;
  }
  // Only URLs with an authority ("scheme://...") are taken: the agent always needs a host.
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || text.substr(colon + 1, 2) != "//") {
    return std::nullopt;
  }
  CurlUrl handle(curl_url());
  const std::string owned(text);
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, owned.c_str(),
                              CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return std::nullopt;
  }
  NSURL url;
  url.text_ = owned;
  url.scheme_ = GetPart(handle.get(), CURLUPART_SCHEME);
  if (GetPart(handle.get(), CURLUPART_HOST)) {
    const std::string_view after_scheme = text.substr(colon + 3);
    url.host_ = HostAsWritten(after_scheme.substr(0, after_scheme.find_first_of("/?#")));
  }
  url.user_ = GetPart(handle.get(), CURLUPART_USER);
  url.password_ = GetPart(handle.get(), CURLUPART_PASSWORD);
  if (auto port = GetPart(handle.get(), CURLUPART_PORT)) {
    int value = 0;
    auto [end, ec] = std::from_chars(port->data(), port->data() + port->size(), value);
    if (ec != std::errc() || end != port->data() + port->size()) {
      return std::nullopt;
    }
    url.port_ = value;
  }
  // Path, query and fragment come from the text itself: libcurl adds a "/" path and drops an
  // empty query, and both differences matter to callers.
  std::string_view rest = text.substr(colon + 3);
  rest.remove_prefix(std::min(rest.size(), rest.find_first_of("/?#")));
  const size_t hash = rest.find('#');
  if (hash != std::string_view::npos) {
    url.fragment_ = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }
  const size_t question = rest.find('?');
  if (question != std::string_view::npos) {
    url.query_ = std::string(rest.substr(question + 1));
    rest = rest.substr(0, question);
  }
  url.path_ = std::string(rest);
  return url;
}

NSURL NSURL::fileURLWithPath(std::string path) {
  NSURL url;
  url.is_file_ = true;
  url.scheme_ = "file";
  url.path_ = std::move(path);
  return url;
}

std::string NSURL::absoluteString() const {
  return is_file_ ? "file://" + path_ : text_;
}

NSURL NSURL::URLByAppendingPathComponent(std::string_view component) const {
  std::string path = path_;
  if (path.empty() || path.back() != '/') {
    path += '/';
  }
  path += component;
  return fileURLWithPath(std::move(path));
}

NSURL NSURL::URLByDeletingLastPathComponent() const {
  std::string path = path_;
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return fileURLWithPath(".");
  }
  return fileURLWithPath(slash == 0 ? "/" : path.substr(0, slash));
}
