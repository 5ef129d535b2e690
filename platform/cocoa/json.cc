#include "platform/cocoa/json.h"

std::optional<nlohmann::json> NSJSONSerialization::JSONObjectWithData(std::string_view data) {
  // The parse callback sees every nesting step; refusing depth keeps both the parser and the
  // destruction of the result bounded.
  bool too_deep = false;
  const nlohmann::json::parser_callback_t limit =
      [&too_deep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        if (depth > kMaxDepth) {
          too_deep = true;
        }
        return !too_deep;
      };
  nlohmann::json value = nlohmann::json::parse(data, limit, /*allow_exceptions=*/false);
  if (too_deep || value.is_discarded()) {
    return std::nullopt;
  }
  return value;
}

std::string NSJSONSerialization::dataWithJSONObject(const nlohmann::json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
