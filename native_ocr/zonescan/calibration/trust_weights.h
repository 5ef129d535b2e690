// The trust rules' weights, written by bench/boards/fit_trust.py (do not edit by hand):
//   PYTHONPATH=build/release/python /usr/bin/python3 bench/boards/fit_trust.py
//     --data /tmp/zonescan-boards --more-tuning /tmp/zonescan-boards-tune2 --displays
//     /tmp/zonescan-displays --write
// Fitted on the readings of the tuning halves of the generated board sequences and
// displays, blind and taught; each line chosen on held-out scores (folds by board).
#ifndef NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
#define NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_

#include <array>

namespace native_ocr::zonescan::calibration {

// A fitted rule: a reading scores offset + weights . features and is trusted from line
// up, when every feature lies within [low, high] widened by kFamiliarMargin of the span.
struct TrustRule {
  std::array<double, 24> weights;
  double offset;
  double line;
  std::array<double, 24> low;
  std::array<double, 24> high;
};

// Plain readings (no display trait), the other classifier asked (trust_reading
// given the zone and image): fitted on the boards' tuning halves, either
// classifier's.
inline constexpr TrustRule kPlainRule = {
    {1.2418, 0.0000, 1.4454, -1.6395, 0.0000,  0.0000, -1.3653, 0.0000,
     0.0000, 0.4235, 0.0000, 0.0000,  4.8660,  0.0000, 5.4301,  -0.6376,
     0.0000, 0.0000, 0.0000, 0.0000,  -0.3030, 2.0578, 3.6763,  -1.8296},
    -11.2419,
    4.7078,
    {0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2653,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.4891, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.6486, 0.4694, 0.6486, 1.0000,
     1.0000, 1.0000, 0.7183, 0.5591, 1.0000, 1.0000, 1.0000, 1.0000,
     0.2047, 0.4014, 0.0000, 1.0000, 0.7381, 1.0000, 1.0000, 1.0000}};

// Readings through a display trait (a dark polarity, a slant, a clock of other than
// four cells): fitted on the tuning readings through a trait.
inline constexpr TrustRule kTraitsRule = {
    {0.0000,  1.3088, 0.1681,  -0.4712, 0.0000,  0.0000, 0.0000, 0.0000,
     0.1709,  0.1988, -0.4061, -0.3817, 2.6090,  0.3591, 1.3135, -1.3111,
     -0.9708, 0.0000, 0.0000,  0.0000,  -1.7204, 1.4871, 2.3926, -0.8581},
    -6.0366,
    3.5209,
    {0.4954, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.3125,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000,
     0.0000, 0.0000, 1.0000, 0.0000, 0.0000, 0.0000, 0.2611, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.5789, 1.2245, 1.2245, 1.0000,
     1.0000, 1.0000, 0.8031, 0.9035, 1.0000, 1.0000, 1.0000, 1.0000,
     0.0809, 0.4926, 1.0000, 1.0000, 0.7766, 1.0000, 1.0000, 1.0000}};

// A seven-segment result weighed alone (nothing measured on the frame): fitted
// on the seven-segment reading of every tuning zone, the frame's features
// neutral; those weigh nothing.
inline constexpr TrustRule kAloneRule = {
    {0.0000,   3.6104, 2.1967,  -2.9501, 0.0000, 0.0000, -5.6459, 0.0000,
     1.6761,   1.6020, -4.5783, -3.8116, 0.0000, 0.0000, 0.0000,  0.0000,
     -35.2235, 0.0000, 0.0000,  0.0000,  0.0000, 0.0000, 0.0000,  0.0000},
    -0.0020,
    4.9954,
    {0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2513,
     0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 1.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.6667, 1.2245, 1.2245, 1.0000,
     1.0000, 1.0000, 0.8539, 0.9035, 1.0000, 1.0000, 1.0000, 1.0000,
     0.2047, 0.4926, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000}};

// A learned result weighed alone: fitted on the learned reading of every
// tuning zone by its own cells (probabilities and boxes, no segments),
// the frame's features neutral.
inline constexpr TrustRule kLearnedAloneRule = {
    {13.0476, 0.0000, 0.0000, 0.0000,  0.0000, 0.0000, 0.0000, 0.0000,
     2.0128,  0.2003, 0.0000, -0.9626, 0.0000, 0.0000, 0.0000, 0.0000,
     0.0000,  0.0000, 0.0000, 0.0000,  0.0000, 0.0000, 0.0000, 0.0000},
    -12.0863,
    3.1116,
    {0.6030, 0.0000, 0.5000, 1.0000, 0.0000, 0.0000, 0.0000, 1.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 1.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000},
    {1.0000, 0.0000, 0.5000, 1.0000, 0.0000, 0.0000, 0.0000, 1.0000,
     1.0000, 1.0000, 0.0000, 0.6806, 1.0000, 1.0000, 1.0000, 1.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000}};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
