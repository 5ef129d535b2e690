// The interpreter's round(x, 3) without going through text for the common case.
#ifndef NATIVE_OCR_SEGSENSE_DECIMAL_ROUND_H_
#define NATIVE_OCR_SEGSENSE_DECIMAL_ROUND_H_

namespace native_ocr::segsense {

// The double nearest to x correctly rounded to three decimal places, ties to even, judged on the
// exact binary value of x (2.675 -> 2.675, 0.0625 -> 0.062, 1.0005 -> 1.0). NaN and infinities
// are returned unchanged.
double round3(double x);

}  // namespace native_ocr::segsense

#endif  // NATIVE_OCR_SEGSENSE_DECIMAL_ROUND_H_
