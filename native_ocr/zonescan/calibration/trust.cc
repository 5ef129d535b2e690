#include "native_ocr/zonescan/calibration/trust.h"

#include <algorithm>
#include <cmath>

#include "native_ocr/numerics/numerics.h"
#include "native_ocr/zonescan/calibration/calibration.h"

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
  return static_cast<double>(c.glyph_box[3] - c.glyph_box[1] + 1);
}

double cell_area(const TrustCell& c) {
  return static_cast<double>(c.box[2] - c.box[0] + 1) * (c.box[3] - c.box[1] + 1);
}

// Ink per lit segment over the glyph's height: a stroke width in pixels, the same for every
// digit of one face.
double stroke_of(const TrustCell& c) {
  return c.ink_ratio * cell_area(c) / std::max(1, lit_segments(c)) / std::max(1.0, glyph_height(c));
}

// The share of the cells the second classifier read alike; 1 when it was not asked.
double opinion_agreement(const TrustInput& input) {
  if (!input.second_opinion || input.second_opinion->cells < 1) {
    return 1.0;
  }
  const SecondOpinionSummary& o = *input.second_opinion;
  return 1.0 - static_cast<double>(o.disagreeing.size()) / o.cells;
}

// The highest seconds a clock shows, and the roles whose one digit has a narrower range.
constexpr int kLastSecond = 59;
constexpr int kFirstDown = 1;
constexpr int kLastDown = 4;
// The base of the digits a value is written in, and the most digits one side of a clock holds.
constexpr int kDecimal = 10;
constexpr size_t kSideDigits = 2;

// The number the digits of `text` spell; -1 when it is empty or holds anything else.
int number_of(std::string_view text) {
  if (text.empty() || text.size() > kSideDigits ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  int n = 0;
  for (char c : text) {
    n = n * kDecimal + (c - '0');
  }
  return n;
}

// A clock's seconds: the digits after a colon, which a clock always shows as two ("12:07", never
// "12:7": a decimal point the reader did not find reads so), or the digits before a decimal point.
bool impossible_seconds(const std::string& value) {
  const size_t colon = value.find(':');
  if (colon != std::string::npos) {
    const std::string_view seconds = std::string_view(value).substr(colon + 1);
    return seconds.size() != kSideDigits || number_of(seconds) > kLastSecond;
  }
  const size_t point = value.find('.');
  return point != std::string::npos &&
         number_of(std::string_view(value).substr(0, point)) > kLastSecond;
}

// Whether a cell read as a 1 has its glyph on the outer side of the outermost cells: the one
// stroke a housing edge, a neighbouring field's cut digit or the zone's own border leaves there
// reads as a 1.
bool one_at_border(const TrustInput& input) {
  if (input.cells.empty()) {
    return false;
  }
  int64_t left = input.cells.front().box[0], right = input.cells.front().box[2];
  for (const TrustCell& c : input.cells) {
    left = std::min(left, c.box[0]);
    right = std::max(right, c.box[2]);
  }
  return std::any_of(input.cells.begin(), input.cells.end(), [&](const TrustCell& c) {
    return c.digit == kOne && ((c.box[0] == left && c.glyph_box[0] <= left) ||
                               (c.box[2] == right && c.glyph_box[2] >= right));
  });
}

// The most ink in a cell read as empty, against the most in a digit cell; 0 when there is none
// of either.
double empty_cell_ink(const TrustInput& input) {
  double empty = 0.0, digit = 0.0;
  for (double ink : input.empty_ink) {
    empty = std::max(empty, ink);
  }
  for (const TrustCell& c : input.cells) {
    digit = std::max(digit, c.ink_ratio);
  }
  return digit > 0.0 ? empty / digit : 0.0;
}

// Where each glyph that is not a 1 sits across its cell (its centre's offset from the cell's,
// over the cell's width): the spread over the cells. A 1 sits at its cell's right in most faces.
double glyph_offset_spread(const TrustInput& input) {
  Spread offsets;
  for (const TrustCell& c : input.cells) {
    if (c.digit == kOne) {
      continue;
    }
    const double width = static_cast<double>(c.box[2] - c.box[0] + 1);
    const double offset =
        static_cast<double>((c.glyph_box[0] + c.glyph_box[2]) - (c.box[0] + c.box[2])) / 2.0;
    offsets.add(offset / width);
  }
  return offsets.high - offsets.low;
}

}  // namespace

bool lit_ground(const TrustInput& input) {
  double ink = 0.0, area = 0.0;
  for (const TrustCell& c : input.cells) {
    ink += c.ink_ratio * cell_area(c);
    area += cell_area(c);
  }
  return area > 0.0 && ink / area > kLitGroundShare;
}

bool beyond_role(const TrustInput& input) {
  if (input.clock) {
    return impossible_seconds(input.value);
  }
  const int n = number_of(input.value);
  if (input.role == "period") {
    return n == 0;
  }
  return input.role == "down" && n >= 0 && (n < kFirstDown || n > kLastDown);
}

bool unfamiliar(const std::array<double, kTrustFeatures>& features, const TrustRule& rule) {
  for (size_t i = 0; i < features.size(); ++i) {
    const double margin = kFamiliarMargin * (rule.high[i] - rule.low[i]);
    if (features[i] < rule.low[i] - margin || features[i] > rule.high[i] + margin) {
      return true;
    }
  }
  return false;
}

bool read_by_learned(const TrustInput& input) {
  if (input.second_opinion) {
    return input.second_opinion->classifier == classifier_name(CellClassifier::kSegments);
  }
  return !input.cells.empty() &&
         std::all_of(input.cells.begin(), input.cells.end(), [](const TrustCell& c) {
           return c.ink_ratio == 0.0 && c.pattern_score == 0.0 &&
                  std::all_of(c.activation.begin(), c.activation.end(),
                              [](double a) { return a == 0.0; });
         });
}

