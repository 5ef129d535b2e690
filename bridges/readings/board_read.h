// One frame's zones read with the core readers and the trust rule: what the readings document
// says of each zone before its stability is known.
#ifndef BRIDGES_READINGS_BOARD_READ_H_
#define BRIDGES_READINGS_BOARD_READ_H_

#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "bridges/readings/zones_file.h"

namespace readings {

struct ZoneReading {
  bool clock = false;               // read by the clock reader: value is text
  std::optional<std::string> text;  // the value as text ("12:34", "7"); none when not valid
  bool valid = false;
  std::string reason;  // the reader's reason ("ok", "raw", "no_frame", ...)
  bool trusted = false;
};

// The pixel rectangle every zone of a width x height frame is cut from (their union); empty when
// no zone covers a pixel.
cv::Rect zones_region(const std::vector<BoardZone>& zones, int width, int height);

// Reads every zone of a BGR frame (CV_8UC3; only the pixels of zones_region need to be filled),
// in order. A zone that cannot be cut reads "no_frame"; an OpenCV failure on one zone reads as that
// zone not valid, with reason "error".
std::vector<ZoneReading> read_board(const std::vector<BoardZone>& zones, const cv::Mat& bgr);

}  // namespace readings

#endif  // BRIDGES_READINGS_BOARD_READ_H_
