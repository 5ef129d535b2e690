// The trust rule's weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
// Fitted on the readings of the tuning half of the generated board sequences, blind and taught.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

inline constexpr std::array<double, 17> kTrustWeights = {
    1.3226, 0.0000,  2.7849,  -2.6937, 0.0000, 0.0000, -7.2459, 0.0000, 4.7302,
    2.9665, -1.7781, -8.5757, 1.9188,  0.0000, 1.1765, 0.0000,  0.0000};
inline constexpr double kTrustOffset = -6.3358;
inline constexpr double kTrustLine = 3.1208;
// The range of each feature over the fitted readings.
inline constexpr std::array<double, 17> kTrustFeatureLow = {-1e9, -1e9, -1e9, -1e9, -1e9, -1e9,
                                                            -1e9, -1e9, -1e9, -1e9, -1e9, -1e9,
                                                            -1e9, -1e9, -1e9, -1e9, -1e9};
inline constexpr std::array<double, 17> kTrustFeatureHigh = {
    1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
