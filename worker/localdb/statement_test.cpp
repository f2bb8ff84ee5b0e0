#include "worker/localdb/statement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "testing/test_env.h"
#include "worker/localdb/connection.h"

namespace qor::localdb {
namespace {

using qor::testing::Backend;
using qor::testing::TestDatabase;

// The literals that SQLite's streaming queries carry in place of parameters.
TEST(StatementTest, SqlLiterals) {
  struct Case {
    Variant value;
    const char* literal;
  };
  const Case cases[] = {
      {"A'B", "'A''B'"},   {"", "''"},
      {Variant(), "NULL"}, {42, "42"},
      {-1.5, "-1.5"},      {DateTime::FromCivil(2024, 3, 5, 1, 2, 3), "'2024-03-05 01:02:03'"},
  };
  for (const Case& c : cases) EXPECT_EQ(SqlLiteral(c.value), c.literal) << DebugString(c.value);
  // Doubles read back exactly.
  for (double d : {99999.9999, 99999.999, 0.1, 1e-300, -1e12, 960.125}) {
    EXPECT_EQ(std::strtod(SqlLiteral(d).c_str(), nullptr), d) << SqlLiteral(d);
  }
  for (const Variant& bad : {Variant(std::string("a\0b", 3)), Variant(std::nan(""))}) {
    EXPECT_THROW(SqlLiteral(bad), Error) << DebugString(bad);
  }
}

class StreamingQueryTest : public ::testing::TestWithParam<Backend> {
 protected:
  StreamingQueryTest() : db_(GetParam()), c_(db_.Connect()) {
    c_->Execute("INSERT INTO tstables (tablename, reqd, freq, lutm) VALUES (?, ?, ?, ?)",
                {"it's", 1, 2.5, DateTime::FromCivil(2026, 1, 2, 3, 4, 5)});
    c_->Execute("INSERT INTO tstables (tablename, reqd, freq) VALUES ('other', 0, 1)");
  }
  TestDatabase db_;
  std::unique_ptr<Connection> c_;
};

// Bound or inlined, the values select the same rows.
TEST_P(StreamingQueryTest, TakesItsValues) {
  Statement s(*c_);
  const std::vector<Variant> values = {"it's", 1, 2.5, DateTime::FromCivil(2026, 1, 2, 3, 4, 5)};
  s.ExecuteStreaming(
      "SELECT tablename, freq FROM tstables WHERE tablename = ? AND reqd = ? AND freq = ? "
      "AND lutm >= ?",
      values);
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Get(0), Variant("it's"));
  EXPECT_EQ(s.Get(1), Variant(2.5));
  EXPECT_FALSE(s.Fetch());
  // The statement runs again with other values.
  s.CloseCursor();
  s.ExecuteStreaming("SELECT tablename FROM tstables WHERE reqd = ?", std::vector<Variant>{0});
  EXPECT_EQ(s.FetchAll(), (std::vector<std::vector<Variant>>{{Variant("other")}}));
}

INSTANTIATE_TEST_SUITE_P(Backends, StreamingQueryTest,
                         ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return std::string(BackendName(info.param)); });

}  // namespace
}  // namespace qor::localdb
