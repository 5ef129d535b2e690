#include "platform/ndi/fault_injection.h"

#include <cstdlib>

namespace ndi_loopback {

bool fault_requested(std::string_view step) {
  const char* value = std::getenv("NDI_LOOPBACK_FAIL");
  if (value == nullptr) {
    return false;
  }
  std::string_view rest = value;
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    if (rest.substr(0, comma) == step) {
      return true;
    }
    if (comma == std::string_view::npos) {
      break;
    }
    rest.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace ndi_loopback
