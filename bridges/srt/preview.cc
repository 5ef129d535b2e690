#include "bridges/srt/preview.h"

#include <algorithm>

#include "base/atomic_file.h"
#include "base/jpeg_encoder.h"

namespace rivlet {

bool picture_size_supported(int width, int height) {
  return width >= kMinSide && width <= kMaxSide && height >= kMinSide && height <= kMaxSide &&
         int64_t{width} * height <= kMaxPixels;
}

bool preview_size(int width, int height, FrameSize* size) {
  if (!picture_size_supported(width, height)) {
    return false;
  }
  const int longer = std::max(width, height);
  if (longer > kMaxPreviewSide) {
    size->width = std::max(kMinSide, width * kMaxPreviewSide / longer);
    size->height = std::max(kMinSide, height * kMaxPreviewSide / longer);
  } else {
    size->width = width;
    size->height = height;
  }
  return true;
}

bool PreviewScaler::ensure_scaler(const AVFrame& frame, FrameSize target) {
  if (scaler_ != nullptr && source_width_ == frame.width && source_height_ == frame.height &&
      source_format_ == frame.format && target_.width == target.width &&
      target_.height == target.height) {
    return true;
  }
  scaler_.reset(sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                               target.width, target.height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr,
                               nullptr, nullptr));
  if (scaler_ == nullptr) {
    return false;
  }
  ++scalers_made_;
  source_width_ = frame.width;
  source_height_ = frame.height;
  source_format_ = frame.format;
  target_ = target;
  return true;
}

bool PreviewScaler::scale(const AVFrame& frame, FrameSize target) {
  if (!ensure_scaler(frame, target)) {
    return false;
  }
  const int stride = target.width * 3;
  rgb_.resize(static_cast<size_t>(stride) * static_cast<size_t>(target.height));
  uint8_t* planes[4] = {rgb_.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {stride, 0, 0, 0};
  const int rows =
      sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
  return rows == target.height;
}

bool write_jpeg_atomic(const std::string& path, const uint8_t* rgb, int width, int height,
                       size_t stride) {
  const base::RgbView image{rgb, width, height, stride};
  return base::replace_file(path, base::jpeg_temporary_path(path),
                            [&image](std::FILE* file) { return base::encode_jpeg(file, image); })
      .ok();
}

}  // namespace rivlet
