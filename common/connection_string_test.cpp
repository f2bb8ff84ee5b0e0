#include "common/connection_string.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(ConnectionStringTest, ParsesBuildsAndRedacts) {
  std::string text = ConnectionString::Build("qor", "sa", "secret");
  EXPECT_EQ(text, "DSN=qor;UID=sa;PWD=secret");
  ConnectionString cs = ConnectionString::Parse(text);
  EXPECT_EQ(cs.Get("dsn"), "qor");
  EXPECT_EQ(cs.Get("Uid"), "sa");
  EXPECT_EQ(cs.Get("PWD"), "secret");
  EXPECT_FALSE(cs.Get("Database").has_value());
  EXPECT_EQ(cs.Redacted(), "DSN=qor;UID=sa;PWD=***");
  cs.Set("pwd", "a;b}");
  cs.Set("Database", "x");
  EXPECT_EQ(cs.ToString(), "DSN=qor;UID=sa;PWD={a;b}}};Database=x");
  EXPECT_EQ(ConnectionString::Parse(cs.ToString()).Get("PWD"), "a;b}");
}

TEST(ConnectionStringTest, EmptyValuesAndStrayPieces) {
  ConnectionString cs = ConnectionString::Parse("DSN=x;UID=;PWD=;;junk;Port=5432");
  EXPECT_EQ(cs.Get("UID"), "");
  EXPECT_EQ(cs.Get("PWD"), "");
  EXPECT_EQ(cs.Get("Port"), "5432");
  EXPECT_FALSE(cs.Has("junk"));
  cs.Remove("PWD");
  EXPECT_FALSE(cs.Has("pwd"));
}

}  // namespace
}  // namespace qor
