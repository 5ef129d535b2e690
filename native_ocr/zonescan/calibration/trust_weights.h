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
    {0.6651, 0.0000, 1.2840, -2.2123, 0.0000, 0.0000, 0.0000, 0.0000,
     0.4642, 1.4214, 0.0000, 0.0000,  3.6765, 2.5812, 1.4179, -0.5908,
     0.0000, 0.0000, 0.0000, 0.0000,  0.0000, 1.5506, 5.5736, -1.5728},
    -10.7558,
    3.6137,
    {0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2653,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.3070, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.6486, 0.4694, 0.6486, 1.0000,
     1.0000, 1.0000, 0.7183, 0.5591, 1.0000, 1.0000, 1.0000, 1.0000,
     0.2047, 0.4014, 0.0000, 1.0000, 0.7381, 1.0000, 1.0000, 1.0000}};

// Readings through a display trait (a dark polarity, a slant, a clock of other than
// four cells): fitted on the tuning readings through a trait.
inline constexpr TrustRule kTraitsRule = {
    {0.0000, 1.1921, 0.2129,  -1.2026, 0.0000,  0.0000, 0.0000, 0.0000,
     0.0000, 0.5498, -0.7256, 0.0000,  1.6470,  0.3613, 1.0670, -1.0203,
     0.0000, 0.0000, 0.0000,  0.0000,  -2.7747, 0.0000, 2.0859, -1.9805},
    -2.9273,
    3.7462,
    {0.4954, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.3125,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000,
     0.0000, 0.0000, 1.0000, 0.0000, 0.0000, 0.0000, 0.2596, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.5789, 1.2245, 1.2245, 1.0000,
     1.0000, 1.0000, 0.8031, 0.8308, 1.0000, 1.0000, 1.0000, 1.0000,
     0.0809, 0.4926, 1.0000, 1.0000, 0.7614, 1.0000, 1.0000, 1.0000}};

// A seven-segment result weighed alone (nothing measured on the frame): fitted
// on the seven-segment reading of every tuning zone, the frame's features
// neutral; those weigh nothing.
inline constexpr TrustRule kAloneRule = {
    {0.0000,   3.8020, 2.1057,  -3.0140, 0.0000, 0.0000, -5.4645, 0.0000,
     1.6634,   1.6232, -4.6744, -3.6453, 0.0000, 0.0000, 0.0000,  0.0000,
     -32.7760, 0.0000, 0.0000,  0.0000,  0.0000, 0.0000, 0.0000,  0.0000},
    -0.0270,
    5.0190,
    {0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2513,
     0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 1.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.6667, 1.2245, 1.2245, 1.0000,
     1.0000, 1.0000, 0.8539, 0.8308, 1.0000, 1.0000, 1.0000, 1.0000,
     0.2047, 0.4926, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000}};

// A learned result weighed alone: fitted on the learned reading of every
// tuning zone by its own cells (probabilities and boxes, no segments),
// the frame's features neutral.
inline constexpr TrustRule kLearnedAloneRule = {
    {11.6051, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000,
     2.3629,  0.6633, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, -0.4560,
     0.0000,  0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000},
    -11.2821,
    3.4864,
    {0.6001, 0.0000, 0.5000, 1.0000, 0.0000, 0.0000, 0.0000, 1.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 1.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000},
    {1.0000, 0.0000, 0.5000, 1.0000, 0.0000, 0.0000, 0.0000, 1.0000,
     1.0000, 1.0000, 0.0000, 0.5385, 1.0000, 1.0000, 1.0000, 1.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000}};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
