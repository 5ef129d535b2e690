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

using Table = std::array<uint8_t, 256>;

// The gamma table of the last gamma seen on this thread: the 256 power evaluations are the
// costliest part of preparing a small crop, and a zone's gamma rarely changes between reads.
const Table& cached_gamma_table(double gamma) {
  thread_local double cached_gamma = 1.0;
  thread_local Table cached = gamma_table(1.0);
  if (!(gamma == cached_gamma)) {
    cached = gamma_table(gamma);
    cached_gamma = gamma;
  }
  return cached;
}

// Contrast/brightness then gamma, as one table over the grey levels. The first step is OpenCV's
// own convertScaleAbs run over the 256 levels, so the table matches it exactly.
Table levels_table(const ProcessingSettings& s) {
  Table ramp;
  for (int i = 0; i < 256; ++i) {
    ramp[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  }
  cv::Mat scaled;
  cv::convertScaleAbs(cv::Mat(1, 256, CV_8U, ramp.data()), scaled, s.contrast,
                      static_cast<double>(s.brightness));
  const Table& gamma = cached_gamma_table(s.gamma);
  Table out;
  for (size_t i = 0; i < 256; ++i) {
    out[i] = gamma[scaled.at<uint8_t>(0, static_cast<int>(i))];
  }
  return out;
}

// Threshold (255 where a level is greater, else 0) then inversion, as far as they are on.
Table finishing_table(const ProcessingSettings& s) {
  Table out;
  for (int i = 0; i < 256; ++i) {
    int v = i;
    if (s.binarize) {
      v = v > s.threshold ? 255 : 0;
    }
    if (s.invert) {
      v = 255 - v;
    }
    out[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
  }
  return out;
}

Table compose(const Table& first, const Table& then) {
  Table out;
  for (size_t i = 0; i < 256; ++i) {
    out[i] = then[first[i]];
  }
  return out;
}

bool is_identity(const Table& table) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i] != i) {
      return false;
    }
  }
  return true;
}

void apply_table(const cv::Mat& image, const Table& table, cv::Mat& out) {
  cv::LUT(image, cv::Mat(1, 256, CV_8U, const_cast<uint8_t*>(table.data())), out);
}

// The image through `table` into `out` as apply_table, the identity as a copy (a fresh grey image,
// made from the caller's three-dimensional array, is taken as it is).
void through_table(const cv::Mat& grey, bool fresh, const Table& table, cv::Mat& out) {
  if (!is_identity(table)) {
    apply_table(grey, table, out);
  } else if (fresh && out.data == nullptr) {
    out = grey;
  } else {
    grey.copyTo(out);
  }
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

cv::Mat table_lookup(const cv::Mat& image, const Table& table) {
  cv::Mat out;
  apply_table(image, table, out);
  return out;
}

// The steps around rotation and blur: levels, rotation, blur, then threshold and inversion.
cv::Mat filtered(const cv::Mat& grey, const ProcessingSettings& s, bool rotated, bool blurred) {
  cv::Mat work = table_lookup(grey, levels_table(s));
  if (rotated) {
    work = rotated_about_centre(work, s.rotation);
  }
  if (blurred) {
    const int k = static_cast<int>(s.blur % 2 == 0 ? s.blur + 1 : s.blur);
    cv::Mat blur;
    cv::GaussianBlur(work, blur, cv::Size(k, k), 0);
    work = blur;
  }
  if (s.binarize || s.invert) {
    apply_table(work, finishing_table(s), work);
  }
  return work;
}

}  // namespace

cv::Mat rotated_about_centre(const cv::Mat& image, double degrees) {
  const cv::Point2f centre(static_cast<float>(image.cols / 2.0),
                           static_cast<float>(image.rows / 2.0));
  const cv::Mat matrix = cv::getRotationMatrix2D(centre, degrees, 1.0);
  cv::Mat rotated;
  cv::warpAffine(image, rotated, matrix, image.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                 cv::Scalar(0));
  return rotated;
}

std::array<uint8_t, 256> gamma_table(double gamma) {
  const double inv_gamma = 1.0 / py_max(gamma, 0.01);
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const double v = std::pow(static_cast<double>(i) / 255.0, inv_gamma) * 255;
    table[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
  }
  return table;
}

void process_image_into(const cv::Mat& image, bool three_dimensional,
                        const ProcessingSettings& settings, cv::Mat& out) {
  const ProcessingSettings& s = settings;
  const cv::Mat grey = to_grey(image, three_dimensional);
  // Every step but rotation, blur and morphology maps each grey level on its own, so neighbouring
  // per-level steps run as one table lookup.
  const bool rotated = std::abs(s.rotation) > 0.001;
  const bool blurred = s.blur > 0;
  const bool morphed = s.morphology != Morphology::kNone;
  if (!rotated && !blurred && !morphed) {
    through_table(grey, three_dimensional, compose(levels_table(s), finishing_table(s)), out);
    return;
  }
  cv::Mat work = rotated || blurred
                     ? filtered(grey, s, rotated, blurred)
                     : table_lookup(grey, compose(levels_table(s), finishing_table(s)));
  if (morphed) {
    work = apply_morphology(work, s.morphology, s.morph_size);
  }
  if (out.data == nullptr) {
    out = work;
  } else {
    work.copyTo(out);
  }
}

cv::Mat finish_grey(const cv::Mat& grey, const ProcessingSettings& settings) {
  cv::Mat work;
  through_table(grey, false, finishing_table(settings), work);
  return settings.morphology != Morphology::kNone
             ? apply_morphology(work, settings.morphology, settings.morph_size)
             : work;
}

cv::Mat process_image(const cv::Mat& image, bool three_dimensional,
                      const ProcessingSettings& settings) {
  cv::Mat out;
  process_image_into(image, three_dimensional, settings, out);
  return out;
}

}  // namespace native_ocr::zonescan
