#include "bridges/common/json.h"

namespace bridges {

namespace {

void append_generic_escape(unsigned char byte, std::string* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->append("\\u00");
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 0x0F]);
}

}  // namespace

std::string json_escape(std::string_view text, JsonEscapes escapes) {
  const bool ndi = escapes == JsonEscapes::kNdiBridge;
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      case 0x08:
        if (ndi) {
          out.append("\\b");
        } else {
          append_generic_escape(byte, &out);
        }
        break;
      case 0x0C:
        if (ndi) {
          out.append("\\f");
        } else {
          append_generic_escape(byte, &out);
        }
        break;
      default:
        if (byte < 0x20) {
          append_generic_escape(byte, &out);
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string json_string_or_null(std::string_view text, JsonEscapes escapes) {
  if (text.empty()) {
    return "null";
  }
  return "\"" + json_escape(text, escapes) + "\"";
}

void JsonObjectWriter::add_raw(std::string_view key, std::string_view value) {
  if (!members_.empty()) {
    members_.append(",\n");
  }
  members_.append("  \"");
  members_.append(key);
  members_.append("\": ");
  members_.append(value);
}

void JsonObjectWriter::add_int(std::string_view key, int64_t value) {
  add_raw(key, std::to_string(value));
}

void JsonObjectWriter::add_bool(std::string_view key, bool value) {
  add_raw(key, value ? "true" : "false");
}

void JsonObjectWriter::add_string(std::string_view key, std::string_view text,
                                  JsonEscapes escapes) {
  add_raw(key, "\"" + json_escape(text, escapes) + "\"");
}

std::string JsonObjectWriter::text() const {
  if (members_.empty()) {
    return "{\n}\n";
  }
  return "{\n" + members_ + "\n}\n";
}

}  // namespace bridges
