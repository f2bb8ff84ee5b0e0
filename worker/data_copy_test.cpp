#include "worker/data_copy.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

#include "testing/test_env.h"
#include "worker/process_owner.h"
#include "worker/recording_events.h"

namespace qor::worker {
namespace {

using qor::testing::Backend;
using qor::testing::ReadFile;
using qor::testing::TempDir;
using qor::testing::TestDatabase;

class DataCopyTest : public ::testing::TestWithParam<Backend> {
 protected:
  DataCopyTest() : db_(GetParam()), c_(db_.Connect()) {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    std::filesystem::create_directories(logs());
  }

  std::filesystem::path logs() const { return tmp_.path() / "logs"; }

  std::vector<std::string> Run(const std::string& table, const DispatchTable& dispatch) {
    RecordingEvents events;
    clsDataCopy job(events, dispatch);
    job.StartDataCopy(db_.connection_string(), "", table, logs().string(), "cn=erp1, o=acme");
    return events.events;
  }

  std::vector<Variant> Row(const std::string& table) {
    auto rows = c_->Query(
        "SELECT in_use, reqd, freq, syme, lutm, claim_pid FROM tstables "
        "WHERE tablename = ?",
        {table});
    return rows.empty() ? std::vector<Variant>{} : rows[0];
  }

  std::string Log(const std::string& table) { return ReadFile(logs() / (table + ".log")); }

  TempDir tmp_;
  TestDatabase db_;
  std::unique_ptr<localdb::Connection> c_;
};

// A dispatch table whose tsmdm030 runs `copy`.
DispatchTable With(CopyProcedure copy) {
  DispatchTable t = StandardDispatchTable();
  t.Add("tsmdm030", std::move(copy));
  return t;
}

const std::regex kDateTimeLine(R"("Date-Time :\d\d/\d\d/\d\d : \d\d:\d\d:\d\d"\r\n)");

TEST_P(DataCopyTest, TableWithoutRowIsClaimedCopiedAndReleased) {
  std::string seen;
  auto events = Run("tsmdm030", With([&](clsDataCopy& job, const std::string& table,
                                         const std::string& bus, SyncMethod method) {
                      auto row = Row("tsmdm030");
                      EXPECT_EQ(row[0], Variant(1)) << "claimed while copying";
                      EXPECT_EQ(row[5], Variant(ProcessId()));
                      seen = table + "|" + bus + "|" + std::to_string(static_cast<int>(method));
                      job.InsertCount = 12;
                    }));
  EXPECT_EQ(events,
            (std::vector<std::string>{"started tsmdm030", "complete tsmdm030 12,0,0", "done"}));
  EXPECT_EQ(seen, "tsmdm030|cn=erp1, o=acme|1") << "syme defaults to 1: full copy";
  auto row = Row("tsmdm030");
  EXPECT_EQ(row[0], Variant(0));
  EXPECT_EQ(row[1], Variant(1));
  EXPECT_EQ(row[2], Variant(0));
  EXPECT_TRUE(row[5].IsNull()) << "the release clears the owner";
}

TEST_P(DataCopyTest, SyncMethodChoosesTheCopy) {
  struct Case {
    Variant syme;
    SyncMethod expected;
  } cases[] = {{1, SyncMethod::kFullTable},
               {2, SyncMethod::kChangedData},
               {3, SyncMethod::kFullTable},
               {0, SyncMethod::kFullTable}};
  for (const Case& k : cases) {
    c_->Execute("DELETE FROM tstables WHERE 1=1");
    c_->Execute("INSERT INTO tstables (tablename, syme, in_use) VALUES ('tsmdm030', ?, 0)",
                {k.syme});
    SyncMethod got = SyncMethod::kUndefined;
    Run("tsmdm030",
        With([&](clsDataCopy&, const std::string&, const std::string&, SyncMethod m) { got = m; }));
    EXPECT_EQ(got, k.expected) << DebugString(k.syme);
  }
}

TEST_P(DataCopyTest, BusyTableIsLeftAlone) {
  c_->Execute(
      "INSERT INTO tstables (tablename, in_use, syme, claim_host, claim_pid, claim_time) "
      "VALUES ('tsmdm030', 1, 1, ?, ?, ?)",
      {HostName(), ProcessId(), DateTime::Now()});
  c_->Execute("INSERT INTO tsmdm030 (cstp) VALUES ('A')");
  bool copied = false;
  auto events = Run("tsmdm030", With([&](clsDataCopy&, const std::string&, const std::string&,
                                         SyncMethod) { copied = true; }));
  EXPECT_EQ(events, (std::vector<std::string>{"busy tsmdm030", "done"}));
  EXPECT_FALSE(copied);
  EXPECT_EQ(Row("tsmdm030")[0], Variant(1)) << "the other claim stays";
  EXPECT_EQ(c_->Query("SELECT cstp FROM tsmdm030").size(), 1u);
}

TEST_P(DataCopyTest, UnknownAndMixedCaseNames) {
  c_->Execute("INSERT INTO tstables (tablename, in_use, syme) VALUES ('tsxyz999', 0, 1)");
  EXPECT_EQ(Run("tsxyz999", StandardDispatchTable()),
            (std::vector<std::string>{"started tsxyz999", "complete tsxyz999 0,0,0", "done"}));
  EXPECT_EQ(Row("tsxyz999")[0], Variant(0));

  std::string received;
  auto events =
      Run("TSMDM030",
          With([&](clsDataCopy& job, const std::string& table, const std::string&, SyncMethod) {
            received = table;
            job.LogCopyCounts(table, 0, 0, 0);
          }));
  EXPECT_EQ(received, "TSMDM030");
  EXPECT_EQ(events.back(), "done");
  EXPECT_TRUE(std::filesystem::exists(logs() / "TSMDM030.log"));
  EXPECT_EQ(Row("TSMDM030")[0], Variant(0));
}

TEST_P(DataCopyTest, FailureBeforeTheMethodIsRead) {
  c_->Execute("INSERT INTO tstables (tablename, in_use, syme) VALUES ('tsmdm030', 0, NULL)");
  auto events = Run("tsmdm030", With([](clsDataCopy&, const std::string&, const std::string&,
                                        SyncMethod) { FAIL() << "not dispatched"; }));
  std::string log_file = (logs() / "tsmdm030.log").string();
  EXPECT_EQ(events, (std::vector<std::string>{"error tsmdm030 -1 DataCopy Failed, see logfile '" +
                                                  log_file + "' for Detail Error Message",
                                              "done"}));
  EXPECT_EQ(Row("tsmdm030")[0], Variant(0)) << "failure path A releases";
  std::string log = Log("tsmdm030");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, kDateTimeLine)) << log;
  EXPECT_EQ(m.position(0), 0);
  EXPECT_EQ(
      log.substr(m.length(0)),
      "\"ReadSyncMethod\",\"Invalid use of Null\"\r\n"
      "\"ReadSyncMethod\",\"Reading the synchronization Method for table tsmdm030 Failed\"\r\n");
}

