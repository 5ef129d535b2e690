#include "native_ocr/zonescan/calibration/display_finder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan::calibration {
namespace {

// Width of the display over its digit height for a layout of 1, 2 or 4 cells: the least a
// display of seven-segment cells takes, so that a blank leading cell stays inside.
double nominal_aspect(int cells) {
  switch (cells) {
    case 2:
      return 1.40;
    case 4:
      return 2.75;
    default:
      return 0.62;
  }
}

std::array<int64_t, 256> histogram(const cv::Mat& grey) {
  std::array<int64_t, 256> counts{};
  for (int r = 0; r < grey.rows; ++r) {
    const uint8_t* row = grey.ptr<uint8_t>(r);
    for (int c = 0; c < grey.cols; ++c) {
      ++counts[row[c]];
    }
  }
  return counts;
}

// The k-th smallest pixel value (0-based).
int kth_value(const std::array<int64_t, 256>& counts, int64_t k) {
  int64_t seen = 0;
  for (int v = 0; v < 256; ++v) {
    seen += counts[v];
    if (seen > k) {
      return v;
    }
  }
  return 255;
}

// Rows of the display: the tallest glyph and the glyphs of similar height beside it.
std::pair<int, int> band_of(const std::vector<Blob>& glyphs) {
  const Blob* tall = &glyphs.front();
  for (const Blob& g : glyphs) {
    if (g.height > tall->height || (g.height == tall->height && g.area > tall->area)) {
      tall = &g;
    }
  }
  int top = tall->y;
  int bottom = tall->bottom();
  const int tall_top = top, tall_bottom = bottom;
  for (const Blob& g : glyphs) {
    const int overlap = std::min(tall_bottom, g.bottom()) - std::max(tall_top, g.y) + 1;
    if (g.height >= 0.45 * tall->height && overlap >= 0.5 * g.height) {
      top = std::min(top, g.y);
      bottom = std::max(bottom, g.bottom());
    }
  }
  return {top, bottom};
}

// Width of one whole lit digit: the narrowest full-height glyph clear of the borders that is not
// a 1 (neighbouring digits may merge into one glyph).
double digit_width(const std::vector<Blob>& glyphs, double height, int width) {
  double narrowest = 0.0;
  bool any = false;
  for (const Blob& g : glyphs) {
    if (g.height >= 0.75 * height && g.x > 1 && g.x + g.width < width - 1 &&
        g.width >= 0.3 * height) {
      narrowest = any ? std::min(narrowest, static_cast<double>(g.width)) : g.width;
      any = true;
    }
  }
  return any ? narrowest : 0.55 * height;
}

// The display's glyphs: without a neighbour's digit cut by the crop border (narrower than a whole
// digit), grouped by gaps of less than a digit height (a 1 leaves most of its cell dark); the group
// with the most ink.
std::vector<Blob> display_group(const std::vector<Blob>& glyphs, double height, int width) {
  const double digit = digit_width(glyphs, height, width);
  std::vector<Blob> kept;
  for (const Blob& g : glyphs) {
    const bool at_border = g.x <= 1 || g.x + g.width >= width - 1;
    if (!(at_border && g.width < 0.85 * digit)) {
      kept.push_back(g);
    }
  }
  if (kept.empty()) {
    kept = glyphs;
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Blob& a, const Blob& b) { return a.x < b.x; });
  std::vector<std::vector<Blob>> groups(1);
  int right = 0;
  for (const Blob& g : kept) {
    if (!groups.back().empty() && g.x - right > height) {
      groups.emplace_back();
    }
    right = groups.back().empty() ? g.right() : std::max(right, g.right());
    groups.back().push_back(g);
  }
  const std::vector<Blob>* best = &groups.front();
  int64_t best_ink = -1;
  for (const auto& group : groups) {
    int64_t ink = 0;
    for (const Blob& g : group) {
      ink += g.area;
    }
    if (ink > best_ink) {
      best_ink = ink;
      best = &group;
    }
  }
  return *best;
}

