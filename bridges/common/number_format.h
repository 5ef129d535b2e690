// Number formats of the published JSON documents, independent of the process locale's settings
// only as far as the C library's printf is (neither bridge calls setlocale).
#ifndef BRIDGES_COMMON_NUMBER_FORMAT_H_
#define BRIDGES_COMMON_NUMBER_FORMAT_H_

#include <string>

namespace bridges {

// ndi_bridge: 17 significant digits in the general notation, as "%.17g" gives them (fixed notation
// unless the exponent calls for scientific, trailing zeros dropped): 1765000000.25 ->
// "1765000000.25", 0.1 -> "0.10000000000000001".
std::string format_general17(double value);

// rivlet: fixed notation with exactly three decimals, as "%.3f" gives them.
std::string format_fixed3(double value);

}  // namespace bridges

#endif  // BRIDGES_COMMON_NUMBER_FORMAT_H_
