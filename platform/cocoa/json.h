#ifndef PLATFORM_COCOA_JSON_H_
#define PLATFORM_COCOA_JSON_H_

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

// JSON reading and writing in the shape of Foundation's NSJSONSerialization, over nlohmann-json.
class NSJSONSerialization {
 public:
  // Deepest nesting accepted; deeper documents are refused rather than parsed.
  static constexpr int kMaxDepth = 512;

  // The parsed document, or nullopt for text that is not JSON (or nested too deeply).
  static std::optional<nlohmann::json> JSONObjectWithData(std::string_view data);
  // Compact text; invalid UTF-8 in strings is replaced, never thrown on.
  static std::string dataWithJSONObject(const nlohmann::json& object);
};

#endif  // PLATFORM_COCOA_JSON_H_