// The colon (two small dots, one above and one below the middle) or the decimal point (one small
// dot low in the band) among the segment pieces, as its centre column. The lit part may start at
// a 1 just left of the colon (" 1:33"), so the window reaches close to its left end.
std::optional<double> separator_of(const std::vector<Blob>& pieces, double left, double right,
                                   double top, double height) {
  std::vector<Blob> small;
  for (const Blob& p : pieces) {
    const double cx = p.x + p.width / 2.0;
    if (std::max(p.width, p.height) <= 0.28 * height && left + 0.08 * (right - left) < cx &&
        cx < right - 0.15 * (right - left)) {
      small.push_back(p);
    }
  }
  const double middle = top + height / 2.0;
  std::optional<double> colon;
  int64_t best = 0;
  for (size_t i = 0; i < small.size(); ++i) {
    for (size_t j = i + 1; j < small.size(); ++j) {
      const Blob& a = small[i];
      const Blob& b = small[j];
      const double ax = a.x + a.width / 2.0, bx = b.x + b.width / 2.0;
      const double ay = a.y + a.height / 2.0, by = b.y + b.height / 2.0;
      if (std::abs(ax - bx) < 0.12 * height && (ay - middle) * (by - middle) < 0 &&
          std::abs(ay - by) > 0.2 * height && (!colon || a.area + b.area > best)) {
        best = a.area + b.area;
        colon = (ax + bx) / 2.0;
      }
    }
  }
  if (colon) {
    return colon;
  }
  const Blob* dot = nullptr;
  for (const Blob& p : small) {
    if (p.y + p.height / 2.0 > top + 0.7 * height && p.height <= 0.2 * height &&
        (dot == nullptr || p.area > dot->area)) {
      dot = &p;
    }
  }
  if (dot != nullptr) {
    return dot->x + dot->width / 2.0;
  }
  return std::nullopt;
}

}  // namespace

double grey_median(const cv::Mat& grey) {
  const auto counts = histogram(grey);
  const int64_t n = static_cast<int64_t>(grey.total());
  if (n % 2 == 1) {
    return kth_value(counts, n / 2);
  }
  return (kth_value(counts, n / 2 - 1) + kth_value(counts, n / 2)) / 2.0;
}

double grey_percentile(const cv::Mat& grey, double percent) {
  const auto counts = histogram(grey);
  const int64_t n = static_cast<int64_t>(grey.total());
  const double position = percent / 100.0 * static_cast<double>(n - 1);
  const int64_t below = static_cast<int64_t>(std::floor(position));
  const double fraction = position - static_cast<double>(below);
  const int low = kth_value(counts, below);
  const int high = kth_value(counts, std::min(n - 1, below + 1));
  return low + fraction * (high - low);
}

int otsu_threshold(const cv::Mat& grey) {
  cv::Mat ignored;
  return static_cast<int>(
      cv::threshold(grey, ignored, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU));
}

std::vector<Blob> lit_components(const cv::Mat& mask, int64_t min_area) {
  cv::Mat labels, stats, centroids;
  const int n = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
  std::vector<Blob> out;
  for (int i = 1; i < n; ++i) {
    Blob b{stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
           stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT),
           stats.at<int>(i, cv::CC_STAT_AREA)};
    if (b.area >= min_area) {
      out.push_back(b);
    }
  }
  return out;
}

