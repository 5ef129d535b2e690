#include "native_ocr/zonescan/display.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan {
namespace {

cv::Mat to_grey(const cv::Mat& image, bool three_dimensional) {
  cv::Mat grey;
  if (three_dimensional) {
    cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
  } else {
    grey = image;  // only read by the next step, which writes a new image
  }
  return grey;
}

cv::Mat adjust_levels(const cv::Mat& grey, const ProcessingSettings& s) {
  cv::Mat work;
  cv::convertScaleAbs(grey, work, s.contrast, static_cast<double>(s.brightness));
  const std::array<uint8_t, 256> table = gamma_table(s.gamma);
  cv::LUT(work, cv::Mat(1, 256, CV_8U, const_cast<uint8_t*>(table.data())), work);
  return work;
}

void rotate(cv::Mat& work, double degrees) {
  const cv::Point2f centre(static_cast<float>(work.cols / 2.0),
                           static_cast<float>(work.rows / 2.0));
  const cv::Mat matrix = cv::getRotationMatrix2D(centre, degrees, 1.0);
  cv::Mat rotated;
  cv::warpAffine(work, rotated, matrix, work.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                 cv::Scalar(0));
  work = rotated;
}

cv::Mat apply_morphology(const cv::Mat& work, Morphology morphology, int64_t size) {
  const int k = static_cast<int>(std::max<int64_t>(1, size));
  const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(k, k));
  cv::Mat out;
  switch (morphology) {
    case Morphology::kDilate:
      cv::dilate(work, out, kernel, cv::Point(-1, -1), 1);
      break;
    case Morphology::kErode:
      cv::erode(work, out, kernel, cv::Point(-1, -1), 1);
      break;
    case Morphology::kClose:
      cv::morphologyEx(work, out, cv::MORPH_CLOSE, kernel);
      break;
    case Morphology::kOpen:
      cv::morphologyEx(work, out, cv::MORPH_OPEN, kernel);
      break;
    case Morphology::kNone:
      out = work;
      break;
  }
  return out;
}

}  // namespace

std::array<uint8_t, 256> gamma_table(double gamma) {
  const double inv_gamma = 1.0 / py_max(gamma, 0.01);
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const double v = std::pow(static_cast<double>(i) / 255.0, inv_gamma) * 255;
    table[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
  }
  return table;
}

cv::Mat process_image(const cv::Mat& image, bool three_dimensional,
                      const ProcessingSettings& settings) {
  const ProcessingSettings& s = settings;
  cv::Mat work = adjust_levels(to_grey(image, three_dimensional), s);
  if (std::abs(s.rotation) > 0.001) {
    rotate(work, s.rotation);
  }
  if (s.blur > 0) {
    const int k = static_cast<int>(s.blur % 2 == 0 ? s.blur + 1 : s.blur);
    cv::Mat blurred;
    cv::GaussianBlur(work, blurred, cv::Size(k, k), 0);
    work = blurred;
  }
  if (s.binarize) {
    cv::threshold(work, work, static_cast<double>(s.threshold), 255, cv::THRESH_BINARY);
  }
  if (s.invert) {
    cv::bitwise_not(work, work);
  }
  if (s.morphology != Morphology::kNone) {
    work = apply_morphology(work, s.morphology, s.morph_size);
  }
  return work;
}

}  // namespace native_ocr::zonescan
