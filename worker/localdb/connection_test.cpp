#include "worker/localdb/connection.h"

#include <gtest/gtest.h>

#include "common/connection_string.h"
#include "testing/test_env.h"

namespace qor::localdb {
namespace {

using qor::testing::Backend;
using qor::testing::TestDatabase;

class ConnectionTest : public ::testing::TestWithParam<Backend> {
 protected:
  ConnectionTest() : db_(GetParam()) {}
  TestDatabase db_;
};

Error CaughtError(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return Error(0, "", "");
}

TEST_P(ConnectionTest, OpensClosesAndReportsState) {
  Connection c;
  EXPECT_EQ(c.State(), kStateClosed);
  c.Open(db_.connection_string());
  EXPECT_EQ(c.State(), kStateOpen);
  EXPECT_EQ(c.dialect(), GetParam() == Backend::kSqlite ? Dialect::kSqlite : Dialect::kPostgres);
  c.Close();
  EXPECT_EQ(c.State(), kStateClosed);
  c.Close();  // closing twice is harmless
  EXPECT_THROW(c.Execute("DELETE FROM tstables"), Error);
}

TEST_P(ConnectionTest, DefaultDatabaseReadsBackAndSwitches) {
  auto c = db_.Connect();
  EXPECT_EQ(c->DefaultDatabase(), db_.name());
  c->SetDefaultDatabase(db_.name());  // the same name: nothing happens
  TestDatabase other(GetParam());
  c->SetDefaultDatabase(other.name());
  EXPECT_EQ(c->DefaultDatabase(), other.name());
  c->Execute("INSERT INTO tscompany (comp) VALUES (?)", {7});
  auto other_connection = other.Connect();
  EXPECT_EQ(other_connection->Query("SELECT comp FROM tscompany").size(), 1u);
  // A database that does not exist fails, and the connection stays where it was.
  Error e = CaughtError([&] { c->SetDefaultDatabase("no_such_database_x"); });
  EXPECT_EQ(e.source(),
            GetParam() == Backend::kSqlite ? "Connection.DefaultDatabase" : "Connection.Open");
  EXPECT_EQ(c->DefaultDatabase(), other.name());
}

TEST_P(ConnectionTest, ExecuteBindsParametersAndCountsRows) {
  auto c = db_.Connect();
  const std::string odd_name = "it's; DROP TABLE tstables; --";
  EXPECT_EQ(c->Execute("INSERT INTO tstables (tablename, reqd, freq, lutm) VALUES (?, ?, ?, ?)",
                       {"t'1", 1, 2.5, DateTime::FromCivil(2026, 1, 2, 3, 4, 5)}),
            1);
  EXPECT_EQ(c->Execute("INSERT INTO tsmdm030 (cstp, dsca) VALUES (?, ?)", {"A1", odd_name}), 1);
  EXPECT_EQ(c->Execute("UPDATE tstables SET reqd = ? WHERE tablename = ?", {0, "nothing"}), 0);
  auto rows = c->Query("SELECT tablename, reqd, freq, lutm, syme FROM tstables");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], Variant("t'1"));
  EXPECT_EQ(rows[0][1], Variant(1));
  EXPECT_EQ(rows[0][2], Variant(2.5));
  EXPECT_EQ(rows[0][3], Variant(DateTime::FromCivil(2026, 1, 2, 3, 4, 5)));
  EXPECT_EQ(rows[0][4], Variant(1)) << "syme defaults to 1";
  EXPECT_EQ(c->Query("SELECT dsca FROM tsmdm030")[0][0], Variant(odd_name));
}

