#include "native_ocr/segsense/segment_classifier.h"

#include <algorithm>
#include <cmath>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::segsense {
namespace {

constexpr double kFullActivationStrength = 0.3;
constexpr double kAcceptScore = 0.58;
constexpr double kMarginScale = 0.18;

double clip01(double v) {
  return py_clamp(v, 0.0, 1.0);
}

// round_to_int(v) (half to even) clamped to 0..high, for probe bounds: small, finite values.
int64_t clamp_index(double v, int64_t high) {
  if (!(v > -1.0)) {
    return 0;
  }
  if (!(v < static_cast<double>(high) + 1.0)) {
    return high;
  }
  const double floor_v = std::floor(v);
  const double diff = v - floor_v;
  int64_t r = static_cast<int64_t>(floor_v);
  if (diff > 0.5 || (diff == 0.5 && (r & 1) != 0)) {
    ++r;
  }
  return std::clamp<int64_t>(r, 0, high);
}

}  // namespace

double mean_ink(const cv::Mat& cell, double x1, double y1, double x2, double y2) {
  const int64_t h = cell.rows;
  const int64_t w = cell.cols;
  const int64_t ix1 = clamp_index(x1, w);
  const int64_t ix2 = clamp_index(x2, w);
  const int64_t iy1 = clamp_index(y1, h);
  const int64_t iy2 = clamp_index(y2, h);
  if (ix1 >= ix2 || iy1 >= iy2) {
    return 0.0;
  }
  int64_t ink = 0;
  for (int64_t y = iy1; y < iy2; ++y) {
    const uint8_t* row = cell.ptr<uint8_t>(static_cast<int>(y));
    for (int64_t x = ix1; x < ix2; ++x) {
      ink += row[x] != 0;
    }
  }
  return static_cast<double>(ink) / static_cast<double>((iy2 - iy1) * (ix2 - ix1));
}

Segments segment_strengths(const cv::Mat& frame) {
  Segments out{};
  if (frame.rows < 8 || frame.cols < 5) {
    return out;
  }
  const double h = frame.rows;
  const double w = frame.cols;
  const double span = kHorizontalProbeCenterSpan;
  const double hx1 = (0.5 - span / 2.0) * w;
  const double hx2 = (0.5 + span / 2.0) * w;
  const double hh = std::max(h * 0.11, 2.0);
  const double vw = std::max(w * 0.2, 2.0);
  out[0] = mean_ink(frame, hx1, h * 0.02, hx2, h * 0.02 + hh);
  out[1] = mean_ink(frame, w - vw, h * 0.15, w, h * 0.42);
  out[2] = mean_ink(frame, w - vw, h * 0.58, w, h * 0.85);
  out[3] = mean_ink(frame, hx1, h * 0.98 - hh, hx2, h * 0.98);
  out[4] = mean_ink(frame, w * 0.0, h * 0.58, vw, h * 0.85);
  out[5] = mean_ink(frame, w * 0.0, h * 0.15, vw, h * 0.42);
  out[6] = mean_ink(frame, hx1, h * 0.5 - hh / 2, hx2, h * 0.5 + hh / 2);
  return out;
}

double activation(double strength) {
  return clip01(strength / kFullActivationStrength);
}

double score_pattern(std::span<const double, kSegmentCount> acts,
                     std::span<const bool, kSegmentCount> expected) {
  double sum = 0.0;
  double worst = 0.0;
  for (int i = 0; i < kSegmentCount; ++i) {
    const double q = expected[i] ? acts[i] : 1.0 - acts[i];
    sum += q;
    worst = i == 0 ? q : py_min(worst, q);
  }
  const double mean = sum / kSegmentCount;
  const double blended_mean = mean * 0.72;
  const double blended_worst = worst * 0.28;
  return clip01(blended_mean + blended_worst);
}

Classification classify_activations(const Segments& strengths, const Segments& acts) {
  std::array<Candidate, kDigitPatterns.size()> candidates;
  for (size_t i = 0; i < kDigitPatterns.size(); ++i) {
    const DigitPattern& p = kDigitPatterns[i];
    std::array<bool, kSegmentCount> expected;
    for (int s = 0; s < kSegmentCount; ++s) {
      expected[s] = p.pattern[s] != 0;
    }
    candidates[i] = {p.digit, p.variant, p.pattern, score_pattern(acts, expected)};
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
  Classification out;
  out.strengths = strengths;
  out.activations = acts;
  out.best = candidates[0];
  out.second = candidates[1];
  for (size_t i = 1; i < candidates.size(); ++i) {
    if (candidates[i].digit != out.best.digit) {
      out.second = candidates[i];
      break;
    }
  }
  const double margin = std::max(out.best.score - out.second.score, 0.0);
  const double best_part = out.best.score * 0.85;
  const double margin_part = std::min(margin / kMarginScale, 1.0) * 0.15;
  out.confidence = clip01(best_part + margin_part);
  if (out.best.score >= kAcceptScore) {
    out.value = out.best.digit;
  }
  return out;
}

Classification classify_frame(const cv::Mat& frame) {
  const Segments strengths = segment_strengths(frame);
  Segments acts;
  for (int i = 0; i < kSegmentCount; ++i) {
    acts[i] = activation(strengths[i]);
  }
  return classify_activations(strengths, acts);
}

}  // namespace native_ocr::segsense
