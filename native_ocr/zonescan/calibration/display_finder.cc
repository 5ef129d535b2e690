#include "native_ocr/zonescan/calibration/display_finder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan::calibration {
namespace {

// Display width over digit height that a layout of seven-segment cells takes at the least, so
// that a blank leading cell stays inside: one cell, two cells (a score), four and a separator.
constexpr double kOneCellAspect = 0.62;
constexpr double kTwoCellAspect = 1.40;
constexpr double kClockAspect = 2.75;
constexpr int kClockCells = 4;

// Pieces smaller than this share of the crop (and than kMinPiecePixels) are noise.
constexpr double kMinPieceShare = 0.0003;
constexpr double kMinPiecePixels = 2.0;
// The largest pieces kept for grouping: enough for four digits, a colon and clutter, and a bound
// on the quadratic merge.
constexpr size_t kMaxPieces = 150;

// Groups of glyphs proposed per band of rows: the display and a second field or a label beside it.
constexpr size_t kGroupsPerBand = 2;
// Glyphs in the display's rows: at least this share of the tallest glyph's height, overlapping
// its rows by half their own height; members may reach this share of the height past the band.
constexpr double kBandMemberHeight = 0.45;
constexpr double kBandSlack = 0.15;
// A whole lit digit: at least this share of the band's height tall and wide (a 1 is narrower);
// the width assumed when none is seen.
constexpr double kFullDigitHeight = 0.75;
constexpr double kMinDigitWidth = 0.3;
constexpr double kAssumedDigitWidth = 0.55;
// A glyph at the crop border narrower than this share of a whole digit is a neighbour's cut.
constexpr double kCutDigitWidth = 0.85;
// Columns from the border within which a glyph touches it.
constexpr int kBorderTouch = 1;

// Housing edges: lines at least this share of the crop long, at most kEdgeThickness pixels (or
// this share of the crop) thick, within kEdgeReach pixels of a side.
constexpr double kEdgeLength = 0.8;
constexpr double kEdgeThickness = 3.0;
constexpr double kEdgeThicknessShare = 0.05;
constexpr int kEdgeReach = 2;
// The most of its box a housing's outline fills: a one- or two-pixel line round even a small crop
// fills under a fifth of it, a seven-segment 8 of the thinnest face about half.
constexpr double kFrameFill = 0.25;
// Segments of one glyph stand apart by less than this share of the thinner stroke (plus a pixel).
constexpr double kMergeGrowth = 0.4;

// Separator dots: at most this share of the digit height across, their centre past this share of
// the lit part from its left (a lit part may start at a 1 beside the colon) and short of this
// share from its right.
constexpr double kDotSize = 0.28;
constexpr double kSeparatorFromLeft = 0.08;
constexpr double kSeparatorFromRight = 0.15;
// A colon's two dots: in one column (this share of the height apart at most), one either side of
// the middle row, this share of the height apart at least.
constexpr double kColonColumn = 0.12;
constexpr double kColonSpan = 0.2;
// A decimal point: centre below this share of the band, at most kPointHeight of it tall.
constexpr double kPointLow = 0.7;
constexpr double kPointHeight = 0.2;

double nominal_aspect(int cells) {
  if (cells == kClockCells) {
    return kClockAspect;
  }
  return cells == 2 ? kTwoCellAspect : kOneCellAspect;
}

double centre_x(const Blob& b) {
  return b.left() + b.width() / 2.0;
}

double centre_y(const Blob& b) {
  return b.top() + b.height() / 2.0;
}

bool at_border(const Blob& g, int width) {
  return g.left() <= kBorderTouch || g.left() + g.width() >= width - kBorderTouch;
}

// Rows of a display around one glyph: its rows and those of the glyphs of similar height beside
// it.
std::pair<int, int> band_around(const std::vector<Blob>& glyphs, const Blob& tall) {
  int top = tall.top();
  int bottom = tall.bottom();
  for (const Blob& g : glyphs) {
    const int overlap = std::min(tall.bottom(), g.bottom()) - std::max(tall.top(), g.top()) + 1;
    if (g.height() >= kBandMemberHeight * tall.height() && overlap >= 0.5 * g.height()) {
      top = std::min(top, g.top());
      bottom = std::max(bottom, g.bottom());
    }
  }
  return {top, bottom};
}

// The glyphs tallest first (the larger of equal heights first): the display's rows are those of
// the first, other rows of the crop those of the next.
std::vector<Blob> tallest_first(std::vector<Blob> glyphs) {
  std::stable_sort(glyphs.begin(), glyphs.end(), [](const Blob& a, const Blob& b) {
    return a.height() > b.height() || (a.height() == b.height() && a.area > b.area);
  });
  return glyphs;
}

// Width of one whole lit digit: the narrowest full-height glyph clear of the borders that is not
// a 1 (neighbouring digits may merge into one glyph).
double digit_width(const std::vector<Blob>& glyphs, double height, int width) {
  std::optional<double> narrowest;
  for (const Blob& g : glyphs) {
    if (g.height() >= kFullDigitHeight * height && !at_border(g, width) &&
        g.width() >= kMinDigitWidth * height) {
      narrowest = std::min(narrowest.value_or(g.width()), static_cast<double>(g.width()));
    }
  }
  return narrowest.value_or(kAssumedDigitWidth * height);
}

// The glyphs but a neighbour's digit cut by the crop border (narrower than a whole digit), left
// to right.
std::vector<Blob> without_cut_neighbours(const std::vector<Blob>& glyphs, double height,
                                         int width) {
  const double digit = digit_width(glyphs, height, width);
  std::vector<Blob> kept;
  for (const Blob& g : glyphs) {
    if (!(at_border(g, width) && g.width() < kCutDigitWidth * digit)) {
      kept.push_back(g);
    }
  }
  if (kept.empty()) {
    kept = glyphs;
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Blob& a, const Blob& b) { return a.left() < b.left(); });
  return kept;
}

