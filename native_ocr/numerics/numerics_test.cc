#include "native_ocr/numerics/numerics.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace native_ocr {
namespace {

TEST(RoundHalfEven, TiesGoToEven) {
  struct Row {
    double in, out;
  } rows[] = {{0.5, 0.0}, {1.5, 2.0}, {2.5, 2.0},   {-0.5, -0.0},   {-1.5, -2.0},
              {2.4, 2.0}, {2.6, 3.0}, {-2.6, -3.0}, {1e300, 1e300}, {0.49999999999999994, 0.0}};
  for (const Row& r : rows) {
    EXPECT_EQ(round_half_even(r.in), r.out) << r.in;
  }
  EXPECT_TRUE(std::signbit(round_half_even(-0.4)));
  EXPECT_TRUE(std::isnan(round_half_even(NAN)));
}

TEST(RoundToInt, ClampsAndMapsNanToZero) {
  EXPECT_EQ(round_to_int(2.5), 2);
  EXPECT_EQ(round_to_int(1e30), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(round_to_int(-1e30), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(round_to_int(NAN), 0);
}

TEST(TruncateToInt, TowardZeroSaturatingAndNoneForNonFinite) {
  EXPECT_EQ(truncate_to_int(150.9), 150);
  EXPECT_EQ(truncate_to_int(-0.5), 0);
  EXPECT_EQ(truncate_to_int(-2.7), -2);
  EXPECT_EQ(truncate_to_int(1e300), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(truncate_to_int(-1e300), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(truncate_to_int(std::nan("")), std::nullopt);
  EXPECT_EQ(truncate_to_int(-std::numeric_limits<double>::infinity()), std::nullopt);
}

TEST(PythonRound, JudgesTheExactBinaryValue) {
  struct Row {
    double in;
    int digits;
    double out;
  } rows[] = {
      {2.675, 2, 2.67}, {1.005, 2, 1.0},         {0.125, 2, 0.12},     {0.375, 2, 0.38},
      {2.5, 0, 2.0},    {0.1234567, 3, 0.123},   {-0.0005, 3, -0.001}, {123456.7895, 3, 123456.789},
      {1e20, 3, 1e20},  {0.3333333333, 3, 0.333}};
  for (const Row& r : rows) {
    EXPECT_EQ(python_round(r.in, r.digits), r.out) << r.in;
  }
  EXPECT_TRUE(std::signbit(python_round(-0.0001, 3)));
  EXPECT_TRUE(std::isinf(python_round(INFINITY, 3)));
}

// Values far from a decimal tie take the arithmetic path; the results are the interpreter's.
TEST(PythonRound, ArithmeticPathAgreesWithTheInterpreter) {
  EXPECT_EQ(python_round(0.30000000000000004, 4), 0.3);
  EXPECT_EQ(python_round(123.456785, 5), 123.45678);
  EXPECT_EQ(python_round(1234567.891234, 3), 1234567.891);
  EXPECT_EQ(python_round(-7.77777, 2), -7.78);
  EXPECT_EQ(python_round(1.5, 0), 2.0);
  EXPECT_EQ(python_round(4503599627.370496, 6), 4503599627.370496);
  EXPECT_TRUE(std::signbit(python_round(-4e-05, 4)));
  EXPECT_EQ(python_round(1e-09, 8), 0.0);
}

TEST(Percentile, SwitchesSidesAtHalfwayLikeNumpy) {
  std::vector<double> v = {0, 89, 239};
  // The one-sided formula gives 220.99999999999997 here.
  EXPECT_EQ(percentile_sorted(v, 94), 221.0);
  std::vector<double> shuffled = {239, 0, 89};
  EXPECT_EQ(percentile(shuffled, 94), 221.0);
}

TEST(Percentile, EndsAndSingleValue) {
  std::vector<double> v = {5, 1, 4, 2, 3};
  EXPECT_EQ(percentile(v, 0), 1.0);
  EXPECT_EQ(percentile(v, 100), 5.0);
  EXPECT_EQ(percentile(v, 50), 3.0);
  EXPECT_EQ(percentile(v, 10), 1.4);
  std::vector<double> one = {7};
  EXPECT_EQ(percentile(one, 73), 7.0);
}

TEST(Percentile, HistogramAgreesWithSelection) {
  std::vector<double> values;
  uint32_t hist[256] = {};
  for (int i = 0; i < 997; ++i) {
    int v = (i * 7919) % 251;
    values.push_back(v);
    hist[v]++;
  }
  for (double p : {0.0, 1.0, 5.0, 33.3, 50.0, 90.0, 94.0, 99.5, 100.0}) {
    std::vector<double> copy = values;
    EXPECT_EQ(percentile_from_histogram(hist, values.size(), p), percentile(copy, p)) << p;
  }
}

TEST(ConvolveSame, KernelLongerThanProfileGivesKernelLength) {
  std::vector<double> a = {1, 2, 3};
  std::vector<double> v(5, 0.2);
  std::vector<double> out = convolve_same(a, v);
  ASSERT_EQ(out.size(), 5u);
  const double expected[] = {0.6, 1.2, 1.2, 1.2, 1.0};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(out[i], expected[i], 1e-12) << i;
  }
}

TEST(ConvolveSame, CentredOnProfile) {
  std::vector<double> a = {0, 0, 3, 0, 0, 0};
  std::vector<double> v = {1, 1, 1};
  EXPECT_EQ(convolve_same(a, v), (std::vector<double>{0, 3, 3, 3, 0, 0}));
  std::vector<double> even = {1, 2};
  // numpy.convolve([0,0,3,0,0,0], [1,2], 'same') == [0, 0, 3, 6, 0, 0]
  EXPECT_EQ(convolve_same(a, even), (std::vector<double>{0, 0, 3, 6, 0, 0}));
}

}  // namespace
}  // namespace native_ocr
