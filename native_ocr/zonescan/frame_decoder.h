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

// OpenCV's own limit on a decoded frame (cv::imread refuses larger ones: CV_IO_MAX_IMAGE_PIXELS).
inline constexpr uint64_t kMaxFramePixels = uint64_t{1} << 30;

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

// The frame size a JPEG's header states, when the block decoder reproduces cv::imread on it:
// sequential (not progressive) coding of three YCbCr components, at most kMaxFramePixels, and no
// APP1 segment (cv::imread reads the first one as Exif whatever its prefix, and applies the
// orientation it finds there). Nothing for any other file.
std::optional<cv::Size> jpeg_block_size(std::span<const uint8_t> bytes);

// Decodes the frame rectangle `region` (plus a margin of 16 pixels, so that the chroma upsampling
// at the block's edges sees the same neighbours as a whole decode) of a JPEG in memory as
// cv::imread decodes it (BGR, integer DCT, fancy upsampling): the rows above are skipped, the
// columns are cut to the coding blocks around the region, and decoding stops after the last row.
// Nothing on any libjpeg error or warning, when the data ends (a marker in place of entropy-coded
// data) before the last row decoded, or for an empty region. The bytes are only read.
std::optional<DecodedFrame> decode_jpeg_block(std::span<const uint8_t> bytes,
                                              const cv::Rect& region);

// A whole file in memory as cv::imread(path, IMREAD_COLOR) decodes it (cv::imdecode, which applies
// the same limits and orientation); empty when it cannot be decoded.
DecodedFrame decode_whole_bytes(std::span<const uint8_t> bytes);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_FRAME_DECODER_H_
