#include "native_ocr/zonescan/frame_decoder.h"

// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cstdint>

#include <opencv2/imgcodecs.hpp>

namespace native_ocr::zonescan {
namespace {

// Pixels decoded around the region on every side: a whole chroma block at 2x subsampling.
constexpr int kMargin = 16;
// What is kept of an APP1 segment: only its presence matters.
constexpr unsigned kSavedApp1Bytes = 8;

// The error manager of one decode: errors jump back to the recovery point, warnings are counted
// (not printed; any warning sends the caller to the whole decode).
struct DecodeErrors {
  jpeg_error_mgr manager;
  std::jmp_buf recovery;
};

[[noreturn]] void jump_back(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<DecodeErrors*>(cinfo->err)->recovery, 1);
}

void count_warnings(j_common_ptr cinfo, int level) {
  if (level < 0) {
    ++cinfo->err->num_warnings;
  }
}

void set_up(jpeg_decompress_struct* cinfo, DecodeErrors* errors, std::span<const uint8_t> bytes) {
  cinfo->err = jpeg_std_error(&errors->manager);
  errors->manager.error_exit = jump_back;
  errors->manager.emit_message = count_warnings;
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_save_markers(cinfo, JPEG_APP0 + 1, kSavedApp1Bytes);
}

bool has_app1(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 + 1) {
      return true;
    }
  }
  return false;
}

bool block_decodable(const jpeg_decompress_struct& cinfo) {
  const uint64_t pixels = uint64_t{cinfo.image_width} * uint64_t{cinfo.image_height};
  return !cinfo.progressive_mode && cinfo.num_components == 3 &&
         cinfo.jpeg_color_space == JCS_YCbCr && pixels <= kMaxFramePixels && !has_app1(cinfo);
}

// True when the entropy decoder met a marker other than a restart marker before the last coding
// row was read: the data ended early. (Arithmetic decoding then supplies zeros without a warning.)
bool data_ended_early(const jpeg_decompress_struct& cinfo) {
  const int m = cinfo.unread_marker;
  const bool restart = m >= JPEG_RST0 && m <= JPEG_RST0 + 7;
  return m != 0 && !restart && cinfo.input_iMCU_row < cinfo.total_iMCU_rows;
}

// Header to last needed row. Only trivially destructible locals: a library error longjmps out.
// Returns false when the file is not one the block decoder reproduces.
bool decode_rows(jpeg_decompress_struct* cinfo, const cv::Rect& block, cv::Mat* out,
                 cv::Point* origin) {
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK || !block_decodable(*cinfo)) {
    return false;
  }
  cinfo->out_color_space = JCS_EXT_BGR;
  cinfo->dct_method = JDCT_ISLOW;
  jpeg_start_decompress(cinfo);
  JDIMENSION x = static_cast<JDIMENSION>(block.x);
  JDIMENSION width = static_cast<JDIMENSION>(block.width);
  jpeg_crop_scanline(cinfo, &x, &width);
  if (block.y > 0) {
    jpeg_skip_scanlines(cinfo, static_cast<JDIMENSION>(block.y));
  }
  out->create(block.height, static_cast<int>(cinfo->output_width), CV_8UC3);
  for (int row = 0; row < block.height; ++row) {
    JSAMPROW line = out->ptr<JSAMPLE>(row);
    if (jpeg_read_scanlines(cinfo, &line, 1) != 1) {
      return false;
    }
  }
  *origin = cv::Point(static_cast<int>(x), block.y);
  return !data_ended_early(*cinfo);
}

// The setjmp island: the decoder and its error manager are the only locals (both trivially
// destructible). False on an error, a warning, or a file the block decoder does not reproduce.
bool decode_block(std::span<const uint8_t> bytes, const cv::Rect& block, cv::Mat* pixels,
                  cv::Point* origin) {
  jpeg_decompress_struct cinfo;
  DecodeErrors errors;
  if (setjmp(errors.recovery) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  set_up(&cinfo, &errors, bytes);
  const bool ok = decode_rows(&cinfo, block, pixels, origin) && errors.manager.num_warnings == 0;
  jpeg_abort_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

}  // namespace

bool DecodedFrame::covers(const cv::Rect& r) const {
  const cv::Rect decoded(origin, pixels.size());
  return (r & decoded) == r;
}

cv::Mat DecodedFrame::view(const cv::Rect& r) const {
  return pixels(r - origin);
}

std::optional<cv::Size> jpeg_block_size(std::span<const uint8_t> bytes) {
  jpeg_decompress_struct cinfo;
  DecodeErrors errors;
  if (setjmp(errors.recovery) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return std::nullopt;
  }
  set_up(&cinfo, &errors, bytes);
  const bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK && block_decodable(cinfo) &&
                  errors.manager.num_warnings == 0;
  const cv::Size size(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
  jpeg_destroy_decompress(&cinfo);
  if (!ok) {
    return std::nullopt;
  }
  return size;
}

std::optional<DecodedFrame> decode_jpeg_block(std::span<const uint8_t> bytes,
                                              const cv::Rect& region) {
  const std::optional<cv::Size> size = jpeg_block_size(bytes);
  if (!size || region.empty()) {
    return std::nullopt;
  }
  const cv::Rect frame(cv::Point(0, 0), *size);
  const cv::Rect block = cv::Rect(region.x - kMargin, region.y - kMargin,
                                  region.width + 2 * kMargin, region.height + 2 * kMargin) &
                         frame;
  if (block.empty()) {
    return std::nullopt;
  }
  DecodedFrame out;
  out.frame_size = *size;
  out.partial = true;
  if (!decode_block(bytes, block, &out.pixels, &out.origin) || !out.covers(region)) {
    return std::nullopt;
  }
  return out;
}

DecodedFrame decode_whole_bytes(std::span<const uint8_t> bytes) {
  DecodedFrame out;
  try {
    const cv::Mat encoded(1, static_cast<int>(bytes.size()), CV_8UC1,
                          const_cast<uint8_t*>(bytes.data()));
    if (!bytes.empty() && bytes.size() <= size_t{INT32_MAX}) {
      out.pixels = cv::imdecode(encoded, cv::IMREAD_COLOR);
    }
  } catch (const cv::Exception&) {
    out.pixels.release();  // a file OpenCV cannot decode is an unreadable file
  }
  out.frame_size = out.pixels.size();
  return out;
}

}  // namespace native_ocr::zonescan
