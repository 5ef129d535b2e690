// A board's zones read frame after frame with the core's readers (read_crop, as the board reader
// reads a zone of a decoded frame; read_crop_given_separator for a clock whose separator columns
// did not change) and the trust rule, weighed with the frame the reading came from (the zone read
// again a pixel off and with its threshold moved, the other classifier asked about its cells):
// what the readings document says of each zone before its stability is known. The frame must hold
// the pixels trust reads beyond the zone (trust_reach). A zone whose pixels are the
// same as on the frame it was last read on is not read again: the readers are pure, so the same
// pixels read the same (a decoded video repeats a still region's pixels exactly between its key
// frames).
#ifndef BRIDGES_READINGS_BOARD_READ_H_
#define BRIDGES_READINGS_BOARD_READ_H_

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "bridges/readings/zones_file.h"
#include "native_ocr/zonescan/board_reader.h"
#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/calibration/zone_agreement.h"

namespace readings {

struct ZoneResult {
  bool clock = false;               // read by the clock reader: value is text
  std::optional<std::string> text;  // the value as text ("12:34", "7"); none when not valid
  bool valid = false;
  std::string reason;  // the reader's reason ("ok", "raw", "no_frame", ...), "error" on a throw
  bool trusted = false;
};

// What the document says of one zone's reading.
ZoneResult result_of(const native_ocr::zonescan::ZoneReading& zone);

// The pixels a zone of a width x height frame is cut from; none when it covers no pixel.
std::optional<cv::Rect> zone_pixels(const BoardZone& zone, int width, int height);

// The pixels of a width x height frame that a zone's reading and its trust read: the zone's, one
// more on every side (the one-pixel moves) and kBeyondEdgeReach of its height beyond each side
// (the ink a cut-off digit leaves there; the tallest glyph is at most the zone's height), within
// the frame; none when the zone covers no pixel.
std::optional<cv::Rect> trust_reach(const BoardZone& zone, int width, int height);

// The pixel rectangle every zone of a width x height frame is cut from (their union); empty when
// no zone covers a pixel.
cv::Rect zones_region(const std::vector<BoardZone>& zones, int width, int height);

class BoardRead {
 public:
  explicit BoardRead(std::vector<BoardZone> zones);
  BoardRead(const BoardRead&) = delete;
  BoardRead& operator=(const BoardRead&) = delete;

  const std::vector<BoardZone>& zones() const { return zones_; }

  // Every zone of a BGR frame (CV_8UC3; only the pixels of each zone's trust_reach need to be
  // filled), in
  // zone order; a zone whose crop is byte for byte the one it was last read from keeps that
  // reading. A zone that cannot be cut reads "no_frame"; a reader that threw (OpenCV) reads as
  // not valid with reason "error".
  const std::vector<ZoneResult>& read(const cv::Mat& bgr);
  // The same, where the caller knows which crops may have changed since the last read (same
  // frame size): a zone whose touched[i] is false keeps its reading without its crop being
  // compared.
  const std::vector<ZoneResult>& read(const cv::Mat& bgr, const std::vector<bool>& touched);

  // How many zones the last read() read (the others kept their readings), and how many of those
  // were clocks that kept their separator detection.
  size_t zones_read() const { return zones_read_; }
  size_t separators_kept() const { return separators_kept_; }
  // How many of the zones the last read() read had their trust weighed with the frame (the others
  // read a value their trust was last weighed for).
  size_t trusts_weighed() const { return trusts_weighed_; }

 private:
  const std::vector<ZoneResult>& read_touched(const cv::Mat& bgr, const std::vector<bool>* touched);
  native_ocr::zonescan::ZoneReading read_zone(size_t index, const cv::Mat& crop,
                                              const std::optional<cv::Rect>& pixels);
  // Whether a valid reading of zone `index` giving `text` can be shown: trusted without weighing
  // when the zone's last weighing trusted that same value, weighed with the frame
  // (trusted_in_frame) otherwise. A trusted value read again on a frame whose pixels changed has
  // held under one more change than the re-reads make, so it keeps its trust, and a running clock
  // is weighed once per value it shows rather than once per frame; an untrusted value is weighed
  // again on every change of its pixels.
  bool trusted_value(size_t index, const cv::Mat& bgr, const cv::Mat& crop,
                     const native_ocr::zonescan::Reading& reading,
                     const std::optional<std::string>& text);
  // Whether a valid reading of `zone`'s `crop` of the frame `bgr` can be shown: trust weighed with
  // the frame (the second classifier's opinion, the zone read again a pixel off and with its
  // threshold moved, the ink around its cells); false when those reads throw.
  // The moved crops of a clock keep their separator detections as the zone's own crop does.
  bool trusted_in_frame(size_t index, const cv::Mat& bgr, const cv::Mat& crop,
                        const native_ocr::zonescan::Reading& reading);
  // The separator detection of a clock zone's colour crop: the memo's when the detector's columns
  // are unchanged, otherwise the detector's (then remembered).
  std::optional<native_ocr::zonescan::SeparatorDetection> separator_of(size_t index,
                                                                       const cv::Mat& crop);

  // The value a zone's trust was last weighed for, and whether the weighing trusted it.
  struct TrustMemo {
    std::optional<std::string> text;
    bool trusted = false;
  };

  // A clock zone's last separator detection and the window columns of the crop it came from.
  struct SeparatorMemo {
    cv::Size crop_size;
    cv::Mat columns;
    std::optional<native_ocr::zonescan::SeparatorDetection> detection;
  };
  // The memo's detection when the detector's columns of `crop` are unchanged (then *kept is
  // true), otherwise the detector's (then remembered).
  static std::optional<native_ocr::zonescan::SeparatorDetection> kept_detection(SeparatorMemo& memo,
                                                                                const cv::Mat& crop,
                                                                                bool* kept);
  // A zone's four moved crops' memos, as trust asks them for detections.
  struct MovedMemos final : native_ocr::zonescan::calibration::MovedSeparators {
    std::array<SeparatorMemo, native_ocr::zonescan::calibration::kMovedCuts> memos;
    std::optional<native_ocr::zonescan::SeparatorDetection> detect(int move,
                                                                   const cv::Mat& crop) override;
  };

  const native_ocr::zonescan::SegmentClassifier classifier_;
  const std::vector<BoardZone> zones_;
  std::vector<cv::Mat> last_crops_;  // each zone's crop when it was last read
  std::vector<ZoneResult> results_;
  std::vector<SeparatorMemo> separators_;
  // Each zone's memos of its four one-pixel moves, which trust reads.
  std::vector<MovedMemos> moved_separators_;
  std::vector<TrustMemo> trusts_;
  cv::Size frame_size_;
  size_t zones_read_ = 0;
  size_t separators_kept_ = 0;
  size_t trusts_weighed_ = 0;
};

}  // namespace readings

#endif  // BRIDGES_READINGS_BOARD_READ_H_
