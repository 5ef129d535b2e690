#include "bridges/common/json_value.h"

#include <string>

#include <gtest/gtest.h>

namespace bridges {
namespace {

TEST(JsonValueTest, ReadsNestedValuesWithEscapesResolved) {
  std::string error;
  const auto v = parse_json(
      " {\"a\": [1, -2.5e1, true, false, null], \"s\": \"q\\\"\\n\\u00e9\\ud83d\\ude00\","
      " \"a\": {}} ",
      &error);
  ASSERT_TRUE(v) << error;
  const JsonValue* a = v->find("a");  // the last of two members named a
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->kind, JsonValue::Kind::kObject);
  const JsonValue* s = v->find("s");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->text, "q\"\n\xc3\xa9\xf0\x9f\x98\x80");
  const auto list = parse_json("[1, -2.5e1, true, null]", &error);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->items.size(), 4u);
  EXPECT_EQ(list->items[1].number, -25.0);
  EXPECT_TRUE(list->items[2].boolean);
  EXPECT_EQ(list->items[3].kind, JsonValue::Kind::kNull);
}

TEST(JsonValueTest, RefusesWhatIsNotJsonAndSaysWhere) {
  const char* bad[] = {
      "",         "{",     "{\"a\" 1}", "[1,]", "[01]",    "{\"a\":1} x", "\"\\ud800\"",
      "\"a\nb\"", "1e999", "tru",       "[1.]", "\"\\x\"", "{1: 2}",      "\"\\u12g4\""};
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(parse_json(text, &error)) << text;
    EXPECT_NE(error.find(" at byte "), std::string::npos) << text;
  }
  std::string error;
  EXPECT_FALSE(parse_json(std::string(kMaxJsonDepth + 2, '['), &error));
  EXPECT_NE(error.find("deeply"), std::string::npos);
}

}  // namespace
}  // namespace bridges
