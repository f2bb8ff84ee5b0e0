#include "worker/localdb/recordset.h"

#include <gtest/gtest.h>

#include "testing/test_env.h"

namespace qor::localdb {
namespace {

using qor::testing::Backend;
using qor::testing::TestDatabase;
using CommandType = Recordset::CommandType;

class RecordsetTest : public ::testing::TestWithParam<Backend> {
 protected:
  RecordsetTest() : db_(GetParam()), c_(db_.Connect()) {
    c_->Execute(
        "INSERT INTO tstables (tablename, reqd, syme, freq, in_use) VALUES "
        "('tsmdm030', 1, 2, 5, 0), ('tscfg220', 0, NULL, NULL, 1)");
  }
  TestDatabase db_;
  std::unique_ptr<Connection> c_;
};

TEST_P(RecordsetTest, ReadsRowsByNameWithoutRegardToCase) {
  Recordset rs;
  rs.Open(*c_, "select * from tstables where tablename = ?", CommandType::kText, {"tsmdm030"});
  EXPECT_EQ(rs.State(), kStateOpen);
  EXPECT_EQ(rs.RecordCount(), 1);
  EXPECT_FALSE(rs.AtBOF());
  EXPECT_FALSE(rs.AtEOF());
  EXPECT_EQ(rs.Field("TableName"), Variant("tsmdm030"));
  EXPECT_EQ(rs.Field("SYME"), Variant(2));
  EXPECT_EQ(rs.Field(std::size_t{0}), Variant("tsmdm030"));
  EXPECT_TRUE(rs.Field("lutm").IsNull());
  EXPECT_THROW(rs.Field("nosuchcolumn"), Error);
  rs.MoveNext();
  EXPECT_TRUE(rs.AtEOF());
  EXPECT_THROW(rs.Field("tablename"), Error);
  rs.MoveFirst();
  EXPECT_EQ(rs.Field("reqd"), Variant(1));
  rs.Close();
  EXPECT_EQ(rs.State(), kStateClosed);
}

TEST_P(RecordsetTest, NoMatchingRowMeansBofAndEof) {
  Recordset rs;
  rs.Open(*c_, "select * from tstables where tablename = 'none'", CommandType::kText);
  EXPECT_EQ(rs.RecordCount(), 0);
  EXPECT_TRUE(rs.AtBOF());
  EXPECT_TRUE(rs.AtEOF());
}

TEST_P(RecordsetTest, UpdateWritesTheChangedFieldsOfTheRow) {
  Recordset rs;
  rs.Open(*c_, "select * from tstables where tablename = 'tscfg220'", CommandType::kText);
  ASSERT_TRUE(rs.Field("syme").IsNull());
  rs.SetField("In_Use", 0);
  rs.SetField("lutm", DateTime::FromCivil(2026, 12, 11, 10, 11, 12));
  rs.Update();
  rs.Update();  // nothing pending: nothing happens
  rs.Close();
  auto rows = c_->Query("SELECT in_use, lutm, reqd FROM tstables WHERE tablename = 'tscfg220'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], Variant(0));
  EXPECT_EQ(rows[0][1], Variant(DateTime::FromCivil(2026, 12, 11, 10, 11, 12)));
  EXPECT_EQ(rows[0][2], Variant(0));
  // The other row is untouched.
  EXPECT_EQ(c_->Query("SELECT in_use FROM tstables WHERE tablename = 'tsmdm030'")[0][0],
            Variant(0));
}

TEST_P(RecordsetTest, AddNewLeavesUnsetColumnsToTheirDefaults) {
  Recordset rs;
  rs.Open(*c_, "select * from tstables where tablename = 'tsmdm100'", CommandType::kText);
  ASSERT_TRUE(rs.AtBOF());
  rs.AddNew();
  EXPECT_FALSE(rs.AtBOF());
  rs.SetField("TableName", "tsmdm100");
  rs.SetField("in_use", 1);
  rs.SetField("freq", 0);
  rs.SetField("reqd", 1);
  rs.Update();
  rs.Close();
  auto rows = c_->Query("SELECT syme, in_use, lutm FROM tstables WHERE tablename = 'tsmdm100'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], Variant(1));
  EXPECT_EQ(rows[0][1], Variant(1));
  EXPECT_TRUE(rows[0][2].IsNull());
}

TEST_P(RecordsetTest, AddingTheNextRowSavesTheOneBefore) {
  Recordset rs;
  rs.Open(*c_, "tsmdm030", CommandType::kTable);
  for (const char* key : {"A", "B", "C"}) {
    rs.AddNew();
    rs.SetField("cstp", key);
    rs.SetField("dsca", std::string("type ") + key);
  }
  EXPECT_EQ(c_->Query("SELECT cstp FROM tsmdm030").size(), 2u);
  EXPECT_FALSE(rs.AtBOF());
  rs.Update();
  EXPECT_EQ(c_->Query("SELECT cstp FROM tsmdm030").size(), 3u);
  // Closing drops a new row that was never saved.
  rs.AddNew();
  rs.SetField("cstp", "D");
  rs.Close();
  EXPECT_EQ(c_->Query("SELECT cstp FROM tsmdm030").size(), 3u);
}

TEST_P(RecordsetTest, TableOpenedByNameReadsItsRowsWhenWalked) {
  c_->Execute("INSERT INTO tsmdm030 (cstp) VALUES ('X'), ('Y')");
  Recordset rs;
  rs.Open(*c_, "tsmdm030", CommandType::kTable);
  EXPECT_EQ(rs.RecordCount(), 2);
  Recordset empty;
  empty.Open(*c_, "tsmdm100", CommandType::kTable);
  EXPECT_TRUE(empty.AtBOF());
  EXPECT_THROW(empty.Open(*c_, "tsmdm100", CommandType::kTable), Error);
  Recordset bad;
  EXPECT_THROW(bad.Open(*c_, "tsmdm030; drop table tstables", CommandType::kTable), Error);
}

TEST_P(RecordsetTest, TooLongTextIsRefusedAndNothingIsWritten) {
  Recordset rs;
  rs.Open(*c_, "tsmdm030", CommandType::kTable);
  rs.AddNew();
  rs.SetField("cstp", "OK");
  try {
    rs.SetField("dsca", std::string(31, 'x'));
    FAIL() << "31 characters fit a column of 30";
  } catch (const Error& e) {
    EXPECT_EQ(e.sqlstate(), "22001");
    EXPECT_NE(e.description().find("dsca"), std::string::npos);
  }
  rs.SetField("dsca", std::string(30, 'x'));
  rs.Update();
  // Characters count, not bytes.
  rs.AddNew();
  rs.SetField("cstp", "ÄÖÜ");
  rs.Update();
  rs.Close();
  auto rows = c_->Query("SELECT cstp, dsca FROM tsmdm030 ORDER BY cstp");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], Variant(std::string(30, 'x')));
  EXPECT_EQ(rows[1][0], Variant("ÄÖÜ"));
}

TEST_P(RecordsetTest, ReadOnlySourcesRefuseChanges) {
  Recordset rs;
  rs.Open(*c_, "select DISTINCT tablename from tstables", CommandType::kText);
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_TRUE(rs.table().empty());
  EXPECT_THROW(rs.SetField("tablename", "x"), Error);
  EXPECT_THROW(rs.AddNew(), Error);
}

TEST_P(RecordsetTest, SavingARowChangedByAnotherConnectionFails) {
  Recordset rs;
  rs.Open(*c_, "select * from tstables where tablename = 'tsmdm030'", CommandType::kText);
  auto other = db_.Connect();
  other->Execute("DELETE FROM tstables WHERE tablename = 'tsmdm030'");
  rs.SetField("in_use", 1);
  EXPECT_THROW(rs.Update(), Error);
}

TEST_P(RecordsetTest, ClosedRecordsetRefusesWork) {
  Recordset rs;
  EXPECT_THROW(rs.RecordCount(), Error);
  EXPECT_THROW(rs.AddNew(), Error);
  EXPECT_EQ(rs.State(), kStateClosed);
}

INSTANTIATE_TEST_SUITE_P(Backends, RecordsetTest, ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

}  // namespace
}  // namespace qor::localdb