// The display's glyphs: grouped by gaps of less than a digit height (a 1 leaves most of its cell
// dark); the groups with the most ink first.
std::vector<std::vector<Blob>> display_groups(const std::vector<Blob>& glyphs, double height,
                                              int width) {
  std::vector<std::vector<Blob>> groups(1);
  int right = 0;
  for (const Blob& g : without_cut_neighbours(glyphs, height, width)) {
    if (!groups.back().empty() && g.left() - right > height) {
      groups.emplace_back();
    }
    right = groups.back().empty() ? g.right() : std::max(right, g.right());
    groups.back().push_back(g);
  }
  const auto ink = [](const std::vector<Blob>& group) {
    int64_t sum = 0;
    for (const Blob& g : group) {
      sum += g.area;
    }
    return sum;
  };
  std::stable_sort(groups.begin(), groups.end(),
                   [&](const auto& a, const auto& b) { return ink(a) > ink(b); });
  return groups;
}

// The pieces small enough for a separator dot whose centre lies where a separator can.
std::vector<Blob> dot_pieces(const std::vector<Blob>& pieces, double left, double right,
                             double height) {
  std::vector<Blob> small;
  for (const Blob& p : pieces) {
    const double cx = centre_x(p);
    if (std::max(p.width(), p.height()) <= kDotSize * height &&
        left + kSeparatorFromLeft * (right - left) < cx &&
        cx < right - kSeparatorFromRight * (right - left)) {
      small.push_back(p);
    }
  }
  return small;
}

// The clock of fewer cells laid out about the glyphs: three ("dd.d", "d:dd"). A clock of two
// cells ("d.d") keeps the four-cell box: the glyphs of a four-cell clock showing a single
// leading digit ("5.5") read as "d.d" too, and its later values would lose their tens digit.
constexpr int64_t kThreeCells = 3;
// The cells a layout of fewer clock cells is widened to take: this share of the digit height
// apart, a score's pitch (its two cells over kTwoCellAspect).
constexpr double kCellPitch = kTwoCellAspect / 2.0;