TEST_P(ConnectionTest, BadInputGivesTheDriversDescription) {
  auto c = db_.Connect();
  c->Execute("INSERT INTO tsmdm030 (cstp) VALUES ('A')");
  struct Case {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"syntax error", [&] { c->Execute("SELEC nothing"); }},
      {"unknown table", [&] { c->Execute("DELETE FROM no_such_table WHERE 1=1"); }},
      {"duplicate key", [&] { c->Execute("INSERT INTO tsmdm030 (cstp) VALUES ('A')"); }},
      {"Null key", [&] { c->Execute("INSERT INTO tsmdm030 (dsca) VALUES ('x')"); }},
  };
  for (const Case& k : cases) {
    Error e = CaughtError(k.call);
    EXPECT_EQ(e.number(), kDatabaseError) << k.what;
    EXPECT_FALSE(e.description().empty()) << k.what;
    EXPECT_FALSE(e.sqlstate().empty()) << k.what;
    EXPECT_EQ(e.source(), "Statement.Execute") << k.what;
  }
  // The connection is still usable after the failures.
  EXPECT_EQ(c->Query("SELECT cstp FROM tsmdm030").size(), 1u);
}

TEST_P(ConnectionTest, WrongDataSourceOrPasswordFailsToOpen) {
  std::vector<std::string> bad = {"DSN=no_such_dsn;UID=x;PWD=y"};
  if (GetParam() == Backend::kPostgres) {
    ConnectionString cs = ConnectionString::Parse(db_.connection_string());
    cs.Set("PWD", "wrong password");
    bad.push_back(cs.ToString());
  }
  for (const std::string& s : bad) {
    Connection c;
    Error e = CaughtError([&] { c.Open(s); });
    EXPECT_EQ(e.source(), "Connection.Open");
    EXPECT_FALSE(e.description().empty());
    EXPECT_EQ(e.description().find("wrong password"), std::string::npos)
        << "the password must not reach the message";
    EXPECT_EQ(c.State(), kStateClosed);
  }
}

TEST_P(ConnectionTest, TransactionsCommitOrRollBack) {
  auto c = db_.Connect();
  {
    Transaction t(*c);
    c->Execute("INSERT INTO tscompany (comp) VALUES (1)");
    EXPECT_TRUE(c->InTransaction());
  }  // not committed: rolled back
  EXPECT_FALSE(c->InTransaction());
  EXPECT_TRUE(c->Query("SELECT comp FROM tscompany").empty());
  {
    Transaction t(*c);
    c->Execute("INSERT INTO tscompany (comp) VALUES (2)");
    // A failed statement inside leaves the transaction usable.
    EXPECT_THROW(c->Execute("INSERT INTO tscompany (comp) VALUES (2)"), Error);
    c->Execute("INSERT INTO tscompany (comp) VALUES (3)");
    t.Commit();
  }
  EXPECT_EQ(c->Query("SELECT comp FROM tscompany ORDER BY comp").size(), 2u);
  // Closing inside a transaction rolls it back.
  c->BeginTransaction();
  c->Execute("DELETE FROM tscompany WHERE 1=1");
  c->Close();
  EXPECT_EQ(db_.Connect()->Query("SELECT comp FROM tscompany").size(), 2u);
}

TEST_P(ConnectionTest, CommandTimeoutIsKept) {
  auto c = db_.Connect();
  c->SetCommandTimeout(150);
  EXPECT_EQ(c->CommandTimeout(), 150);
  EXPECT_EQ(c->Execute("DELETE FROM tsmdm030 WHERE 1=1"), 0);
}

TEST_P(ConnectionTest, TableMetadata) {
  auto c = db_.Connect();
  EXPECT_EQ(c->PrimaryKey("tscfg200"), (std::vector<std::string>{"ccfg", "crob", "oseq"}));
  EXPECT_TRUE(c->PrimaryKey("tscalender").empty());
  const auto& columns = c->TableColumns("tsmdm030");
  ASSERT_EQ(columns.size(), 4u);
  EXPECT_EQ(columns[1].name, "dsca");
  EXPECT_EQ(columns[1].TextLimit(), 30u);
  EXPECT_THROW(c->TableColumns("x; drop table y"), Error);
}

INSTANTIATE_TEST_SUITE_P(Backends, ConnectionTest, ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

}  // namespace
}  // namespace qor::localdb
