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

// Plain readings (no display trait), the second classifier asked (trust_reading given
// the zone and image): fitted on the boards' tuning halves.
inline constexpr TrustRule kPlainRule = {
    {1.2622,  0.0000, 0.4612,  -1.0365, 0.0000,  0.0000, -6.2615, 0.0000,
     0.0000,  2.1212, -1.0893, -2.0111, 3.0076,  0.6347, 1.3722,  -0.8303,
     -8.7588, 0.0000, 0.0000,  0.0000,  -0.2014, 0.0000, 1.6344,  -4.7979},
    -2.2329,
    5.0760,
    {0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2653,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.3070, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.6486, 0.4694, 0.6486, 1.0000,
     1.0000, 1.0000, 0.7183, 0.5591, 1.0000, 1.0000, 1.0000, 1.0000,
     0.2047, 0.4014, 0.0000, 1.0000, 0.6088, 1.0000, 1.0000, 1.0000}};

// Readings through a display trait (a dark polarity, a slant, a clock of other than
// four cells): fitted on the tuning readings through a trait.
inline constexpr TrustRule kTraitsRule = {
    {0.0000, 1.4269, 0.0000,  -0.6737, 0.0000,  0.0000, 0.0000, 0.0000,
     0.3803, 0.4744, -1.7667, 0.0000,  2.0793,  0.0000, 0.7590, -1.2404,
     0.0000, 0.0000, 0.0000,  0.0000,  -3.5157, 0.0000, 1.5255, -2.8764},
    -2.5173,
    3.3809,
    {0.4954, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2667,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000,
     0.0000, 0.0000, 1.0000, 0.0000, 0.0000, 0.0000, 0.2304, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.6667, 1.2245, 1.2245, 1.0000,
     1.0000, 1.0000, 0.8700, 0.8415, 1.0000, 1.0000, 1.0000, 1.0000,
     0.0997, 0.4926, 1.0000, 1.0000, 0.7657, 1.0000, 1.0000, 1.0000}};

// A result weighed alone (nothing measured on the frame): fitted on every tuning
// reading with the frame's features neutral; those weigh nothing.
inline constexpr TrustRule kAloneRule = {
    {1.1578,   1.7723, 1.5816,  -2.5831, 0.0000, 0.0000, -3.6941, 0.0000,
     1.3336,   1.1149, -4.2220, -1.6017, 0.0000, 0.0000, 0.0000,  0.0000,
     -11.0276, 0.0000, 0.0000,  0.0000,  0.0000, 0.0000, 0.0000,  0.0000},
    -0.1411,
    3.1846,
    {0.4945, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 0.2513,
     0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 1.0000, 0.0000,
     0.0000, 0.0000, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000},
    {1.0000, 0.4860, 0.5000, 1.0000, 0.6667, 1.2245, 1.2245, 1.0000,
     1.0000, 1.0000, 0.8700, 0.8415, 1.0000, 1.0000, 1.0000, 1.0000,
     0.2047, 0.4926, 0.0000, 0.0000, 0.0000, 1.0000, 1.0000, 0.0000}};

}  // namespace native_ocr::zonescan::calibration

#endif  // NATIVE_OCR_ZONESCAN_CALIBRATION_TRUST_WEIGHTS_H_
