#include "native_ocr/zonescan/separator/window_blur.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// The taps of OpenCV's fixed-point kernel: its response to one pixel of 255 in a single row is
// (255 * tap + 128) >> 8, which is the tap itself for taps up to 128.
std::optional<std::vector<float>> impulse_taps(double sigma) {
  const int probe_radius = 64;
  cv::Mat row = cv::Mat::zeros(1, 4 * probe_radius + 1, CV_8UC1);
  const int centre = 2 * probe_radius;
  row.at<uint8_t>(0, centre) = 255;
  cv::Mat response;
  cv::GaussianBlur(row, response, cv::Size(0, 0), sigma);
  std::vector<int> taps;
  int first = -1;
  for (int x = 0; x < response.cols; ++x) {
    if (response.at<uint8_t>(0, x) != 0) {
      first = first < 0 ? x : first;
    }
  }
  if (first < 0 || first < centre - probe_radius + 1) {
    return std::nullopt;
  }
  const int radius = centre - first;
  int sum = 0;
  for (int x = first; x <= centre + radius; ++x) {
    taps.push_back(response.at<uint8_t>(0, x));
    sum += taps.back();
  }
  const bool symmetric = std::equal(taps.begin(), taps.end(), taps.rbegin());
  const bool small = *std::max_element(taps.begin(), taps.end()) <= 128;
  if (sum != 256 || !symmetric || !small) {
    return std::nullopt;
  }
  return std::vector<float>(taps.begin(), taps.end());
}

// Shapes the scheme must reproduce before it is trusted: the self-check's probe, degenerate rows
// and columns, windows narrower and wider than the kernel.
bool reproduces_opencv(const WindowBlur& blur, double sigma) {
  cv::RNG rng(0x5eb1);
  const cv::Size sizes[] = {{9, 85}, {1, 1}, {1, 40}, {40, 1}, {3, 2}, {6, 30}, {11, 60}, {50, 47}};
  for (const cv::Size& size : sizes) {
    cv::Mat gray(size, CV_8UC1);
    rng.fill(gray, cv::RNG::UNIFORM, 0, 256);
    cv::Mat expected;
    cv::GaussianBlur(gray, expected, cv::Size(0, 0), sigma);
    const std::vector<cv::Mat> got = blur.blur_windows(gray, {{0, size.width - 1}});
    if (cv::countNonZero(got[0] != expected) != 0) {
      return false;
    }
  }
  return true;
}

// Column pass over columns [first, last] of `gray`: the taps along each column, reflect-101 at the
// top and bottom, stored transposed (one row per column) so that the row pass runs along memory.
// Values are integers below 2^16, exact in single precision.
cv::Mat column_pass(const cv::Mat& gray, int first, int last, const std::vector<float>& taps) {
  const int rows = gray.rows;
  const int cols = last - first + 1;
  const int radius = static_cast<int>(taps.size() / 2);
  cv::Mat out(rows, cols, CV_32FC1);
  std::vector<float> pair(static_cast<size_t>(cols));
  for (int y = 0; y < rows; ++y) {
    float* __restrict acc = out.ptr<float>(y);
    const uint8_t* centre = gray.ptr<uint8_t>(y) + first;
    const float centre_tap = taps[static_cast<size_t>(radius)];
    for (int x = 0; x < cols; ++x) {
      acc[x] = centre_tap * static_cast<float>(centre[x]);
    }
    // Taps are symmetric: add the two rows at the same distance first (still exact integers).
    for (int j = 1; j <= radius; ++j) {
      const uint8_t* above = gray.ptr<uint8_t>(reflect_101(y - j, rows)) + first;
      const uint8_t* below = gray.ptr<uint8_t>(reflect_101(y + j, rows)) + first;
      const float tap = taps[static_cast<size_t>(radius + j)];
      for (int x = 0; x < cols; ++x) {
        acc[x] += tap * (static_cast<float>(above[x]) + static_cast<float>(below[x]));
      }
    }
  }
  cv::Mat transposed;
  cv::transpose(out, transposed);
  return transposed;
}

// The row pass of a window `width` columns wide folded onto the window's own columns:
// weights[x * width + c] is the total weight of column c in output column x once the reflected
// border is mapped back into the window.
std::vector<float> folded_weights(const std::vector<float>& taps, int width) {
  const int radius = static_cast<int>(taps.size() / 2);
  std::vector<float> weights(static_cast<size_t>(width) * static_cast<size_t>(width), 0.0f);
  for (int x = 0; x < width; ++x) {
    for (int i = -radius; i <= radius; ++i) {
      const int c = reflect_101(x + i, width);
      weights[static_cast<size_t>(x * width + c)] += taps[static_cast<size_t>(i + radius)];
    }
  }
  return weights;
}

