#include "bridges/common/json.h"

#include <string>

#include <gtest/gtest.h>

namespace bridges {
namespace {

struct EscapeRow {
  std::string input;
  std::string ndi_bridge;
  std::string rivlet;
};

TEST(JsonEscapeTest, EscapesEachByteAsItsFlavourSays) {
  const EscapeRow rows[] = {
      {"\t", "\\t", "\\t"},
      {"\n", "\\n", "\\n"},
      {"\r", "\\r", "\\r"},
      {"\"", "\\\"", "\\\""},
      {"\\", "\\\\", "\\\\"},
      {std::string(1, '\0'), "\\u0000", "\\u0000"},
      {"\x01", "\\u0001", "\\u0001"},
      {"\x1f", "\\u001f", "\\u001f"},
      {"\x1b", "\\u001b", "\\u001b"},
      {"\x08", "\\b", "\\u0008"},
      {"\x0c", "\\f", "\\u000c"},
      {"\x7f", "\x7f", "\x7f"},
      {" ", " ", " "},
      {"/", "/", "/"},
      {"\xc3\xa9", "\xc3\xa9", "\xc3\xa9"},  // UTF-8 e acute stays two bytes
      {"\xff\x80", "\xff\x80", "\xff\x80"},  // invalid UTF-8 passes through
      {"a\"b\\c\x02", "a\\\"b\\\\c\\u0002", "a\\\"b\\\\c\\u0002"},
  };
  for (const EscapeRow& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.input));
    EXPECT_EQ(json_escape(row.input, JsonEscapes::kNdiBridge), row.ndi_bridge);
    EXPECT_EQ(json_escape(row.input, JsonEscapes::kRivlet), row.rivlet);
  }
}

TEST(JsonEscapeTest, EveryControlByteBecomesAValidEscape) {
  for (int byte = 0; byte < 0x20; ++byte) {
    const std::string escaped =
        json_escape(std::string(1, static_cast<char>(byte)), JsonEscapes::kRivlet);
    ASSERT_GE(escaped.size(), 2u);
    EXPECT_EQ(escaped[0], '\\') << byte;
    for (char c : escaped) {
      EXPECT_GE(static_cast<unsigned char>(c), 0x20) << byte;
    }
  }
}

TEST(JsonStringOrNullTest, EmptyIsNullOtherwiseQuotedAndEscaped) {
  EXPECT_EQ(json_string_or_null("", JsonEscapes::kRivlet), "null");
  EXPECT_EQ(json_string_or_null("", JsonEscapes::kNdiBridge), "null");
  EXPECT_EQ(json_string_or_null("a\"b", JsonEscapes::kRivlet), "\"a\\\"b\"");
  EXPECT_EQ(json_string_or_null("\x0c", JsonEscapes::kNdiBridge), "\"\\f\"");
  EXPECT_EQ(json_string_or_null("\x0c", JsonEscapes::kRivlet), "\"\\u000c\"");
}

TEST(JsonObjectWriterTest, OneMemberPerLineInInsertionOrder) {
  JsonObjectWriter writer;
  writer.add_string("state", "", JsonEscapes::kRivlet);
  writer.add_int("port", 9000);
  writer.add_int("negative", -3);
  writer.add_bool("running", false);
  writer.add_raw("error", json_string_or_null("", JsonEscapes::kRivlet));
  EXPECT_EQ(writer.text(),
            "{\n"
            "  \"state\": \"\",\n"
            "  \"port\": 9000,\n"
            "  \"negative\": -3,\n"
            "  \"running\": false,\n"
            "  \"error\": null\n"
            "}\n");
}

TEST(JsonObjectWriterTest, EmptyObject) {
  EXPECT_EQ(JsonObjectWriter().text(), "{\n}\n");
}

}  // namespace
}  // namespace bridges
