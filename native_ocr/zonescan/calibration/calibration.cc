#include "native_ocr/zonescan/calibration/calibration.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <vector>

#include "native_ocr/segsense/segment_classifier.h"
#include "native_ocr/zonescan/calibration/display_finder.h"
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

int round_even(double v) {
  return static_cast<int>(std::nearbyint(v));
}

int digit_cells(std::string_view role) {
  int cells = 0;
  for (const Slot& slot : layout_for_role(role, 100, 30)) {
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

cv::Mat sub(const cv::Mat& image, const Cut& cut) {
  return image(cv::Range(cut.y1, cut.y2), cv::Range(cut.x1, cut.x2));
}

// Otsu's threshold of a tight cut; for dark segments on a light board the threshold under which
// a pixel is ink once the display is inverted.
int tight_threshold(const cv::Mat& grey, bool dark_on_light) {
  if (dark_on_light) {
    return 254 - otsu_threshold(255 - grey);
  }
  return otsu_threshold(grey);
}

// The threshold ladder over a cut: 24 steps between its dark and its bright end.
std::vector<int> levels_of(const cv::Mat& grey) {
  const double lo = grey_percentile(grey, 5), hi = grey_percentile(grey, 99.5);
  const double step = std::max(2.0, (hi - lo) / 24.0);
  const double start = lo + step, stop = hi - step / 2;
  std::vector<int> levels;
  const double n = std::ceil((stop - start) / step);
  for (int i = 0; i < n; ++i) {
    levels.push_back(static_cast<int>(start + i * step));
  }
  return levels;
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

// The four cuts a few pixels off: each vertical edge moved in and out.
std::array<Cut, 4> shifted(const Cut& c, int w) {
  const int d = std::max(2, round_even(0.03 * c.width()));
  return {Cut{std::max(0, c.x1 - d), c.y1, c.x2, c.y2}, Cut{c.x1 + d, c.y1, c.x2, c.y2},
          Cut{c.x1, c.y1, std::min(w, c.x2 + d), c.y2}, Cut{c.x1, c.y1, c.x2 - d, c.y2}};
}

// Levels of the threshold ladder in a row that read one text.
struct Run {
  std::string text;
  int level = 0;   // the middle level (the lower of two)
  int lowest = 0;  // the first level
  std::vector<int> levels;
};

// Whether `fewer` is `more` with some lit segments off: the same characters but for digits that
// light only segments the digit of `more` lights too, at least one of them another digit.
bool lights_within(const std::string& fewer, const std::string& more) {
  if (fewer.size() != more.size() || fewer == more) {
    return false;
  }
  const auto within = [](char a, char b) {
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
  };
  for (size_t i = 0; i < fewer.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(fewer[i])) != 0;
    if (digit != (std::isdigit(static_cast<unsigned char>(more[i])) != 0) ||
        (!digit && fewer[i] != more[i]) || (digit && !within(fewer[i], more[i]))) {
      return false;
    }
  }
  return true;
}

// Reads cuts of one crop as the role's reader reads a zone of exactly those pixels.
class CutReader {
 public:
  CutReader(const CropView& crop, std::string_view role, bool invert,
            const SlotClassifier& classifier)
      : crop_(crop),
        role_(role),
        reader_(reader_for_role(role)),
        invert_(invert),
        classifier_(classifier) {}

  bool is_clock() const { return reader_ == ReaderKind::kClock; }

  // The separator the clock reader finds in the cut (the detector ignores the settings).
  std::optional<SeparatorDetection> detect(const Cut& cut) const {
    const CropView view{sub(crop_.pixels, cut), crop_.three_dimensional};
    return prepare_display(view, ProcessingSettings{}, true).separator;
  }

  std::string text(const Cut& cut, int threshold,
                   const std::optional<SeparatorDetection>& separator) const {
    if (cut.width() < 1 || cut.height() < 1) {
      return {};
    }
    const CropView view{sub(crop_.pixels, cut), crop_.three_dimensional};
    PreparedDisplay display = prepare_display(view, settings(threshold), false);
    display.separator = separator;
    return reading_text(read_prepared(reader_, display, role_, classifier_));
  }

  // The cut read at each level of the ladder, equal neighbouring texts taken together.
  std::vector<Run> ladder_runs(const Cut& cut, const std::vector<int>& levels,
                               const std::optional<SeparatorDetection>& separator) const {
    std::vector<Run> runs;
    for (int level : levels) {
      std::string read = text(cut, level, separator);
      if (runs.empty() || runs.back().text != read) {
        runs.push_back(Run{std::move(read), level, level, {}});
      }
      runs.back().levels.push_back(level);
    }
    for (Run& run : runs) {
      run.lowest = run.levels.front();
      run.level = run.levels[(run.levels.size() - 1) / 2];
    }
    return runs;
  }

  ProcessingSettings settings(int threshold) const {
    ProcessingSettings s;
    s.threshold = threshold;
    s.invert = invert_;
    return clamp_settings(s);
  }

 private:
  const CropView& crop_;
  std::string_view role_;
  ReaderKind reader_;
  bool invert_;
  const SlotClassifier& classifier_;
};

struct Choice {
  double score = -1.0;
  Cut cut;
  int threshold = 0;
};

// A detection for a cut moved from the one it was made in: the same separator, in the moved
// cut's columns.
std::optional<SeparatorDetection> moved_separator(const std::optional<SeparatorDetection>& found,
                                                  const Cut& from, const Cut& to) {
  if (!found) {
    return found;
  }
  SeparatorDetection moved = *found;
  moved.x += from.x1 - to.x1;
  return moved;
}

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
    score += kShiftWeight * survivors / 4.0;
    if (!best || score > best->score) {
      best = Choice{score, cut, middle};
    }
  }
  return best;
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
  const auto display = find_display(grey, digit_cells(chosen));
  if (!display) {
    out.reason = "no_display";
    return out;
  }
  out.found = true;
  out.reason = "ok";
  const CutReader reader(crop, chosen, display->dark_on_light, classifier);
  if (expected) {
    if (const auto choice = taught_choice(reader, grey, *display, *expected)) {
      out.cut = choice->cut;
      out.settings = reader.settings(choice->threshold);
      return out;
    }
    out.reason = "expected_not_read";
  }
  out.cut = with_margin(display->left, display->top, display->right, display->bottom, grey.cols,
                        grey.rows);
  const int otsu = tight_threshold(sub(grey, out.cut), display->dark_on_light);
  out.settings = reader.settings(otsu);
  // Blind: a first reading that its neighbours agree on teaches the search, whose choice reads
  // the other values better than Otsu's threshold does. When Otsu's threshold reads nothing, the
  // value the longest run of the ladder reads stands in for it; when a run higher up reads it
  // with fewer segments lit, the segments it loses were unlit ones glowing, and that run's value
  // is the one shown.
  const auto separator = reader.is_clock() ? reader.detect(out.cut) : std::nullopt;
  const std::vector<Run> runs =
      reader.ladder_runs(out.cut, levels_of(sub(grey, out.cut)), separator);
  Run first{reader.text(out.cut, otsu, separator), otsu, otsu, {}};
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
      first = run;
      break;
    }
  }
  if (first.text.empty() || !stable(reader, grey, out.cut, first.level, separator, first.text)) {
    return out;
  }
  if (const auto choice = taught_choice(reader, grey, *display, first.text)) {
    out.cut = choice->cut;
    out.settings = reader.settings(choice->threshold);
  }
  return out;
}

}  // namespace native_ocr::zonescan::calibration
