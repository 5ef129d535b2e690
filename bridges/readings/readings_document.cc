#include "bridges/readings/readings_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_handle.h"
#include "base/full_io.h"
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

// Puts temporary in path's place. Where the system can swap two names in one step, a document
// already published is swapped out rather than renamed over, and then removed: ext4 (its default
// auto_da_alloc) starts writing a file's data to disk as soon as it is renamed over another file,
// a disk write and most of a publish's CPU time for a document that the next frame replaces; a
// swap does not. Readers see the same: one whole document or the other. Anything else at path (a
// directory, no file yet) and a system or file system without the swap get the plain rename.
base::FileResult swap_into_place(const std::string& temporary, const std::string& path) {
#ifdef RENAME_EXCHANGE
  struct stat published {};
  if (::lstat(path.c_str(), &published) == 0 && !S_ISDIR(published.st_mode) &&
      ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
    ::unlink(temporary.c_str());  // the previous document
    return {};
  }
#endif
  return base::rename_temporary_file(temporary, path, base::OnRenameFailure::kDeleteTemporary);
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
  base::UniqueFd fd(base::create_fresh_file(temporary, O_WRONLY, 0666));
  if (!fd.valid()) {
    return {base::FileStep::kOpen, errno};
  }
  base::FileResult written;
  if (!base::write_fully(fd.get(), text.data(), text.size())) {
    written = {base::FileStep::kWrite, errno};
  }
  if (!fd.close() && written.ok()) {
    written = {base::FileStep::kClose, errno};
  }
  if (!written.ok()) {
    ::unlink(temporary.c_str());
    return written;
  }
  return swap_into_place(temporary, path);
}

}  // namespace readings
