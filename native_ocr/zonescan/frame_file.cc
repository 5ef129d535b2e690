#include "native_ocr/zonescan/frame_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "base/file_handle.h"
#include "base/full_io.h"

namespace native_ocr::zonescan {
namespace {

// The most bytes a sequential JPEG spends on one pixel: a Huffman code of at most 16 bits and at
// most 11 magnitude bits for each of a block's 64 coefficients (216 bytes per 8x8 block), doubled
// by byte stuffing (6.75 bytes a sample), for four components at full resolution.
constexpr size_t kMaxJpegBytesPerPixel = 28;
// What a JPEG may spend besides its scans: tables and sixteen full application segments.
constexpr size_t kMaxJpegHeaderBytes = size_t{16} << 16;
// The most bytes read from a file whose JPEG header states no frame size (PNG, BMP ...): an
// uncompressed 8K UHD frame with alpha (7680 x 4320 x 4, 133 MB) fits, with room.
constexpr size_t kMaxSourceBytes = size_t{256} << 20;
// The first read, and the least each further read asks for.
constexpr size_t kReadChunk = size_t{64} << 10;

// What the marker scan found in a file's first bytes.
struct HeaderScan {
  enum { kNeedMore, kNotJpeg, kFound } state = kNeedMore;
  cv::Size size;
};

bool is_frame_marker(uint8_t m) {  // SOF0..SOF15 but DHT, JPG and DAC
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Walks the segments from SOI to the first frame header.
HeaderScan scan_header(std::span<const uint8_t> b) {
  if (b.size() >= 2 && (b[0] != 0xFF || b[1] != 0xD8)) {
    return {HeaderScan::kNotJpeg, {}};
  }
  size_t at = 2;
  for (;;) {
    while (at < b.size() && b[at] == 0xFF) {
      ++at;  // fill bytes before a marker code
    }
    if (at + 8 > b.size()) {
      return {};
    }
    const uint8_t marker = b[at];
    if (at < 3 || b[at - 1] != 0xFF || marker == 0xDA || marker == 0xD9) {
      return {HeaderScan::kNotJpeg, {}};  // not a marker, or the scan before any frame header
    }
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      ++at;  // a marker without a segment
      continue;
    }
    if (is_frame_marker(marker)) {
      return {HeaderScan::kFound,
              cv::Size((b[at + 6] << 8) | b[at + 7], (b[at + 4] << 8) | b[at + 5])};
    }
    at += 1 + ((size_t{b[at + 1]} << 8) | b[at + 2]);
  }
}

// The most bytes a JPEG of this frame size can hold; 0 when the frame is over OpenCV's limit.
size_t jpeg_byte_bound(const cv::Size& size) {
  const uint64_t pixels = uint64_t(size.width) * uint64_t(size.height);
  if (pixels > kMaxFramePixels) {
    return 0;
  }
  // A height of 0 is stated later (DNL): the bound of the widest frame of that width.
  const uint64_t counted = size.height > 0 ? pixels : kMaxFramePixels;
  return static_cast<size_t>(counted * kMaxJpegBytesPerPixel + kMaxJpegHeaderBytes);
}

// Reads up to `limit` bytes, lowering the limit to the JPEG bound once the header is seen.
SourceError read_bounded(int fd, std::vector<uint8_t>* bytes) {
  size_t limit = kMaxSourceBytes;
  HeaderScan scan;
  while (bytes->size() < limit) {
    const size_t old = bytes->size();
    const size_t want = std::min(limit - old, std::max(kReadChunk, old));
    bytes->resize(old + want);
    const ssize_t got = base::read_some(fd, bytes->data() + old, want);
    bytes->resize(old + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got < 0) {
      return SourceError::kUnreadable;
    }
    if (got == 0) {
      return SourceError::kNone;
    }
    if (scan.state == HeaderScan::kNeedMore) {
      scan = scan_header(*bytes);
      if (scan.state == HeaderScan::kFound) {
        limit = std::min(limit, jpeg_byte_bound(scan.size));
      }
    }
  }
  // A JPEG's bytes past its bound are not its frame's; any other file that long is refused, as
  // is a frame over the pixel limit.
  return scan.state == HeaderScan::kFound && limit > 0 ? SourceError::kNone
                                                       : SourceError::kTooLarge;
}

}  // namespace

FrameFile FrameFile::open(const std::string& path) {
  FrameFile file;
  const base::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.error_ = SourceError::kNotRegular;
    return file;
  }
  std::vector<uint8_t> bytes;
  file.error_ = read_bounded(fd.get(), &bytes);
  return file.empty() ? file : from_bytes(std::move(bytes));
}

FrameFile FrameFile::from_bytes(std::vector<uint8_t> bytes) {
  FrameFile file;
  file.bytes_ = std::move(bytes);
  file.error_ = SourceError::kNone;
  if (const std::optional<cv::Size> header = jpeg_block_size(file.bytes_)) {
    file.size_ = *header;
    file.block_ = true;
    return file;
  }
  file.whole_ = decode_whole_bytes(file.bytes_);
  file.size_ = file.whole_.frame_size;
  if (file.whole_.empty()) {
    file.error_ = SourceError::kUndecodable;
  }
  return file;
}

DecodedFrame FrameFile::decode(const cv::Rect& region) const {
  if (!block_) {
    return whole_;
  }
  std::optional<DecodedFrame> block = decode_jpeg_block(bytes_, region);
  return block ? std::move(*block) : decode_whole_bytes(bytes_);
}

DecodedFrame FrameFile::whole() const {
  if (empty()) {
    return DecodedFrame{};
  }
  return block_ ? decode_whole_bytes(bytes_) : whole_;
}

}  // namespace native_ocr::zonescan
