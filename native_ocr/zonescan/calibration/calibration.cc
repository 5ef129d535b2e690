#include "native_ocr/zonescan/calibration/calibration.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <vector>

#include "native_ocr/segsense/segment_classifier.h"
#include "native_ocr/zonescan/calibration/classifier_choice.h"
#include "native_ocr/zonescan/calibration/cut_reader.h"
#include "native_ocr/zonescan/calibration/display_finder.h"
#include "native_ocr/zonescan/calibration/display_traits_choice.h"
#include "native_ocr/zonescan/calibration/trust.h"
#include "native_ocr/zonescan/display.h"
#include "native_ocr/zonescan/layout.h"

namespace native_ocr::zonescan::calibration {
namespace {

// Margin added on every side of the fitted display, as a share of its width and height.
constexpr double kMargin = 0.08;
// Cuts the taught search tries around the found display: the fitted one, then narrower and
// wider by a share of the display's width (centred; the shift test below covers offsets).
constexpr std::array<double, 3> kScales = {1.0, 0.94, 1.06};
// Weight of the shift test against the threshold band in a candidate's score.
constexpr double kShiftWeight = 0.25;
// Blind: of the six neighbours of the first reading (threshold a ladder step down and up, the
// four shifted cuts), how many must read the same value for it to be taken as taught.
constexpr int kStableNeighbours = 5;
// Blind, when Otsu's threshold reads nothing valid: the shortest run of ladder levels reading one
// value that is taken in its place.
constexpr size_t kRescueRun = 6;
// Blind: the shortest run of ladder levels above the first reading that, reading the same value
// with fewer segments lit, is taken as the display without its glowing unlit segments.
constexpr size_t kUnlitOffRun = 4;
// The highest grey level: a dark-on-light threshold is taken on the inverted image.
constexpr int kWhite = 255;
// A layout's width and height for counting its digit cells (any size holds the same cells).
constexpr int kLayoutWidth = 100;
constexpr int kLayoutHeight = 30;

// Proposals for the display's box beyond the finder's default level: lit levels at these shares
// of the way from the background to the bright end (faint segments; segments with their glow
// left out; an over-exposed core alone), and the tallest bands of rows at the default level.
constexpr std::array<double, 3> kProposalShares = {0.15, 0.4, 0.6};
constexpr size_t kProposalBands = 2;
// Two proposals are the same box when no side differs by more than this share of the digit
// height.
constexpr double kSameBox = 0.1;
// Taught: boxes searched for the expected value, the finder's own first, then proposals in
// evidence order.
constexpr size_t kTaughtProposals = 3;

int round_even(double v) {
  return static_cast<int>(std::nearbyint(v));
}

int digit_cells(std::string_view role) {
  int cells = 0;
  for (const Slot& slot : layout_for_role(role, kLayoutWidth, kLayoutHeight)) {
    cells += slot.kind == SlotKind::kDigit ? 1 : 0;
  }
  return cells;
}

cv::Mat grey_of(const CropView& crop) {
  ProcessingSettings plain;
  plain.binarize = false;
  return process_image(crop.pixels, crop.three_dimensional, plain);
}

Cut with_margin(double x1, double y1, double x2, double y2, int w, int h) {
  const double mx = kMargin * (x2 - x1 + 1), my = kMargin * (y2 - y1 + 1);
  return Cut{std::max(0, round_even(x1 - mx)), std::max(0, round_even(y1 - my)),
             std::min(w, round_even(x2 + 1 + mx)), std::min(h, round_even(y2 + 1 + my))};
}

Cut cut_of(const FoundDisplay& d, const cv::Mat& grey) {
  return with_margin(d.left, d.top, d.right, d.bottom, grey.cols, grey.rows);
}

// Otsu's threshold of a tight cut; for dark segments on a light board the threshold under which
// a pixel is ink once the display is inverted.
int tight_threshold(const cv::Mat& grey, bool dark_on_light) {
  if (dark_on_light) {
    return kWhite - 1 - otsu_threshold(kWhite - grey);
  }
  return otsu_threshold(grey);
}

// Length and middle level of the longest run of working levels (the first of equal runs).
std::pair<int, int> widest_band(const std::vector<bool>& works, const std::vector<int>& levels) {
  std::pair<int, int> best{0, 0};
  int start = -1;
  for (size_t i = 0; i <= works.size(); ++i) {
    const bool on = i < works.size() && works[i];
    if (on && start < 0) {
      start = static_cast<int>(i);
    }
    if (!on && start >= 0) {
      const int length = static_cast<int>(i) - start;
      if (length > best.first) {
        const int lo = levels[start], hi = levels[i - 1];
        best = {length, round_even(lo + 0.5 * (hi - lo))};
      }
      start = -1;
    }
  }
  return best;
}

// Whether digit `a` lights only segments that digit `b` lights too.
bool digit_within(char a, char b) {
  for (const segsense::DigitPattern& pa : segsense::kDigitPatterns) {
    for (const segsense::DigitPattern& pb : segsense::kDigitPatterns) {
      if (pa.digit != a - '0' || pb.digit != b - '0') {
        continue;
      }
      bool inside = true;
      for (size_t k = 0; k < pa.pattern.size(); ++k) {
        inside = inside && pa.pattern[k] <= pb.pattern[k];
      }
      if (inside) {
        return true;
      }
    }
  }
  return false;
}

// Whether `fewer` is `more` with some lit segments off: the same characters but for digits that
// light only segments the digit of `more` lights too, at least one of them another digit.
bool lights_within(const std::string& fewer, const std::string& more) {
  if (fewer.size() != more.size() || fewer == more) {
    return false;
  }
  for (size_t i = 0; i < fewer.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(fewer[i])) != 0;
    if (digit != (std::isdigit(static_cast<unsigned char>(more[i])) != 0) ||
        (!digit && fewer[i] != more[i]) || (digit && !digit_within(fewer[i], more[i]))) {
      return false;
    }
  }
  return true;
}

struct Choice {
  double score = -1.0;
  Cut cut;
  int threshold = 0;
};

// Whether `value`, read in `cut` at `threshold`, is read the same a ladder step either side and in
// the four cuts a few pixels off (kStableNeighbours of the six).
bool stable(const CutReader& reader, const cv::Mat& grey, const Cut& cut, int threshold,
            const std::optional<SeparatorDetection>& separator, const std::string& value) {
  const std::vector<int> levels = levels_of(sub(grey, cut));
  const int step = levels.size() > 1 ? levels[1] - levels[0] : 2;
  int same = (reader.text(cut, threshold - step, separator) == value) +
             (reader.text(cut, threshold + step, separator) == value);
  for (const Cut& moved : shifted(cut, grey.cols)) {
    same += reader.text(moved, threshold, moved_separator(separator, cut, moved)) == value;
  }
  return same >= kStableNeighbours;
}

std::optional<Choice> taught_choice(const CutReader& reader, const cv::Mat& grey,
                                    const FoundDisplay& display, const std::string& expected) {
  const int w = grey.cols, h = grey.rows;
  const double width = display.right - display.left + 1;
  std::optional<Choice> best;
  for (double scale : kScales) {
    const double cx = (display.left + display.right) / 2.0;
    const double half = scale * width / 2.0;
    const Cut cut = with_margin(cx - half, display.top, cx + half, display.bottom, w, h);
    if (cut.width() < 1 || cut.height() < 1) {
      continue;
    }
    const auto separator = reader.is_clock() ? reader.detect(cut) : std::nullopt;
    const std::vector<int> levels = levels_of(sub(grey, cut));
    std::vector<bool> works;
    for (int level : levels) {
      works.push_back(reader.text(cut, level, separator) == expected);
    }
    const auto [length, middle] = widest_band(works, levels);
    if (length == 0) {
      continue;
    }
    double score = static_cast<double>(length) / static_cast<double>(levels.size());
    if (best && score + kShiftWeight <= best->score) {
      continue;  // cannot win even if every shifted cut reads
    }
    int survivors = 0;
    for (const Cut& moved : shifted(cut, w)) {
      survivors += reader.text(moved, middle, moved_separator(separator, cut, moved)) == expected;
    }
    score += kShiftWeight * survivors / static_cast<double>(kMovedCuts);
    if (!best || score > best->score) {
      best = Choice{score, cut, middle};
    }
  }
  return best;
}

// The same box found at the same level: nothing new to read.
bool same_box(const FoundDisplay& a, const FoundDisplay& b) {
  const double slack = kSameBox * std::min(a.digit_height, b.digit_height);
  if (a.level != b.level) {
    return false;
  }
  return std::abs(a.left - b.left) <= slack && std::abs(a.right - b.right) <= slack &&
         std::abs(a.top - b.top) <= slack && std::abs(a.bottom - b.bottom) <= slack;
}

// The boxes the display may have: the finder's at its default level (the first), the tallest
// bands of rows, other lit levels, each without strips of clutter along its top or bottom, and
// the operator's whole zone; no box twice at one level.
std::vector<FoundDisplay> proposals(const cv::Mat& grey, int cells) {
  const auto range = lit_range(grey);
  if (!range) {
    return {};
  }
  std::vector<FoundDisplay> all = displays_at(*range, default_level(*range), cells, kProposalBands);
  const double span = range->peak - range->background;
  for (double share : kProposalShares) {
    for (const FoundDisplay& d : displays_at(*range, range->background + share * span, cells, 1)) {
      all.push_back(d);
    }
  }
  if (all.empty()) {
    return {};
  }
  for (size_t i = 0, n = all.size(); i < n; ++i) {
    if (const auto trimmed = without_strips(*range, all[i])) {
      all.push_back(*trimmed);
    }
  }
  FoundDisplay whole;
  whole.right = grey.cols - 1.0;
  whole.bottom = grey.rows - 1.0;
  whole.digit_height = static_cast<double>(grey.rows);
  whole.dark_on_light = range->dark_on_light;
  whole.level = default_level(*range);
  whole.glyph_right = whole.right;
  all.push_back(whole);
  std::vector<FoundDisplay> distinct;
  for (const FoundDisplay& d : all) {
    if (std::none_of(distinct.begin(), distinct.end(),
                     [&](const FoundDisplay& e) { return same_box(d, e); })) {
      distinct.push_back(d);
    }
  }
  return distinct;
}

// A threshold of the reader for a lit level of the finder's grey image (inverted for a light
// board, where ink lies under the reader's threshold).
int reader_threshold(const FoundDisplay& display) {
  const int level = round_even(display.level);
  return display.dark_on_light ? kWhite - 1 - level : level;
}

// A proposed box's reading at one threshold and how well the reader confirms it.
struct Evidence {
  double score = 0.0;
  std::string text;
  bool all_lit = false;  // every cell read an 8
};

// How well the reader confirms a proposed box read at `threshold`: its cells read clearly (the
// support) and unchanged when the cut moves a pixel.
Evidence evidence_at(const CutReader& reader, const cv::Mat& grey, const Cut& cut, int threshold,
                     const std::optional<SeparatorDetection>& separator) {
  const Reading reading = reader.read(cut, threshold, separator);
  if (!reading.valid) {
    return {};
  }
  const TrustInput trust = trust_input(reading);
  Evidence out{0.0, reading_text(reading), all_lit(trust)};
  int same = 0;
  for (const Cut& moved : nudged(cut, grey.cols, grey.rows)) {
    same += reader.text(moved, threshold, moved_separator(separator, cut, moved)) == out.text;
  }
  out.score = reading_support(trust) + kNudgeWeight * same / static_cast<double>(kMovedCuts);
  return out;
}

// The box's evidence at the tight cut's Otsu threshold and at the level the box was found at.
std::array<Evidence, 2> evidence(const CutReader& reader, const cv::Mat& grey,
                                 const FoundDisplay& display) {
  const Cut cut = cut_of(display, grey);
  if (cut.width() < 1 || cut.height() < 1) {
    return {};
  }
  const int otsu = tight_threshold(sub(grey, cut), display.dark_on_light);
  const auto separator = reader.is_clock() ? reader.detect(cut) : std::nullopt;
  return {evidence_at(reader, grey, cut, otsu, separator),
          evidence_at(reader, grey, cut, reader_threshold(display), separator)};
}

// Eights that another reading shows with fewer segments lit were unlit segments glowing (or
// clutter): they count for nothing. A display showing 8s keeps its evidence.
void doubt_glowing_eights(std::vector<std::array<Evidence, 2>>& all) {
  std::vector<std::string> clearer;
  for (const auto& pair : all) {
    for (const Evidence& e : pair) {
      if (e.score > 0.0 && !e.all_lit) {
        clearer.push_back(e.text);
      }
    }
  }
  for (auto& pair : all) {
    for (Evidence& e : pair) {
      if (e.all_lit && std::any_of(clearer.begin(), clearer.end(), [&](const std::string& t) {
            return lights_within(t, e.text);
          })) {
        e.score = 0.0;
      }
    }
  }
}

// The proposals, best supported first (ties keep the finder's order).
std::vector<FoundDisplay> by_evidence(const CutReader& reader, const cv::Mat& grey,
                                      const std::vector<FoundDisplay>& found) {
  std::vector<std::array<Evidence, 2>> all;
  for (const FoundDisplay& d : found) {
    all.push_back(evidence(reader, grey, d));
  }
  doubt_glowing_eights(all);
  std::vector<std::pair<double, size_t>> scored;
  for (size_t i = 0; i < found.size(); ++i) {
    scored.emplace_back(-std::max(all[i][0].score, all[i][1].score), i);
  }
  std::stable_sort(scored.begin(), scored.end());
  std::vector<FoundDisplay> out;
  for (const auto& [score, i] : scored) {
    out.push_back(found[i]);
  }
  return out;
}

// Blind: the first reading of the tight cut at Otsu's threshold; when that reads nothing, the
// value the longest run of the ladder reads stands in for it; when a run higher up reads it with
// fewer segments lit, the segments it loses were unlit ones glowing, and that run's value is the
// one shown.
Run first_reading(const CutReader& reader, const std::vector<Run>& runs, const Cut& cut, int otsu,
                  const std::optional<SeparatorDetection>& separator) {
  Run first{reader.text(cut, otsu, separator), otsu, otsu, {}};
  if (first.text.empty()) {
    for (const Run& run : runs) {
      if (!run.text.empty() && run.levels.size() >= std::max(kRescueRun, first.levels.size() + 1)) {
        first = run;
      }
    }
  }
  for (const Run& run : runs) {
    if (!first.text.empty() && run.lowest > first.level && run.levels.size() >= kUnlitOffRun &&
        lights_within(run.text, first.text)) {
      return run;
    }
  }
  return first;
}

// Blind: the tight cut at Otsu's threshold; a first reading that its neighbours agree on teaches
// the search, whose choice reads the other values better than Otsu's threshold does.
void calibrate_blind(const CutReader& reader, const cv::Mat& grey, const FoundDisplay& display,
                     Calibration& out) {
  out.cut = cut_of(display, grey);
  const int otsu = tight_threshold(sub(grey, out.cut), display.dark_on_light);
  out.settings = reader.settings(otsu);
  const auto separator = reader.is_clock() ? reader.detect(out.cut) : std::nullopt;
  const std::vector<Run> runs =
      reader.ladder_runs(out.cut, levels_of(sub(grey, out.cut)), separator);
  const Run first = first_reading(reader, runs, out.cut, otsu, separator);
  if (first.text.empty() || !stable(reader, grey, out.cut, first.level, separator, first.text)) {
    return;
  }
  if (const auto choice = taught_choice(reader, grey, display, first.text)) {
    out.cut = choice->cut;
    out.settings = reader.settings(choice->threshold);
  }
}

// Taught: the finder's own box, then the best supported proposals, until a search reads the
// expected value (the value known, the finder's box rarely misses it; clutter that reads better
// than the display is what the proposals are for).
bool calibrate_taught(const CutReader& reader, const cv::Mat& grey,
                      const std::vector<FoundDisplay>& ranked, const FoundDisplay& finders,
                      const std::string& expected, Calibration& out) {
  std::vector<FoundDisplay> tried = {finders};
  for (size_t i = 0; i < ranked.size() && tried.size() < kTaughtProposals; ++i) {
    if (!same_box(ranked[i], finders)) {
      tried.push_back(ranked[i]);
    }
  }
  for (const FoundDisplay& display : tried) {
    if (const auto choice = taught_choice(reader, grey, display, expected)) {
      out.cut = choice->cut;
      out.settings = reader.settings(choice->threshold);
      return true;
    }
  }
  return false;
}

// A blind reading with display traits is only taken when its neighbours read it too.
bool stable_traits(const CutReader& reader, const cv::Mat& grey, const Calibration& trial) {
  const int level = reader.level_of(trial.settings);
  const auto separator = reader.is_clock() ? reader.detect(trial.cut) : std::nullopt;
  const std::string text = reader.text(trial.cut, level, separator);
  return !text.empty() && stable(reader, grey, trial.cut, level, separator, text);
}

// A display the search above did not read (taught: not the expected value; blind: nothing
// valid, or a clock read with a separator the finder did not see) is searched again with each
// display traits candidate, laid out for its cells, until one reads.
void calibrate_traits(const CropView& crop, std::string_view role,
                      const std::optional<std::string>& expected, const SlotClassifier& classifier,
                      const cv::Mat& grey, const std::vector<FoundDisplay>& ranked,
                      const FoundDisplay& finders, Calibration& out) {
  // A "dd.d" display's point where four cells look for a colon in the middle: only a candidate
  // that reads the finder's separator replaces the reading.
  const Reading plain = calibration_reading(crop, role, out, classifier);
  const std::optional<SeparatorKind> seen = ranked.front().separator_kind;
  const bool contradicted = !expected && seen && role_group(role) == RoleGroup::kClockLike &&
                            separator_kind_of(plain) != seen;
  if (reads_as(plain, expected) && !contradicted) {
    return;
  }
  const bool dark = finders.dark_on_light;
  for (const ProcessingSettings& traits : trait_candidates(role, dark, plain)) {
    const CutReader reader(crop, role, dark, classifier, traits);
    std::vector<FoundDisplay> laid_out;
    for (const FoundDisplay& d : ranked) {
      laid_out.push_back(for_clock_cells(d, traits.clock_cells));
    }
    Calibration trial = out;
    if (expected) {
      calibrate_taught(reader, grey, laid_out, for_clock_cells(finders, traits.clock_cells),
                       *expected, trial);
    } else {
      calibrate_blind(reader, grey, laid_out.front(), trial);
    }
    const Reading read = calibration_reading(crop, role, trial, classifier);
    if (reads_as(read, expected) && (expected || stable_traits(reader, grey, trial)) &&
        (!contradicted || separator_kind_of(read) == seen)) {
      trial.reason = "ok";
      out = trial;
      return;
    }
  }
}

}  // namespace

