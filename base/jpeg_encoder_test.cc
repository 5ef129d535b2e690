#include "base/jpeg_encoder.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include <gtest/gtest.h>

#include "base/file_handle.h"
#include "base/testing/scoped_temp_dir.h"

namespace base {
namespace {

// What the decoder reports about a JPEG file, plus its first pixel.
struct Decoded {
  int width = 0;
  int height = 0;
  bool progressive = true;
  J_COLOR_SPACE color_space = JCS_UNKNOWN;
  int luma_h = 0, luma_v = 0, chroma_h = 0, chroma_v = 0;
  int first_luma_quant = 0;
  int r = 0, g = 0, b = 0;
};

Decoded decode(const std::string& path) {
  Decoded out;
  FileHandle file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return out;
  }
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file.get());
  jpeg_read_header(&cinfo, TRUE);
  out.progressive = cinfo.progressive_mode;
  out.color_space = cinfo.jpeg_color_space;
  out.luma_h = cinfo.comp_info[0].h_samp_factor;
  out.luma_v = cinfo.comp_info[0].v_samp_factor;
  out.chroma_h = cinfo.comp_info[1].h_samp_factor;
  out.chroma_v = cinfo.comp_info[1].v_samp_factor;
  out.first_luma_quant = cinfo.quant_tbl_ptrs[0]->quantval[0];
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.width = static_cast<int>(cinfo.output_width);
  out.height = static_cast<int>(cinfo.output_height);
  std::vector<JSAMPLE> row(cinfo.output_width * 3);
  JSAMPROW rows[1] = {row.data()};
  jpeg_read_scanlines(&cinfo, rows, 1);
  out.r = row[0];
  out.g = row[1];
  out.b = row[2];
  while (cinfo.output_scanline < cinfo.output_height) {
    jpeg_read_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

// A solid orange picture whose rows are padded, so the stride matters.
struct Picture {
  Picture(int w, int h, size_t padding) : width(w), height(h), stride(w * 3 + padding) {
    pixels.assign(stride * h, 0xEE);  // padding bytes, never encoded
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &pixels[y * stride + x * 3];
        p[0] = 250;
        p[1] = 120;
        p[2] = 10;
      }
    }
  }
  RgbView view() const { return RgbView{pixels.data(), width, height, stride}; }
  int width;
  int height;
  size_t stride;
  std::vector<uint8_t> pixels;
};

void expect_preview(const Decoded& d, int width, int height) {
  EXPECT_EQ(d.width, width);
  EXPECT_EQ(d.height, height);
  EXPECT_FALSE(d.progressive);
  EXPECT_EQ(d.color_space, JCS_YCbCr);
  EXPECT_EQ(d.luma_h, 2);
  EXPECT_EQ(d.luma_v, 2);
  EXPECT_EQ(d.chroma_h, 1);
  EXPECT_EQ(d.chroma_v, 1);
  EXPECT_EQ(d.first_luma_quant, 8);  // the standard table's 16 scaled for quality 75
  EXPECT_NEAR(d.r, 250, 8);
  EXPECT_NEAR(d.g, 120, 8);
  EXPECT_NEAR(d.b, 10, 8);
}

TEST(JpegTemporaryPathTest, InsertsBeforeTheFileNameExtension) {
  const std::pair<std::string, std::string> rows[] = {
      {"app/static/srt_preview.jpg", "app/static/srt_preview.tmp.jpg"},
      {"preview.jpg", "preview.tmp.jpg"},
      {"preview", "preview.tmp"},
      {"out.d/preview", "out.d/preview.tmp"},
      {"out.d\\preview", "out.d\\preview.tmp"},
      {"a\\b.c\\d.jpeg", "a\\b.c\\d.tmp.jpeg"},
      {"dir/archive.tar.gz", "dir/archive.tar.tmp.gz"},
      {"dir/.hidden", "dir/.tmp.hidden"},
      {"dir/trailing.", "dir/trailing.tmp."},
  };
  for (const auto& [path, temporary] : rows) {
    EXPECT_EQ(jpeg_temporary_path(path), temporary) << path;
  }
}

TEST(EncodeJpegTest, EncodesBaselineQuality75Jpeg420WithPaddedRows) {
  ScopedTempDir dir;
  const Picture picture(35, 21, 7);  // odd sizes: partial MCUs
  FileHandle file(std::fopen(dir.file("preview.jpg").c_str(), "wb"));
  ASSERT_TRUE(encode_jpeg(file.get(), picture.view()));
  file.reset();
  expect_preview(decode(dir.file("preview.jpg")), 35, 21);
}

TEST(EncodeJpegTest, LibraryErrorIsReturnedNotFatal) {
  ScopedTempDir dir;
  const Picture picture(16, 16, 0);
  FileHandle file(std::fopen(dir.file("failed.jpg").c_str(), "wb"));
  testing::internal::CaptureStderr();
  RgbView empty = picture.view();
  empty.width = 0;
  EXPECT_FALSE(encode_jpeg(file.get(), empty));
  EXPECT_FALSE(encode_jpeg(file.get(), RgbView{picture.pixels.data(), 70000, 1, 0}));  // too wide
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(EncodeJpegRowsTest, RowsOnDemandEncodeLikeTheWholePicture) {
  ScopedTempDir dir;
  const Picture picture(35, 21, 7);
  FileHandle whole(std::fopen(dir.file("whole.jpg").c_str(), "wb"));
  ASSERT_TRUE(encode_jpeg(whole.get(), picture.view()));
  whole.reset();
  std::vector<uint8_t> row(picture.width * 3);
  int next = 0;
  FileHandle rows(std::fopen(dir.file("rows.jpg").c_str(), "wb"));
  ASSERT_TRUE(encode_jpeg_rows(rows.get(), picture.width, picture.height, [&](int y) {
    EXPECT_EQ(y, next++);
    std::copy_n(&picture.pixels[y * picture.stride], row.size(), row.begin());
    return row.data();
  }));
  rows.reset();
  EXPECT_EQ(next, picture.height);
  EXPECT_EQ(read_whole_file(dir.file("rows.jpg")), read_whole_file(dir.file("whole.jpg")));
  FileHandle failed(std::fopen(dir.file("failed.jpg").c_str(), "wb"));
  EXPECT_FALSE(encode_jpeg_rows(failed.get(), 0, 4, [&](int) { return row.data(); }));
}

}  // namespace
}  // namespace base
