// Display preparation: turns a zone crop into a single-channel image in which the lit segments are
// white and everything else black, tuned by the zone's processing settings; and the rotation about
// the centre it and the separator detector share.
#ifndef NATIVE_OCR_ZONESCAN_DISPLAY_H_
#define NATIVE_OCR_ZONESCAN_DISPLAY_H_

#include <array>
#include <cstdint>

#include <opencv2/core.hpp>

#include "native_ocr/zonescan/settings.h"

namespace native_ocr::zonescan {

// The 256-entry gamma table: entry i = trunc(255 * (i / 255.0) ^ (1 / max(gamma, 0.01))), in double
// precision. Gamma 1.0 gives the identity.
std::array<uint8_t, 256> gamma_table(double gamma);

// The image turned by `degrees` (positive counter-clockwise) about its centre (cols / 2, rows / 2),
// bilinear, on a canvas of its own size and type; uncovered corners become 0. The one rotation of
// the readers: display preparation and the separator detector both turn a crop with it.
cv::Mat rotated_about_centre(const cv::Mat& image, double degrees);

// Runs the preparation steps on an 8-bit image, in order: grey (BGR to grey when the caller's array
// has three dimensions, whatever its channel count: OpenCV refuses counts it cannot convert),
// contrast and brightness, gamma, rotation about the centre (when |rotation| > 0.001; uncovered
// corners become 0), Gaussian blur, threshold, inversion, morphology. `settings` must already be
// clamped. Returns a new single-channel image of the image's size; the input is only read.
// Throws cv::Exception for what OpenCV refuses.
cv::Mat process_image(const cv::Mat& image, bool three_dimensional,
                      const ProcessingSettings& settings);

// The same, written into `out`: a header over memory of the image's size (single channel, 8-bit)
// is filled in place; an empty `out` receives a new image.
void process_image_into(const cv::Mat& image, bool three_dimensional,
                        const ProcessingSettings& settings, cv::Mat& out);

// The steps of process_image after the grey levels, rotation and blur (threshold, inversion,
// morphology) on `grey`, the image those leave (process_image with binarize and invert off and no
// morphology): process_image of the original image, in one pass less. A new image.
cv::Mat finish_grey(const cv::Mat& grey, const ProcessingSettings& settings);

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_DISPLAY_H_
