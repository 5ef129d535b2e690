#include "native_ocr/zonescan/calibration/trust.h"

#include <algorithm>
#include <cmath>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan::calibration {
namespace {

// The rule's weights, in the order of the features below, and its offset.
constexpr std::array<double, 10> kWeights = {1.5875,  1.6247, 7.5276, -1.3737, -11.0959,
                                             13.9888, 3.6479, 4.2871, 5.6346,  0.9846};
constexpr double kOffset = -10.1369;

struct Spread {
  double low = 0.0;
  double high = 0.0;
  void add(double v, bool first) {
    low = first ? v : std::min(low, v);
    high = first ? v : std::max(high, v);
  }
};

}  // namespace

double trust_score(const TrustInput& input) {
  double confidence = 0.0, margin = 0.0, crisp = 0.0;
  int touching = 0;
  Spread heights, tops, bottoms;
  for (size_t i = 0; i < input.cells.size(); ++i) {
    const TrustCell& c = input.cells[i];
    const bool first = i == 0;
    double cell_crisp = 1.0;
    for (double a : c.activation) {
      cell_crisp = std::min(cell_crisp, std::abs(a - 0.5));
    }
    confidence = first ? c.confidence : std::min(confidence, c.confidence);
    margin = first ? c.pattern_score - c.runner_up_score
                   : std::min(margin, c.pattern_score - c.runner_up_score);
    crisp = first ? cell_crisp : std::min(crisp, cell_crisp);
    touching += c.glyph_box[0] <= c.box[0] || c.glyph_box[2] >= c.box[2];
    heights.add(c.glyph_box[3] - c.glyph_box[1] + 1, first);
    tops.add(c.glyph_box[1], first);
    bottoms.add(c.glyph_box[3], first);
  }
  const double tallest = std::max(1.0, heights.high);
  const std::array<double, 10> features = {
      confidence,
      margin,
      crisp,
      static_cast<double>(touching) / static_cast<double>(input.cells.size()),
      (heights.high - heights.low) / tallest,
      (tops.high - tops.low) / tallest,
      (bottoms.high - bottoms.low) / tallest,
      heights.low / std::max(1, input.crop_height),
      input.clock ? input.separator_confidence : 1.0,
      input.clock ? 1.0 : 0.0};
  double score = kOffset;
  for (size_t i = 0; i < features.size(); ++i) {
    score += kWeights[i] * features[i];
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
    // As the result dictionary reports them: scores and activations to 3 decimals.
    cell.pattern_score = python_round(r.classification.best.score, 3);
    cell.runner_up_score = python_round(r.classification.second.score, 3);
    for (size_t s = 0; s < cell.activation.size(); ++s) {
      cell.activation[s] = python_round(r.classification.activations[s], 3);
    }
    for (size_t k = 0; k < 4; ++k) {
      cell.box[k] = static_cast<int>(r.box[k]);
      cell.glyph_box[k] = static_cast<int>(r.glyph_box[k]);
    }
    input.cells.push_back(cell);
  }
  return input;
}

}  // namespace native_ocr::zonescan::calibration
