#include "bridges/common/json_value.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace bridges {

const JsonValue* JsonValue::find(std::string_view key) const {
  const JsonValue* found = nullptr;
  for (const auto& [name, value] : members) {
    if (name == key) {
      found = &value;
    }
  }
  return found;
}

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool document(JsonValue* out) {
    return value(out, 0) && (skip_space(), at_end() || fail("unexpected text after the value"));
  }
  const std::string& error() const { return error_; }

 private:
  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[pos_]; }
  void skip_space() {
    while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
      ++pos_;
    }
  }
  bool fail(const std::string& what) {
    if (error_.empty()) {
      error_ = what + " at byte " + std::to_string(pos_);
    }
    return false;
  }
  bool expect(char c) {
    skip_space();
    if (peek() != c) {
      return fail(std::string("expected '") + c + "'");
    }
    ++pos_;
    return true;
  }
  bool literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) {
      return fail("unknown word");
    }
    pos_ += word.size();
    return true;
  }

  bool value(JsonValue* out, int depth);
  bool array(JsonValue* out, int depth);
  bool object(JsonValue* out, int depth);
  bool number(JsonValue* out);
  bool string(std::string* out);
  bool escape(std::string* out);
  bool hex4(uint32_t* out);

  std::string_view text_;
  size_t pos_ = 0;
  std::string error_;
};

bool Parser::value(JsonValue* out, int depth) {
  if (depth > kMaxJsonDepth) {
    return fail("nested too deeply");
  }
  skip_space();
  switch (peek()) {
    case '{':
      return object(out, depth);
    case '[':
      return array(out, depth);
    case '"':
      out->kind = JsonValue::Kind::kString;
      return string(&out->text);
    case 't':
      out->kind = JsonValue::Kind::kBool;
      out->boolean = true;
      return literal("true");
    case 'f':
      out->kind = JsonValue::Kind::kBool;
      return literal("false");
    case 'n':
      out->kind = JsonValue::Kind::kNull;
      return literal("null");
    default:
      return number(out);
  }
}

bool Parser::array(JsonValue* out, int depth) {
  out->kind = JsonValue::Kind::kArray;
  ++pos_;
  skip_space();
  if (peek() == ']') {
    ++pos_;
    return true;
  }
  do {
    if (!value(&out->items.emplace_back(), depth + 1)) {
      return false;
    }
    skip_space();
  } while (peek() == ',' && (++pos_, true));
  return expect(']');
}

bool Parser::object(JsonValue* out, int depth) {
  out->kind = JsonValue::Kind::kObject;
  ++pos_;
  skip_space();
  if (peek() == '}') {
    ++pos_;
    return true;
  }
  do {
    skip_space();
    auto& [key, member] = out->members.emplace_back();
    if (peek() != '"') {
      return fail("expected a member name");
    }
    if (!string(&key) || !expect(':') || !value(&member, depth + 1)) {
      return false;
    }
    skip_space();
  } while (peek() == ',' && (++pos_, true));
  return expect('}');
}

bool Parser::number(JsonValue* out) {
  const size_t start = pos_;
  auto digits = [this] {
    const size_t from = pos_;
    while (peek() >= '0' && peek() <= '9') {
      ++pos_;
    }
    return pos_ > from;
  };
  if (peek() == '-') {
    ++pos_;
  }
  if (peek() == '0') {
    ++pos_;
  } else if (!digits()) {
    return fail("expected a value");
  }
  if (peek() == '.' && (++pos_, !digits())) {
    return fail("expected a digit");
  }
  if (peek() == 'e' || peek() == 'E') {
    ++pos_;
    if (peek() == '+' || peek() == '-') {
      ++pos_;
    }
    if (!digits()) {
      return fail("expected a digit");
    }
  }
  const std::string spelled(text_.substr(start, pos_ - start));
  out->kind = JsonValue::Kind::kNumber;
  out->number = std::strtod(spelled.c_str(), nullptr);
  return std::isfinite(out->number) || fail("number out of range");
}

bool Parser::string(std::string* out) {
  ++pos_;  // the opening quote
  while (!at_end()) {
    const char c = text_[pos_++];
    if (c == '"') {
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
      --pos_;
      return fail("control character in a string");
    }
    if (c != '\\') {
      out->push_back(c);
    } else if (!escape(out)) {
      return false;
    }
  }
  return fail("unterminated string");
}

void append_utf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool Parser::escape(std::string* out) {
  constexpr std::string_view kFrom = "\"\\/bfnrt";
  constexpr std::string_view kTo = "\"\\/\b\f\n\r\t";
  const char c = peek();
  ++pos_;
  if (const size_t i = kFrom.find(c); i != std::string_view::npos && c != '\0') {
    out->push_back(kTo[i]);
    return true;
  }
  uint32_t code = 0;
  if (c != 'u' || !hex4(&code)) {
    return fail("bad escape");
  }
  if (code >= 0xD800 && code < 0xDC00) {
    uint32_t low = 0;
    if (!literal("\\u") || !hex4(&low) || low < 0xDC00 || low >= 0xE000) {
      return fail("unpaired surrogate");
    }
    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
  } else if (code >= 0xDC00 && code < 0xE000) {
    return fail("unpaired surrogate");
  }
  append_utf8(code, out);
  return true;
}

bool Parser::hex4(uint32_t* out) {
  if (pos_ + 4 > text_.size()) {
    return false;
  }
  const std::string digits(text_.substr(pos_, 4));
  char* end = nullptr;
  *out = static_cast<uint32_t>(std::strtoul(digits.c_str(), &end, 16));
  pos_ += 4;
  return end == digits.c_str() + 4 && digits.find_first_of("+- ") == std::string::npos;
}

}  // namespace

std::optional<JsonValue> parse_json(std::string_view text, std::string* error) {
  Parser parser(text);
  JsonValue value;
  if (!parser.document(&value)) {
    *error = parser.error();
    return std::nullopt;
  }
  return value;
}

}  // namespace bridges
