#include "bridges/common/atomic_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "bridges/common/planted_link.h"
#include "bridges/common/scoped_temp_dir.h"
#include "bridges/common/text_file.h"

namespace bridges {
namespace {

using Replace = std::function<bool(const std::string&, std::string_view)>;

struct Variant {
  const char* name;
  Replace replace;
};

const Variant kVariants[] = {
    {"ndi_bridge", write_text_atomically},
    {"rivlet", replace_rivlet_status},
};

TEST(AtomicReplaceTest, PublishesContentsAndLeavesNoTemporaryFile) {
  for (const Variant& variant : kVariants) {
    SCOPED_TRACE(variant.name);
    ScopedTempDir dir;
    const std::string path = dir.file("ndi_status.json");
    ASSERT_TRUE(variant.replace(path, "{\n}\n"));
    ASSERT_TRUE(variant.replace(path, "second"));
    EXPECT_EQ(read_text_file(path), "second");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    ASSERT_TRUE(variant.replace(path, ""));
    EXPECT_EQ(read_text_file(path), "");
  }
}

TEST(AtomicReplaceTest, FailedTemporaryOpenLeavesPublishedFileUntouched) {
  const std::pair<Variant, std::string> cases[] = {
      {kVariants[0], "Impossible d'ouvrir "},
      {kVariants[1], "cannot open "},
  };
  for (const auto& [variant, message] : cases) {
    SCOPED_TRACE(variant.name);
    ScopedTempDir dir;
    const std::string path = dir.file("status.json");
    ASSERT_TRUE(variant.replace(path, "old"));
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    // A directory in the temporary file's place cannot be opened for writing, even by root.
    std::filesystem::create_directory(path + ".tmp");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(variant.replace(path, "new"));
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(err.rfind(message + path + ".tmp", 0), 0u) << err;
    EXPECT_EQ(read_text_file(path), "old");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_TRUE(std::filesystem::is_directory(path + ".tmp"));
  }
}

TEST(AtomicReplaceTest, FailedRenameDeletesTemporaryFile) {
  for (const Variant& variant : kVariants) {
    SCOPED_TRACE(variant.name);
    ScopedTempDir dir;
    // A non-empty directory cannot be replaced by a file.
    const std::string path = dir.file("target");
    std::filesystem::create_directories(path + "/inside");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(variant.replace(path, "contents"));
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_TRUE(std::filesystem::is_directory(path + "/inside"));
    if (std::string(variant.name) == "ndi_bridge") {
      EXPECT_EQ(err.rfind("Impossible de remplacer " + path + ": ", 0), 0u) << err;
    } else {
      EXPECT_EQ(err, "");
    }
  }
}

// Whatever was left at the temporary name is replaced by a new file, never written through.
TEST(AtomicReplaceTest, PlantedLinkAtTheTemporaryNameIsNotWrittenThrough) {
  for (const Variant& variant : kVariants) {
    for (const PlantCase& plant : kPlantCases) {
      SCOPED_TRACE(std::string(variant.name) + ", " + plant.name);
      const PlantedDirectory dir(plant.kind);
      const std::string path = dir.file("status.json");
      ASSERT_TRUE(dir.plant_at(path + ".tmp"));
      EXPECT_TRUE(variant.replace(path, "published"));
      EXPECT_TRUE(dir.victim_untouched());
      EXPECT_EQ(read_text_file(path), "published");
      EXPECT_FALSE(std::filesystem::is_symlink(path));
      EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path + ".tmp")));
    }
  }
}

// A reader in another process opens the published path over and over while this process rewrites
// it with documents of very different sizes; it must only ever see one of them whole. The reader
// goes on until it has read thousands of times and seen both versions.
int read_repeatedly(const std::string& path, const std::string& a, const std::string& b) {
  bool seen_a = false;
  bool seen_b = false;
  for (int i = 0; i < 1000000; ++i) {
    const std::string seen = read_text_file(path);
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

TEST(AtomicReplaceTest, ConcurrentReaderNeverSeesAPartialFile) {
  const std::string small = "{\n  \"state\": \"listening\"\n}\n";
  const std::string large = "{\n  \"pad\": \"" + std::string(200000, 'x') + "\"\n}\n";
  for (const Variant& variant : kVariants) {
    SCOPED_TRACE(variant.name);
    ScopedTempDir dir;
    const std::string path = dir.file("status.json");
    ASSERT_TRUE(variant.replace(path, small));
    const pid_t reader = ::fork();
    ASSERT_NE(reader, -1);
    if (reader == 0) {
      ::_exit(read_repeatedly(path, small, large));
    }
    int status = 0;
    bool write_large = true;
    while (::waitpid(reader, &status, WNOHANG) == 0) {
      ASSERT_TRUE(variant.replace(path, write_large ? large : small));
      write_large = !write_large;
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the reader saw a partial file; 2: it never saw both";
  }
}

}  // namespace
}  // namespace bridges
