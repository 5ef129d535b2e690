#include "native_ocr/zonescan/zone.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace native_ocr::zonescan {
namespace {

Bounds bounds(ZoneRect zone, int64_t w, int64_t h) {
  Bounds b;
  EXPECT_EQ(normalized_zone_bounds(zone, w, h, &b), BoundsError::kNone);
  return b;
}

TEST(ZoneBounds, FractionsToPixels) {
  EXPECT_EQ(bounds({0.25, 0.5, 0.5, 0.25}, 1920, 1080), (Bounds{480, 540, 1440, 810}));
  // Truncation toward zero, the sum taken before the product: (0.1 + 0.2) * 10
  // is 3.0000000000000004.
  EXPECT_EQ(bounds({0.1, 0.1, 0.2, 0.2}, 10, 10), (Bounds{1, 1, 3, 3}));
}

TEST(ZoneBounds, CutAtTheFrameEdges) {
  EXPECT_EQ(bounds({0.9, 0.9, 0.5, 0.5}, 100, 50), (Bounds{90, 45, 100, 50}));
  EXPECT_EQ(bounds({-0.2, -0.1, 0.5, 0.5}, 100, 50), (Bounds{0, 0, 30, 20}));
}

TEST(ZoneBounds, EmptyZonesCoverNoPixel) {
  EXPECT_TRUE(covers_no_pixel(bounds({0.5, 0.5, 0.0, 0.2}, 100, 100)));
  EXPECT_TRUE(covers_no_pixel(bounds({1.5, 0.0, 0.2, 0.2}, 100, 100)));
  EXPECT_TRUE(covers_no_pixel(bounds({-0.5, 0.0, 0.2, 0.2}, 100, 100)));
  EXPECT_TRUE(covers_no_pixel(bounds({0.0, 0.0, 0.001, 0.5}, 100, 100)));
  EXPECT_FALSE(covers_no_pixel(bounds({0.0, 0.0, 0.01, 0.01}, 100, 100)));
}

TEST(ZoneBounds, HugeEdgesSaturateAndNonFiniteOnesFail) {
  EXPECT_EQ(bounds({-1e300, 0, 2e300, 1}, 100, 50), (Bounds{0, 0, 100, 50}));
  Bounds b;
  EXPECT_EQ(normalized_zone_bounds({std::nan(""), 0, 1, 1}, 10, 10, &b), BoundsError::kNaN);
  EXPECT_EQ(normalized_zone_bounds({0, 0, std::numeric_limits<double>::infinity(), 1}, 10, 10, &b),
            BoundsError::kInfinite);
  // inf - inf is NaN
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(normalized_zone_bounds({0, 0, 1, 1}, 0, 10, &b), BoundsError::kNone);
  EXPECT_EQ(normalized_zone_bounds({inf, 0, -inf, 1}, 10, 10, &b), BoundsError::kInfinite);
}

}  // namespace
}  // namespace native_ocr::zonescan