const TrustRule& rule_for(const TrustInput& input) {
  if (input.display_traits) {
    return kTraitsRule;
  }
  if (input.second_opinion) {
    return kPlainRule;
  }
  return read_by_learned(input) ? kLearnedAloneRule : kAloneRule;
}

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
    tops.add(static_cast<double>(c.glyph_box[1]));
    bottoms.add(static_cast<double>(c.glyph_box[3]));
    strokes.add(stroke_of(c));
    if (c.digit != kOne) {
      widths.add(static_cast<double>(c.glyph_box[2] - c.glyph_box[0] + 1));
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
          input.far_threshold_agreement,
          one_at_border(input) ? 1.0 : 0.0,
          empty_cell_ink(input),
          glyph_offset_spread(input),
          input.display_traits ? 1.0 : 0.0,
          input.beyond_edge_ink,
          input.stray_ink,
          opinion_agreement(input),
          input.second_opinion ? input.second_opinion->learned_probability : 1.0,
          input.second_opinion ? input.second_opinion->contradiction : 0.0};
}

namespace {

double score_of(const TrustRule& rule, const std::array<double, kTrustFeatures>& features) {
  double score = rule.offset;
  for (size_t i = 0; i < features.size(); ++i) {
    score += rule.weights[i] * features[i];
  }
  return score;
}

// The rule's own refusals of a valid reading with digit cells, before its score: "" for none.
std::string_view refusal(const TrustInput& input) {
  if (all_lit(input)) {
    return "all_lit";
  }
  if (lit_ground(input)) {
    return "lit_ground";
  }
  if (beyond_role(input)) {
    return "beyond_role";
  }
  return {};
}

}  // namespace

double trust_score(const TrustInput& input) {
  return score_of(rule_for(input), trust_features(input));
}

bool reads_through_traits(const ProcessingSettings& settings) {
  constexpr int64_t kDefaultClockCells = 4;
  return settings.polarity == Polarity::kDark || settings.invert || settings.slant != 0.0 ||
         settings.clock_cells != kDefaultClockCells;
}

bool decided_before_score(const TrustInput& input) {
  return !input.valid || input.cells.empty() || !refusal(input).empty();
}

namespace {

bool disagreeing(const TrustInput& input) {
  return input.second_opinion && !input.second_opinion->disagreeing.empty();
}

// Whether the reading's rule trusts a reading of these features.
bool passes(const TrustInput& input, const std::array<double, kTrustFeatures>& features) {
  const TrustRule& rule = rule_for(input);
  return score_of(rule, features) >= rule.line && !unfamiliar(features, rule);
}

// Whether the reading would pass had the second classifier read every cell alike, as sure as it
// is of the cells it did read alike.
bool passes_had_they_agreed(const TrustInput& input) {
  TrustInput agreed = input;
  agreed.second_opinion->disagreeing.clear();
  agreed.second_opinion->contradiction = 0.0;
  return passes(agreed, trust_features(agreed));
}

}  // namespace

Trust trust_reading(const TrustInput& input) {
  if (!input.valid) {
    return {false, 0.0, input.reason.empty() ? std::string("not_valid") : input.reason};
  }
  if (input.cells.empty()) {
    return {false, 0.0, disagreeing(input) ? "classifiers_disagree" : "no_digits"};
  }
  if (const std::string_view refused = refusal(input); !refused.empty()) {
    return {false, 0.0, std::string(refused)};
  }
  const auto features = trust_features(input);
  const double confidence = 1.0 / (1.0 + std::exp(-score_of(rule_for(input), features)));
  if (passes(input, features)) {
    return {true, confidence, "ok"};
  }
  const bool refused_for_it = disagreeing(input) && passes_had_they_agreed(input);
  return {false, confidence, refused_for_it ? "classifiers_disagree" : "uncertain"};
}

TrustCell trust_cell(const SlotResult& slot) {
  const SlotDiagnostics& r = slot.diagnostics;
  TrustCell cell;
  cell.confidence = r.confidence;
  // As the result dictionary reports them.
  cell.pattern_score = python_round(r.best.score, kReportedDecimals);
  cell.runner_up_score = python_round(r.runner_up.score, kReportedDecimals);
  for (size_t s = 0; s < cell.activation.size(); ++s) {
    cell.activation[s] = python_round(r.activations[s], kReportedDecimals);
  }
  for (size_t k = 0; k < cell.box.size(); ++k) {
    cell.box[k] = r.box[k];
    cell.glyph_box[k] = r.glyph_box[k];
  }
  cell.digit = slot.digit.value_or(-1);
  cell.ink_ratio = r.ink_ratio;
  return cell;
}

TrustInput trust_input(const Reading& reading) {
  TrustInput input;
  input.valid = reading.valid;
  input.reason = std::string(reading.reason);
  input.crop_height = static_cast<int>(reading.height());
  input.clock = reading.reader == ReaderKind::kClock;
  input.separator_confidence = reading.separator ? reading.separator->confidence : 0.0;
  input.value = reading_text(reading);
  for (const SlotResult& slot : reading.slots) {
    if (slot.status == SlotStatus::kDigit) {
      input.cells.push_back(trust_cell(slot));
    } else if (slot.status == SlotStatus::kEmpty) {
      input.empty_ink.push_back(slot.diagnostics.ink_ratio);
    }
  }
  return input;
}

}  // namespace native_ocr::zonescan::calibration