// A colon among the dots: the pair in one column either side of the middle with the most ink.
std::optional<double> colon_of(const std::vector<Blob>& small, double top, double height) {
  const double middle = top + height / 2.0;
  std::optional<double> colon;
  int64_t best = 0;
  for (size_t i = 0; i < small.size(); ++i) {
    for (size_t j = i + 1; j < small.size(); ++j) {
      const Blob& a = small[i];
      const Blob& b = small[j];
      if (std::abs(centre_x(a) - centre_x(b)) < kColonColumn * height &&
          (centre_y(a) - middle) * (centre_y(b) - middle) < 0 &&
          std::abs(centre_y(a) - centre_y(b)) > kColonSpan * height &&
          (!colon || a.area + b.area > best)) {
        best = a.area + b.area;
        colon = (centre_x(a) + centre_x(b)) / 2.0;
      }
    }
  }
  return colon;
}

// A decimal point among the dots: the largest one low in the band.
std::optional<double> point_of(const std::vector<Blob>& small, double top, double height) {
  const Blob* dot = nullptr;
  for (const Blob& p : small) {
    if (centre_y(p) > top + kPointLow * height && p.height() <= kPointHeight * height &&
        (dot == nullptr || p.area > dot->area)) {
      dot = &p;
    }
  }
  if (dot == nullptr) {
    return std::nullopt;
  }
  return centre_x(*dot);
}

struct FoundSeparator {
  double x = 0.0;
  SeparatorKind kind = SeparatorKind::kColon;
};

// The colon (two small dots, one above and one below the middle) or the decimal point (one small
// dot low in the band) among the segment pieces, with its centre column.
std::optional<FoundSeparator> separator_of(const std::vector<Blob>& pieces, double left,
                                           double right, double top, double height) {
  const std::vector<Blob> small = dot_pieces(pieces, left, right, height);
  if (const auto colon = colon_of(small, top, height)) {
    return FoundSeparator{*colon, SeparatorKind::kColon};
  }
  if (const auto point = point_of(small, top, height)) {
    return FoundSeparator{*point, SeparatorKind::kDecimalPoint};
  }
  return std::nullopt;
}

// The lit pieces of the crop at `level`, without housing edges, largest first and bounded.
std::vector<Blob> lit_pieces(const cv::Mat& grey, double level) {
  const cv::Mat mask = grey > level;
  const double pixels = static_cast<double>(grey.rows) * grey.cols;
  const auto min_area =
      static_cast<int64_t>(std::ceil(std::max(kMinPiecePixels, kMinPieceShare * pixels)));
  std::vector<Blob> pieces = without_edges(lit_components(mask, min_area), grey.cols, grey.rows);
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const Blob& a, const Blob& b) { return a.area > b.area; });
  if (pieces.size() > kMaxPieces) {
    pieces.resize(kMaxPieces);
  }
  return pieces;
}

// The glyphs whose rows lie within the band, give or take kBandSlack of its height.
template <typename Blobs>
Blobs within_band(const Blobs& blobs, double top, double bottom) {
  const double slack = kBandSlack * (bottom - top + 1);
  Blobs inside;
  for (const auto& g : blobs) {
    if (g.top() >= top - slack && g.bottom() <= bottom + slack) {
      inside.push_back(g);
    }
  }
  return inside;
}

// The box widened to the role's layout: a clock's two sides as wide as each other about its
// separator, else blank cells leading (widened to the left) up to the nominal width.
void widen_to_layout(FoundDisplay& found, int cells) {
  const double nominal = nominal_aspect(cells) * found.digit_height;
  if (found.separator_x) {
    const double sx = *found.separator_x;
    const double half = std::max({sx - found.left, found.right - sx, nominal / 2.0});
    found.left = sx - half;
    found.right = sx + half;
  } else if (found.right - found.left + 1 < nominal) {
    found.left = found.right + 1 - nominal;
  }
}

