// JSON text as both bridges publish it: escaped string bodies, optional strings and objects with
// one member per line in a fixed order. Strings are byte strings; bytes from 0x20 up (0x7F and
// UTF-8 sequences included) pass through unchanged, nothing is validated.
#ifndef BRIDGES_COMMON_JSON_H_
#define BRIDGES_COMMON_JSON_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace bridges {

// The two bridges differ only in how they escape 0x08 and 0x0C.
enum class JsonEscapes {
  kNdiBridge,  // 0x08 -> \b, 0x0C -> \f
  kRivlet,     // 0x08 -> \u0008, 0x0C -> \u000c
};

// The body of a JSON string literal for text, without the surrounding quotes. '"', '\\', newline,
// carriage return and tab get their two-character escapes; other bytes below 0x20 the six-character
// form with lowercase hexadecimal digits (except 0x08 and 0x0C in the ndi_bridge flavour). The
// forward slash is not escaped.
std::string json_escape(std::string_view text, JsonEscapes escapes);

// null (unquoted) for an empty text, otherwise the quoted, escaped text.
std::string json_string_or_null(std::string_view text, JsonEscapes escapes);

// Builds "{\n  \"key\": value,\n  ...\n}\n": members in the order they are added, each on its own
// line indented by two spaces. Keys are written as given (they are fixed names, never escaped).
class JsonObjectWriter {
 public:
  // value is JSON text written as is (a number, true/false, null or an already quoted string).
  void add_raw(std::string_view key, std::string_view value);
  void add_int(std::string_view key, int64_t value);
  void add_bool(std::string_view key, bool value);
  // Always quoted, even when empty.
  void add_string(std::string_view key, std::string_view text, JsonEscapes escapes);

  // The finished document; an object without members is "{\n}\n".
  std::string text() const;

 private:
  std::string members_;
};

}  // namespace bridges

#endif  // BRIDGES_COMMON_JSON_H_
