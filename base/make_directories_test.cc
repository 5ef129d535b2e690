#include "base/make_directories.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "base/testing/scoped_temp_dir.h"

namespace base {
namespace {

mode_t permissions(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 0777;
}

TEST(MakeDirectoriesTest, CreatesMissingParentsWithTheModeAndKeepsExistingOnes) {
  ScopedTempDir dir;
  const mode_t old_mask = ::umask(022);
  std::filesystem::create_directory(dir.file("kept"));
  ::chmod(dir.file("kept").c_str(), 0750);
  EXPECT_EQ(make_directories(dir.file("kept/a//b/c/"), 0700), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("kept/a/b/c")));
  EXPECT_EQ(permissions(dir.file("kept")), 0750u);
  EXPECT_EQ(permissions(dir.file("kept/a/b")), 0700u);
  EXPECT_EQ(make_directories(dir.file("kept/a/b/c"), 0700), 0);  // all there already
  ::umask(old_mask);
}

TEST(MakeDirectoriesTest, AFileInTheWayIsNotADirectory) {
  ScopedTempDir dir;
  std::ofstream(dir.file("file")) << "x";
  EXPECT_EQ(make_directories(dir.file("file"), 0700), ENOTDIR);
  EXPECT_EQ(make_directories(dir.file("file/below"), 0700), ENOTDIR);
  EXPECT_EQ(make_directories("", 0700), ENOENT);
}

}  // namespace
}  // namespace base
