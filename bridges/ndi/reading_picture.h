// A received BGRX video frame handed to the reading thread: the receiver's buffer is released
// when the capture ends, so the pixels are copied (one memcpy per row), then converted to BGR on
// the reading thread, only where the zones are.
#ifndef BRIDGES_NDI_READING_PICTURE_H_
#define BRIDGES_NDI_READING_PICTURE_H_

#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "bridges/ndi/preview.h"
#include "bridges/readings/reading_thread.h"

namespace ndi_bridge {

class ReadingPicture : public readings::Picture {
 public:
  explicit ReadingPicture(const BgrxFrame& frame)
      : width_(frame.width),
        height_(frame.height),
        pixels_(static_cast<size_t>(width_) * height_ * 4) {
    for (int y = 0; y < height_; ++y) {
      std::memcpy(&pixels_[static_cast<size_t>(y) * width_ * 4],
                  frame.pixels + static_cast<ptrdiff_t>(y) * frame.stride,
                  static_cast<size_t>(width_) * 4);
    }
  }
  int width() const override { return width_; }
  int height() const override { return height_; }
  bool fill_bgr(const cv::Rect& region, cv::Mat* bgr) override {
    const cv::Mat bgrx(height_, width_, CV_8UC4, pixels_.data());
    cv::Mat target = (*bgr)(region);
    cv::cvtColor(bgrx(region), target, cv::COLOR_BGRA2BGR);
    return true;
  }
  bool same_pixels(const readings::Picture& previous, const cv::Rect& rect) const override {
    const auto* before = dynamic_cast<const ReadingPicture*>(&previous);
    if (before == nullptr || before->width_ != width_ || before->height_ != height_) {
      return false;
    }
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
      const size_t at = (static_cast<size_t>(y) * width_ + rect.x) * 4;
      if (std::memcmp(&pixels_[at], &before->pixels_[at], static_cast<size_t>(rect.width) * 4) !=
          0) {
        return false;
      }
    }
    return true;
  }

 private:
  int width_;
  int height_;
  std::vector<uint8_t> pixels_;
};

}  // namespace ndi_bridge

#endif  // BRIDGES_NDI_READING_PICTURE_H_
