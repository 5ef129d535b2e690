// One frame's zones read with the core's board reader and the trust rule: what the readings
// document says of each zone before its stability is known.
#ifndef BRIDGES_READINGS_BOARD_READ_H_
#define BRIDGES_READINGS_BOARD_READ_H_

#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "bridges/readings/zones_file.h"
#include "native_ocr/zonescan/board_reader.h"

namespace readings {

struct ZoneResult {
  bool clock = false;               // read by the clock reader: value is text
  std::optional<std::string> text;  // the value as text ("12:34", "7"); none when not valid
  bool valid = false;
  std::string reason;  // the reader's reason ("ok", "raw", "no_frame", ...), "error" on a throw
  bool trusted = false;
};

// The pixel rectangle every zone of a width x height frame is cut from (their union); empty when
// no zone covers a pixel.
cv::Rect zones_region(const std::vector<BoardZone>& zones, int width, int height);

// Every zone of a BGR frame (CV_8UC3; only the pixels of zones_region need to be filled), in
// order. A zone that cannot be cut reads "no_frame"; a zone whose reader threw (OpenCV) reads as
// not valid, with reason "error".
std::vector<ZoneResult> read_board(const native_ocr::zonescan::BoardReader& reader,
                                   const cv::Mat& bgr);

}  // namespace readings

#endif  // BRIDGES_READINGS_BOARD_READ_H_
