// Zone geometry: from a zone's position as fractions of the frame to integer pixel bounds.
#ifndef NATIVE_OCR_ZONESCAN_ZONE_H_
#define NATIVE_OCR_ZONESCAN_ZONE_H_

#include <cstdint>

namespace native_ocr::zonescan {

// A zone's left and top edges and its size, as fractions of the frame width and height.
struct ZoneRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// Pixel bounds: x1, y1 inclusive, x2, y2 exclusive ends (columns x1 .. x2-1, rows y1 .. y2-1).
// Nothing orders x1 and x2: a zone outside the frame gives x2 <= x1.
struct Bounds {
  int64_t x1 = 0;
  int64_t y1 = 0;
  int64_t x2 = 0;
  int64_t y2 = 0;
  bool operator==(const Bounds&) const = default;
};

// Why a zone has no pixel bounds: one of its edges, in pixels, is NaN or infinite (the host's int()
// raises ValueError or OverflowError for those).
enum class BoundsError { kNone, kNaN, kInfinite };

// x1 = max(0, trunc(x * W)), y1 = max(0, trunc(y * H)), x2 = min(W, trunc((x + width) * W)),
// y2 = min(H, trunc((y + height) * H)); truncation toward zero, saturating at the int64 range.
// Returns kNone and sets *out, or the error of the first edge without an integer value.
BoundsError normalized_zone_bounds(const ZoneRect& zone, int64_t image_width, int64_t image_height,
                                   Bounds* out);

// True when the bounds cover no pixel (x2 <= x1 or y2 <= y1).
inline bool covers_no_pixel(const Bounds& b) {
  return b.x2 <= b.x1 || b.y2 <= b.y1;
}

}  // namespace native_ocr::zonescan

#endif  // NATIVE_OCR_ZONESCAN_ZONE_H_
