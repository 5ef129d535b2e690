#include "bridges/ndi/publish.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "base/testing/planted_link.h"
#include "base/testing/scoped_temp_dir.h"

namespace ndi_bridge {
namespace {

// Runs publish with standard error captured; returns what was written there.
template <typename Publish>
std::string stderr_of(Publish publish) {
  testing::internal::CaptureStderr();
  publish();
  return testing::internal::GetCapturedStderr();
}

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

TEST(WriteTextAtomicallyTest, EachFailedStepIsReportedInItsOwnWords) {
  base::ScopedTempDir dir;
  const std::string path = dir.file("ndi_status.json");
  EXPECT_EQ(stderr_of([&] { EXPECT_TRUE(write_text_atomically(path, "{\n}\n")); }), "");
  EXPECT_EQ(base::read_whole_file(path), "{\n}\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  std::filesystem::create_directory(path + ".tmp");
  std::string err = stderr_of([&] { EXPECT_FALSE(write_text_atomically(path, "new")); });
  EXPECT_TRUE(starts_with(err, "Impossible d'ouvrir " + path + ".tmp: ")) << err;
  EXPECT_EQ(base::read_whole_file(path), "{\n}\n");
  std::filesystem::remove(path + ".tmp");

  const std::string occupied = dir.file("occupied");
  std::filesystem::create_directories(occupied + "/inside");
  err = stderr_of([&] { EXPECT_FALSE(write_text_atomically(occupied, "x")); });
  EXPECT_TRUE(starts_with(err, "Impossible de remplacer " + occupied + ": ")) << err;
  EXPECT_FALSE(std::filesystem::exists(occupied + ".tmp"));
}

TEST(PreviewReplaceTest, TwoStepsWithTheTemporaryKeptWhenTheRenameFails) {
  base::ScopedTempDir dir;
  const std::string temporary = dir.file("ndi_preview.tmp.jpg");
  const std::string path = dir.file("ndi_preview.jpg");
  const auto write_jpeg = [](std::FILE* file) { return std::fputs("jpeg", file) >= 0; };
  ASSERT_TRUE(write_preview_temporary(write_jpeg, temporary, path));
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_TRUE(publish_preview_temporary(temporary, path));
  EXPECT_EQ(base::read_whole_file(path), "jpeg");
  EXPECT_FALSE(std::filesystem::exists(temporary));

  // Skipped silently when the temporary cannot be opened; reported when the encoder fails.
  EXPECT_EQ(stderr_of([&] {
              EXPECT_FALSE(write_preview_temporary(write_jpeg, dir.file("missing/t.jpg"), path));
            }),
            "");
  const std::string err = stderr_of([&] {
    EXPECT_FALSE(write_preview_temporary([](std::FILE*) { return false; }, temporary, path));
  });
  EXPECT_EQ(err, "Impossible d'écrire " + path + " de façon atomique.\n");
  EXPECT_FALSE(std::filesystem::exists(temporary));

  const std::string occupied = dir.file("occupied.jpg");
  std::filesystem::create_directories(occupied + "/inside");
  ASSERT_TRUE(write_preview_temporary(write_jpeg, temporary, occupied));
  const std::string renamed =
      stderr_of([&] { EXPECT_FALSE(publish_preview_temporary(temporary, occupied)); });
  EXPECT_TRUE(starts_with(renamed, "Impossible de remplacer " + occupied + ": ")) << renamed;
  EXPECT_TRUE(std::filesystem::exists(temporary));
}

TEST(PreviewReplaceTest, PlantedLinkAtTheTemporaryNameIsNotWrittenThrough) {
  const auto write_jpeg = [](std::FILE* file) { return std::fputs("jpeg", file) >= 0; };
  for (const base::PlantCase& plant : base::kPlantCases) {
    SCOPED_TRACE(plant.name);
    const base::PlantedDirectory dir(plant.kind);
    const std::string temporary = dir.file("ndi_preview.tmp.jpg");
    const std::string path = dir.file("ndi_preview.jpg");
    ASSERT_TRUE(dir.plant_at(temporary));
    ASSERT_TRUE(write_preview_temporary(write_jpeg, temporary, path));
    EXPECT_TRUE(dir.victim_untouched());
    EXPECT_FALSE(std::filesystem::is_symlink(temporary));
    ASSERT_TRUE(publish_preview_temporary(temporary, path));
    EXPECT_EQ(base::read_whole_file(path), "jpeg");
  }
}

}  // namespace
}  // namespace ndi_bridge
