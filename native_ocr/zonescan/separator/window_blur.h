// Exact Gaussian blurs of many narrow windows of one grey image, each blurred as an image of its
// own (BORDER_REFLECT_101), without a call to the image library per window.
//
// OpenCV blurs 8-bit images in fixed point: a kernel of integer taps summing to 256, applied along
// rows and then columns with every product kept exactly, and a single rounding at the end. The
// result is therefore an integer function of the pixels that does not depend on the order of the
// two passes, so the column pass can be done once for all windows (they share their rows) and only
// the row pass, with each window's own reflected border, is done per window. The kernel is read
// from OpenCV's own response to an impulse, and the whole scheme is checked against OpenCV before
// it is used; where it does not match, callers fall back to the sheet blur.
#ifndef NATIVE_OCR_ZONESCAN_SEPARATOR_WINDOW_BLUR_H_
#define NATIVE_OCR_ZONESCAN_SEPARATOR_WINDOW_BLUR_H_

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace native_ocr::zonescan {

class WindowBlur {
 public:
  // The blur OpenCV applies for `sigma` to 8-bit images, when it has the fixed-point form above
  // and reproduces cv::GaussianBlur on a set of probe images; nothing otherwise.
  static std::optional<WindowBlur> from_opencv(double sigma);

  // For each column range [first, last] (inclusive, within `gray`, 8-bit single-channel), the
  // blur of those columns as an image of their own. Results are new images.
  std::vector<cv::Mat> blur_windows(const cv::Mat& gray,
                                    const std::vector<std::pair<int, int>>& columns) const;

  int radius() const { return radius_; }

 private:
  friend class WindowBlurSequence;
  explicit WindowBlur(std::vector<float> taps);

  std::vector<float> taps_;  // 2 * radius + 1 integer taps summing to 256
  int radius_ = 0;
};

// The same blurs one window at a time, for callers that read each window's blur once: the column
// pass over all the windows' columns is done once, and so is the row pass of every column at least
// `radius` columns away from both edges of its window, which reads no reflected border and is the
// same in every window that holds it. Per window only the columns within `radius` of its edges are
// summed again. Every sum is an integer below 2^24, exact in single precision in any order, so each
// window's blur is the one blur_windows gives.
class WindowBlurSequence {
 public:
  // For windows within columns [first, last] of `gray` (8-bit single-channel); `blur` and `gray`
  // must outlive the sequence.
  WindowBlurSequence(const WindowBlur& blur, const cv::Mat& gray, int first, int last);

  // The blur of columns [left, right] (inclusive, within [first, last]) into `out`, which is
  // reallocated only when its size or type differs.
  void blur_into(int left, int right, cv::Mat& out) const;

  // The blur of every column of [first + radius, last - radius] (column j is first + radius + j),
  // which is that column's blur in every window holding it at least `radius` from both edges.
  // Empty when no column is that far inside.
  const cv::Mat& inner() const { return inner_; }
  int radius() const { return blur_.radius_; }

 private:
  const WindowBlur& blur_;
  int first_ = 0;
  int last_ = 0;
  cv::Mat columns_t_;  // the column pass, one row per column of [first, last]
  cv::Mat inner_;      // the row pass without border of columns [first + radius, last - radius]
  mutable std::vector<float> weights_;
  mutable int weights_width_ = -1;
};

// BORDER_REFLECT_101 index of p in [0, length): ... 2 1 | 0 1 2 ... n-1 | n-2 ...
int reflect_101(int p, int length);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_SEPARATOR_WINDOW_BLUR_H_
