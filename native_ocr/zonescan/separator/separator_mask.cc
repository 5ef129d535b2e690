#include "native_ocr/zonescan/separator/separator_mask.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numeric>

#include <opencv2/imgproc.hpp>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan {
namespace {

using Histogram = std::array<uint32_t, 256>;

// int() of the p-th percentile of 8-bit samples counted in `hist`.
int64_t histogram_percentile_int(const Histogram& hist, uint64_t total, double p) {
  return static_cast<int64_t>(percentile_from_histogram(hist.data(), total, p));
}

// The grey version of a colour window. OpenCV's conversion decides what counts as colour: three
// channels, or four (a BGRA window reads as its BGR part); anything else raises its own error.
cv::Mat window_gray(const cv::Mat& crop) {
  if (crop.empty()) {
    CV_Error(cv::Error::StsBadArg, "separator window is empty");
  }
  cv::Mat gray;
  cv::cvtColor(crop, gray, cv::COLOR_BGR2GRAY);
  if (crop.depth() != CV_8U) {
    CV_Error(cv::Error::StsUnsupportedFormat, "separator window must be an 8-bit image");
  }
  return gray;
}

void require_plane(const cv::Mat& plane, const cv::Size& size, const char* what) {
  if (plane.type() != CV_8UC1 || plane.size() != size) {
    CV_Error_(cv::Error::StsUnmatchedSizes,
              ("%s must be an 8-bit single-channel image of the window's size", what));
  }
}

// OpenCV's 3x3 elliptical structuring element, as offsets from its centre.
const std::vector<cv::Point>& closing_offsets() {
  static const std::vector<cv::Point> offsets = [] {
    const cv::Mat element = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
    std::vector<cv::Point> out;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 3; ++x) {
        if (element.at<uint8_t>(y, x) != 0) {
          out.emplace_back(x - 1, y - 1);
        }
      }
    }
    return out;
  }();
  return offsets;
}

// Every pixel of an 8-bit single-channel image set to `level`.
void fill(cv::Mat& image, uint8_t level) {
  for (int y = 0; y < image.rows; ++y) {
    std::fill_n(image.ptr<uint8_t>(y), image.cols, level);
  }
}

// Dilation (largest neighbour) or erosion (smallest) over the element; pixels beyond the image
// edge are ignored, as OpenCV's default morphology border does (a neutral border of 0 for the
// dilation, 255 for the erosion).
void morphology_3x3(const cv::Mat& in, bool dilate, cv::Mat& padded, cv::Mat& out) {
  const std::vector<cv::Point>& offsets = closing_offsets();
  padded.create(in.rows + 2, in.cols + 2, CV_8UC1);
  fill(padded, dilate ? 0 : 255);
  in.copyTo(padded(cv::Rect(1, 1, in.cols, in.rows)));
  out.create(in.size(), CV_8UC1);
  const int cols = in.cols;
  constexpr size_t kCrossPoints = 5;
  for (int y = 0; y < in.rows; ++y) {
    uint8_t* __restrict dst = out.ptr<uint8_t>(y);
    if (offsets.size() == kCrossPoints) {
      // The usual element, a cross of five points: all five neighbours in one pass.
      std::array<const uint8_t*, kCrossPoints> s{};
      for (size_t k = 0; k < kCrossPoints; ++k) {
        s[k] = padded.ptr<uint8_t>(y + 1 + offsets[k].y) + 1 + offsets[k].x;
      }
      const uint8_t* __restrict s0 = s[0];
      const uint8_t* __restrict s1 = s[1];
      const uint8_t* __restrict s2 = s[2];
      const uint8_t* __restrict s3 = s[3];
      const uint8_t* __restrict s4 = s[4];
      if (dilate) {
        for (int x = 0; x < cols; ++x) {
          dst[x] = std::max(std::max(std::max(s0[x], s1[x]), std::max(s2[x], s3[x])), s4[x]);
        }
      } else {
        for (int x = 0; x < cols; ++x) {
          dst[x] = std::min(std::min(std::min(s0[x], s1[x]), std::min(s2[x], s3[x])), s4[x]);
        }
      }
      continue;
    }
    for (size_t k = 0; k < offsets.size(); ++k) {
      const uint8_t* __restrict src = padded.ptr<uint8_t>(y + 1 + offsets[k].y) + 1 + offsets[k].x;
      if (k == 0) {
        std::copy(src, src + cols, dst);
      } else if (dilate) {
        for (int x = 0; x < cols; ++x) {
          dst[x] = std::max(dst[x], src[x]);
        }
      } else {
        for (int x = 0; x < cols; ++x) {
          dst[x] = std::min(dst[x], src[x]);
        }
      }
    }
  }
}

