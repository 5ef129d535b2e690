#include "native_ocr/zonescan/display_traits.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// Below this share of lit pixels (or this many) the column profile says nothing of the slant.
constexpr double kMinLitShare = 0.01;
constexpr int kMinLitPixels = 40;
// A shear must beat upright by this share of the profile's peakedness to be taken, so noise on
// an upright display never invents a slant.
constexpr double kSlantGain = 1.02;

double radians(double degrees) {
  return degrees * CV_PI / 180.0;
}

cv::Mat sheared(const cv::Mat& image, double slant_degrees) {
  const double k = std::tan(radians(slant_degrees));
  const double middle = (image.rows - 1) / 2.0;
  // dst(x, y) = src(x + k * (middle - y), y): the rows above the middle move left.
  const cv::Mat m = (cv::Mat_<double>(2, 3) << 1.0, k, -k * middle, 0.0, 1.0, 0.0);
  cv::Mat out;
  cv::warpAffine(image, out, m, image.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
  return out;
}

// The sum of squared column sums: larger when the lit pixels stand in fewer columns.
double peakedness(const cv::Mat& lit) {
  cv::Mat columns;
  cv::reduce(lit, columns, 0, cv::REDUCE_SUM, CV_64F);
  return columns.dot(columns);
}

}  // namespace

bool needs_upright(const ProcessingSettings& settings) {
  return settings.polarity == Polarity::kDark || std::abs(settings.slant) > 0.001;
}

cv::Mat upright_grey(const cv::Mat& image, bool three_dimensional, const ProcessingSettings& s) {
  cv::Mat grey;
  if (three_dimensional) {
    cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
  } else {
    grey = image.clone();
  }
  if (s.polarity == Polarity::kDark) {
    cv::bitwise_not(grey, grey);
  }
  if (std::abs(s.slant) > 0.001) {
    grey = sheared(grey, s.slant);
  }
  return grey;
}

double estimate_slant(const cv::Mat& binary) {
  cv::Mat lit;
  cv::compare(binary, 0, lit, cv::CMP_GT);
  lit.convertTo(lit, CV_32F, 1.0 / 255.0);
  const int count = cv::countNonZero(lit);
  if (count < kMinLitPixels || count < kMinLitShare * static_cast<double>(lit.total())) {
    return 0.0;
  }
  const double upright = peakedness(lit);
  double best = 0.0;
  double best_score = upright * kSlantGain;
  for (int degrees = -kSlantSearchLeft; degrees <= static_cast<int>(kMaxSlant); ++degrees) {
    const double score = degrees == 0 ? 0.0 : peakedness(sheared(lit, degrees));
    if (score > best_score) {
      best_score = score;
      best = degrees;
    }
  }
  return best;
}

}  // namespace native_ocr::zonescan
