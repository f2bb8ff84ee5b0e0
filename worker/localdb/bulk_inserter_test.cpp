#include "worker/localdb/bulk_inserter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "testing/test_env.h"

namespace qor::localdb {
namespace {

using qor::testing::Backend;
using qor::testing::TestDatabase;

class BulkInserterTest : public ::testing::TestWithParam<Backend> {
 protected:
  BulkInserterTest() : db_(GetParam()), c_(db_.Connect()) {}

  static std::vector<Variant> OrderRow(int i) {
    // Every kind of value the copies write, Nulls among them.
    return {
        "O" + std::to_string(i),
        i % 3 == 0 ? Variant()
                   : Variant(DateTime::FromCivil(2026, 1, 1 + i % 28, i % 24, 30, i % 60)),
        i % 5 == 0 ? Variant() : Variant(std::string("Kunde ") + (i % 2 ? "Müller" : "O'Brien")),
        static_cast<long long>(i % 2),
        1.5 * i,
        i % 7 == 0 ? Variant() : Variant(i)};
  }
  static const std::vector<std::string>& OrderColumns() {
    static const std::vector<std::string> columns = {"orno", "ordt", "stna",
                                                     "blyn", "ordu", "minu"};
    return columns;
  }

  TestDatabase db_;
  std::unique_ptr<Connection> c_;
};

TEST_P(BulkInserterTest, WritesEveryRowExactlyWhateverTheWay) {
  struct Way {
    const char* name;
    std::function<std::unique_ptr<BulkInserter>()> make;
  } ways[] = {
      {"one row per statement",
       [&] { return MakeOdbcBulkInserter(*c_, "tssoc200", OrderColumns(), 1); }},
      {"7 rows per statement",
       [&] { return MakeOdbcBulkInserter(*c_, "tssoc200", OrderColumns(), 7); }},
      {"100 rows per statement",
       [&] { return MakeOdbcBulkInserter(*c_, "tssoc200", OrderColumns(), 100); }},
      {"arrays of 7", [&] { return MakeOdbcArrayInserter(*c_, "tssoc200", OrderColumns(), 7); }},
      {"arrays of 1000",
       [&] { return MakeOdbcArrayInserter(*c_, "tssoc200", OrderColumns(), 1000); }},
      {"the driver's choice", [&] { return MakeBulkInserter(*c_, "tssoc200", OrderColumns()); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    c_->Execute("DELETE FROM tssoc200 WHERE 1=1");
    auto inserter = way.make();
    const int count = 253;  // not a multiple of any batch size
    for (int i = 0; i < count; ++i) inserter->Add(OrderRow(i));
    inserter->Flush();
    inserter->Flush();  // nothing buffered: nothing happens
    EXPECT_EQ(inserter->rows_written(), count);
    auto rows = c_->Query("SELECT orno, ordt, stna, blyn, ordu, minu FROM tssoc200");
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(count));
    std::map<std::string, std::vector<Variant>> by_key;
    for (auto& r : rows) by_key[r[0].ToText()] = r;
    for (int i = 0; i < count; ++i) {
      std::vector<Variant> expected = OrderRow(i);
      const auto& got = by_key["O" + std::to_string(i)];
      for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(got[k], expected[k])
            << "row " << i << " column " << OrderColumns()[k] << ": " << DebugString(got[k]);
      }
    }
  }
}

TEST_P(BulkInserterTest, BadRowsAreRefusedAndATransactionKeepsAllOrNothing) {
  c_->Execute("INSERT INTO tsmdm030 (cstp, dsca) VALUES ('OLD', 'kept')");
  for (bool arrays : {false, true}) {
    SCOPED_TRACE(arrays ? "arrays" : "multi-row");
    Transaction t(*c_);
    c_->Execute("DELETE FROM tsmdm030 WHERE 1=1");
    auto inserter = arrays ? MakeOdbcArrayInserter(*c_, "tsmdm030", {"cstp", "dsca"}, 10)
                           : MakeOdbcBulkInserter(*c_, "tsmdm030", {"cstp", "dsca"}, 10);
    inserter->Add(std::vector<Variant>{"A", "first"});
    EXPECT_THROW(inserter->Add(std::vector<Variant>{"B", std::string(31, 'x')}), Error);
    EXPECT_THROW(inserter->Add(std::vector<Variant>{"C"}), Error);
    inserter->Add(std::vector<Variant>{"A", "duplicate key"});
    EXPECT_THROW(inserter->Flush(), Error);
  }  // rolled back
  auto rows = c_->Query("SELECT cstp, dsca FROM tsmdm030");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], Variant("kept"));
}

TEST_P(BulkInserterTest, UnknownTableOrColumnIsAClearError) {
  EXPECT_THROW(MakeBulkInserter(*c_, "no_such_table", {"a"}), Error);
  try {
    MakeBulkInserter(*c_, "tsmdm030", {"cstp", "nosuch"});
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("nosuch"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, BulkInserterTest,
                         ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

}  // namespace
}  // namespace qor::localdb
