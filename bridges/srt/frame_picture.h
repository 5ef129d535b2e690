// A decoded FFmpeg picture handed to the reading thread: a new reference to the frame (no copy of
// its pixels), converted to BGR there, only where the zones are.
#ifndef BRIDGES_SRT_FRAME_PICTURE_H_
#define BRIDGES_SRT_FRAME_PICTURE_H_

#include <memory>
#include <vector>

#include "bridges/readings/reading_thread.h"
#include "bridges/srt/ffmpeg_handles.h"

namespace rivlet {

// The rectangle widened to whole chroma samples of format (and kept inside the frame); empty for
// a hardware, paletted or bitstream format, which has no pixels to cut.
cv::Rect chroma_aligned(const AVFrame& frame, const cv::Rect& rect);

// True when the pixels of rect (widened to whole chroma samples) are byte for byte the same in
// both frames, which must have the same size and format.
bool same_region(const AVFrame& a, const AVFrame& b, const cv::Rect& rect);

// Converts rectangles of pictures to BGR24, keeping a converter for each rectangle size and
// format met (the zones of a board keep their sizes). Used by one thread at a time.
class RegionConverter {
 public:
  // Writes region of frame (a software frame) into the same rectangle of *bgr (frame-sized
  // CV_8UC3). The region is widened to whole chroma samples first. False for a hardware,
  // paletted or bitstream format, or when no converter could be made.
  bool convert(const AVFrame& frame, cv::Rect region, cv::Mat* bgr);

 private:
  struct Converter {
    int width = 0;
    int height = 0;
    int format = AV_PIX_FMT_NONE;
    ScalerPtr scaler;
  };
  SwsContext* converter_for(int width, int height, int format);
  static constexpr size_t kMaxConverters = 16;
  std::vector<Converter> converters_;
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
  bool same_pixels(const readings::Picture& previous, const cv::Rect& rect) const override {
    const auto* before = dynamic_cast<const FramePicture*>(&previous);
    return before != nullptr && same_region(*frame_, *before->frame_, rect);
  }

 private:
  FramePtr frame_;
  std::shared_ptr<RegionConverter> converter_;
};

}  // namespace rivlet

#endif  // BRIDGES_SRT_FRAME_PICTURE_H_
