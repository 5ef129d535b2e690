#include "native_ocr/zonescan/frame_decoder.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace native_ocr::zonescan {
namespace {

// A textured BGR picture: gradients, noise and sharp coloured bars (chroma edges everywhere).
cv::Mat picture(int width, int height, unsigned seed) {
  cv::Mat image(height, width, CV_8UC3);
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(0, 40);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int bar = (x / 7 + y / 11) % 3;
      image.at<cv::Vec3b>(y, x) =
          cv::Vec3b(static_cast<uint8_t>(bar == 0 ? 230 : (x * 255) / width),
                    static_cast<uint8_t>(bar == 1 ? 200 : noise(random)),
                    static_cast<uint8_t>(bar == 2 ? 250 : (y * 255) / height));
    }
  }
  return image;
}

// The picture as a baseline JPEG with the given luma sampling factors (chroma 1x1), Huffman or
// arithmetic coded.
std::vector<uint8_t> encode(const cv::Mat& bgr, int quality, int h_samp, int v_samp,
                            bool arithmetic = false) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(bgr.cols);
  cinfo.image_height = static_cast<JDIMENSION>(bgr.rows);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.comp_info[0].h_samp_factor = h_samp;
  cinfo.comp_info[0].v_samp_factor = v_samp;
  cinfo.arith_code = arithmetic ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < bgr.rows; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(bgr.ptr<JSAMPLE>(y));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

// What cv::imread gives for the bytes (through a temporary file, as the readers decode).
cv::Mat imread_bytes(const std::vector<uint8_t>& bytes) {
  const std::string path = ::testing::TempDir() + "frame_decoder_test.jpg";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
  std::remove(path.c_str());
  return image;
}

struct Coding {
  int quality;
  int h_samp;
  int v_samp;
};

TEST(DecodeJpegBlock, EqualsTheWholeDecodeInsideTheRegion) {
  const Coding codings[] = {{75, 2, 2}, {88, 2, 1}, {60, 1, 1}, {95, 1, 2}, {30, 2, 2}};
  std::mt19937 random(7);
  unsigned seed = 0;
  for (const Coding& c : codings) {
    const cv::Mat source = picture(1283 - 2 * static_cast<int>(seed), 721, seed);
    ++seed;
    const std::vector<uint8_t> bytes = encode(source, c.quality, c.h_samp, c.v_samp);
    const cv::Mat whole = imread_bytes(bytes);
    ASSERT_FALSE(whole.empty());
    ASSERT_EQ(jpeg_block_size(bytes), whole.size());
    for (int i = 0; i < 60; ++i) {
      std::uniform_int_distribution<int> x(0, whole.cols - 1), y(0, whole.rows - 1);
      const int x1 = x(random), y1 = y(random);
      const cv::Rect region =
          cv::Rect(x1, y1, 1 + x(random) / 3, 1 + y(random) / 3) & cv::Rect({0, 0}, whole.size());
      const std::optional<DecodedFrame> block = decode_jpeg_block(bytes, region);
      ASSERT_TRUE(block) << region;
      EXPECT_TRUE(block->partial);
      EXPECT_EQ(block->frame_size, whole.size());
      ASSERT_TRUE(block->covers(region));
      EXPECT_EQ(cv::norm(block->view(region), whole(region), cv::NORM_INF), 0.0)
          << "quality " << c.quality << " sampling " << c.h_samp << "x" << c.v_samp << " "
          << region;
    }
    // The frame's corners and the whole frame.
    for (const cv::Rect& region :
         {cv::Rect(0, 0, 1, 1), cv::Rect(whole.cols - 1, whole.rows - 1, 1, 1),
          cv::Rect({0, 0}, whole.size())}) {
      const std::optional<DecodedFrame> block = decode_jpeg_block(bytes, region);
      ASSERT_TRUE(block);
      EXPECT_EQ(cv::norm(block->view(region), whole(region), cv::NORM_INF), 0.0) << region;
    }
  }
}