using PixelRun = MaskRun;

int find_root(std::vector<PixelRun>& runs, int i) {
  while (runs[static_cast<size_t>(i)].parent != i) {
    PixelRun& r = runs[static_cast<size_t>(i)];
    r.parent = runs[static_cast<size_t>(r.parent)].parent;  // path halving
    i = r.parent;
  }
  return i;
}

// Bit x % 64 of word x / 64 set where row[x] is lit; bits past the row's end stay clear.
void lit_bits(const uint8_t* row, int cols, std::vector<uint64_t>& words) {
  words.assign(static_cast<size_t>(cols / 64 + 1), 0);
  int x = 0;
  for (; x + 64 <= cols; x += 64) {
    uint64_t bits = 0;
    for (int k = 0; k < 64; ++k) {
      bits |= static_cast<uint64_t>(row[x + k] != 0) << k;
    }
    words[static_cast<size_t>(x / 64)] = bits;
  }
  for (; x < cols; ++x) {
    words[static_cast<size_t>(x / 64)] |= static_cast<uint64_t>(row[x] != 0) << (x % 64);
  }
}

// The first column at or after `from` whose bit is `lit`; `end` (the words' bit count) when none.
int next_bit(const std::vector<uint64_t>& words, int from, bool lit) {
  const int end = static_cast<int>(words.size()) * 64;
  if (from >= end) {
    return end;
  }
  size_t w = static_cast<size_t>(from / 64);
  uint64_t bits = (lit ? words[w] : ~words[w]) & (~uint64_t{0} << (from % 64));
  while (bits == 0) {
    if (++w == words.size()) {
      return end;
    }
    bits = lit ? words[w] : ~words[w];
  }
  return static_cast<int>(w * 64) + std::countr_zero(bits);
}

// The runs of lit pixels, row by row, each joined with the runs of the row above that touch it
// (8-connectivity: overlapping or diagonally adjacent).
void connected_runs(const cv::Mat& mask, std::vector<PixelRun>& runs) {
  runs.clear();
  size_t above_begin = 0;
  std::vector<uint64_t> words;
  for (int y = 0; y < mask.rows; ++y) {
    lit_bits(mask.ptr<uint8_t>(y), mask.cols, words);
    const size_t row_begin = runs.size();
    size_t above = above_begin;
    for (int begin = next_bit(words, 0, true); begin < mask.cols;
         begin = next_bit(words, begin, true)) {
      // The bits past the row's end are clear: a run ends at the row's end at the latest.
      const int x = next_bit(words, begin, false);
      const int id = static_cast<int>(runs.size());
      runs.push_back({y, begin, x, id});
      // The runs above are in column order and so are this row's: a run above that ends before
      // this one begins touches no later run of this row either.
      while (above < row_begin && runs[above].end < begin) {
        ++above;
      }
      for (size_t a = above; a < row_begin && runs[a].begin <= x; ++a) {
        if (runs[a].end >= begin) {  // within one column of each other
          const int ra = find_root(runs, static_cast<int>(a));
          const int rb = find_root(runs, id);
          runs[static_cast<size_t>(std::max(ra, rb))].parent = std::min(ra, rb);
        }
      }
      begin = x;
    }
    above_begin = row_begin;
  }
}

// remove_small_components into `out`, with the runs and areas in the given vectors.
void keep_large_components(const cv::Mat& mask, int64_t min_area, std::vector<PixelRun>& runs,
                           std::vector<int64_t>& area, cv::Mat& out) {
  out.create(mask.size(), CV_8UC1);
  fill(out, 0);
  connected_runs(mask, runs);
  area.assign(runs.size(), 0);
  for (size_t i = 0; i < runs.size(); ++i) {
    // Each run's root, kept as its parent: later look-ups end at once.
    runs[i].parent = find_root(runs, static_cast<int>(i));
    area[static_cast<size_t>(runs[i].parent)] += runs[i].end - runs[i].begin;
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    const PixelRun& r = runs[i];
    if (area[static_cast<size_t>(r.parent)] >= min_area) {
      uint8_t* dst = out.ptr<uint8_t>(r.row);
      std::fill(dst + r.begin, dst + r.end, uint8_t{255});
    }
  }
}

