#include "native_ocr/segsense/decimal_round.h"

#include <cmath>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::segsense {

double round3(double x) {
  if (!std::isfinite(x) || x == 0.0) {
    return x;
  }
  // y = x * 1000 carries an error of at most half an ulp. Unless y lies within that error of a
  // half-integer, the exact product rounds to the same integer as y, and r / 1000 (one correctly
  // rounded division of exact values) is the double nearest to the decimal result. The rare
  // near-ties take the exact, text-based path.
  const double y = x * 1000.0;
  if (std::fabs(y) < 4503599627370496.0) {  // 2^52: below it y still has a fractional part
    const double floor_y = std::floor(y);
    const double distance_to_tie = std::fabs((y - floor_y) - 0.5);
    const double ulp_bound = std::fabs(y) * 0x1p-52;  // at least one ulp of y (or 0 for y = 0)
    if (distance_to_tie > 2.0 * ulp_bound) {
      const double r = (y - floor_y) > 0.5 ? floor_y + 1.0 : floor_y;
      return std::copysign(r / 1000.0, x);
    }
  }
  return python_round(x, 3);
}

}  // namespace native_ocr::segsense
