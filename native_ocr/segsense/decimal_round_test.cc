#include "native_ocr/segsense/decimal_round.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::segsense {
namespace {

TEST(Round3, MatchesTheInterpreterOnTiesAndNearTies) {
  EXPECT_EQ(round3(2.675), 2.675);
  EXPECT_EQ(round3(0.0625), 0.062);  // exact tie, to even
  EXPECT_EQ(round3(0.0635), 0.064);  // stored slightly above
  EXPECT_EQ(round3(1.0005), 1.0);    // stored slightly below
  EXPECT_EQ(round3(0.6171428571428571), 0.617);
  EXPECT_EQ(round3(-0.0625), -0.062);
  EXPECT_TRUE(std::signbit(round3(-0.0001)));
  EXPECT_EQ(round3(1e300), 1e300);
  EXPECT_TRUE(std::isnan(round3(NAN)));
}

TEST(Round3, AgreesWithTheExactConversionEverywhere) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> thousandths(0, 1000000);
  for (int i = 0; i < 40000; ++i) {
    const double a = unit(random);
    // Values at and next to three-decimal ties, and ratios like the classifier's.
    const double tie = (thousandths(random) + 0.5) / 1000.0;
    const double near = std::nextafter(tie, i % 2 ? 0.0 : 2000.0);
    const double ratio = static_cast<double>(thousandths(random) % 97) / 91.0;
    for (double v : {a, tie, near, ratio, -a}) {
      ASSERT_EQ(round3(v), python_round(v, 3)) << v;
    }
  }
}

}  // namespace
}  // namespace native_ocr::segsense
