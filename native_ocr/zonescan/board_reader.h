// Every zone of a scoreboard read from one frame: the zones parsed once into BoardZone values, a
// decode plan per source (a preview file's bytes read once, its JPEG header parsed once, only the
// block the zones need decoded where that gives cv::imread's pixels), and the zones read on a
// persistent pool of threads through an injected SlotClassifier. No Python anywhere.
//
//   const SegmentClassifier classifier;                        // the segsense core (reader.h)
//   BoardReader reader(std::move(zones), classifier, /*threads=*/2);
//   std::vector<ZoneReading> out = reader.read(frame);         // a decoded BGR/BGRX/grey cv::Mat
//   std::vector<ZoneReading> out = reader.read_file(path);     // a preview file
//   out[i].reading.valid, .value / .clock_value, .reason      // zone i, in zone order
//
// A reader is immutable once built; read() may be called from several threads at once (calls
// that find the pool busy read on their own thread). The classifier must outlive the reader.
#ifndef NATIVE_OCR_ZONESCAN_BOARD_READER_H_
#define NATIVE_OCR_ZONESCAN_BOARD_READER_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/frame_file.h"
#include "native_ocr/zonescan/read_pool.h"
#include "native_ocr/zonescan/reader.h"
#include "native_ocr/zonescan/settings.h"
#include "native_ocr/zonescan/zone.h"

namespace native_ocr::zonescan {

// One zone as the board reader reads it.
struct BoardZone {
  std::string name;  // the host's name for the zone; carried, never read
  ZoneRect rect;     // position and size as fractions of the frame
  ReaderKind reader = ReaderKind::kScore;
  std::string role;             // the role text the reader uses; "" for the reader's default
  ProcessingSettings settings;  // already clamped (clamp_settings)
};

// A zone from the host's fields: the reader its role names (reader_for_role), the role, and the
// settings clamped into their ranges.
// (Inline: a program that reads decoded frames zone by zone needs no file decoding for it.)
inline BoardZone make_board_zone(std::string name, const ZoneRect& rect, std::string_view role,
                                 const ProcessingSettings& settings) {
  BoardZone zone;
  zone.name = std::move(name);
  zone.rect = rect;
  zone.reader = reader_for_role(role);
  zone.role = std::string(role);
  zone.settings = clamp_settings(settings);
  return zone;
}

// What the board reader gives for one zone.
struct ZoneReading {
  Reading reading;  // the reader's typed result; kNoFrame when the zone has no pixels
  // The zone's pixels in the frame, none when it covers no pixel (or there was no frame).
  std::optional<cv::Rect> bounds;
  // What the reader threw (OpenCV's cv::Exception, or the classifier's), none normally; the
  // reading is then left as kNoFrame.
  std::exception_ptr error;
};

class BoardReader {
 public:
  // A reader with a pool of its own (`threads` threads in all, the calling one included; 0 is
  // read as 1).
  BoardReader(std::vector<BoardZone> zones, const SlotClassifier& classifier, size_t threads);
  // A reader on a pool shared with other readers, using at most `threads` of its threads.
  BoardReader(std::vector<BoardZone> zones, const SlotClassifier& classifier,
              std::shared_ptr<ReadPool> pool, size_t threads);

  const std::vector<BoardZone>& zones() const { return zones_; }

  // Every zone of a decoded frame at full resolution: 8-bit, 1 channel (grey) or 3 or 4 (BGR,
  // BGRX/BGRA). The pixels are only read, and only during the call.
  std::vector<ZoneReading> read(const cv::Mat& frame) const;
  // The same for a frame whose colour layout the caller states (CropView::three_dimensional:
  // true for a colour image of any channel count, as a 3-D array is).
  std::vector<ZoneReading> read(const CropView& frame) const;
  // Every zone of a preview file opened once (FrameFile::open); no_frame for every zone when it
  // gives no frame.
  std::vector<ZoneReading> read(const FrameFile& file) const;
  std::vector<ZoneReading> read_file(const std::string& path) const;
  std::vector<ZoneReading> read_bytes(std::vector<uint8_t> bytes) const;

  // Zone `index` of a file's or a frame's pixels through another classifier, on the calling
  // thread (the module's replaceable classifier, called zone by zone).
  ZoneReading read_zone(size_t index, const CropView& frame,
                        const SlotClassifier& classifier) const;
  ZoneReading read_zone(size_t index, const DecodedFrame& frame,
                        const SlotClassifier& classifier) const;
  // The pixels a file gives these zones: the block their union needs, or the whole frame.
  DecodedFrame decode(const FrameFile& file) const;

 private:
  std::vector<BoardZone> zones_;
  const SlotClassifier* classifier_;
  std::shared_ptr<ReadPool> pool_;
  size_t threads_;
};

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_BOARD_READER_H_
