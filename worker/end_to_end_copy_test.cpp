// The copies through the ERP substitute: a store filled by the simulator, the real component
// layer and the real local databases. A changed-data copy after the simulator's changes must
// leave the local table exactly as a full copy of the changed store does.
#include <gtest/gtest.h>

#include "testing/test_env.h"
#include "worker/copy_procedures.h"
#include "worker/erp/sample_data.h"
#include "worker/erp/store_components.h"
#include "worker/recording_events.h"

namespace qor::worker {
namespace {

using qor::testing::Backend;
using qor::testing::TempDir;
using qor::testing::TestDatabase;

class EndToEndCopyTest : public ::testing::TestWithParam<Backend> {
 protected:
  EndToEndCopyTest() : store_(GetParam(), false), local_(GetParam()) {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    auto store = store_.Connect();
    erp::SampleOptions options;
    options.rows = 400;
    options.seed = 11;
    options.today = DateTime::Now();
    erp::CreateSampleStore(*store, options);
    std::string cs = store_.connection_string();
    settings_.resolve = [cs](const std::string&) { return cs; };
  }

  // Runs one job for `table` into `local` by `method`; returns "i,u,d" or the failure.
  std::string Copy(const TestDatabase& local, const std::string& table, int method) {
    auto c = local.Connect();
    if (c->Execute("UPDATE tstables SET syme = ? WHERE tablename = ?", {method, table}) == 0) {
      c->Execute("INSERT INTO tstables (tablename, syme, in_use) VALUES (?, ?, 0)",
                 {table, method});
    }
    erp::StoreComponentFactory erp(settings_);
    RecordingEvents events;
    clsDataCopy job(events, StandardDispatchTable(), &erp);
    job.StartDataCopy(local.connection_string(), "", table, tmp_.path().string(),
                      "cn=erp1, o=acme");
    // "i,u,d" of a completed copy, else the event that ended it.
    const std::string& last = events.events.at(events.events.size() - 2);
    std::string complete = "complete " + table + " ";
    return last.rfind(complete, 0) == 0 ? last.substr(complete.size()) : last;
  }

  static std::vector<std::vector<Variant>> Rows(const TestDatabase& db, const std::string& table) {
    return db.Connect()->Query("SELECT * FROM " + table + " ORDER BY 1, 2, 3");
  }

  TempDir tmp_;
  TestDatabase store_;
  TestDatabase local_;
  erp::StoreSettings settings_;
};

TEST_P(EndToEndCopyTest, ChangedCopyCatchesUpWithTheStore) {
  auto store = store_.Connect();
  for (const std::string table : {"tsmdm030", "tscfg220", "tscfg200"}) {
    SCOPED_TRACE(table);
    long long listed = store->Query("SELECT COUNT(*) FROM " + table)[0][0].ToInteger();
    ASSERT_GT(listed, 0);
    EXPECT_EQ(Copy(local_, table, 1), std::to_string(listed) + ",0,0");
    EXPECT_EQ(static_cast<long long>(Rows(local_, table).size()), listed);

    erp::ChangeOptions changes;
    changes.count = 40;
    changes.seed = 5;
    changes.table = table;
    changes.today = DateTime::Now();
    erp::ChangeCounts made = erp::ApplyRandomChanges(*store, changes);
    ASSERT_GT(made.inserted + made.updated + made.deleted, 0);
    std::string outcome = Copy(local_, table, 2);
    ASSERT_EQ(outcome.find("error"), std::string::npos) << outcome;

    TestDatabase fresh(GetParam());
    ASSERT_EQ(Copy(fresh, table, 1).find("error"), std::string::npos);
    EXPECT_EQ(Rows(local_, table), Rows(fresh, table));

    // With nothing changed since, a further changed-data copy changes nothing.
    EXPECT_EQ(Copy(local_, table, 2).find("error"), std::string::npos);
    EXPECT_EQ(Rows(local_, table), Rows(fresh, table));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, EndToEndCopyTest,
                         ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

}  // namespace
}  // namespace qor::worker