TEST(DecodeJpegBlock, LeavesToTheWholeDecodeWhatItDoesNotReproduce) {
  const cv::Mat source = picture(64, 48, 1);
  std::vector<uint8_t> progressive;
  cv::imencode(".jpg", source, progressive, {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
  EXPECT_FALSE(jpeg_block_size(progressive));
  EXPECT_FALSE(decode_jpeg_block(progressive, cv::Rect(0, 0, 8, 8)));

  cv::Mat grey;
  cv::cvtColor(source, grey, cv::COLOR_BGR2GRAY);
  std::vector<uint8_t> one_component;
  cv::imencode(".jpg", grey, one_component);
  EXPECT_FALSE(jpeg_block_size(one_component));

  std::vector<uint8_t> png;
  cv::imencode(".png", source, png);
  EXPECT_FALSE(jpeg_block_size(png));

  // cv::imread reads the first APP1 from its seventh byte as Exif whatever comes before, and
  // applies the orientation it finds: every APP1 is declined.
  for (const char* prefix : {"Exif\0\0", "Exif\0\1", "abcdef"}) {
    std::vector<uint8_t> app1 = {0xFF, 0xE1, 0x00, 0x08};
    app1.insert(app1.end(), prefix, prefix + 6);
    std::vector<uint8_t> exif = encode(source, 80, 2, 2);
    exif.insert(exif.begin() + 2, app1.begin(), app1.end());
    EXPECT_FALSE(jpeg_block_size(exif)) << prefix;
  }

  const std::vector<uint8_t> baseline = encode(source, 80, 2, 2);
  const std::vector<uint8_t> truncated(baseline.begin(), baseline.begin() + baseline.size() / 2);
  EXPECT_FALSE(decode_jpeg_block(truncated, cv::Rect(0, 40, 64, 8)));
  EXPECT_FALSE(decode_jpeg_block(baseline, cv::Rect(100, 100, 4, 4)));  // outside the frame
  EXPECT_FALSE(decode_jpeg_block({}, cv::Rect(0, 0, 4, 4)));
}

// A frame header stating this size, in a JPEG of the picture (SOF0 found and patched).
std::vector<uint8_t> with_stated_size(std::vector<uint8_t> bytes, int width, int height) {
  for (size_t i = 2; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = static_cast<uint8_t>(height >> 8);
      bytes[i + 6] = static_cast<uint8_t>(height);
      bytes[i + 7] = static_cast<uint8_t>(width >> 8);
      bytes[i + 8] = static_cast<uint8_t>(width);
      break;
    }
  }
  return bytes;
}

TEST(DecodeJpegBlock, RefusesFramesOverOpenCVsPixelLimit) {
  const std::vector<uint8_t> bytes = encode(picture(64, 48, 2), 80, 2, 2);
  EXPECT_TRUE(jpeg_block_size(with_stated_size(bytes, 32768, 32768)));  // exactly 2^30 pixels
  const std::vector<uint8_t> forged = with_stated_size(bytes, 65500, 65500);
  EXPECT_FALSE(jpeg_block_size(forged));
  EXPECT_FALSE(decode_jpeg_block(forged, cv::Rect(0, 0, 65500, 65500)));
  EXPECT_TRUE(decode_whole_bytes(forged).empty());  // as cv::imread refuses it
}

TEST(DecodeJpegBlock, DataThatEndsEarlyIsAFailure) {
  // Arithmetic coding supplies zeros after a marker without a warning: data cut short and
  // closed with EOI must still not pass for the rows below the cut.
  const cv::Mat source = picture(256, 256, 3);
  const std::vector<uint8_t> coded = encode(source, 85, 2, 2, /*arithmetic=*/true);
  std::vector<uint8_t> cut(coded.begin(), coded.begin() + coded.size() / 3);
  cut.push_back(0xFF);
  cut.push_back(0xD9);
  ASSERT_TRUE(decode_jpeg_block(coded, cv::Rect(0, 180, 32, 16)));
  EXPECT_TRUE(decode_jpeg_block(cut, cv::Rect(0, 0, 32, 16)));  // above the cut: all there
  EXPECT_FALSE(decode_jpeg_block(cut, cv::Rect(0, 180, 32, 16)));
}

TEST(DecodeWholeBytes, UndecodableBytesAreEmpty) {
  EXPECT_TRUE(decode_whole_bytes({}).empty());
  const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  EXPECT_TRUE(decode_whole_bytes(text).empty());
}

}  // namespace
}  // namespace native_ocr::zonescan