// The display of one group of glyphs in the band from `top` to `bottom`.
FoundDisplay display_of(const std::vector<Blob>& members, const std::vector<Blob>& pieces, int top,
                        int bottom, int cells) {
  FoundDisplay found;
  found.top = top;
  found.bottom = bottom;
  found.digit_height = bottom - top + 1;
  found.left = members.front().left();
  found.right = members.front().right();
  for (const Blob& g : members) {
    found.left = std::min(found.left, static_cast<double>(g.left()));
    found.right = std::max(found.right, static_cast<double>(g.right()));
  }
  if (cells == kClockCells) {
    std::vector<Blob> inside;
    for (const Blob& p : within_band(pieces, top, bottom)) {
      if (found.left <= p.left() && p.right() <= found.right) {
        inside.push_back(p);
      }
    }
    if (const auto separator =
            separator_of(inside, found.left, found.right, top, found.digit_height)) {
      found.separator_x = separator->x;
      found.separator_kind = separator->kind;
    }
  }
  found.glyph_left = found.left;
  found.glyph_right = found.right;
  widen_to_layout(found, cells);
  return found;
}

// The displays among the lit pieces (none empty): for each of the kBands tallest distinct bands
// of rows, its kGroupsPerBand groups with the most ink. The first is the tallest band's richest.
std::vector<FoundDisplay> displays_of(const std::vector<Blob>& pieces, int cells, int width,
                                      size_t bands) {
  const std::vector<Blob> glyphs = merge_into_glyphs(pieces);
  std::vector<std::pair<int, int>> seen;
  std::vector<FoundDisplay> out;
  for (const Blob& seed : tallest_first(glyphs)) {
    const auto band = band_around(glyphs, seed);
    if (seen.size() == bands || std::find(seen.begin(), seen.end(), band) != seen.end()) {
      continue;
    }
    seen.push_back(band);
    const auto [top, bottom] = band;
    const auto groups = display_groups(within_band(glyphs, top, bottom), bottom - top + 1, width);
    for (size_t g = 0; g < groups.size() && g < kGroupsPerBand; ++g) {
      out.push_back(display_of(groups[g], pieces, top, bottom, cells));
    }
  }
  return out;
}

}  // namespace

std::vector<Blob> lit_components(const cv::Mat& mask, int64_t min_area) {
  constexpr int kConnectivity = 8;
  cv::Mat labels, stats, centroids;
  const int n =
      cv::connectedComponentsWithStats(mask, labels, stats, centroids, kConnectivity, CV_32S);
  std::vector<Blob> out;
  for (int i = 1; i < n; ++i) {
    const int left = stats.at<int>(i, cv::CC_STAT_LEFT);
    const int top = stats.at<int>(i, cv::CC_STAT_TOP);
    const Blob b{{left, top, left + stats.at<int>(i, cv::CC_STAT_WIDTH) - 1,
                  top + stats.at<int>(i, cv::CC_STAT_HEIGHT) - 1},
                 stats.at<int>(i, cv::CC_STAT_AREA)};
    if (b.area >= min_area) {
      out.push_back(b);
    }
  }
  return out;
}