// Output column x of the row pass of a window `width` columns wide whose first column is row
// `offset` of the transposed column pass: a weighted sum of the window's columns, rounded once,
// written from `out` down, one byte every `step`. `acc` is scratch of one float per row.
void row_pass_column(const cv::Mat& columns_t, int offset, int width,
                     const std::vector<float>& weights, int x, std::vector<float>& acc,
                     uint8_t* out, size_t step) {
  const int rows = columns_t.cols;
  std::array<float, 4> w{};
  std::array<const float*, 4> src{};
  size_t pending = 0;
  acc.assign(static_cast<size_t>(rows), 0.0f);
  float* __restrict sums = acc.data();
  // Four columns per pass over the sums: every partial sum is an integer below 2^24, so the
  // order of the additions does not change the result.
  const auto flush = [&] {
    if (pending == 4) {
      const float w0 = w[0];
      const float w1 = w[1];
      const float w2 = w[2];
      const float w3 = w[3];
      const float* __restrict s0 = src[0];
      const float* __restrict s1 = src[1];
      const float* __restrict s2 = src[2];
      const float* __restrict s3 = src[3];
      for (int y = 0; y < rows; ++y) {
        sums[y] += (w0 * s0[y] + w1 * s1[y]) + (w2 * s2[y] + w3 * s3[y]);
      }
    } else {
      for (size_t k = 0; k < pending; ++k) {
        const float wk = w[k];
        const float* __restrict s0 = src[k];
        for (int y = 0; y < rows; ++y) {
          sums[y] += wk * s0[y];
        }
      }
    }
    pending = 0;
  };
  for (int c = 0; c < width; ++c) {
    const float weight = weights[static_cast<size_t>(x * width + c)];
    if (weight != 0.0f) {
      w[pending] = weight;
      src[pending] = columns_t.ptr<float>(offset + c);
      if (++pending == 4) {
        flush();
      }
    }
  }
  flush();
  for (int y = 0; y < rows; ++y) {
    // Sums are integers below 2^24: exact in single precision. One rounding, half up.
    const uint32_t sum = static_cast<uint32_t>(sums[y]);
    out[static_cast<size_t>(y) * step] =
        static_cast<uint8_t>(std::min<uint32_t>((sum + 32768u) >> 16, 255u));
  }
}

// The row pass of one window whose first column is row `offset` of the transposed column pass.
cv::Mat row_pass(const cv::Mat& columns_t, int offset, int width,
                 const std::vector<float>& weights) {
  std::vector<float> acc;
  cv::Mat blurred(columns_t.cols, width, CV_8UC1);
  for (int x = 0; x < width; ++x) {
    row_pass_column(columns_t, offset, width, weights, x, acc, blurred.ptr<uint8_t>(0) + x,
                    blurred.step[0]);
  }
  return blurred;
}

}  // namespace

int reflect_101(int p, int length) {
  if (length == 1) {
    return 0;
  }
  while (p < 0 || p >= length) {
    p = p < 0 ? -p : 2 * (length - 1) - p;
  }
  return p;
}

WindowBlur::WindowBlur(std::vector<float> taps)
    : taps_(std::move(taps)), radius_(static_cast<int>(taps_.size() / 2)) {}

std::optional<WindowBlur> WindowBlur::from_opencv(double sigma) {
  std::optional<std::vector<float>> taps = impulse_taps(sigma);
  if (!taps) {
    return std::nullopt;
  }
  WindowBlur blur(std::move(*taps));
  if (!reproduces_opencv(blur, sigma)) {
    return std::nullopt;
  }
  return blur;
}

std::vector<cv::Mat> WindowBlur::blur_windows(
    const cv::Mat& gray, const std::vector<std::pair<int, int>>& columns) const {
  if (columns.empty()) {
    return {};
  }
  int first = columns[0].first;
  int last = columns[0].second;
  for (const auto& [left, right] : columns) {
    first = std::min(first, left);
    last = std::max(last, right);
  }
  CV_Assert(gray.type() == CV_8UC1 && first >= 0 && last < gray.cols && first <= last);
  const cv::Mat columns_t = column_pass(gray, first, last, taps_);  // one row per column
  std::vector<float> weights;
  int weights_width = -1;
  std::vector<cv::Mat> out;
  for (const auto& [left, right] : columns) {
    const int width = right - left + 1;
    if (width != weights_width) {
      weights = folded_weights(taps_, width);
      weights_width = width;
    }
    out.push_back(row_pass(columns_t, left - first, width, weights));
  }
  return out;
}

WindowBlurSequence::WindowBlurSequence(const WindowBlur& blur, const cv::Mat& gray, int first,
                                       int last)
    : blur_(blur), first_(first), last_(last) {
  CV_Assert(gray.type() == CV_8UC1 && first >= 0 && last < gray.cols && first <= last);
  columns_t_ = column_pass(gray, first, last, blur.taps_);
  const int r = blur.radius_;
  const int inner_cols = (last - first + 1) - 2 * r;
  if (inner_cols <= 0) {
    return;
  }
  // A window `2r + 1` columns wide has no reflected tap in its middle column: that column's
  // folded weights are the taps themselves, so the same code sums every inner column.
  const int span = 2 * r + 1;
  const std::vector<float> plain = folded_weights(blur.taps_, span);
  inner_.create(gray.rows, inner_cols, CV_8UC1);
  std::vector<float> acc;
  for (int x = 0; x < inner_cols; ++x) {
    // Inner column x is the middle column of the span whose first column is row x.
    row_pass_column(columns_t_, x, span, plain, r, acc, inner_.ptr<uint8_t>(0) + x, inner_.step[0]);
  }
}

void WindowBlurSequence::blur_into(int left, int right, cv::Mat& out) const {
  CV_Assert(first_ <= left && left <= right && right <= last_);
  const int width = right - left + 1;
  const int r = blur_.radius_;
  out.create(columns_t_.cols, width, CV_8UC1);
  if (width != weights_width_) {
    weights_ = folded_weights(blur_.taps_, width);
    weights_width_ = width;
  }
  std::vector<float> acc;
  const int offset = left - first_;
  for (int x = 0; x < width; ++x) {
    if (x < r || x > width - 1 - r) {
      row_pass_column(columns_t_, offset, width, weights_, x, acc, out.ptr<uint8_t>(0) + x,
                      out.step[0]);
    }
  }
  if (width > 2 * r) {
    // Inner column j holds absolute column first + r + j; the window's column r is left + r.
    const size_t count = static_cast<size_t>(width - 2 * r);
    for (int y = 0; y < out.rows; ++y) {
      std::copy_n(inner_.ptr<uint8_t>(y) + offset, count, out.ptr<uint8_t>(y) + r);
    }
  }
}

}  // namespace native_ocr::zonescan
