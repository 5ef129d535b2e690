// The trust rule's weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
// Fitted on the readings of the tuning half of the generated board sequences, blind and taught.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

// The rule with the second classifier asked (trust_reading given the zone and image).
inline constexpr std::array<double, 18> kTrustWeights = {
    1.0699, 0.0000, 0.9446,  -1.3631, 0.0000, 0.0000, -7.7639, 0.0000, 0.5106,
    0.9950, 0.0000, -6.5806, 3.3322,  0.3208, 0.4312, 0.0000,  4.3950, 1.4426};
inline constexpr double kTrustOffset = -6.8325;
inline constexpr double kTrustLine = 4.1611;
// The rule without it (the result alone): its two features weigh nothing.
inline constexpr std::array<double, 18> kAloneWeights = {
    1.0158, 0.0000, 1.5252,  -2.2332, 0.0000, 0.0000, -5.2630, 0.0000, 1.4027,
    1.9585, 0.0000, -5.3143, 3.4107,  0.5838, 1.0266, 0.0000,  0.0000, 0.0000};
inline constexpr double kAloneOffset = -4.5286;
inline constexpr double kAloneLine = 3.3727;
// The range of each feature over the fitted readings.
inline constexpr std::array<double, 18> kTrustFeatureLow = {
    0.4954, 0.0000, 0.0040, 0.0000, 0.0000, 0.0000, 0.0000, 0.2653, 0.0000,
    0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.3070};
inline constexpr std::array<double, 18> kTrustFeatureHigh = {
    1.0000, 0.4860, 0.5000, 1.0000, 0.5397, 0.2941, 0.5227, 1.0000, 1.0000,
    1.0000, 0.7183, 0.7576, 1.0000, 1.0000, 1.0000, 1.0000, 1.0000, 1.0000};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