std::vector<Blob> without_edges(const std::vector<Blob>& blobs, int width, int height) {
  // A thin line along a side, or one across the whole crop (no digit of the zone is).
  const auto edge = [](int start, int length, int span, int across_start, int across, int side) {
    const bool long_thin = length >= kEdgeLength * span &&
                           across <= std::max(kEdgeThickness, kEdgeThicknessShare * side);
    const bool at_side = across_start <= kEdgeReach || across_start + across >= side - kEdgeReach;
    const bool crosses = start <= kEdgeReach && start + length >= span - kEdgeReach;
    return long_thin && (at_side || crosses);
  };
  // A housing's outline: reaching every side of the crop and hollow (a digit as large as the
  // crop fills far more of its box).
  const auto frame = [&](const Blob& b) {
    return b.left() <= kEdgeReach && b.top() <= kEdgeReach &&
           b.left() + b.width() >= width - kEdgeReach &&
           b.top() + b.height() >= height - kEdgeReach &&
           static_cast<double>(b.area) < kFrameFill * b.width() * b.height();
  };
  std::vector<Blob> kept;
  for (const Blob& b : blobs) {
    if (!edge(b.top(), b.height(), height, b.left(), b.width(), width) &&
        !edge(b.left(), b.width(), width, b.top(), b.height(), height) && !frame(b)) {
      kept.push_back(b);
    }
  }
  return kept;
}

std::vector<Blob> merge_into_glyphs(std::vector<Blob> blobs) {
  // The segments of one digit stand a small gap apart: boxes grown by a share of the thinner
  // stroke that touch belong to one glyph. Repeated until nothing merges.
  bool merged = true;
  while (merged) {
    merged = false;
    std::vector<Blob> out;
    for (const Blob& b : blobs) {
      bool joined = false;
      for (Blob& o : out) {
        const double grow = 1.0 + kMergeGrowth * std::min({b.width() - 1, b.height() - 1,
                                                           o.width() - 1, o.height() - 1});
        if (b.left() - grow <= o.right() && o.left() - grow <= b.right() &&
            b.top() - grow <= o.bottom() && o.top() - grow <= b.bottom()) {
          o = Blob{{std::min(o.box[0], b.box[0]), std::min(o.box[1], b.box[1]),
                    std::max(o.box[2], b.box[2]), std::max(o.box[3], b.box[3])},
                   o.area + b.area};
          merged = joined = true;
          break;
        }
      }
      if (!joined) {
        out.push_back(b);
      }
    }
    blobs = std::move(out);
  }
  return blobs;
}

FoundDisplay for_clock_cells(const FoundDisplay& found, int64_t cells) {
  if (cells != kThreeCells) {
    return found;
  }
  FoundDisplay out = found;
  const double pitch = kCellPitch * found.digit_height;
  out.left = found.glyph_left;
  out.right = found.glyph_right;
  if (found.separator_x && found.separator_kind) {
    const double sx = *found.separator_x;
    const int64_t left_cells = clock_left_cells(cells, *found.separator_kind);
    out.left = std::min(out.left, sx - static_cast<double>(left_cells) * pitch);
    out.right = std::max(out.right, sx + static_cast<double>(cells - left_cells) * pitch);
  } else {
    out.left = std::min(out.left, out.right + 1 - static_cast<double>(cells) * pitch);
  }
  return out;
}

std::vector<FoundDisplay> displays_at(const LitRange& range, double level, int cells,
                                      size_t bands) {
  const std::vector<Blob> pieces = lit_pieces(range.grey, level);
  if (pieces.empty()) {
    return {};
  }
  std::vector<FoundDisplay> found = displays_of(pieces, cells, range.grey.cols, bands);
  for (FoundDisplay& d : found) {
    d.dark_on_light = range.dark_on_light;
    d.level = level;
  }
  return found;
}

double default_level(const LitRange& range) {
  return std::max(static_cast<double>(range.otsu),
                  range.background + kLitShare * (range.peak - range.background));
}

std::optional<FoundDisplay> find_display(const cv::Mat& grey, int cells) {
  const auto range = lit_range(grey);
  if (!range) {
    return std::nullopt;
  }
  const std::vector<FoundDisplay> found = displays_at(*range, default_level(*range), cells, 1);
  if (found.empty()) {
    return std::nullopt;
  }
  return found.front();
}

}  // namespace native_ocr::zonescan::calibration
