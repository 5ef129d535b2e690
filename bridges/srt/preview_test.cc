#include "bridges/srt/preview.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/testing/planted_link.h"
#include "base/testing/scoped_temp_dir.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace rivlet {
namespace {

TEST(PreviewSizeTest, LongerSideAtMost1920) {
  struct Row {
    int width, height;
    bool ok;
    int expected_width, expected_height;
  };
  const Row rows[] = {
      {3840, 2160, true, 1920, 1080}, {2160, 3840, true, 1080, 1920},
      {1920, 1080, true, 1920, 1080}, {1921, 1080, true, 1920, 1079},
      {2, 8192, true, 2, 1920},       {8192, 2, true, 1920, 2},
      {8192, 4320, true, 1920, 1012}, {2, 2, true, 2, 2},
      {8192, 4321, false, 0, 0},      {1, 100, false, 0, 0},
      {8193, 100, false, 0, 0},       {100, -4, false, 0, 0},
  };
  for (const Row& row : rows) {
    FrameSize size;
    EXPECT_EQ(preview_size(row.width, row.height, &size), row.ok) << row.width << "x" << row.height;
    EXPECT_EQ(size.width, row.expected_width) << row.width << "x" << row.height;
    EXPECT_EQ(size.height, row.expected_height) << row.width << "x" << row.height;
  }
}

FramePtr grey_frame(int width, int height, AVPixelFormat format) {
  FramePtr frame(av_frame_alloc());
  frame->width = width;
  frame->height = height;
  frame->format = format;
  if (av_frame_get_buffer(frame.get(), 0) < 0) {
    return nullptr;
  }
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? height : (height + 1) / 2;
    for (int y = 0; y < rows; ++y) {
      std::fill_n(frame->data[plane] + y * frame->linesize[plane], frame->linesize[plane],
                  uint8_t{128});
    }
  }
  return frame;
}

TEST(PreviewScalerTest, ReusesTheScalerWhileNothingChanges) {
  PreviewScaler scaler;
  FramePtr big = grey_frame(64, 48, AV_PIX_FMT_YUV420P);
  ASSERT_NE(big, nullptr);
  ASSERT_TRUE(scaler.scale(*big, {32, 24}));
  ASSERT_TRUE(scaler.scale(*big, {32, 24}));
  EXPECT_EQ(scaler.scalers_made(), 1);
  EXPECT_NEAR(scaler.rgb()[0], 128, 2);
  EXPECT_NEAR(scaler.rgb()[32 * 24 * 3 - 1], 128, 2);

  ASSERT_TRUE(scaler.scale(*big, {16, 12}));  // target changed
  FramePtr other = grey_frame(64, 48, AV_PIX_FMT_YUVJ420P);
  ASSERT_TRUE(scaler.scale(*other, {16, 12}));  // format changed
  FramePtr small = grey_frame(62, 48, AV_PIX_FMT_YUVJ420P);
  ASSERT_TRUE(scaler.scale(*small, {16, 12}));  // source size changed
  EXPECT_EQ(scaler.scalers_made(), 4);
}

TEST(WriteJpegAtomicTest, PublishesAJpegAndFailuresKeepThePreviousOneSilently) {
  base::ScopedTempDir dir;
  const std::string path = dir.file("srt_preview.jpg");
  const std::vector<uint8_t> rgb(16 * 16 * 3, 0x80);
  ASSERT_TRUE(write_jpeg_atomic(path, rgb.data(), 16, 16, 16 * 3));
  const std::string published = base::read_whole_file(path);
  EXPECT_EQ(published.substr(0, 2), "\xff\xd8");
  EXPECT_FALSE(std::filesystem::exists(dir.file("srt_preview.tmp.jpg")));

  testing::internal::CaptureStderr();
  EXPECT_FALSE(write_jpeg_atomic(path, rgb.data(), 0, 16, 16 * 3));  // a library error
  EXPECT_FALSE(write_jpeg_atomic(path, rgb.data(), 70000, 1, 0));    // too wide
  std::filesystem::create_directory(dir.file("srt_preview.tmp.jpg"));
  EXPECT_FALSE(write_jpeg_atomic(path, rgb.data(), 16, 16, 16 * 3));  // no temporary file
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(base::read_whole_file(path), published);
  std::filesystem::remove(dir.file("srt_preview.tmp.jpg"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("srt_preview.tmp.jpg")));
}

TEST(WriteJpegAtomicTest, PlantedLinkAtTheTemporaryNameIsNotWrittenThrough) {
  const std::vector<uint8_t> rgb(16 * 8 * 3, 0x80);
  for (const base::PlantCase& plant : base::kPlantCases) {
    SCOPED_TRACE(plant.name);
    const base::PlantedDirectory dir(plant.kind);
    const std::string path = dir.file("srt_preview.jpg");
    ASSERT_TRUE(dir.plant_at(dir.file("srt_preview.tmp.jpg")));
    EXPECT_TRUE(write_jpeg_atomic(path, rgb.data(), 16, 8, 16 * 3));
    EXPECT_TRUE(dir.victim_untouched());
    EXPECT_EQ(base::read_whole_file(path).substr(0, 2), "\xff\xd8");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
  }
}

}  // namespace
}  // namespace rivlet
