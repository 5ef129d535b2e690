#include "base/atomic_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "base/testing/planted_link.h"
#include "base/testing/scoped_temp_dir.h"

namespace base {
namespace {

TEST(ReplaceFileTest, PublishesContentsAndLeavesNoTemporaryFile) {
  ScopedTempDir dir;
  const std::string path = dir.file("status.json");
  const std::string temporary = path + ".tmp";
  ASSERT_TRUE(replace_file(path, temporary, "{\n}\n").ok());
  ASSERT_TRUE(replace_file(path, temporary, "second").ok());
  EXPECT_EQ(read_whole_file(path), "second");
  EXPECT_FALSE(std::filesystem::exists(temporary));
  ASSERT_TRUE(replace_file(path, temporary, "").ok());
  EXPECT_EQ(read_whole_file(path), "");
}

TEST(ReplaceFileTest, FailedOpenNamesTheStepAndLeavesThePublishedFileUntouched) {
  ScopedTempDir dir;
  const std::string path = dir.file("status.json");
  ASSERT_TRUE(replace_file(path, path + ".tmp", "old").ok());
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  // A directory in the temporary file's place cannot be opened for writing, even by root.
  std::filesystem::create_directory(path + ".tmp");

  const FileResult result = replace_file(path, path + ".tmp", "new");
  EXPECT_EQ(result.failed, FileStep::kOpen);
  EXPECT_EQ(result.error, EISDIR);
  EXPECT_EQ(read_whole_file(path), "old");
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_TRUE(std::filesystem::is_directory(path + ".tmp"));
}

TEST(ReplaceFileTest, FailedWriteDeletesTheTemporaryFile) {
  ScopedTempDir dir;
  const std::string path = dir.file("preview.jpg");
  ASSERT_TRUE(replace_file(path, path + ".tmp", "old").ok());
  const FileResult result = replace_file(path, path + ".tmp", [](std::FILE* file) {
    std::fputs("partial", file);
    return false;
  });
  EXPECT_EQ(result.failed, FileStep::kWrite);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_EQ(read_whole_file(path), "old");
}

TEST(ReplaceFileTest, FailedRenameDeletesOrKeepsTheTemporaryFileAsAsked) {
  ScopedTempDir dir;
  // A non-empty directory cannot be replaced by a file.
  const std::string path = dir.file("target");
  const std::string temporary = path + ".tmp";
  std::filesystem::create_directories(path + "/inside");

  FileResult result = replace_file(path, temporary, "contents");
  EXPECT_EQ(result.failed, FileStep::kRename);
  EXPECT_NE(result.error, 0);
  EXPECT_FALSE(std::filesystem::exists(temporary));

  ASSERT_TRUE(write_temporary_file(
                  temporary, [](std::FILE* file) { return std::fputs("x", file) >= 0; },
                  Durability::kUnsynced)
                  .ok());
  result = rename_temporary_file(temporary, path, OnRenameFailure::kKeepTemporary);
  EXPECT_EQ(result.failed, FileStep::kRename);
  EXPECT_EQ(read_whole_file(temporary), "x");
  EXPECT_TRUE(std::filesystem::is_directory(path + "/inside"));
}

// Whatever was left at the temporary name is replaced by a new file, never written through.
TEST(ReplaceFileTest, PlantedLinkAtTheTemporaryNameIsNotWrittenThrough) {
  const auto write_x = [](std::FILE* file) { return std::fputs("x", file) >= 0; };
  for (const PlantCase& plant : kPlantCases) {
    SCOPED_TRACE(plant.name);
    const PlantedDirectory dir(plant.kind);
    const std::string path = dir.file("status.json");
    ASSERT_TRUE(dir.plant_at(path + ".tmp"));
    EXPECT_TRUE(replace_file(path, path + ".tmp", "published").ok());
    EXPECT_TRUE(dir.victim_untouched());
    EXPECT_EQ(read_whole_file(path), "published");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path + ".tmp")));

    const std::string preview = dir.file("preview.tmp.jpg");
    ASSERT_TRUE(dir.plant_at(preview));
    EXPECT_TRUE(write_temporary_file(preview, write_x, Durability::kUnsynced).ok());
    EXPECT_TRUE(dir.victim_untouched());
    EXPECT_FALSE(std::filesystem::is_symlink(preview));
    EXPECT_EQ(read_whole_file(preview), "x");
  }
}

// The unique-name variant: the file gets its mode, no temporary sibling is left behind, and a
// failure in either step names it and leaves the published file and the directory as they were.
TEST(ReplaceFileViaUniqueTemporaryTest, PublishesWithModeAndCleansUpOnFailure) {
  ScopedTempDir dir;
  const std::string path = dir.file("keychain");
  ASSERT_TRUE(replace_file_via_unique_temporary(path, ".tmp.", "old", 0600).ok());
  ASSERT_TRUE(replace_file_via_unique_temporary(path, ".tmp.", "secret", 0600).ok());
  EXPECT_EQ(read_whole_file(path), "secret");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  const auto entries = [&dir] {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      ++n;
    }
    return n;
  };
  EXPECT_EQ(entries(), 1);

  FileResult result =
      replace_file_via_unique_temporary(dir.file("no/such/dir/file"), ".tmp-", "x", 0644);
  EXPECT_EQ(result.failed, FileStep::kOpen);
  EXPECT_EQ(result.error, ENOENT);

  const std::string occupied = dir.file("occupied");  // a non-empty directory: the rename fails
  std::filesystem::create_directories(occupied + "/inside");
  result = replace_file_via_unique_temporary(occupied, ".tmp-", "x", 0644);
  EXPECT_EQ(result.failed, FileStep::kRename);
  EXPECT_TRUE(std::filesystem::is_directory(occupied + "/inside"));
  EXPECT_EQ(entries(), 2);  // the keychain and the directory: no temporary sibling is left
  EXPECT_EQ(read_whole_file(path), "secret");
}

// A reader in another process opens the published path over and over while this process rewrites
// it with documents of very different sizes; it must only ever see one of them whole. The reader
// goes on until it has read thousands of times and seen both versions.
int read_repeatedly(const std::string& path, const std::string& a, const std::string& b) {
  bool seen_a = false;
  bool seen_b = false;
  for (int i = 0; i < 1000000; ++i) {
    const std::string seen = read_whole_file(path);
    if (seen != a && seen != b) {
      return 1;
    }
    seen_a = seen_a || seen == a;
    seen_b = seen_b || seen == b;
    if (i >= 3000 && seen_a && seen_b) {
      return 0;
    }
  }
  return 2;
}

TEST(ReplaceFileTest, ConcurrentReaderNeverSeesAPartialFile) {
  const std::string small = "{\n  \"state\": \"listening\"\n}\n";
  const std::string large = "{\n  \"pad\": \"" + std::string(200000, 'x') + "\"\n}\n";
  ScopedTempDir dir;
  const std::string path = dir.file("status.json");
  ASSERT_TRUE(replace_file(path, path + ".tmp", small).ok());
  const pid_t reader = ::fork();
  ASSERT_NE(reader, -1);
  if (reader == 0) {
    ::_exit(read_repeatedly(path, small, large));
  }
  int status = 0;
  bool write_large = true;
  while (::waitpid(reader, &status, WNOHANG) == 0) {
    ASSERT_TRUE(replace_file(path, path + ".tmp", write_large ? large : small).ok());
    write_large = !write_large;
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the reader saw a partial file; 2: it never saw both";
}

}  // namespace
}  // namespace base
