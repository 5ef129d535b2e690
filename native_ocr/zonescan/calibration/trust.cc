#include "native_ocr/zonescan/calibration/trust.h"

#include <algorithm>
#include <cmath>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan::calibration {
namespace {

// The digit whose every segment is lit.
constexpr int kEight = 8;
// The digit drawn by two segments: its glyph is narrow whatever the face.
constexpr int kOne = 1;
// The activation above which a segment counts as lit.
constexpr double kLitActivation = 0.5;
// Decimals the result dictionary reports scores and activations to.
constexpr int kReportedDecimals = 3;

struct Spread {
  bool any = false;
  double low = 0.0;
  double high = 0.0;
  void add(double v) {
    low = any ? std::min(low, v) : v;
    high = any ? std::max(high, v) : v;
    any = true;
  }
  // The spread over the largest value (0 when empty or all zero).
  double relative() const { return high > 0.0 ? (high - low) / high : 0.0; }
};

double crispness(const TrustCell& c) {
  double crisp = 1.0;
  for (double a : c.activation) {
    crisp = std::min(crisp, std::abs(a - kLitActivation));
  }
  return crisp;
}

int lit_segments(const TrustCell& c) {
  return static_cast<int>(std::count_if(c.activation.begin(), c.activation.end(),
                                        [](double a) { return a > kLitActivation; }));
}

double glyph_height(const TrustCell& c) {
  return c.glyph_box[3] - c.glyph_box[1] + 1;
}

// Ink per lit segment over the glyph's height: a stroke width in pixels, the same for every
// digit of one face.
double stroke_of(const TrustCell& c) {
  const double area = static_cast<double>(c.box[2] - c.box[0] + 1) * (c.box[3] - c.box[1] + 1);
  return c.ink_ratio * area / std::max(1, lit_segments(c)) / std::max(1.0, glyph_height(c));
}

}  // namespace

bool all_lit(const TrustInput& input) {
  return !input.cells.empty() && std::all_of(input.cells.begin(), input.cells.end(),
                                             [](const TrustCell& c) { return c.digit == kEight; });
}

std::array<double, kTrustFeatures> trust_features(const TrustInput& input) {
  Spread confidence, margin, crisp, heights, tops, bottoms, strokes, widths;
  int touching = 0;
  for (const TrustCell& c : input.cells) {
    confidence.add(c.confidence);
    margin.add(c.pattern_score - c.runner_up_score);
    crisp.add(crispness(c));
    touching += c.glyph_box[0] <= c.box[0] || c.glyph_box[2] >= c.box[2];
    heights.add(glyph_height(c));
    tops.add(c.glyph_box[1]);
    bottoms.add(c.glyph_box[3]);
    strokes.add(stroke_of(c));
    if (c.digit != kOne) {
      widths.add(c.glyph_box[2] - c.glyph_box[0] + 1);
    }
  }
  const double tallest = std::max(1.0, heights.high);
  return {confidence.low,
          margin.low,
          crisp.low,
          static_cast<double>(touching) / static_cast<double>(input.cells.size()),
          (heights.high - heights.low) / tallest,
          (tops.high - tops.low) / tallest,
          (bottoms.high - bottoms.low) / tallest,
          heights.low / std::max(1, input.crop_height),
          input.clock ? input.separator_confidence : 1.0,
          input.clock ? 1.0 : 0.0,
          strokes.relative(),
          (widths.high - widths.low) / tallest,
          input.shift_agreement,
          input.near_threshold_agreement,
          input.far_threshold_agreement};
}

double trust_score(const TrustInput& input) {
  const auto features = trust_features(input);
  double score = kTrustOffset;
  for (size_t i = 0; i < features.size(); ++i) {
    score += kTrustWeights[i] * features[i];
  }
  return score;
}

Trust trust_reading(const TrustInput& input) {
  if (!input.valid) {
    return {false, 0.0, input.reason.empty() ? std::string("not_valid") : input.reason};
  }
  if (input.cells.empty()) {
    return {false, 0.0, "no_digits"};
  }
  if (all_lit(input)) {
    return {false, 0.0, "all_lit"};
  }
  const double score = trust_score(input);
  const double confidence = 1.0 / (1.0 + std::exp(-score));
  const bool trusted = score >= kTrustLine;
  return {trusted, confidence, trusted ? "ok" : "uncertain"};
}

TrustInput trust_input(const Reading& reading) {
  TrustInput input;
  input.valid = reading.valid;
  input.reason = std::string(reading.reason);
  input.crop_height = static_cast<int>(reading.height());
  input.clock = reading.reader == ReaderKind::kClock;
  input.separator_confidence = reading.separator ? reading.separator->confidence : 0.0;
  for (const SlotResult& slot : reading.slots) {
    if (slot.status != SlotStatus::kDigit) {
      continue;
    }
    const segsense::SlotReading& r = slot.reading;
    TrustCell cell;
    cell.confidence = r.confidence;
    // As the result dictionary reports them.
    cell.pattern_score = python_round(r.classification.best.score, kReportedDecimals);
    cell.runner_up_score = python_round(r.classification.second.score, kReportedDecimals);
    for (size_t s = 0; s < cell.activation.size(); ++s) {
      cell.activation[s] = python_round(r.classification.activations[s], kReportedDecimals);
    }
    for (size_t k = 0; k < cell.box.size(); ++k) {
      cell.box[k] = static_cast<int>(r.box[k]);
      cell.glyph_box[k] = static_cast<int>(r.glyph_box[k]);
    }
    cell.digit = r.classification.value.value_or(-1);
    cell.ink_ratio = r.ink_ratio;
    input.cells.push_back(cell);
  }
  return input;
}

}  // namespace native_ocr::zonescan::calibration
