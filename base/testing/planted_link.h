// For tests of the atomic writers: what a careless or hostile process may leave at the name of a
// temporary file, aimed at a file outside the published directory.
#ifndef BASE_TESTING_PLANTED_LINK_H_
#define BASE_TESTING_PLANTED_LINK_H_

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/testing/scoped_temp_dir.h"

namespace base {

enum class Plant { kSymlink, kDanglingSymlink, kHardLink };

struct PlantCase {
  const char* name;
  Plant kind;
};

inline constexpr PlantCase kPlantCases[] = {
    {"symbolic link to a file", Plant::kSymlink},
    {"dangling symbolic link", Plant::kDanglingSymlink},
    {"hard link to a file", Plant::kHardLink},
};

inline constexpr char kVictimContents[] = "outside, not to be touched";

// A directory "static" for the published files beside a file "victim" (same file system, so hard
// links work). The victim holds kVictimContents unless the plant is a dangling link.
class PlantedDirectory {
 public:
  explicit PlantedDirectory(Plant kind) : kind_(kind) {
    std::filesystem::create_directory(root_.file("static"));
    if (kind != Plant::kDanglingSymlink) {
      std::ofstream(victim(), std::ios::binary) << kVictimContents;
    }
  }

  std::string file(const std::string& name) const { return root_.file("static/" + name); }
  std::string victim() const { return root_.file("victim"); }

  // Plants the link at the given name; false when that failed.
  bool plant_at(const std::string& at) const {
    if (kind_ == Plant::kHardLink) {
      return ::link(victim().c_str(), at.c_str()) == 0;
    }
    return ::symlink(victim().c_str(), at.c_str()) == 0;
  }

  // True when the victim is exactly as it was planted.
  bool victim_untouched() const {
    if (kind_ == Plant::kDanglingSymlink) {
      return !std::filesystem::exists(std::filesystem::symlink_status(victim()));
    }
    return read_whole_file(victim()) == kVictimContents;
  }

 private:
  ScopedTempDir root_;
  Plant kind_;
};

}  // namespace base

#endif  // BASE_TESTING_PLANTED_LINK_H_
