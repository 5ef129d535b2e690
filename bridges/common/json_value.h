// Reading the small JSON documents the host writes for a bridge (a zones file): a strict parser
// into a tree of values. Numbers are doubles; strings are UTF-8 byte strings with their escapes
// resolved (\uXXXX, surrogate pairs included, becomes UTF-8).
#ifndef BRIDGES_COMMON_JSON_VALUE_H_
#define BRIDGES_COMMON_JSON_VALUE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridges {

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;     // kArray
  std::vector<JsonMember> members;  // kObject, in document order

  // The last member named key (as most readers take duplicates), or null.
  const JsonValue* find(std::string_view key) const;
};

struct JsonMember {
  std::string name;
  JsonValue value;
};

// The document's one value, surrounded by white space only. On a syntax error returns nullopt and
// sets *error to what was wrong and at which byte offset ("expected ':' at byte 12"). Nesting is
// limited to kMaxJsonDepth levels.
inline constexpr int kMaxJsonDepth = 64;
std::optional<JsonValue> parse_json(std::string_view text, std::string* error);

}  // namespace bridges

#endif  // BRIDGES_COMMON_JSON_VALUE_H_
