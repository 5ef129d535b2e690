// A decoded FFmpeg picture handed to the reading thread: a new reference to the frame (no copy of
// its pixels), converted to BGR there, only where the zones are.
#ifndef BRIDGES_SRT_FRAME_PICTURE_H_
#define BRIDGES_SRT_FRAME_PICTURE_H_

#include <memory>

#include "bridges/readings/reading_thread.h"
#include "bridges/srt/ffmpeg_handles.h"

namespace rivlet {

// Converts a rectangle of a picture to BGR24, keeping its converter while the rectangle's size
// and the pixel format stay the same. Used by one thread at a time.
class RegionConverter {
 public:
  // Writes region of frame (a software frame) into the same rectangle of *bgr (frame-sized
  // CV_8UC3). The region is widened to whole chroma samples first. False for a hardware,
  // paletted or bitstream format, or when no converter could be made.
  bool convert(const AVFrame& frame, cv::Rect region, cv::Mat* bgr);

 private:
  ScalerPtr scaler_;
  int width_ = 0;
  int height_ = 0;
  int format_ = AV_PIX_FMT_NONE;
};

class FramePicture : public readings::Picture {
 public:
  // Takes a new reference to frame; converter is shared by the pictures of one receive phase.
  FramePicture(const AVFrame& frame, std::shared_ptr<RegionConverter> converter)
      : frame_(av_frame_clone(&frame)), converter_(std::move(converter)) {}

  bool valid() const { return frame_ != nullptr; }
  int width() const override { return frame_->width; }
  int height() const override { return frame_->height; }
  bool fill_bgr(const cv::Rect& region, cv::Mat* bgr) override {
    return converter_->convert(*frame_, region, bgr);
  }

 private:
  FramePtr frame_;
  std::shared_ptr<RegionConverter> converter_;
};

}  // namespace rivlet

#endif  // BRIDGES_SRT_FRAME_PICTURE_H_
