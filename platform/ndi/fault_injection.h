// Failures the tests can ask the loopback layer for, through NDI_LOOPBACK_FAIL: a comma-separated
// list of "initialize", "find_create" and "recv_create". Not meant for anything but tests.
#ifndef PLATFORM_NDI_FAULT_INJECTION_H_
#define PLATFORM_NDI_FAULT_INJECTION_H_

#include <string_view>

namespace ndi_loopback {

// Whether NDI_LOOPBACK_FAIL names the step.
bool fault_requested(std::string_view step);

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_FAULT_INJECTION_H_
