#include "bridges/srt/frame_picture.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace rivlet {

namespace {

// The plane pointers of frame moved to the pixel at (x, y), x and y multiples of the chroma
// subsampling.
void offset_planes(const AVFrame& frame, const AVPixFmtDescriptor& format, int x, int y,
                   const uint8_t* planes[4]) {
  for (int p = 0; p < 4; ++p) {
    planes[p] = frame.data[p];
  }
  for (int c = format.nb_components - 1; c >= 0; --c) {  // the first component of a plane wins
    const AVComponentDescriptor& comp = format.comp[c];
    const bool chroma = (c == 1 || c == 2) && (format.flags & AV_PIX_FMT_FLAG_RGB) == 0;
    const int cx = chroma ? x >> format.log2_chroma_w : x;
    const int cy = chroma ? y >> format.log2_chroma_h : y;
    planes[comp.plane] = frame.data[comp.plane] +
                         static_cast<ptrdiff_t>(cy) * frame.linesize[comp.plane] +
                         static_cast<ptrdiff_t>(cx) * comp.step;
  }
}

}  // namespace

bool RegionConverter::convert(const AVFrame& frame, cv::Rect region, cv::Mat* bgr) {
  const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  constexpr uint64_t kUnconvertible =
      AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL;
  if (format == nullptr || (format->flags & kUnconvertible) != 0) {
    return false;
  }
  // Whole chroma samples: the left and top edges down to a multiple, the size up to one.
  const int align_x = 1 << format->log2_chroma_w;
  const int align_y = 1 << format->log2_chroma_h;
  const int x = region.x / align_x * align_x;
  const int y = region.y / align_y * align_y;
  const int right =
      std::min(frame.width, (region.x + region.width + align_x - 1) / align_x * align_x);
  const int bottom =
      std::min(frame.height, (region.y + region.height + align_y - 1) / align_y * align_y);
  const int width = right - x;
  const int height = bottom - y;
  if (!scaler_ || width != width_ || height != height_ || frame.format != format_) {
    scaler_.reset(sws_getContext(width, height, static_cast<AVPixelFormat>(frame.format), width,
                                 height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr,
                                 nullptr));
    width_ = width;
    height_ = height;
    format_ = frame.format;
  }
  if (!scaler_) {
    return false;
  }
  const uint8_t* planes[4];
  offset_planes(frame, *format, x, y, planes);
  uint8_t* target[4] = {bgr->ptr<uint8_t>(y) + static_cast<ptrdiff_t>(x) * 3, nullptr, nullptr,
                        nullptr};
  const int target_stride[4] = {static_cast<int>(bgr->step[0]), 0, 0, 0};
  return sws_scale(scaler_.get(), planes, frame.linesize, 0, height, target, target_stride) ==
         height;
}

}  // namespace rivlet