TEST_P(DataCopyTest, FailureAfterTheMethodIsRead) {
  auto events = Run("tsmdm030",
                    With([](clsDataCopy& job, const std::string&, const std::string&, SyncMethod) {
                      throw Error(5, "Copy Service Types", " Copy of Service Types failed");
                    }));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], "started tsmdm030");
  EXPECT_EQ(events[1].rfind("error tsmdm030 -1 DataCopy Failed, see logfile '", 0), 0u);
  EXPECT_EQ(Row("tsmdm030")[0], Variant(0));
  std::string log = Log("tsmdm030");
  EXPECT_NE(log.find("\"Copy Service Types\",\" Copy of Service Types failed\"\r\n"),
            std::string::npos);
  // One date-time line per job, however many error lines follow.
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), kDateTimeLine),
                          std::sregex_iterator()),
            1);
}

TEST_P(DataCopyTest, TableLogCountLines) {
  Run("tsmdm030",
      With([](clsDataCopy& job, const std::string& table, const std::string&, SyncMethod) {
        job.LogCopyCounts(table, 12, 0, 0);
        job.LogCopyCounts(table, 3, 2, 1);
      }));
  std::string log = Log("tsmdm030");
  std::string without_dates = std::regex_replace(log, kDateTimeLine, "<date>");
  EXPECT_EQ(without_dates,
            "<date>\"Table : tsmdm030 - 12 records Inserted\"\r\n"
            "<date>\"Table : tsmdm030 - 3 records Inserted\"\r\n"
            "\"Table : tsmdm030 - 2 records Updated\"\r\n"
            "\"Table : tsmdm030 - 1 records Deleted\"\r\n");
}

TEST_P(DataCopyTest, BadDataSourceIsReportedAndClaimsNothing) {
  RecordingEvents events;
  clsDataCopy job(events);
  job.StartDataCopy("DSN=no_such_dsn;UID=x;PWD=y", "", "tsmdm030", logs().string(), "cn=a, o=b");
  ASSERT_EQ(events.events.size(), 2u);
  EXPECT_EQ(events.events[0].rfind("error tsmdm030 -1", 0), 0u);
  std::string log = Log("tsmdm030");
  EXPECT_NE(log.find("Connection.Open"), std::string::npos) << log;
  EXPECT_EQ(log.find("PWD=y"), std::string::npos);
  EXPECT_TRUE(Row("tsmdm030").empty());
}

