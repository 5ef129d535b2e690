#include "native_ocr/numerics/numerics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace native_ocr {

double round_half_even(double x) {
  if (!std::isfinite(x)) {
    return x;
  }
  // Computed by hand rather than with nearbyint so that the floating-point rounding mode of the
  // calling thread cannot change the result.
  double floor_x = std::floor(x);
  double diff = x - floor_x;
  double result;
  if (diff > 0.5) {
    result = floor_x + 1.0;
  } else if (diff < 0.5) {
    result = floor_x;
  } else {
    result = std::fmod(floor_x, 2.0) == 0.0 ? floor_x : floor_x + 1.0;
  }
  return std::copysign(result, x);
}

int64_t round_to_int(double x) {
  if (std::isnan(x)) {
    return 0;
  }
  double r = round_half_even(x);
  constexpr double kMax = 9223372036854775807.0;  // 2^63, just outside int64
  if (r >= kMax) {
    return std::numeric_limits<int64_t>::max();
  }
  if (r < -kMax) {
    return std::numeric_limits<int64_t>::min();
  }
  return static_cast<int64_t>(r);
}

std::optional<int64_t> truncate_to_int(double x) {
  if (!std::isfinite(x)) {
    return std::nullopt;
  }
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (x >= kLimit) {
    return std::numeric_limits<int64_t>::max();
  }
  if (x < -kLimit) {
    return std::numeric_limits<int64_t>::min();
  }
  return static_cast<int64_t>(x);
}

double python_round(double x, int ndigits) {
  if (!std::isfinite(x) || x == 0.0) {
    return x;
  }
  // Fast path: y = x * 10^n carries an error of at most half an ulp. Unless y lies within that
  // error of a half-integer, the exact product rounds to the same integer r as y, and r / 10^n
  // (one correctly rounded division of exact values) is the double nearest to the decimal result.
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (ndigits >= 0 && ndigits <= 15) {
    const double scale = kPowers[ndigits];
    const double y = x * scale;
    if (std::fabs(y) < 4503599627370496.0) {  // 2^52: y still has a fractional part
      const double floor_y = std::floor(y);
      const double distance_to_tie = std::fabs((y - floor_y) - 0.5);
      if (distance_to_tie > 2.0 * std::fabs(y) * 0x1p-52) {  // beyond one ulp of y
        const double r = (y - floor_y) > 0.5 ? floor_y + 1.0 : floor_y;
        return std::copysign(r / scale, x);
      }
    }
  }
  // glibc's printf rounds the exact binary value correctly, ties to even; parsing the text gives
  // the double nearest to that decimal, which is what CPython's round() returns.
  char text[400];
  std::snprintf(text, sizeof(text), "%.*f", ndigits, x);
  return std::copysign(std::strtod(text, nullptr), x);
}

namespace {

// Where the p-th percentile of n values falls: the ranks of the two order statistics around it and
// the fraction of the way from the first to the second.
struct PercentilePosition {
  uint64_t i;
  uint64_t j;
  double t;
};

PercentilePosition percentile_position(uint64_t n, double p) {
  double q = p / 100.0;
  double g = static_cast<double>(n - 1) * q;
  double gi = std::floor(g);
  uint64_t i = gi <= 0.0 ? 0 : std::min(static_cast<uint64_t>(gi), n - 1);
  return {i, std::min(i + 1, n - 1), g - gi};
}

// numpy's interpolation, which switches sides at t = 0.5.
double interpolate(double a, double b, double t) {
  if (t < 0.5) {
    return a + (b - a) * t;
  }
  return b - (b - a) * (1.0 - t);
}

}  // namespace

double percentile_sorted(std::span<const double> sorted, double p) {
  PercentilePosition at = percentile_position(sorted.size(), p);
  return interpolate(sorted[at.i], sorted[at.j], at.t);
}

double percentile(std::span<double> values, double p) {
  PercentilePosition at = percentile_position(values.size(), p);
  auto nth = values.begin() + static_cast<std::ptrdiff_t>(at.i);
  std::nth_element(values.begin(), nth, values.end());
  double a = *nth;
  double b = at.j != at.i ? *std::min_element(nth + 1, values.end()) : a;
  return interpolate(a, b, at.t);
}

double percentile_from_histogram(const uint32_t hist[256], uint64_t total, double p) {
  PercentilePosition at = percentile_position(total, p);
  // The order statistics at ranks i and j.
  double a = 0.0;
  double b = 0.0;
  uint64_t seen = 0;
  bool have_a = false;
  for (int v = 0; v < 256; ++v) {
    seen += hist[v];
    if (!have_a && seen > at.i) {
      a = v;
      have_a = true;
    }
    if (seen > at.j) {
      b = v;
      break;
    }
  }
  return interpolate(a, b, at.t);
}

std::vector<double> convolve_same(std::span<const double> a, std::span<const double> v) {
  const size_t n = a.size();
  const size_t k = v.size();
  const size_t m = std::min(n, k);
  const size_t out_len = std::max(n, k);
  const size_t offset = (m - 1) / 2;
  std::vector<double> out(out_len, 0.0);
  for (size_t o = 0; o < out_len; ++o) {
    size_t jj = o + offset;  // index into the full convolution
    // full[jj] = sum over i of a[i] * v[jj - i], 0 <= i < n, 0 <= jj - i < k
    size_t i_lo = jj >= k - 1 ? jj - (k - 1) : 0;
    size_t i_hi = std::min(jj, n - 1);
    double sum = 0.0;
    for (size_t i = i_lo; i <= i_hi; ++i) {
      sum += a[i] * v[jj - i];
    }
    out[o] = sum;
  }
  return out;
}

}  // namespace native_ocr
