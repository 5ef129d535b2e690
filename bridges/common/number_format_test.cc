#include "bridges/common/number_format.h"

#include <cmath>

#include <gtest/gtest.h>

namespace bridges {
namespace {

TEST(NumberFormatTest, General17KeepsSeventeenDigitsAndDropsTrailingZeros) {
  EXPECT_EQ(format_general17(0.0), "0");
  EXPECT_EQ(format_general17(1.5), "1.5");
  EXPECT_EQ(format_general17(0.1), "0.10000000000000001");
  EXPECT_EQ(format_general17(1765000000.25), "1765000000.25");
  EXPECT_EQ(format_general17(1765000000.123456), "1765000000.123456");
  EXPECT_EQ(format_general17(1765000000.1), "1765000000.0999999");
  EXPECT_EQ(format_general17(33.333333333333336), "33.333333333333336");
  EXPECT_EQ(format_general17(1e20), "1e+20");
  EXPECT_EQ(format_general17(1.25e-7), "1.2499999999999999e-07");
  EXPECT_EQ(format_general17(-2.0), "-2");
}

TEST(NumberFormatTest, Fixed3HasExactlyThreeDecimals) {
  EXPECT_EQ(format_fixed3(0.0), "0.000");
  EXPECT_EQ(format_fixed3(1765000000.123456), "1765000000.123");
  EXPECT_EQ(format_fixed3(2.0005), "2.001");  // 2.0005 is stored slightly above
  EXPECT_EQ(format_fixed3(-1.5), "-1.500");
  EXPECT_EQ(format_fixed3(1e300).size(), 305u);
}

}  // namespace
}  // namespace bridges
