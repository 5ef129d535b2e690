// The trust rule's weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
// Fitted on the readings of the tuning half of the generated board sequences, blind and taught.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

inline constexpr std::array<double, 15> kTrustWeights = {
    4.3195, -3.5682, 4.3564,  -2.2975, 1.4949, -1.7422, -18.0444, -10.0883,
    5.0939, 3.0675,  -3.1443, -8.2746, 2.7912, -1.7288, 1.8437};
inline constexpr double kTrustOffset = -0.0324;
inline constexpr double kTrustLine = 2.9771;

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
