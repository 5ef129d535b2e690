// The zones file the host writes for a bridge: {"zones": [{"name", "x", "y", "width", "height",
// "role", "processing"}, ...]}, the zones as the host and read_zones know them (x, y, width and
// height as fractions of the frame; role and processing optional), and the watch that re-reads it
// when its content changes.
#ifndef BRIDGES_READINGS_ZONES_FILE_H_
#define BRIDGES_READINGS_ZONES_FILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "native_ocr/zonescan/board_reader.h"

namespace readings {

// A zone as the core's board reader takes it: name, rectangle, the reader its role names, the role
// (empty: none, read as a score) and the settings merged over the defaults and clamped.
using BoardZone = native_ocr::zonescan::BoardZone;

struct ZonesParse {
  std::optional<std::vector<BoardZone>> zones;  // none when the file is refused
  std::string error;                            // why, naming the zone ("zone 2: ...")
};

// Parses a zones file. A zone needs x, y, width and height as numbers and a string name; role, when
// present, is a string; processing, when present, an object whose known settings have a number
// (threshold, contrast, brightness, gamma, rotation, blur, morph_size: an integral setting takes
// the number truncated toward zero, as int() does), a boolean or number (grayscale, binarize,
// invert: nonzero is true; a string is true when not empty) or a string (morphology: one of the
// five names, anything else "none"). Unknown settings are ignored, as the readers ignore them.
ZonesParse parse_zones(std::string_view text);

// Follows the zones file at a path. check() reads it and reports what changed.
class ZonesWatch {
 public:
  enum class Change {
    kNone,     // the content is what it was
    kZones,    // new good zones (zones() holds them)
    kRefused,  // a new content that was refused: the last good zones stay, error() says why
    kRemoved,  // the file is gone (or empty): no zones
  };

  explicit ZonesWatch(std::string path) : path_(std::move(path)) {}

  Change check();
  const std::vector<BoardZone>& zones() const { return zones_; }
  bool has_zones() const { return has_zones_; }
  // Why the current content was refused; empty when it was not.
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  std::optional<std::string> content_;  // none before the first check
  std::vector<BoardZone> zones_;
  bool has_zones_ = false;
  std::string error_;
};

}  // namespace readings

#endif  // BRIDGES_READINGS_ZONES_FILE_H_
