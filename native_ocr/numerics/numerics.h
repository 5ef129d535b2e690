// Numeric behaviours the readers share with the host interpreter and numpy: rounding as Python's
// round(), percentiles as numpy's default "linear" method, and numpy.convolve in mode "same".
#ifndef NATIVE_OCR_NUMERICS_NUMERICS_H_
#define NATIVE_OCR_NUMERICS_NUMERICS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace native_ocr {

// Python's min(a, b) and max(a, b) on floats: the first argument wins unless the second compares
// strictly smaller (larger), so NaN behaves as in the interpreter (min(7, nan) is 7, min(nan, 7)
// nan).
inline double py_min(double a, double b) {
  return b < a ? b : a;
}
inline double py_max(double a, double b) {
  return b > a ? b : a;
}

// max(low, min(high, value)) evaluated as written, NaN included: a NaN value gives high.
inline double py_clamp(double value, double low, double high) {
  return py_max(low, py_min(high, value));
}

// Python's round(x): nearest integer, ties to even (0.5 -> 0, 1.5 -> 2, -0.5 -> -0).
// NaN and infinities are returned unchanged.
double round_half_even(double x);

// round_half_even as an integer. Values outside the int64 range are clamped; NaN gives 0.
int64_t round_to_int(double x);

// The interpreter's int(x) of a float: truncation toward zero, saturated to the int64 range. NaN
// and infinities have no integer value (int() raises for them): nullopt.
std::optional<int64_t> truncate_to_int(double x);

// Python's round(x, ndigits) for ndigits >= 0: the double nearest to the decimal value of x
// correctly rounded to ndigits places, ties to even, judged on the exact binary value of x
// (2.675 -> 2.67, 1.005 -> 1.0, 0.125 -> 0.12). NaN and infinities are returned unchanged.
double python_round(double x, int ndigits);

// numpy.percentile(values, p) with the default linear method, on values already sorted ascending.
// values must not be empty.
double percentile_sorted(std::span<const double> sorted, double p);

// The p-th percentile of values (any order), selecting the two order statistics it needs instead of
// sorting. values is reordered. values must not be empty.
double percentile(std::span<double> values, double p);

// The p-th percentile of 8-bit samples, from their histogram (hist[v] = count of value v); total is
// the sum of the histogram and must be > 0.
double percentile_from_histogram(const uint32_t hist[256], uint64_t total, double p);

// numpy.convolve(a, v, mode="same"): max(len(a), len(v)) values. Both inputs must be non-empty.
std::vector<double> convolve_same(std::span<const double> a, std::span<const double> v);

}  // namespace native_ocr

#endif  // NATIVE_OCR_NUMERICS_NUMERICS_H_
