// A preview file opened once for a board read: its bytes read once (a regular file only, and no
// more than a JPEG of the largest frame accepted can hold), the frame size taken from its JPEG
// header where the block decoder reproduces cv::imread, otherwise the file decoded whole from the
// same bytes. The path is never opened again.
#ifndef NATIVE_OCR_ZONESCAN_FRAME_FILE_H_
#define NATIVE_OCR_ZONESCAN_FRAME_FILE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/frame_decoder.h"

namespace native_ocr::zonescan {

// Why a source gives no frame.
enum class SourceError {
  kNone,
  kUnreadable,   // missing, not permitted, or a read failed
  kNotRegular,   // a directory, a FIFO, a device or a socket
  kTooLarge,     // more bytes than its frame can need, or a frame over kMaxFramePixels
  kUndecodable,  // cv::imread would give no image
};

class FrameFile {
 public:
  // Opens `path` without blocking (a FIFO without a writer, a device) and reads it.
  static FrameFile open(const std::string& path);
  // A file's bytes already in memory.
  static FrameFile from_bytes(std::vector<uint8_t> bytes);

  bool empty() const { return error_ != SourceError::kNone; }
  SourceError error() const { return error_; }
  cv::Size size() const { return size_; }
  // The bytes read (the JPEG or image file, up to its bound).
  std::span<const uint8_t> bytes() const { return bytes_; }

  // The pixels of `region` (frame coordinates, inside the frame): the block decode when the
  // header allowed it and it succeeds, else the whole frame decoded from the bytes (empty when
  // even that fails).
  DecodedFrame decode(const cv::Rect& region) const;
  // The whole frame as cv::imread decodes it, from the bytes read (empty when it cannot be).
  DecodedFrame whole() const;

 private:
  std::vector<uint8_t> bytes_;
  cv::Size size_;
  bool block_ = false;  // the size came from the header; the block decoder may be used
  DecodedFrame whole_;  // decoded whole already
  SourceError error_ = SourceError::kUnreadable;
};

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_FRAME_FILE_H_
