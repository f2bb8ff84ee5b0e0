// The full and the changed-data copy, driven by the service type and configuration tables,
// against a scripted ERP and the real local databases.
#include "worker/copy_procedures.h"

#include <gtest/gtest.h>

#include <regex>

#include "testing/test_env.h"
#include "worker/erp/fake_components.h"
#include "worker/erp/java_date.h"
#include "worker/recording_events.h"
#include "worker/tables/table_catalogue.h"

namespace qor::worker {
namespace {

using erp::ChangeKind;
using erp::FakeChange;
using erp::FakeComponentFactory;
using erp::FakeRow;
using qor::testing::Backend;
using qor::testing::ReadFile;
using qor::testing::TempDir;
using qor::testing::TestDatabase;

constexpr const char* kTypes = "ServiceTypes.ServiceTypesManager";
constexpr const char* kObjects = "ServiceObjects.ServiceObjectsManager";

// Seconds since 1970 of a local date-time, as the ERP's instants count.
std::int64_t Instant(const DateTime& local) { return erp::InstantOfLocal(local); }

FakeRow ServiceType(const std::string& code, const std::string& description) {
  return {{"getServiceType", code},
          {"getServiceTypeDescription", description},
          {"getServiceProcedure", "P1"},
          {"getavailabilityType", "AV"}};
}

FakeRow ServiceObject(const std::string& cfg, const std::string& object, int number,
                      const std::string& description) {
  return {
      {"getConfiguration", cfg},       {"getServiceObject", object}, {"getObjectNumber", number},
      {"getdescription", description}, {"getObjectGroup", "G"},      {"getUsageClass", "U"},
      {"getManufacturedBy", "M"},      {"getCalendar", "CAL1"},      {"getLocationAddress", "A1"}};
}

class CopyProceduresTest : public ::testing::TestWithParam<Backend> {
 protected:
  CopyProceduresTest() : db_(GetParam()), c_(db_.Connect()) {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    std::filesystem::create_directories(logs());
  }
  std::filesystem::path logs() const { return tmp_.path() / "logs"; }

  // Runs a job for `table` with `method` set in tstables; returns the job's events.
  std::vector<std::string> Run(const std::string& table, int method) {
    c_->Execute("DELETE FROM tstables WHERE tablename = ?", {table});
    c_->Execute("INSERT INTO tstables (tablename, syme, in_use, lutm) VALUES (?, ?, 0, ?)",
                {table, method, lutm_});
    RecordingEvents events;
    clsDataCopy job(events, StandardDispatchTable(), erp_.get());
    job.StartDataCopy(db_.connection_string(), "", table, logs().string(), "cn=erp1, o=acme");
    return events.Brief();
  }

  Variant Lutm(const std::string& table) {
    return c_->Query("SELECT lutm FROM tstables WHERE tablename = ?", {table})[0][0];
  }
  std::vector<std::vector<Variant>> Rows(const std::string& sql) { return c_->Query(sql); }
  std::string Log(const std::string& table) { return ReadFile(logs() / (table + ".log")); }

