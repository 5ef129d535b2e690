// The sources announced in the runtime directory.
#ifndef PLATFORM_NDI_SOURCE_DIRECTORY_H_
#define PLATFORM_NDI_SOURCE_DIRECTORY_H_

#include <string>
#include <vector>

#include "platform/ndi/source_file.h"

namespace ndi_loopback {

struct AnnouncedSource {
  Announcement announcement;
  std::string path;  // the source file
};

// Every complete source file in dir whose sender is alive, ordered by file name. A missing or
// unreadable directory has none.
std::vector<AnnouncedSource> live_sources(const std::string& dir);

// Deletes the source files in dir whose sender is no longer alive.
void remove_stale_sources(const std::string& dir);

// Whether two scans list the same sources (names, URL addresses and senders) in the same order.
bool same_sources(const std::vector<AnnouncedSource>& a, const std::vector<AnnouncedSource>& b);

}  // namespace ndi_loopback

#endif  // PLATFORM_NDI_SOURCE_DIRECTORY_H_
