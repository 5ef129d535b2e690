#include "platform/cocoa/bundle.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/testing/scoped_temp_dir.h"

namespace {

class BundleTest : public ::testing::Test {
 protected:
  BundleTest() { std::filesystem::create_directories(dir_ + "/Contents/Resources"); }
  void WriteInfo(const std::string& bytes) {
    std::ofstream(dir_ + "/Contents/Info.plist", std::ios::binary) << bytes;
  }

  base::ScopedTempDir temp_{"bundle"};
  std::string dir_ = temp_.path();
};

TEST_F(BundleTest, ReadsXmlValuesWithTheirKinds) {
  WriteInfo(
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
      "<key>S</key><string>1</string><key>T</key><true/><key>F</key><false/>"
      "<key>I</key><integer>2</integer><key>Z</key><integer>0</integer>"
      "<key>R</key><real>0.5</real><key>A</key><array/></dict></plist>");
  auto bundle = NSBundle::bundleWithPath(dir_);
  EXPECT_EQ(*bundle->objectForInfoDictionaryKey("S")->stringValue(), "1");
  EXPECT_FALSE(bundle->objectForInfoDictionaryKey("S")->isNumber());
  EXPECT_TRUE(bundle->objectForInfoDictionaryKey("T")->boolValue());
  EXPECT_FALSE(bundle->objectForInfoDictionaryKey("F")->boolValue());
  EXPECT_TRUE(bundle->objectForInfoDictionaryKey("F")->isNumber());
  EXPECT_TRUE(bundle->objectForInfoDictionaryKey("I")->boolValue());
  EXPECT_FALSE(bundle->objectForInfoDictionaryKey("Z")->boolValue());
  EXPECT_TRUE(bundle->objectForInfoDictionaryKey("R")->boolValue());
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("A")->kind(), NSInfoValue::Kind::kOther);
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("A")->stringValue(), nullptr);
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("missing"), nullptr);
  EXPECT_EQ(bundle->resourceURL().path(), dir_ + "/Contents/Resources");
}

TEST_F(BundleTest, ReadsBinaryPropertyLists) {
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "SUFeedURL", plist_new_string("https://example/appcast.xml"));
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(dict, &bytes, &length);
  WriteInfo(std::string(bytes, length));
  std::free(bytes);
  plist_free(dict);
  auto bundle = NSBundle::bundleWithPath(dir_);
  ASSERT_NE(bundle->objectForInfoDictionaryKey("SUFeedURL"), nullptr);
  EXPECT_EQ(*bundle->objectForInfoDictionaryKey("SUFeedURL")->stringValue(),
            "https://example/appcast.xml");
}

TEST_F(BundleTest, BrokenOrMissingInfoIsEmpty) {
  for (const std::string& bytes :
       {std::string("<plist><dict><key>A</key>"), std::string("\xff\x00", 2),
        std::string("<plist><array/></plist>"), std::string()}) {
    WriteInfo(bytes);
    EXPECT_EQ(NSBundle::bundleWithPath(dir_)->objectForInfoDictionaryKey("A"), nullptr);
  }
  std::filesystem::remove(dir_ + "/Contents/Info.plist");
  EXPECT_EQ(NSBundle::bundleWithPath(dir_)->objectForInfoDictionaryKey("A"), nullptr);
}

TEST_F(BundleTest, ImageResources) {
  auto bundle = NSBundle::bundleWithPath(dir_);
  EXPECT_FALSE(bundle->pathForImageResource("Icon"));
  std::ofstream(dir_ + "/Contents/Resources/Icon.png") << "png";
  EXPECT_EQ(bundle->pathForImageResource("Icon"), dir_ + "/Contents/Resources/Icon.png");
}

}  // namespace
