// The trust rule's weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
// Fitted on the readings of the tuning half of the generated board sequences, blind and taught.
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

inline constexpr std::array<double, 15> kTrustWeights = {1.0215,  0.0000,  2.8194, -2.8268, 0.0000,
                                                         0.0000,  -7.6169, 0.0000, 4.5514,  3.1510,
                                                         -2.1943, -7.7660, 2.4540, 0.0000,  1.1781};
inline constexpr double kTrustOffset = -6.3476;
inline constexpr double kTrustLine = 3.3443;

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