  TempDir tmp_;
  TestDatabase db_;
  std::unique_ptr<localdb::Connection> c_;
  std::unique_ptr<FakeComponentFactory> erp_ = std::make_unique<FakeComponentFactory>();
  Variant lutm_ = Variant(DateTime::FromCivil(2026, 1, 2, 3, 4, 5));
};

const std::regex kDateTimeLine(R"("Date-Time :\d\d/\d\d/\d\d : \d\d:\d\d:\d\d"\r\n)");
std::string WithoutDates(const std::string& log) {
  return std::regex_replace(log, kDateTimeLine, "<date>");
}

TEST_P(CopyProceduresTest, FullCopyReplacesTheRowsAndStampsTheStart) {
  c_->Execute("INSERT INTO tsmdm030 (cstp, dsca) VALUES ('OLD', 'gone after the copy')");
  erp_->Script(kTypes).OnList(
      "List", {ServiceType("A", "first"), ServiceType("B", "second"), ServiceType("C", "third")});
  DateTime before = DateTime::Now();
  EXPECT_EQ(Run("tsmdm030", 1),
            (std::vector<std::string>{"started tsmdm030", "complete tsmdm030 3,0,0"}));
  auto rows = Rows("SELECT cstp, dsca, prod, ract FROM tsmdm030 ORDER BY cstp");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<Variant>{"A", "first", "P1", "AV"}));
  EXPECT_EQ(rows[2][1], Variant("third"));
  EXPECT_GE(Lutm("tsmdm030").ToDateTime(), before);
  EXPECT_EQ(WithoutDates(Log("tsmdm030")), "<date>\"Table : tsmdm030 - 3 records Inserted\"\r\n");
  EXPECT_EQ(erp_->CallsTo(kTypes, "List"), (std::vector<std::vector<erp::Value>>{{"", "ZZZ"}}));
  EXPECT_EQ(erp_->CallsTo(kTypes, "initialize"),
            (std::vector<std::vector<erp::Value>>{{"cn=erp1, o=acme"}}));
  EXPECT_EQ(erp_->CallsTo(kTypes, "Close").size(), 1u);
}

TEST_P(CopyProceduresTest, FullCopyOfNothingOrOfAnEmptyList) {
  c_->Execute("INSERT INTO tsmdm030 (cstp) VALUES ('OLD')");
  // The list gives nothing: nothing is touched and nothing logged.
  erp_->Script(kTypes).ListReturnsNothing("List");
  EXPECT_EQ(Run("tsmdm030", 1),
            (std::vector<std::string>{"started tsmdm030", "complete tsmdm030 0,0,0"}));
  EXPECT_EQ(Rows("SELECT cstp FROM tsmdm030").size(), 1u);
  EXPECT_EQ(Lutm("tsmdm030"), lutm_);
  EXPECT_FALSE(std::filesystem::exists(logs() / "tsmdm030.log"));
  // An empty list: the old rows stay, lutm is stamped, 0 records are logged.
  erp_->Script(kTypes).OnList("List", {});
  EXPECT_EQ(Run("tsmdm030", 1),
            (std::vector<std::string>{"started tsmdm030", "complete tsmdm030 0,0,0"}));
  EXPECT_EQ(Rows("SELECT cstp FROM tsmdm030").size(), 1u);
  EXPECT_NE(Lutm("tsmdm030"), lutm_);
  EXPECT_EQ(WithoutDates(Log("tsmdm030")), "<date>\"Table : tsmdm030 - 0 records Inserted\"\r\n");
}

