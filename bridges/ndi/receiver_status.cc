#include "bridges/ndi/receiver_status.h"

#include "bridges/common/json.h"
#include "bridges/common/number_format.h"

namespace ndi_bridge {

const char* receiver_state_name(ReceiverState state) {
  // In the order of the enumerators.
  static constexpr const char* kNames[] = {"no_source", "connecting", "connected",
                                           "offline",   "error",      "stopped"};
  return kNames[static_cast<int>(state)];
}

std::string status_document(const ReceiverStatus& status, bool running, double updated_at) {
  constexpr bridges::JsonEscapes kEscapes = bridges::JsonEscapes::kNdiBridge;
  const std::string selected = bridges::json_string_or_null(status.selected_source_name, kEscapes);
  bridges::JsonObjectWriter json;
  json.add_int("version", 1);
  json.add_bool("receiver_running", running);
  json.add_string("receiver_state", receiver_state_name(status.receiver_state), kEscapes);
  json.add_raw("selected_source_id", selected);
  json.add_raw("selected_source_name", selected);
  json.add_raw("active_source_name",
               bridges::json_string_or_null(status.active_source_name, kEscapes));
  json.add_int("width", status.width);
  json.add_int("height", status.height);
  json.add_int("frame_rate_n", status.frame_rate_n);
  json.add_int("frame_rate_d", status.frame_rate_d);
  json.add_raw("last_frame_at", status.last_frame_at > 0
                                    ? bridges::format_general17(status.last_frame_at)
                                    : std::string("null"));
  json.add_raw("updated_at", bridges::format_general17(updated_at));
  json.add_raw("error", bridges::json_string_or_null(status.error, kEscapes));
  return json.text();
}

}  // namespace ndi_bridge
