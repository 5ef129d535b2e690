#include "bridges/common/text_file.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "base/testing/scoped_temp_dir.h"

namespace bridges {
namespace {

TEST(ReadTextFileTest, ReturnsEveryByteUntrimmed) {
  base::ScopedTempDir dir;
  const std::string path = dir.file("selection.txt");
  std::ofstream(path, std::ios::binary) << "Cam 1\n";
  EXPECT_EQ(read_text_file(path), "Cam 1\n");

  const std::string binary("a\0b\r\n\xff", 6);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << binary;
  EXPECT_EQ(read_text_file(path), binary);
}

TEST(ReadTextFileTest, LargeFileIsReadWhole) {
  base::ScopedTempDir dir;
  const std::string path = dir.file("big");
  const std::string contents(100000, 'x');
  std::ofstream(path, std::ios::binary) << contents;
  EXPECT_EQ(read_text_file(path), contents);
}

TEST(ReadTextFileTest, MissingEmptyAndUnreadableReadAsEmpty) {
  base::ScopedTempDir dir;
  EXPECT_EQ(read_text_file(dir.file("absent")), "");
  std::ofstream(dir.file("empty"), std::ios::binary);
  EXPECT_EQ(read_text_file(dir.file("empty")), "");
  EXPECT_EQ(read_text_file(dir.path()), "");  // a directory
}

}  // namespace
}  // namespace bridges
