#include "platform/ndi/image_file.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/testing/scoped_temp_dir.h"

#include "platform/ndi/test_pattern.h"

namespace ndi_loopback {
namespace {

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.empty()); }

  std::string write(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path;
  }

  base::ScopedTempDir temp_{"ndi-image"};
  std::string dir_ = temp_.path();
};

TEST_F(ImageFileTest, PpmBecomesBgrx) {
  std::string ppm = "P6\n# made by hand\n2 1\n255\n";
  ppm += std::string("\x10\x20\x30\xA0\xB0\xC0", 6);
  BgrxImage image;
  std::string err;
  ASSERT_TRUE(load_image(write("a.ppm", ppm), &image, &err)) << err;
  EXPECT_EQ(image.width, 2);
  EXPECT_EQ(image.height, 1);
  EXPECT_EQ(image.pixels, (std::vector<uint8_t>{0x30, 0x20, 0x10, 255, 0xC0, 0xB0, 0xA0, 255}));
}

TEST_F(ImageFileTest, JpegDecodesToItsSize) {
  // A flat mid-grey 16x8 JPEG written with libjpeg.
  std::string path = dir_ + "/grey.jpg";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = 16;
  info.image_height = 8;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(16 * 3, 128);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);

  BgrxImage image;
  std::string err;
  ASSERT_TRUE(load_image(path, &image, &err)) << err;
  EXPECT_EQ(image.width, 16);
  EXPECT_EQ(image.height, 8);
  ASSERT_EQ(image.pixels.size(), 16u * 8 * 4);
  EXPECT_NEAR(image.pixels[0], 128, 2);
}

TEST_F(ImageFileTest, RejectsBrokenFiles) {
  const std::vector<std::pair<std::string, std::string>> broken = {
      {"missing.ppm", ""},
      {"text.txt", "hello"},
      {"short.ppm", "P6\n4 4\n255\nabc"},
      {"deep.ppm", "P6\n1 1\n65535\n\x01\x02\x03\x04\x05\x06"},
      {"huge.ppm", "P6\n99999999 1\n255\n"},
      {"cut.jpg", "\xFF\xD8\xFF\xE0"},
  };
  for (const auto& [name, bytes] : broken) {
    std::string path = name == "missing.ppm" ? dir_ + "/" + name : write(name, bytes);
    BgrxImage image;
    std::string err;
    EXPECT_FALSE(load_image(path, &image, &err)) << name;
    EXPECT_NE(err.find(name), std::string::npos) << err;
  }
}

TEST(TestPatternTest, MovesFromFrameToFrameAndFillsEveryRow) {
  const int width = 64;
  const int height = 32;
  const int stride = width * 4 + 8;
  TestPattern pattern(width, height);
  std::vector<uint8_t> first(static_cast<size_t>(stride) * height, 1);
  std::vector<uint8_t> second(first);
  pattern.render(1, first.data(), stride);
  pattern.render(2, second.data(), stride);
  EXPECT_NE(first, second);
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(first[static_cast<size_t>(y) * stride + 3], 255) << y;        // alpha written
    EXPECT_EQ(first[static_cast<size_t>(y) * stride + width * 4], 1) << y;  // padding untouched
  }
}

}  // namespace
}  // namespace ndi_loopback
