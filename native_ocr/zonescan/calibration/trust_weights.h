// The trust rule's weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
//     --data /tmp/zonescan-boards --more-tuning /tmp/zonescan-boards-tune2
//     --displays /tmp/zonescan-displays --write
// Fitted on the readings of the tuning halves of the generated board sequences and displays,
// blind and taught.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

// The rule with the second classifier asked (trust_reading given the zone and image).
inline constexpr std::array<double, 22> kTrustWeights = {
    1.2103, 0.0000, 0.0000, -0.8961, 0.0000,  0.0000, -1.8075, 0.0000,  0.7754, 1.2037, -2.2319,
    0.0000, 2.1356, 0.2440, 0.9079,  -0.9458, 0.0000, 0.0000,  -1.8592, 0.5653, 1.9134, -3.4331};
inline constexpr double kTrustOffset = -3.4831;
inline constexpr double kTrustLine = 3.6906;
// The rule without it (the result alone): its three features weigh nothing.
inline constexpr std::array<double, 22> kAloneWeights = {
    1.0333,  1.3683, 0.8223, -2.4423, 0.0000, 0.0000,  -3.5618, 0.0000,  1.0388, 1.2587, -4.1740,
    -1.4805, 2.4214, 0.7358, 0.4657,  0.0000, -8.4362, 0.0000,  -1.5994, 0.0000, 0.0000, 0.0000};
inline constexpr double kAloneOffset = -2.7505;
inline constexpr double kAloneLine = 3.4814;
// The range of each feature over the fitted readings.
inline constexpr std::array<double, 22> kTrustFeatureLow = {
    0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2513, 0.0000, 0.0000, 0.0000,
    0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2304, 0.0000};
inline constexpr std::array<double, 22> kTrustFeatureHigh = {
    1.0000, 0.4860, 0.5000, 1.0000, 0.6667, 1.2245, 1.2245, 1.0000, 1.0000, 1.0000, 0.8700,
    0.8415, 1.0000, 1.0000, 1.0000, 1.0000, 0.2047, 0.4926, 1.0000, 1.0000, 1.0000, 1.0000};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
