// The trust rule's weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
//     --data /tmp/zonescan-boards --more-tuning /tmp/zonescan-boards-tune2 --write
// Fitted on the readings of the tuning halves of the generated board sequences, blind and taught.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

// The rule with the second classifier asked (trust_reading given the zone and image).
inline constexpr std::array<double, 21> kTrustWeights = {
    0.8814, 0.0000, 0.4031, -0.7434, 0.0000,  0.0000, -3.7275, 0.0000, 0.3852, 0.8527, 0.0000,
    0.0000, 3.5937, 0.0000, 1.4091,  -0.6036, 0.0000, 0.0000,  0.0000, 1.1827, -4.2033};
inline constexpr double kTrustOffset = -2.6903;
inline constexpr double kTrustLine = 2.7036;
// The rule without it (the result alone): its three features weigh nothing.
inline constexpr std::array<double, 21> kAloneWeights = {
    0.7054,  1.5302, 2.0633, -2.0172, 0.0000, 0.0000,   -6.8653, 0.0000, 0.6812, 0.9704, -1.0084,
    -1.9609, 3.8375, 0.4748, 0.8113,  0.0000, -13.6882, 0.0000,  0.0000, 0.0000, 0.0000};
inline constexpr double kAloneOffset = -3.7282;
inline constexpr double kAloneLine = 3.0533;
// The range of each feature over the fitted readings.
inline constexpr std::array<double, 21> kTrustFeatureLow = {
    0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2653, 0.0000, 0.0000, 0.0000,
    0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2304, 0.0000};
inline constexpr std::array<double, 21> kTrustFeatureHigh = {
    1.0000, 0.4860, 0.5000, 1.0000, 0.6486, 0.4694, 0.6486, 1.0000, 1.0000, 1.0000, 0.7183,
    0.7576, 1.0000, 1.0000, 1.0000, 1.0000, 0.2047, 0.4014, 1.0000, 1.0000, 1.0000};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
