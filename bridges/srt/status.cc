#include "bridges/srt/status.h"

#include <cstdio>

#include "base/atomic_file.h"
#include "bridges/common/json.h"
#include "bridges/common/number_format.h"

namespace rivlet {

const char* listener_state_name(ListenerState state) {
  // In the order of the enumerators.
  static constexpr const char* kNames[] = {"listening", "connecting", "connected", "offline",
                                           "error"};
  return kNames[static_cast<int>(state)];
}

std::string status_document(const Status& status) {
  using bridges::JsonEscapes;
  bridges::JsonObjectWriter json;
  json.add_string("state", listener_state_name(status.state), JsonEscapes::kRivlet);
  json.add_int("port", status.port);
  json.add_int("width", status.width);
  json.add_int("height", status.height);
  json.add_int("frame_rate_n", status.frame_rate_n);
  json.add_int("frame_rate_d", status.frame_rate_d);
  json.add_raw("last_frame_time",
               status.has_last_frame ? bridges::format_fixed3(status.last_frame_time) : "null");
  json.add_raw("decoder", bridges::json_string_or_null(status.decoder, JsonEscapes::kRivlet));
  json.add_raw("error", bridges::json_string_or_null(status.error, JsonEscapes::kRivlet));
  return json.text();
}

void write_status(const std::string& path, const Status& status) {
  const std::string temporary = path + ".tmp";
  const base::FileResult result = base::replace_file(path, temporary, status_document(status));
  // Only a temporary file that cannot be opened is worth a line; the next write tries again.
  if (result.failed == base::FileStep::kOpen) {
    std::fprintf(stderr, "cannot open %s\n", temporary.c_str());
  }
}

}  // namespace rivlet