// The three planes of one window: 8-bit single-channel, one size, not empty.
void require_planes(const cv::Mat& gray, const cv::Mat& value, const cv::Mat& blurred_gray) {
  const cv::Size size = gray.size();
  require_plane(gray, size, "grey plane");
  require_plane(value, size, "value plane");
  require_plane(blurred_gray, size, "blurred_gray");
  if (size.area() == 0) {
    CV_Error(cv::Error::StsBadArg, "separator window is empty");
  }
}

// The mask of the planes from their histograms: bright pixels and pixels standing out from their
// surroundings, at cuts taken from the histograms, specks removed, then closed.
cv::Mat mask_with_cuts(const cv::Mat& gray, const cv::Mat& value, const cv::Mat& blurred_gray,
                       const MaskHistograms& histograms, MaskScratch& scratch) {
  const cv::Size size = gray.size();
  const int rows = size.height;
  const int cols = size.width;
  const uint64_t total = static_cast<uint64_t>(rows) * static_cast<uint64_t>(cols);
  const int64_t bright_cut =
      std::max<int64_t>(histogram_percentile_int(histograms.value, total, 94), 135);
  const int64_t detail_cut =
      std::max<int64_t>(histogram_percentile_int(histograms.detail, total, 94), 8);
  const int64_t gray_cut =
      std::max<int64_t>(histogram_percentile_int(histograms.gray, total, 82), 105);
  // The cuts are levels of 8-bit histograms: compared as 8-bit levels the loop runs in vectors.
  const auto level = [](int64_t cut) { return static_cast<uint8_t>(std::min<int64_t>(cut, 255)); };
  const uint8_t bright_level = level(bright_cut);
  const uint8_t detail_level = level(detail_cut);
  const uint8_t gray_level = level(gray_cut);
  cv::Mat& mask = scratch.raw;
  mask.create(size, CV_8UC1);
  for (int y = 0; y < rows; ++y) {
    const uint8_t* __restrict g = gray.ptr<uint8_t>(y);
    const uint8_t* __restrict v = value.ptr<uint8_t>(y);
    const uint8_t* __restrict b = blurred_gray.ptr<uint8_t>(y);
    uint8_t* __restrict m = mask.ptr<uint8_t>(y);
    for (int x = 0; x < cols; ++x) {
      const uint8_t d = g[x] > b[x] ? static_cast<uint8_t>(g[x] - b[x]) : 0;
      const bool bright = v[x] >= bright_level;
      const bool local = (g[x] >= gray_level) & (d >= detail_level);
      m[x] = (bright || local) ? 255 : 0;
    }
  }
  const double scaled = static_cast<double>(rows) * static_cast<double>(cols) * 1.5e-05;
  const int64_t min_area = std::max<int64_t>(static_cast<int64_t>(scaled), 3);
  keep_large_components(mask, min_area, scratch.runs, scratch.area, scratch.kept);
  morphology_3x3(scratch.kept, true, scratch.padded, scratch.dilated);  // closing
  morphology_3x3(scratch.dilated, false, scratch.padded, scratch.closed);
  return scratch.closed;
}

}  // namespace

WindowPlanes separator_planes(const cv::Mat& bgr) {
  WindowPlanes planes;
  planes.gray = window_gray(bgr);
  // The value plane of the HSV version: the largest of blue, green and red (alpha is not colour).
  const int channels = bgr.channels();
  planes.value.create(bgr.size(), CV_8UC1);
  for (int y = 0; y < bgr.rows; ++y) {
    const uint8_t* in = bgr.ptr<uint8_t>(y);
    uint8_t* out = planes.value.ptr<uint8_t>(y);
    for (int x = 0; x < bgr.cols; ++x, in += channels) {
      out[x] = std::max(std::max(in[0], in[1]), in[2]);
    }
  }
  return planes;
}

cv::Mat clock_separator_mask(const cv::Mat& crop, const cv::Mat& blurred_gray) {
  const WindowPlanes planes = separator_planes(crop);
  cv::Mat blurred = blurred_gray;
  if (blurred.empty()) {
    cv::GaussianBlur(planes.gray, blurred, cv::Size(0, 0), kSeparatorBlurSigma);
  }
  return separator_mask_from_planes(planes.gray, planes.value, blurred);
}

