#include "platform/cocoa/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "base/testing/scoped_temp_dir.h"

namespace {

class FilesTest : public ::testing::Test {
 protected:
  NSURL At(const std::string& name) const { return NSURL::fileURLWithPath(dir_ + "/" + name); }

  base::ScopedTempDir temp_{"files-test"};
  std::string dir_ = temp_.path();
};

TEST_F(FilesTest, ReadsOnlySmallRegularFiles) {
  std::ofstream(At("small").path()) << "hello";
  EXPECT_EQ(NSData::dataWithContentsOfURL(At("small")), "hello");
  std::ofstream(At("large").path()) << std::string(NSData::kMaxFileBytes + 1, 'x');
  EXPECT_FALSE(NSData::dataWithContentsOfURL(At("large")));
  EXPECT_FALSE(NSData::dataWithContentsOfURL(At("missing")));
  std::filesystem::create_directory(At("dir").path());
  EXPECT_FALSE(NSData::dataWithContentsOfURL(At("dir")));
  ASSERT_EQ(mkfifo(At("fifo").path().c_str(), 0600), 0);
  EXPECT_FALSE(NSData::dataWithContentsOfURL(At("fifo")));  // returns at once, no writer needed
}

TEST_F(FilesTest, TextMustBeUTF8) {
  std::ofstream(At("good").path()) << "caf\xc3\xa9";
  EXPECT_EQ(NSString::stringWithContentsOfURLUTF8(At("good")), "caf\xc3\xa9");
  for (const char* bad : {"\xff", "\xc3", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"}) {
    EXPECT_FALSE(NSString::isValidUTF8(bad)) << bad;
  }
}

TEST_F(FilesTest, TrimsAsciiAndUnicodeSpace) {
  EXPECT_EQ(NSString::stringByTrimmingWhitespaceAndNewlines(" \t\r\n word \n"), "word");
  EXPECT_EQ(NSString::stringByTrimmingWhitespaceAndNewlines("\u00a0\u3000a b\u2028"), "a b");
  EXPECT_EQ(NSString::stringByTrimmingWhitespaceAndNewlines(" \n\t "), "");
  EXPECT_EQ(NSString::stringByTrimmingWhitespaceAndNewlines(""), "");
}

TEST_F(FilesTest, Utf16TruncationKeepsCharactersWhole) {
  EXPECT_EQ(NSString::substringToUTF16Length("abc", 2), "ab");
  EXPECT_EQ(NSString::substringToUTF16Length("a\xc3\xa9z", 2), "a\xc3\xa9");
  EXPECT_EQ(NSString::substringToUTF16Length("a\U0001F600", 2), "a");
  EXPECT_EQ(NSString::substringToUTF16Length("a\U0001F600", 3), "a\U0001F600");
}

TEST_F(FilesTest, AtomicWriteReplacesAndLeavesNoTemporary) {
  ASSERT_TRUE(NSData::writeToURLAtomically(At("status.json"), "one"));
  ASSERT_TRUE(NSData::writeToURLAtomically(At("status.json"), "two"));
  EXPECT_EQ(NSData::dataWithContentsOfURL(At("status.json")), "two");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
  EXPECT_FALSE(NSData::writeToURLAtomically(At("no/such/dir/file"), "x"));
}

TEST_F(FilesTest, DirectoriesAndExecutables) {
  NSFileManager* files = NSFileManager::defaultManager();
  EXPECT_TRUE(files->createDirectoryAtURL(At("a/b/c"), true, nullptr));
  EXPECT_TRUE(files->createDirectoryAtURL(At("a/b/c"), true, nullptr));
  NSError error;
  EXPECT_FALSE(files->createDirectoryAtURL(At("x/y"), false, &error));
  EXPECT_FALSE(error.localizedDescription.empty());
  EXPECT_FALSE(files->isExecutableFileAtPath(At("a").path()));
  std::ofstream(At("tool").path()) << "#!/bin/sh\n";
  EXPECT_FALSE(files->isExecutableFileAtPath(At("tool").path()));
  chmod(At("tool").path().c_str(), 0755);
  EXPECT_TRUE(files->isExecutableFileAtPath(At("tool").path()));
  EXPECT_TRUE(files->removeItemAtURL(At("tool"), nullptr));
  EXPECT_FALSE(files->fileExistsAtPath(At("tool").path()));
}

}  // namespace
