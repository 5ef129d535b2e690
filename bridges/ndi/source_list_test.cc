#include "bridges/ndi/source_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ndi_bridge {
namespace {

std::vector<std::string> names_and_urls(const std::vector<SourceInfo>& sources) {
  std::vector<std::string> out;
  for (const SourceInfo& s : sources) {
    out.push_back(s.name + "|" + s.url_address);
  }
  return out;
}

TEST(SourceListTest, SortsByteWiseByNameThenUrl) {
  std::vector<SourceInfo> sources = {
      {"\xC3\xA9"
       "cran",
       "a"},  // UTF-8 bytes sort after ASCII letters
      {"Cam", "10.0.0.2"},
      {"Cam 2", ""},
      {"Cam", "10.0.0.10"},
      {"Cam", ""},
      {"cam", "x"},
      {"Ca", "z"},
  };
  sort_sources(&sources);
  EXPECT_EQ(names_and_urls(sources), (std::vector<std::string>{"Ca|z", "Cam|", "Cam|10.0.0.10",
                                                               "Cam|10.0.0.2", "Cam 2|", "cam|x",
                                                               "\xC3\xA9"
                                                               "cran|a"}));
}

TEST(SourceListTest, SameSourcesComparesEveryPosition) {
  std::vector<SourceInfo> a = {{"A", "1"}, {"B", ""}};
  EXPECT_TRUE(same_sources(a, a));
  EXPECT_FALSE(same_sources(a, {{"A", "1"}}));
  EXPECT_FALSE(same_sources(a, {{"A", "1"}, {"B", "2"}}));
  EXPECT_FALSE(same_sources(a, {{"B", ""}, {"A", "1"}}));
  EXPECT_TRUE(same_sources({}, {}));
}

TEST(SourceListTest, FindsOnlyTheExactBytes) {
  std::vector<SourceInfo> sources = {{"Cam", "u"}, {std::string("N\0ul", 4), ""}};
  EXPECT_EQ(find_source(sources, "Cam"), &sources[0]);
  EXPECT_EQ(find_source(sources, "Cam\n"), nullptr);
  EXPECT_EQ(find_source(sources, "cam"), nullptr);
  EXPECT_EQ(find_source(sources, "N"), nullptr);
  EXPECT_EQ(find_source(sources, std::string("N\0ul", 4)), &sources[1]);
}

TEST(SourceListDocumentTest, EmptyList) {
  EXPECT_EQ(source_list_document({}, 1765000000.25),
            "{\n  \"version\": 1,\n  \"updated_at\": 1765000000.25,\n  \"sources\": [  ]\n}\n");
}

TEST(SourceListDocumentTest, OneLinePerSourceWithEscapesAndNullUrl) {
  std::vector<SourceInfo> sources = {{"A \"1\"\\\n\b\x01", "10.0.0.1:5961"}, {"B/2", ""}};
  EXPECT_EQ(
      source_list_document(sources, 0.1),
      "{\n"
      "  \"version\": 1,\n"
      "  \"updated_at\": 0.10000000000000001,\n"
      "  \"sources\": [\n"
      "    {\"id\": \"A \\\"1\\\"\\\\\\n\\b\\u0001\", \"name\": \"A \\\"1\\\"\\\\\\n\\b\\u0001\", "
      "\"url_address\": \"10.0.0.1:5961\", \"online\": true},\n"
      "    {\"id\": \"B/2\", \"name\": \"B/2\", \"url_address\": null, \"online\": true}\n"
      "  ]\n"
      "}\n");
}

}  // namespace
}  // namespace ndi_bridge