cv::Mat separator_mask_from_planes(const cv::Mat& gray, const cv::Mat& value,
                                   const cv::Mat& blurred_gray, Histogram* gray_hist_out) {
  const cv::Size size = gray.size();
  require_planes(gray, value, blurred_gray);
  // Even and odd columns count into their own histograms, summed after: neighbouring pixels of
  // one level then do not wait on each other's increment.
  MaskHistograms counted;
  Histogram& value_hist = counted.value;
  Histogram& gray_hist = counted.gray;
  Histogram& detail_hist = counted.detail;
  Histogram value_odd{};
  Histogram gray_odd{};
  Histogram detail_odd{};
  std::vector<uint8_t> detail(static_cast<size_t>(size.width));
  for (int y = 0; y < size.height; ++y) {
    const uint8_t* g = gray.ptr<uint8_t>(y);
    const uint8_t* v = value.ptr<uint8_t>(y);
    const uint8_t* b = blurred_gray.ptr<uint8_t>(y);
    uint8_t* d = detail.data();
    const int cols = size.width;
    for (int x = 0; x < cols; ++x) {
      d[x] = g[x] > b[x] ? static_cast<uint8_t>(g[x] - b[x]) : 0;
    }
    int x = 0;
    for (; x + 1 < cols; x += 2) {
      ++value_hist[v[x]];
      ++gray_hist[g[x]];
      ++detail_hist[d[x]];
      ++value_odd[v[x + 1]];
      ++gray_odd[g[x + 1]];
      ++detail_odd[d[x + 1]];
    }
    if (x < cols) {
      ++value_hist[v[x]];
      ++gray_hist[g[x]];
      ++detail_hist[d[x]];
    }
  }
  for (size_t level = 0; level < value_hist.size(); ++level) {
    value_hist[level] += value_odd[level];
    gray_hist[level] += gray_odd[level];
    detail_hist[level] += detail_odd[level];
  }
  if (gray_hist_out != nullptr) {
    *gray_hist_out = gray_hist;
  }
  MaskScratch scratch;
  return mask_with_cuts(gray, value, blurred_gray, counted, scratch);
}

cv::Mat separator_mask_from_histograms(const cv::Mat& gray, const cv::Mat& value,
                                       const cv::Mat& blurred_gray,
                                       const MaskHistograms& histograms, MaskScratch* scratch) {
  require_planes(gray, value, blurred_gray);
  if (scratch != nullptr) {
    return mask_with_cuts(gray, value, blurred_gray, histograms, *scratch);
  }
  MaskScratch own;
  return mask_with_cuts(gray, value, blurred_gray, histograms, own);
}

cv::Mat remove_small_components(const cv::Mat& mask, int64_t min_area) {
  if (mask.type() != CV_8UC1) {
    CV_Error(cv::Error::StsBadArg, "mask must be an 8-bit single-channel image");
  }
  std::vector<PixelRun> runs;
  std::vector<int64_t> area;
  cv::Mat out;
  keep_large_components(mask, min_area, runs, area, out);
  return out;
}

std::vector<Run> separator_runs(std::span<const bool> bits) {
  std::vector<Run> runs;
  const int64_t n = static_cast<int64_t>(bits.size());
  int64_t i = 0;
  while (i < n) {
    if (!bits[static_cast<size_t>(i)]) {
      ++i;
      continue;
    }
    const int64_t start = i;
    while (i < n && bits[static_cast<size_t>(i)]) {
      ++i;
    }
    runs.push_back({start, i - 1});
  }
  return runs;
}

size_t search_sorted_left(std::span<const double> sorted, double key) {
  size_t lo = 0;
  size_t hi = sorted.size();
  while (lo < hi) {
    const size_t mid = lo + ((hi - lo) >> 1);
    if (sorted[mid] < key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

double weighted_quantile(std::span<const double> values, std::span<const double> weights,
                         double quantile) {
  const size_t n = std::min(values.size(), weights.size());
  std::vector<size_t> order(n);
  std::iota(order.begin(), order.end(), size_t{0});
  // Ascending with NaN last, as numpy's argsort orders them.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const double va = values[a];
    const double vb = values[b];
    return va < vb || (!std::isnan(va) && std::isnan(vb));
  });
  std::vector<double> cumulative(n);
  double running = 0.0;
  for (size_t i = 0; i < n; ++i) {
    running += weights[order[i]];
    cumulative[i] = running;
  }
  if (n == 0 || !(cumulative.back() > 0.0)) {
    return 0.0;
  }
  const size_t index = search_sorted_left(cumulative, quantile * cumulative.back());
  return values[order[std::min(index, n - 1)]];
}

}  // namespace native_ocr::zonescan
