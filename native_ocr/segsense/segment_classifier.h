// Seven-segment classification of a glyph frame: the ink fraction of each segment's probe
// rectangle, activations, a score for every digit pattern, and the ranking that picks the digit.
// Segment order everywhere is A (top bar), B (upper right), C (lower right), D (bottom bar),
// E (lower left), F (upper left), G (middle bar).
#ifndef NATIVE_OCR_SEGSENSE_SEGMENT_CLASSIFIER_H_
#define NATIVE_OCR_SEGSENSE_SEGMENT_CLASSIFIER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include <opencv2/core/mat.hpp>

namespace native_ocr::segsense {

inline constexpr int kSegmentCount = 7;
inline constexpr std::array<const char*, kSegmentCount> kSegmentNames = {"A", "B", "C", "D",
                                                                         "E", "F", "G"};
// Fraction of the frame width covered by the probes of the three bars, centred.
inline constexpr double kHorizontalProbeCenterSpan = 0.5;

using Pattern = std::array<uint8_t, kSegmentCount>;
using Segments = std::array<double, kSegmentCount>;

struct DigitPattern {
  int digit;
  int variant;  // index into the digit's list of patterns
  Pattern pattern;
};

// Every digit pattern in table order: digits ascending, variants in order. 9 is the only digit
// with two forms (with and without the bottom bar).
inline constexpr std::array<DigitPattern, 11> kDigitPatterns = {{
    {0, 0, {1, 1, 1, 1, 1, 1, 0}},
    {1, 0, {0, 1, 1, 0, 0, 0, 0}},
    {2, 0, {1, 1, 0, 1, 1, 0, 1}},
    {3, 0, {1, 1, 1, 1, 0, 0, 1}},
    {4, 0, {0, 1, 1, 0, 0, 1, 1}},
    {5, 0, {1, 0, 1, 1, 0, 1, 1}},
    {6, 0, {1, 0, 1, 1, 1, 1, 1}},
    {7, 0, {1, 1, 1, 0, 0, 0, 0}},
    {8, 0, {1, 1, 1, 1, 1, 1, 1}},
    {9, 0, {1, 1, 1, 1, 0, 1, 1}},
    {9, 1, {1, 1, 1, 0, 0, 1, 1}},
}};

struct Candidate {
  int digit = 0;
  int variant = 0;
  Pattern pattern{};
  double score = 0.0;
};

struct Classification {
  std::optional<int> value;  // the accepted digit, none below the acceptance score
  double confidence = 0.0;
  Segments strengths{};
  Segments activations{};
  Candidate best;
  Candidate second;  // the best candidate of a different digit
};

// The ink fraction of a 0/1 cell in the half-open rectangle x1..x2, y1..y2 given in fractional
// pixels, each bound rounded half to even and clamped to the cell; 0.0 when the rectangle is empty.
double mean_ink(const cv::Mat& cell, double x1, double y1, double x2, double y2);

// Ink fraction of every segment's probe rectangle of a 0/1 frame. Frames under 8 rows or
// 5 columns are not measured (all 0.0).
Segments segment_strengths(const cv::Mat& frame);

// strength / 0.3, clipped to [0, 1].
double activation(double strength);

// 0.72 * mean agreement + 0.28 * worst agreement of the activations with a pattern, clipped.
double score_pattern(std::span<const double, kSegmentCount> acts,
                     std::span<const bool, kSegmentCount> expected);

// Scores all patterns and ranks them (stable, highest first).
Classification classify_activations(const Segments& strengths, const Segments& acts);
Classification classify_frame(const cv::Mat& frame);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_SEGMENT_CLASSIFIER_H_
