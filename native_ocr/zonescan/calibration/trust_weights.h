// The trust rule's weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
// Fitted on the readings of the tuning half of the generated board sequences, blind and taught.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

inline constexpr std::array<double, 12> kTrustWeights = {
    1.5875, 1.6247, 7.5276, -1.3737, -11.0959, 13.9888, 3.6479, 4.2871, 5.6346, 0.9846, 0.0, 0.0};
inline constexpr double kTrustOffset = -10.1369;
inline constexpr double kTrustLine = 2.0;

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