// A full copy that fails half-way leaves the table with exactly its old rows and lutm as it was.
TEST_P(CopyProceduresTest, FailedFullCopyKeepsTheOldRows) {
  struct Case {
    const char* name;
    std::function<void(erp::FakeClassScript&)> fault;
  } cases[] = {
      {"the second element's getter",
       [](auto& s) { s.FailAtGetter("getServiceTypeDescription", 2); }},
      {"the second element", [](auto& s) { s.FailAtNextElement(2); }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    erp_ = std::make_unique<FakeComponentFactory>();
    c_->Execute("DELETE FROM tsmdm030 WHERE 1=1");
    c_->Execute("INSERT INTO tsmdm030 (cstp, dsca) VALUES ('OLD', 'kept')");
    std::filesystem::remove(logs() / "tsmdm030.log");
    erp::FakeClassScript& script = erp_->Script(kTypes);
    script.OnList("List", {ServiceType("A", "a"), ServiceType("B", "b"), ServiceType("C", "c")});
    k.fault(script);
    EXPECT_EQ(Run("tsmdm030", 1),
              (std::vector<std::string>{"started tsmdm030", "error tsmdm030 -1"}));
    EXPECT_EQ(Rows("SELECT cstp, dsca FROM tsmdm030"),
              (std::vector<std::vector<Variant>>{{"OLD", "kept"}}));
    EXPECT_EQ(Lutm("tsmdm030"), lutm_);
    std::string log = Log("tsmdm030");
    EXPECT_NE(
        log.find(
            "\"Copy Service Types\",\" Copy of Service Types from Tarvik to Local DB failed\""),
        std::string::npos)
        << log;
    EXPECT_EQ(erp_->CallsTo(kTypes, "Close").size(), 1u) << "the manager is closed on failure";
    EXPECT_EQ(Rows("SELECT in_use FROM tstables WHERE tablename = 'tsmdm030'")[0][0], Variant(0));
  }
}

TEST_P(CopyProceduresTest, ChangedCopyAppliesChangesAndCountsByTheLocalTable) {
  c_->Execute(
      "INSERT INTO tscfg200 (ccfg, crob, oseq, dsca) VALUES "
      "('CFG1', 'OBJ', 5, 'old'), ('CFG1', 'OBJ', 6, 'keep'), ('CFG2', 'X', 1, 'x')");
  erp_->Script(kObjects).SetChanges({
      {ChangeKind::kUpdated, ServiceObject("CFG1", "OBJ", 5, "updated")},
      {ChangeKind::kInserted, ServiceObject("CFG2", "X", 1, "inserted but stored")},
      {ChangeKind::kUpdated, ServiceObject("CFG3", "NEW", 2, "updated but new")},
      {ChangeKind::kDeleted,
       {{"getConfiguration", "CFG1"}, {"getServiceObject", "OBJ"}, {"getObjectNumber", 6}}},
      {ChangeKind::kDeleted,
       {{"getConfiguration", "NONE"}, {"getServiceObject", "NONE"}, {"getObjectNumber", 1}}},
  });
  EXPECT_EQ(Run("tscfg200", 2),
            (std::vector<std::string>{"started tscfg200", "complete tscfg200 1,2,2"}));
  EXPECT_EQ(Rows("SELECT ccfg, crob, oseq, dsca FROM tscfg200 ORDER BY ccfg, oseq"),
            (std::vector<std::vector<Variant>>{{"CFG1", "OBJ", 5, "updated"},
                                               {"CFG2", "X", 1, "inserted but stored"},
                                               {"CFG3", "NEW", 2, "updated but new"}}));
  EXPECT_EQ(WithoutDates(Log("tscfg200")),
            "<date>\"Table : tscfg200 - 1 records Inserted\"\r\n"
            "\"Table : tscfg200 - 2 records Updated\"\r\n"
            "\"Table : tscfg200 - 2 records Deleted\"\r\n");
  // The criteria: the three key parameters in order, then the output fields.
  ASSERT_EQ(erp_->audit_requests().size(), 1u);
  const erp::AuditRequest& request = erp_->audit_requests()[0];
  ASSERT_EQ(request.parameters.size(), 3u);
  EXPECT_EQ(request.parameters[0].field, "ccfg");
  EXPECT_EQ(request.parameters[1].to, erp::Value(std::string(50, 'Z')));
  EXPECT_EQ(request.parameters[2].from, erp::Value("0000"));
  EXPECT_EQ(request.output_fields,
            (std::vector<std::string>{"desc", "cogr", "cusc", "manu", "ccal", "cdel"}));
}

TEST_P(CopyProceduresTest, ChangedPeriodStartsExactlyAtTheLastUpdate) {
  struct Case {
    Variant lutm;
    const char* why;
  } cases[] = {
      {DateTime::FromCivil(2024, 2, 29, 10, 11, 12), "a leap day read in a year without one"},
      {DateTime::FromCivil(2025, 1, 31, 23, 59, 59), "the 31st, before a shorter month"},
      {DateTime::FromCivil(2026, 12, 11, 0, 0, 1), "one second after midnight"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    lutm_ = k.lutm;
    erp_->Script(kTypes).SetChanges({});
    DateTime before = DateTime::Now();
    EXPECT_EQ(Run("tsmdm030", 2),
              (std::vector<std::string>{"started tsmdm030", "complete tsmdm030 0,0,0"}));
    const erp::AuditRequest& request = erp_->audit_requests().back();
    ASSERT_TRUE(request.from.has_value());
    EXPECT_EQ(*request.from, Instant(k.lutm.ToDateTime()));
    // lutm moves to the end of the period, to the second.
    ASSERT_TRUE(request.to.has_value());
    EXPECT_EQ(Instant(Lutm("tsmdm030").ToDateTime()), *request.to);
    EXPECT_GE(Lutm("tsmdm030").ToDateTime(), before);
  }
  // Never stamped: from 1 January 1970, at the current time of day.
  lutm_ = Variant();
  DateTime now = DateTime::Now();
  Run("tsmdm030", 2);
  std::int64_t expected = Instant(DateTime::FromCivil(1970, 1, 1).AddSeconds(now.SecondsOfDay()));
  EXPECT_NEAR(static_cast<double>(*erp_->audit_requests().back().from),
              static_cast<double>(expected), 5.0);
}

TEST_P(CopyProceduresTest, FailedChangedCopyLeavesTableAndStampAsTheyWere) {
  c_->Execute("INSERT INTO tsmdm030 (cstp, dsca) VALUES ('A', 'old')");
  erp_->Script(kTypes)
      .SetChanges({{ChangeKind::kUpdated, ServiceType("A", "new")},
                   {ChangeKind::kInserted, ServiceType("B", "b")}})
      .FailReaderAfter(1);
  EXPECT_EQ(Run("tsmdm030", 2),
            (std::vector<std::string>{"started tsmdm030", "error tsmdm030 -1"}));
  EXPECT_EQ(Rows("SELECT cstp, dsca FROM tsmdm030"),
            (std::vector<std::vector<Variant>>{{"A", "old"}}));
  EXPECT_EQ(Lutm("tsmdm030"), lutm_);
  EXPECT_NE(Log("tsmdm030")
                .find("\"Copy Service Types - Only Changed\",\" Copy of Service Types from "
                      "Tarvik to Local DB failed\""),
            std::string::npos);
}

// Keys are bound, never pasted: an apostrophe, a long key and non-ASCII text are copied,
// updated and deleted exactly.
TEST_P(CopyProceduresTest, AwkwardKeysAreCopiedUpdatedAndDeletedExactly) {
  const std::string apostrophe = "O'NEIL";
  const std::string long_key = std::string(49, 'K') + "é";
  const std::string accented = "Größe";
  erp_->Script(kObjects).OnList("List",
                                {ServiceObject(apostrophe, long_key, 1, "a"),
                                 ServiceObject(accented, "x'; DROP TABLE tstables; --", 2, "b"),
                                 ServiceObject("PLAIN", "P", 3, "c")});
  EXPECT_EQ(Run("tscfg200", 1),
            (std::vector<std::string>{"started tscfg200", "complete tscfg200 3,0,0"}));
  erp_->Script(kObjects).SetChanges({
      {ChangeKind::kUpdated, ServiceObject(apostrophe, long_key, 1, "changed")},
      {ChangeKind::kDeleted,
       {{"getConfiguration", accented},
        {"getServiceObject", "x'; DROP TABLE tstables; --"},
        {"getObjectNumber", 2}}},
  });
  EXPECT_EQ(Run("tscfg200", 2),
            (std::vector<std::string>{"started tscfg200", "complete tscfg200 0,1,1"}));
  EXPECT_EQ(Rows("SELECT ccfg, crob, oseq, dsca FROM tscfg200 ORDER BY oseq"),
            (std::vector<std::vector<Variant>>{{apostrophe, long_key, 1, "changed"},
                                               {"PLAIN", "P", 3, "c"}}));
}

INSTANTIATE_TEST_SUITE_P(Backends, CopyProceduresTest,
                         ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

}  // namespace
}  // namespace qor::worker
