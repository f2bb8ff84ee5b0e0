#include "common/text.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(TextTest, TrimAndSplit) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\tx\t"), "\tx\t");  // fields are trimmed of blanks only
  EXPECT_EQ(TrimSpace("\tx\r\n"), "x");
  EXPECT_EQ(Split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_EQ(Split("", ','), (std::vector<std::string>{""}));
}

TEST(TextTest, SqlNamesAndQuotes) {
  EXPECT_TRUE(IsSqlIdentifier("tsmdm030"));
  EXPECT_TRUE(IsSqlIdentifier("_x1"));
  EXPECT_FALSE(IsSqlIdentifier("1x"));
  EXPECT_FALSE(IsSqlIdentifier("a;drop"));
  EXPECT_FALSE(IsSqlIdentifier(""));
  EXPECT_EQ(SqlQuote("O'Brien"), "'O''Brien'");
}

TEST(TextTest, Utf8LengthCountsCharacters) {
  EXPECT_EQ(Utf8Length("abc"), 3u);
  EXPECT_EQ(Utf8Length("Müller"), 6u);
  EXPECT_EQ(Utf8Length("日本"), 2u);
  EXPECT_EQ(Utf8Length("\xff"), 1u);
}

}  // namespace
}  // namespace qor