std::string reading_text(const Reading& reading) {
  if (!reading.valid) {
    return {};
  }
  if (reading.clock_value) {
    return *reading.clock_value;
  }
  return reading.value ? std::to_string(*reading.value) : std::string();
}

Calibration calibrate_crop(const CropView& crop, std::string_view role,
                           const std::optional<std::string>& expected,
                           const SlotClassifier& classifier) {
  const std::string_view chosen = role.empty() ? std::string_view("home_score") : role;
  const cv::Mat grey = grey_of(crop);
  Calibration out;
  out.cut = Cut{0, 0, grey.cols, grey.rows};
  out.settings = clamp_settings(ProcessingSettings{});
  const std::vector<FoundDisplay> found = proposals(grey, digit_cells(chosen));
  if (found.empty()) {
    out.reason = "no_display";
    return out;
  }
  out.found = true;
  out.reason = "ok";
  const CutReader reader(crop, chosen, found.front().dark_on_light, classifier);
  const std::vector<FoundDisplay> ranked = by_evidence(reader, grey, found);
  if (expected && calibrate_taught(reader, grey, ranked, found.front(), *expected, out)) {
    choose_classifier(crop, chosen, expected, classifier, out);
    return out;
  }
  if (expected) {
    out.reason = "expected_not_read";
  }
  calibrate_blind(reader, grey, ranked.front(), out);
  calibrate_traits(crop, chosen, expected, classifier, grey, ranked, found.front(), out);
  choose_classifier(crop, chosen, expected, classifier, out);
  return out;
}

}  // namespace native_ocr::zonescan::calibration
