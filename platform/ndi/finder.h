// The loopback finder: the live sources of the runtime directory.
#ifndef PLATFORM_NDI_FINDER_H_
#define PLATFORM_NDI_FINDER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ndi/include/Processing.NDI.Lib.h"
#include "platform/ndi/source_directory.h"

namespace ndi_loopback {

class Finder {
 public:
  explicit Finder(std::string dir) : dir_(std::move(dir)) {}

  // Waits up to timeout_ms for the set of live sources to differ from the one the previous call
  // saw; true when it does.
  bool wait_for_sources(uint32_t timeout_ms);

  // The live sources now; the array and its strings stay valid until the next call.
  const NDIlib_source_t* current_sources(uint32_t* count);

 private:
  std::string dir_;
  std::vector<AnnouncedSource> seen_;
  std::vector<AnnouncedSource> current_;
  std::vector<NDIlib_source_t> entries_;
};

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_FINDER_H_
