#include "bridges/srt/frame_picture.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace rivlet {

namespace {

constexpr uint64_t kUnconvertible =
    AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL;

const AVPixFmtDescriptor* convertible_format(const AVFrame& frame) {
  const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  return format == nullptr || (format->flags & kUnconvertible) != 0 ? nullptr : format;
}

bool is_chroma(const AVPixFmtDescriptor& format, int component) {
  return (component == 1 || component == 2) && (format.flags & AV_PIX_FMT_FLAG_RGB) == 0;
}

// Where the pixel at (x, y) (multiples of the chroma subsampling) starts in each plane, and how
// many bytes a row of width pixels takes there.
struct PlaneSpan {
  ptrdiff_t offset = 0;
  size_t row_bytes = 0;
  int rows = 0;
  bool used = false;
};

void plane_spans(const AVFrame& frame, const AVPixFmtDescriptor& format, const cv::Rect& r,
                 PlaneSpan spans[4]) {
  for (int c = format.nb_components - 1; c >= 0; --c) {  // the first component of a plane wins
    const AVComponentDescriptor& comp = format.comp[c];
    const bool chroma = is_chroma(format, c);
    const int shift_x = chroma ? format.log2_chroma_w : 0;
    const int shift_y = chroma ? format.log2_chroma_h : 0;
    PlaneSpan& span = spans[comp.plane];
    span.offset = static_cast<ptrdiff_t>(r.y >> shift_y) * frame.linesize[comp.plane] +
                  static_cast<ptrdiff_t>(r.x >> shift_x) * comp.step;
    span.row_bytes = static_cast<size_t>(-((-r.width) >> shift_x)) * comp.step;
    span.rows = -((-r.height) >> shift_y);
    span.used = true;
  }
}

}  // namespace

cv::Rect chroma_aligned(const AVFrame& frame, const cv::Rect& rect) {
  const AVPixFmtDescriptor* format = convertible_format(frame);
  if (format == nullptr) {
    return {};
  }
  const int align_x = 1 << format->log2_chroma_w;
  const int align_y = 1 << format->log2_chroma_h;
  const int x = rect.x / align_x * align_x;
  const int y = rect.y / align_y * align_y;
  const int right = std::min(frame.width, (rect.x + rect.width + align_x - 1) / align_x * align_x);
  const int bottom =
      std::min(frame.height, (rect.y + rect.height + align_y - 1) / align_y * align_y);
  return {x, y, right - x, bottom - y};
}

bool same_region(const AVFrame& a, const AVFrame& b, const cv::Rect& rect) {
  const AVPixFmtDescriptor* format = convertible_format(a);
  if (format == nullptr || a.format != b.format || a.width != b.width || a.height != b.height) {
    return false;
  }
  PlaneSpan spans[4];
  plane_spans(a, *format, chroma_aligned(a, rect), spans);
  for (int p = 0; p < 4; ++p) {
    for (int row = 0; spans[p].used && row < spans[p].rows; ++row) {
      const uint8_t* pa = a.data[p] + spans[p].offset + static_cast<ptrdiff_t>(row) * a.linesize[p];
      const uint8_t* pb = b.data[p] + spans[p].offset + static_cast<ptrdiff_t>(row) * b.linesize[p];
      if (std::memcmp(pa, pb, spans[p].row_bytes) != 0) {
        return false;
      }
    }
  }
  return true;
}

SwsContext* RegionConverter::converter_for(int width, int height, int format) {
  for (const Converter& c : converters_) {
    if (c.width == width && c.height == height && c.format == format) {
      return c.scaler.get();
    }
  }
  if (converters_.size() >= kMaxConverters) {
    converters_.clear();
  }
  ScalerPtr scaler(sws_getContext(width, height, static_cast<AVPixelFormat>(format), width, height,
                                  AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!scaler) {
    return nullptr;
  }
  converters_.push_back({width, height, format, std::move(scaler)});
  return converters_.back().scaler.get();
}

bool RegionConverter::convert(const AVFrame& frame, cv::Rect region, cv::Mat* bgr) {
  const AVPixFmtDescriptor* format = convertible_format(frame);
  const cv::Rect r = chroma_aligned(frame, region);
  if (format == nullptr || r.empty()) {
    return false;
  }
  SwsContext* scaler = converter_for(r.width, r.height, frame.format);
  if (scaler == nullptr) {
    return false;
  }
  PlaneSpan spans[4];
  plane_spans(frame, *format, r, spans);
  const uint8_t* planes[4] = {};
  for (int p = 0; p < 4; ++p) {
    planes[p] = frame.data[p] == nullptr ? nullptr : frame.data[p] + spans[p].offset;
  }
  uint8_t* target[4] = {bgr->ptr<uint8_t>(r.y) + static_cast<ptrdiff_t>(r.x) * 3, nullptr, nullptr,
                        nullptr};
  const int target_stride[4] = {static_cast<int>(bgr->step[0]), 0, 0, 0};
  return sws_scale(scaler, planes, frame.linesize, 0, r.height, target, target_stride) == r.height;
}

}  // namespace rivlet
