#include "native_ocr/zonescan/zone.h"

#include <algorithm>
#include <cmath>

#include "native_ocr/numerics/numerics.h"

namespace native_ocr::zonescan {

BoundsError normalized_zone_bounds(const ZoneRect& zone, int64_t image_width, int64_t image_height,
                                   Bounds* out) {
  const double w = static_cast<double>(image_width);
  const double h = static_cast<double>(image_height);
  // The sums are formed before the products, as in (x + width) * W.
  const double edges[4] = {zone.x * w, zone.y * h, (zone.x + zone.width) * w,
                           (zone.y + zone.height) * h};
  int64_t pixels[4] = {};
  for (int i = 0; i < 4; ++i) {
    std::optional<int64_t> v = truncate_to_int(edges[i]);
    if (!v) {
      return std::isnan(edges[i]) ? BoundsError::kNaN : BoundsError::kInfinite;
    }
    pixels[i] = *v;
  }
  *out = Bounds{std::max<int64_t>(0, pixels[0]), std::max<int64_t>(0, pixels[1]),
                std::min(image_width, pixels[2]), std::min(image_height, pixels[3])};
  return BoundsError::kNone;
}

}  // namespace native_ocr::zonescan
