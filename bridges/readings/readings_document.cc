#include "bridges/readings/readings_document.h"

#include <cstdio>

#include "bridges/common/number_format.h"

namespace readings {

namespace {

using bridges::JsonEscapes;

std::string value_json(const std::optional<std::string>& text, bool clock, JsonEscapes escapes) {
  if (!text) {
    return "null";
  }
  return clock ? "\"" + bridges::json_escape(*text, escapes) + "\"" : *text;
}

std::string entry_json(const ZoneEntry& e, JsonEscapes escapes) {
  const char* yes_no[] = {"false", "true"};
  const bool clock = e.reading.clock;
  return "{\"name\": \"" + bridges::json_escape(e.name, escapes) +
         "\", \"role\": " + bridges::json_string_or_null(e.role, escapes) +
         ", \"value\": " + value_json(e.reading.text, clock, escapes) +
         ", \"valid\": " + yes_no[e.reading.valid] + ", \"reason\": \"" +
         bridges::json_escape(e.reading.reason, escapes) +
         "\", \"trusted\": " + yes_no[e.reading.trusted] +
         ", \"stable\": " + yes_no[e.stability.stable] +
         ", \"shown\": " + value_json(e.stability.shown, clock, escapes) + "}";
}

}  // namespace

std::string readings_document(const FrameReadings& r, DocumentStyle style) {
  const JsonEscapes escapes =
      style == DocumentStyle::kRivlet ? JsonEscapes::kRivlet : JsonEscapes::kNdiBridge;
  auto seconds = [style](double value) {
    return style == DocumentStyle::kRivlet ? bridges::format_fixed3(value)
                                           : bridges::format_general17(value);
  };
  bridges::JsonObjectWriter doc;
  doc.add_int("frame", r.frame);
  doc.add_raw("pts_s", seconds(r.pts_s));
  doc.add_raw("latency_ms", seconds(r.latency_ms));
  doc.add_int("frames_read", r.frames_read);
  doc.add_int("frames_dropped", r.frames_dropped);
  if (!r.zones_error.empty()) {
    doc.add_string("zones_error", r.zones_error, escapes);
  }
  std::string list = "[";
  for (size_t i = 0; i < r.zones.size(); ++i) {
    list += (i == 0 ? "\n    " : ",\n    ") + entry_json(r.zones[i], escapes);
  }
  list += r.zones.empty() ? "]" : "\n  ]";
  doc.add_raw("readings", list);
  return doc.text();
}

base::FileResult publish_document(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  const base::FileResult written = base::write_temporary_file(
      temporary,
      [&text](std::FILE* file) {
        return std::fwrite(text.data(), 1, text.size(), file) == text.size();
      },
      base::Durability::kUnsynced);
  return written.ok()
             ? base::rename_temporary_file(temporary, path, base::OnRenameFailure::kDeleteTemporary)
             : written;
}

}  // namespace readings
