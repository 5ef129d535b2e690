#include "native_ocr/zonescan/frame_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

namespace native_ocr::zonescan {
namespace {

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "frame_file_test_" + name;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::vector<uint8_t> jpeg_of(int width, int height, int seed) {
  cv::Mat image(height, width, CV_8UC3);
  cv::randu(image, cv::Scalar::all(seed), cv::Scalar::all(255));
  std::vector<uint8_t> bytes;
  cv::imencode(".jpg", image, bytes);
  return bytes;
}

TEST(FrameFile, OnlyRegularFilesAreSources) {
  EXPECT_EQ(FrameFile::open(temp_path("missing.jpg")).error(), SourceError::kUnreadable);
  EXPECT_EQ(FrameFile::open(::testing::TempDir()).error(), SourceError::kNotRegular);
  EXPECT_EQ(FrameFile::open("/dev/zero").error(), SourceError::kNotRegular);
  // A FIFO without a writer: refused at once, never waited on.
  const std::string fifo = temp_path("fifo");
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(FrameFile::open(fifo).error(), SourceError::kNotRegular);
  ::unlink(fifo.c_str());
}

TEST(FrameFile, ReadsNoMoreThanTheStatedFrameCanHold) {
  // A good JPEG at the start of a sparse 1 GiB file: only the bytes its frame can need are read.
  const std::vector<uint8_t> jpeg = jpeg_of(64, 48, 1);
  const std::string path = temp_path("sparse.jpg");
  write_file(path, jpeg);
  ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 30), 0);
  const FrameFile file = FrameFile::open(path);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.size(), cv::Size(64, 48));
  EXPECT_LT(file.bytes().size(), size_t{8} << 20);
  EXPECT_FALSE(file.decode(cv::Rect(0, 0, 64, 48)).empty());

  // A header over the pixel limit: refused after the first read.
  std::vector<uint8_t> forged = jpeg;
  for (size_t i = 2; i + 8 < forged.size(); ++i) {
    if (forged[i] == 0xFF && forged[i + 1] == 0xC0) {
      forged[i + 5] = forged[i + 7] = 0xFF;
      break;
    }
  }
  write_file(path, forged);
  ASSERT_EQ(::truncate(path.c_str(), off_t{1} << 30), 0);
  EXPECT_EQ(FrameFile::open(path).error(), SourceError::kTooLarge);
  std::remove(path.c_str());
}

TEST(FrameFile, DecodesTheBytesItReadNotThePathAgain) {
  // Cut short, so the block decode of its lower rows fails and the whole decode takes over.
  const std::vector<uint8_t> big = jpeg_of(1280, 720, 2);
  const std::string path = temp_path("replaced.jpg");
  write_file(path, std::vector<uint8_t>(big.begin(), big.begin() + big.size() / 2));
  const FrameFile file = FrameFile::open(path);
  write_file(path, jpeg_of(640, 360, 3));  // replaced before the pixels are decoded
  ASSERT_EQ(file.size(), cv::Size(1280, 720));
  const DecodedFrame frame = file.decode(cv::Rect(0, 600, 1280, 100));
  EXPECT_EQ(frame.frame_size, cv::Size(1280, 720));
  EXPECT_TRUE(frame.covers(cv::Rect(0, 600, 1280, 100)));
  std::remove(path.c_str());
}

TEST(FrameFile, OtherImagesAreDecodedWholeFromTheirBytes) {
  cv::Mat image(30, 40, CV_8UC3, cv::Scalar(10, 20, 30));
  std::vector<uint8_t> png;
  cv::imencode(".png", image, png);
  const FrameFile file = FrameFile::from_bytes(png);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.size(), cv::Size(40, 30));
  EXPECT_FALSE(file.decode(cv::Rect(0, 0, 4, 4)).partial);
  EXPECT_EQ(FrameFile::from_bytes({1, 2, 3}).error(), SourceError::kUndecodable);
}

}  // namespace
}  // namespace native_ocr::zonescan
