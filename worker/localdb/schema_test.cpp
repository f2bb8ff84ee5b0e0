// The local database's SQL script, run on both databases.
#include <gtest/gtest.h>

#include "testing/test_env.h"

namespace qor::localdb {
namespace {

using qor::testing::Backend;
using qor::testing::TestDatabase;

struct TableKey {
  const char* table;
  std::vector<std::string> key;
};

const TableKey kTables[] = {
    {"tstables", {"tablename"}},
    {"tscompany", {"comp"}},
    {"tsmdm030", {"cstp"}},
    {"tsmdm100", {"cwoc"}},
    {"tsmdm105", {"csar"}},
    {"tsmdm130", {"skll"}},
    {"tsmdm135", {"emno", "skll", "cogr"}},
    {"tsmdm140", {"emno"}},
    {"tsclm020", {"crtc"}},
    {"tsclm024", {"sltt"}},
    {"tscfg220", {"ccfg"}},
    {"tscfg200", {"ccfg", "crob", "oseq"}},
    {"tssoc200", {"orno"}},
    {"tssoc210", {"orno", "acln"}},
    {"tssoc205", {"orno", "line"}},
    {"tsspc200", {"ccfg", "crac", "aseq"}},
    {"tccom130", {"cadr"}},
    {"tcccp001", {"ract"}},
    {"tcccp030", {"ccal", "ract", "stdt", "sttm"}},
    {"tscalender", {}},
    {"tscalenderavail", {}},
};

class SchemaTest : public ::testing::TestWithParam<Backend> {};

TEST_P(SchemaTest, CreatesEveryTableWithItsKeyAndRunsAgainHarmlessly) {
  TestDatabase db(GetParam());
  auto c = db.Connect();
  qor::testing::RunSqlScript(*c, qor::testing::LocalSchemaPath());  // a second run
  for (const TableKey& t : kTables) {
    EXPECT_EQ(c->PrimaryKey(t.table), t.key) << t.table;
    EXPECT_TRUE(c->Query(std::string("SELECT * FROM ") + t.table).empty()) << t.table;
  }
}

TEST_P(SchemaTest, AClaimedRowWithoutMethodReadsFullTable) {
  TestDatabase db(GetParam());
  auto c = db.Connect();
  c->Execute("INSERT INTO tstables (tablename, in_use, freq, reqd) VALUES ('tsmdm030', 1, 0, 1)");
  auto rows = c->Query("SELECT syme, lutm FROM tstables");
  EXPECT_EQ(rows[0][0], Variant(1));
  EXPECT_TRUE(rows[0][1].IsNull());
}

TEST_P(SchemaTest, ColumnsHoldTheValuesTheCopiesWrite) {
  TestDatabase db(GetParam());
  auto c = db.Connect();
  c->Execute("INSERT INTO tsclm020 (crtc, rctt) VALUES ('R1', ?)", {1.12});
  c->Execute("INSERT INTO tsclm024 (sltt, dsca) VALUES (?, 'x')", {480.25});
  c->Execute("INSERT INTO tcccp030 (ccal, ract, stdt, sttm, entm) VALUES ('C1', 'A', ?, 800, 2400)",
             {DateTime::FromCivil(2026, 12, 11)});
  EXPECT_EQ(c->Query("SELECT rctt FROM tsclm020")[0][0], Variant(1.12));
  EXPECT_EQ(c->Query("SELECT dsca FROM tsclm024 WHERE sltt = ?", {480.25}).size(), 1u);
  auto calendar = c->Query("SELECT stdt, sttm, entm FROM tcccp030");
  EXPECT_EQ(calendar[0][0], Variant(DateTime::FromCivil(2026, 12, 11)));
  EXPECT_EQ(calendar[0][2], Variant(2400));
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaTest, ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

}  // namespace
}  // namespace qor::localdb
