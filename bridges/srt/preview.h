// Preview sizing and scaling of decoded pictures to RGB.
#ifndef BRIDGES_SRT_PREVIEW_H_
#define BRIDGES_SRT_PREVIEW_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bridges/srt/ffmpeg_handles.h"

namespace rivlet {

inline constexpr int kMinSide = 2;
inline constexpr int kMaxSide = 8192;
inline constexpr int64_t kMaxPixels = 35389440;  // 8192 x 4320
inline constexpr int kMaxPreviewSide = 1920;

struct FrameSize {
  int width = 0;
  int height = 0;
};

// True when each side lies in 2 to 8192 and the area is at most 8192 x 4320.
bool picture_size_supported(int width, int height);

// The preview size of a width x height picture: unchanged when the longer side is at most 1920,
// otherwise both sides times 1920 over the longer side, rounded down and raised to at least 2.
// False (size untouched) for a picture outside picture_size_supported.
bool preview_size(int width, int height, FrameSize* size);

// Scales decoded pictures into an RGB24 buffer (stride width x 3), keeping one bilinear scaler
// for as long as the source size and format and the target size stay the same.
class PreviewScaler {
 public:
  // False when no scaler could be made for frame (it is then forgotten) or it did not produce
  // target.height rows.
  bool scale(const AVFrame& frame, FrameSize target);

  const uint8_t* rgb() const { return rgb_.data(); }
  // How many scalers were made so far.
  int scalers_made() const { return scalers_made_; }

 private:
  bool ensure_scaler(const AVFrame& frame, FrameSize target);

  ScalerPtr scaler_;
  int source_width_ = 0;
  int source_height_ = 0;
  int source_format_ = AV_PIX_FMT_NONE;
  FrameSize target_;
  int scalers_made_ = 0;
  std::vector<uint8_t> rgb_;
};

// Publishes one preview at path: encodes rgb (width x height, rows stride bytes apart) into
// base::jpeg_temporary_path(path), flushes, fsyncs and closes it, and renames it over path. False,
// silently, on any failure, with the temporary file deleted and the published preview untouched.
bool write_jpeg_atomic(const std::string& path, const uint8_t* rgb, int width, int height,
                       size_t stride);

}  // namespace rivlet

#endif  // BRIDGES_SRT_PREVIEW_H_
