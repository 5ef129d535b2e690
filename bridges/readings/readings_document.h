// The readings document a bridge publishes after each frame it read: the frame, its time, how late
// the document is, the read and dropped counts, why the zones file was refused (only when it
// was), and one reading per zone in zone order.
#ifndef BRIDGES_READINGS_READINGS_DOCUMENT_H_
#define BRIDGES_READINGS_READINGS_DOCUMENT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "bridges/common/json.h"
#include "bridges/readings/board_read.h"
#include "bridges/readings/stability.h"

namespace readings {

// The publishing conventions of the bridge that writes the document: its escapes and its number
// format for seconds and milliseconds.
enum class DocumentStyle {
  kRivlet,     // rivlet's escapes, "%.3f"
  kNdiBridge,  // ndi_bridge's escapes, "%.17g"
};

struct ZoneEntry {
  std::string name;
  std::string role;  // empty: written as null
  ZoneResult reading;
  Stability stability;
};

struct FrameReadings {
  int64_t frame = 0;   // decoded frames since the caller (or source) came, this one included
  double pts_s = 0.0;  // the frame's presentation time
  double latency_ms = 0.0;
  int64_t frames_read = 0;
  int64_t frames_dropped = 0;
  std::string zones_error;  // empty: no "zones_error" member
  std::vector<ZoneEntry> zones;
};

// {"frame", "pts_s", "latency_ms", "frames_read", "frames_dropped", ["zones_error",] "readings"}
// in the bridges' layout; "readings" is a list with one object per zone on its own line:
// {"name", "role", "value", "valid", "reason", "trusted", "stable", "shown"}. A clock's value and
// shown are strings, every other reader's integers; null when there is none.
std::string readings_document(const FrameReadings& readings, DocumentStyle style);

// Replaces the document through path + ".tmp" without an fsync: it is superseded with the next
// frame, so what a crash could lose is already stale, while an fsync per frame costs milliseconds
// of latency on a busy disk. Readers still see either the previous or the new document whole (the
// rename), which is all the host relies on.
base::FileResult publish_document(const std::string& path, const std::string& text);

}  // namespace readings

#endif  // BRIDGES_READINGS_READINGS_DOCUMENT_H_