TEST_P(DataCopyTest, AClaimLeftByADeadWorkerIsTakenOver) {
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);  // a process id that no longer runs
  struct Case {
    std::string host;
    long pid;
    DateTime since;
    bool taken;
  } cases[] = {
      {HostName(), static_cast<long>(child), DateTime::Now().AddSeconds(-60), true},
      // Alive: this very process, claiming now.
      {HostName(), ProcessId(), DateTime::Now(), false},
      // A live process id that started after the claim was made is not its owner.
      {HostName(), ProcessId(), DateTime::Now().AddSeconds(-3600), true},
      // A claim of another host cannot be checked from here.
      {"other-host", static_cast<long>(child), DateTime::Now().AddSeconds(-60), false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.host + " " + std::to_string(k.pid));
    c_->Execute("DELETE FROM tstables WHERE 1=1");
    c_->Execute(
        "INSERT INTO tstables (tablename, in_use, syme, claim_host, claim_pid, claim_time) "
        "VALUES ('tsmdm030', 1, 1, ?, ?, ?)",
        {k.host, k.pid, k.since});
    std::filesystem::remove(logs() / "tsmdm030.log");
    auto events = Run(
        "tsmdm030", With([](clsDataCopy&, const std::string&, const std::string&, SyncMethod) {}));
    if (k.taken) {
      EXPECT_EQ(events[0], "started tsmdm030");
      EXPECT_EQ(Row("tsmdm030")[0], Variant(0));
      EXPECT_NE(Log("tsmdm030")
                    .find("Took over the claim on table tsmdm030 left by process " +
                          std::to_string(k.pid)),
                std::string::npos);
    } else {
      EXPECT_EQ(events[0], "busy tsmdm030");
      EXPECT_EQ(Row("tsmdm030")[0], Variant(1));
    }
  }
}

TEST_P(DataCopyTest, WorkersStartedTogetherCopyOnce) {
  std::atomic<int> copies{0};
  DispatchTable dispatch =
      With([&](clsDataCopy&, const std::string&, const std::string&, SyncMethod) {
        ++copies;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      });
  std::vector<std::vector<std::string>> results(6);
  std::vector<std::thread> threads;
  for (auto& r : results) {
    threads.emplace_back([&] { r = Run("tsmdm030", dispatch); });
  }
  for (auto& t : threads) t.join();
  int completed = 0, busy = 0;
  for (const auto& r : results) {
    if (r[0] == "started tsmdm030") ++completed;
    if (r[0] == "busy tsmdm030") ++busy;
  }
  EXPECT_EQ(copies.load(), 1);
  EXPECT_EQ(completed, 1);
  EXPECT_EQ(busy, 5);
}

TEST_P(DataCopyTest, AnUnwritableLogDirectoryLosesNoReport) {
  RecordingEvents events;
  DispatchTable dispatch = With([](clsDataCopy&, const std::string&, const std::string&,
                                   SyncMethod) { throw Error(5, "step", "went wrong"); });
  clsDataCopy job(events, dispatch);
  std::string missing = (tmp_.path() / "gone").string();
  job.StartDataCopy(db_.connection_string(), "", "tsmdm030", missing, "cn=a, o=b");
  std::filesystem::path fallback = tmp_.path() / "tsmdm030.log";  // TMPDIR
  ASSERT_TRUE(std::filesystem::exists(fallback));
  EXPECT_NE(ReadFile(fallback).find("\"step\",\"went wrong\""), std::string::npos);
  EXPECT_EQ(events.events[1], "error tsmdm030 -1 DataCopy Failed, see logfile '" +
                                  fallback.string() + "' for Detail Error Message");
  EXPECT_EQ(Row("tsmdm030")[0], Variant(0));
}

TEST_P(DataCopyTest, DeleteAllRecordsAndStampLastUpdate) {
  c_->Execute("INSERT INTO tsmdm030 (cstp) VALUES ('A'), ('B')");
  DateTime stamp = DateTime::FromCivil(2026, 12, 11, 8, 9, 10);
  Run("tsmdm030",
      With([&](clsDataCopy& job, const std::string& table, const std::string&, SyncMethod) {
        job.DeleteAllRecords(table);
        EXPECT_EQ(job.Connection().CommandTimeout(), 150);
        job.StampLastUpdate(table, stamp);
        job.StampLastUpdate("tsmdm100", stamp);  // adds the row it misses
      }));
  EXPECT_TRUE(c_->Query("SELECT cstp FROM tsmdm030").empty());
  EXPECT_EQ(Row("tsmdm030")[4], Variant(stamp));
  EXPECT_EQ(Row("tsmdm100")[4], Variant(stamp));
}

INSTANTIATE_TEST_SUITE_P(Backends, DataCopyTest, ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

}  // namespace
}  // namespace qor::worker
