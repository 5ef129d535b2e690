#include "platform/ndi/source_directory.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "platform/ndi/runtime_dir.h"

namespace ndi_loopback {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

bool has_source_suffix(const std::string& name) {
  std::string suffix = kSourceSuffix;
  return name.size() > suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The paths of the source files in dir, ordered by name.
std::vector<std::string> source_file_paths(const std::string& dir) {
  std::vector<std::string> paths;
  std::unique_ptr<DIR, DirCloser> handle(::opendir(dir.c_str()));
  if (!handle) {
    return paths;
  }
  while (struct dirent* entry = ::readdir(handle.get())) {
    std::string name = entry->d_name;
    if (has_source_suffix(name)) {
      paths.push_back(dir + "/" + name);
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace

std::vector<AnnouncedSource> live_sources(const std::string& dir) {
  std::vector<AnnouncedSource> sources;
  for (std::string& path : source_file_paths(dir)) {
    AnnouncedSource source;
    source.path = std::move(path);
    if (read_announcement(source.path, &source.announcement) &&
        process_alive(source.announcement.pid)) {
      sources.push_back(std::move(source));
    }
  }
  return sources;
}

void remove_stale_sources(const std::string& dir) {
  for (const std::string& path : source_file_paths(dir)) {
    Announcement announcement;
    if (read_announcement(path, &announcement) && !process_alive(announcement.pid)) {
      ::unlink(path.c_str());
    }
  }
}

bool same_sources(const std::vector<AnnouncedSource>& a, const std::vector<AnnouncedSource>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const AnnouncedSource& x, const AnnouncedSource& y) {
                      return x.path == y.path && x.announcement.pid == y.announcement.pid &&
                             x.announcement.name == y.announcement.name &&
                             x.announcement.url_address == y.announcement.url_address &&
                             x.announcement.has_url == y.announcement.has_url;
                    });
}

}  // namespace ndi_loopback
