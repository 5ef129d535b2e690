// Decoding a preview file once for all the zones of a scoreboard: only the rows and columns the
// zones need where libjpeg gives exactly the pixels cv::imread gives, the whole file otherwise.
#ifndef NATIVE_OCR_ZONESCAN_FRAME_DECODER_H_
#define NATIVE_OCR_ZONESCAN_FRAME_DECODER_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace native_ocr::zonescan {

// A decoded frame, whole or in part.
struct DecodedFrame {
  cv::Mat pixels;          // 8-bit BGR: the whole frame, or the decoded block of it
  cv::Point origin{0, 0};  // frame coordinates of the block's top-left pixel
  cv::Size frame_size;     // the whole frame's size
  bool partial = false;    // only a block was decoded
  bool empty() const { return pixels.empty(); }
  // True when frame rectangle `r` lies inside the decoded pixels.
  bool covers(const cv::Rect& r) const;
  // The pixels of frame rectangle `r` (which must be covered), a view.
  cv::Mat view(const cv::Rect& r) const;
};

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_file(const std::string& path);

// The frame size a JPEG's header states, when the block decoder reproduces cv::imread on it:
// sequential (not progressive) coding of three YCbCr components, and no Exif block (whose
// orientation cv::imread would apply). Nothing for any other file.
std::optional<cv::Size> jpeg_block_size(std::span<const uint8_t> bytes);

// Decodes the frame rectangle `region` (plus a margin of 16 pixels, so that the chroma upsampling
// at the block's edges sees the same neighbours as a whole decode) of a JPEG in memory as
// cv::imread decodes it (BGR, integer DCT, fancy upsampling): the rows above are skipped, the
// columns are cut to the coding blocks around the region, and decoding stops after the last row.
// Nothing on any libjpeg error or warning, or for an empty region. The bytes are only read.
std::optional<DecodedFrame> decode_jpeg_block(std::span<const uint8_t> bytes,
                                              const cv::Rect& region);

// The whole file as decode_bgr_image reads it: cv::imread(path, IMREAD_COLOR); empty when it
// cannot be decoded.
DecodedFrame decode_whole_frame(const std::string& path);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_FRAME_DECODER_H_