std::vector<Blob> without_edges(const std::vector<Blob>& blobs, int width, int height) {
  std::vector<Blob> kept;
  for (const Blob& b : blobs) {
    // A thin line along a side, or one across the whole crop (no digit of the zone is).
    const bool vertical_edge =
        b.height >= 0.8 * height && b.width <= std::max(3.0, 0.05 * width) &&
        (b.x <= 2 || b.x + b.width >= width - 2 || (b.y <= 2 && b.y + b.height >= height - 2));
    const bool horizontal_edge =
        b.width >= 0.8 * width && b.height <= std::max(3.0, 0.05 * height) &&
        (b.y <= 2 || b.y + b.height >= height - 2 || (b.x <= 2 && b.x + b.width >= width - 2));
    if (!vertical_edge && !horizontal_edge) {
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
        const double grow =
            1.0 + 0.4 * std::min({b.width - 1, b.height - 1, o.width - 1, o.height - 1});
        if (b.x - grow <= o.right() && o.x - grow <= b.right() && b.y - grow <= o.bottom() &&
            o.y - grow <= b.bottom()) {
          const int x1 = std::min(o.x, b.x), y1 = std::min(o.y, b.y);
          const int x2 = std::max(o.right(), b.right()), y2 = std::max(o.bottom(), b.bottom());
          o = Blob{x1, y1, x2 - x1 + 1, y2 - y1 + 1, o.area + b.area};
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

std::optional<FoundDisplay> find_display(const cv::Mat& grey_in, int cells) {
  const int h = grey_in.rows, w = grey_in.cols;
  if (h < 6 || w < 4) {
    return std::nullopt;
  }
  FoundDisplay found;
  double background = grey_median(grey_in);
  found.dark_on_light = background > 127;
  // A new image for the inverted board: assigning the expression to a header over grey_in would
  // write into the caller's pixels.
  const cv::Mat grey = found.dark_on_light ? cv::Mat(255 - grey_in) : grey_in;
  if (found.dark_on_light) {
    background = 255 - background;
  }
  const double peak = grey_percentile(grey, 99.5);
  if (peak - background < 20) {
    return std::nullopt;
  }
  const double level =
      std::max(static_cast<double>(otsu_threshold(grey)), background + 0.25 * (peak - background));
  cv::Mat mask = grey > level;
  const auto min_area =
      static_cast<int64_t>(std::ceil(std::max(2.0, 0.0003 * static_cast<double>(h) * w)));
  std::vector<Blob> pieces = without_edges(lit_components(mask, min_area), w, h);
  if (pieces.empty()) {
    return std::nullopt;
  }
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const Blob& a, const Blob& b) { return a.area > b.area; });
  if (pieces.size() > 150) {
    pieces.resize(150);
  }
  const std::vector<Blob> glyphs = merge_into_glyphs(pieces);
  const auto [top, bottom] = band_of(glyphs);
  const double height = bottom - top + 1;
  std::vector<Blob> members;
  for (const Blob& g : glyphs) {
    if (g.y >= top - 0.15 * height && g.bottom() <= bottom + 0.15 * height) {
      members.push_back(g);
    }
  }
  members = display_group(members, height, w);
  double left = members.front().x, right = members.front().right();
  for (const Blob& g : members) {
    left = std::min(left, static_cast<double>(g.x));
    right = std::max(right, static_cast<double>(g.right()));
  }
  const double nominal = nominal_aspect(cells) * height;
  if (cells == 4) {
    std::vector<Blob> inside;
    for (const Blob& p : pieces) {
      if (left <= p.x && p.right() <= right && p.y >= top - 0.15 * height &&
          p.bottom() <= bottom + 0.15 * height) {
        inside.push_back(p);
      }
    }
    found.separator_x = separator_of(inside, left, right, top, height);
  }
  if (found.separator_x) {
    // A clock's two sides are as wide as each other: the side with a blank cell takes the width
    // of the other.
    const double sx = *found.separator_x;
    const double half = std::max({sx - left, right - sx, nominal / 2.0});
    left = sx - half;
    right = sx + half;
  } else if (right - left + 1 < nominal) {
    left = right + 1 - nominal;  // blank cells lead: widen to the left
  }
  found.left = left;
  found.top = top;
  found.right = right;
  found.bottom = bottom;
  found.digit_height = height;
  return found;
}

}  // namespace native_ocr::zonescan::calibration
