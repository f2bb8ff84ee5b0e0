#include "worker/data_copy_handler.h"

#include <gtest/gtest.h>

#include "testing/fake_console.h"
#include "testing/test_env.h"

namespace qor::worker {
namespace {

using qor::testing::Backend;
using qor::testing::FakeConsole;
using qor::testing::TempDir;
using qor::testing::TestDatabase;

const std::string kHyphens(54, '-');

class DataCopyHandlerTest : public ::testing::Test {
 protected:
  DataCopyHandlerTest() : db_(Backend::kSqlite), c_(db_.Connect()) {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    std::filesystem::create_directories(logs());
  }
  std::filesystem::path logs() const { return tmp_.path() / "logs"; }

  // Runs a job for tsmdm030 whose copy is `copy`.
  void Run(bool silent, CopyProcedure copy) {
    dispatch_ = StandardDispatchTable();
    dispatch_.Add("tsmdm030", std::move(copy));
    clsDataCopyHandler handler(silent, CreateMessHandler, dispatch_);
    handler.HandleDataCopy(db_.connection_string(), "", "tsmdm030", logs().string(), "cn=a, o=b");
  }

  TempDir tmp_;
  TestDatabase db_;
  std::unique_ptr<localdb::Connection> c_;
  DispatchTable dispatch_;
};

TEST_F(DataCopyHandlerTest, MessagesOfEachOutcome) {
  const std::string log_file = (tmp_.path() / "logs" / "tsmdm030.log").string();
  struct Case {
    const char* name;
    std::function<void()> prepare;
    CopyProcedure copy;
    std::vector<std::string> messages;
    std::vector<std::string> alerts;
  } cases[] = {
      {"normal copy",
       [] {},
       [](clsDataCopy& job, const std::string&, const std::string&, SyncMethod) {
         job.InsertCount = 12;
       },
       {" Data copy of Table tsmdm030 started",
        " Table tsmdm030: - 12records inserted - 0 records updated - 0 records deleted"},
       {}},
      {"table busy",
       [&] {
         c_->Execute(
             "INSERT INTO tstables (tablename, in_use, claim_host, claim_pid, claim_time) "
             "VALUES ('tsmdm030', 1, 'elsewhere', 1, ?)",
             {DateTime::Now()});
       },
       {},
       {" For Table tsmdm030 datacopy is already in progress"},
       {}},
      {"failure after the method was read",
       [] {},
       [](clsDataCopy&, const std::string&, const std::string&, SyncMethod) {
         throw Error(5, "x", "y");
       },
       {" Data copy of Table tsmdm030 started", " Data copy of Table tsmdm030 failed."},
       {" Data copy of Table tsmdm030 failed.\r\nError is -1 DataCopy Failed, see logfile '" +
        log_file + "' for Detail Error Message\r\n" + kHyphens}},
      {"failure before the method was read",
       [&] {
         c_->Execute("INSERT INTO tstables (tablename, in_use, syme) VALUES ('tsmdm030', 0, NULL)");
       },
       {},
       {" Data copy of Table tsmdm030 failed."},
       {" Data copy of Table tsmdm030 failed.\r\nError is -1 DataCopy Failed, see logfile '" +
        log_file + "' for Detail Error Message\r\n" + kHyphens}},
  };
  for (Case& k : cases) {
    SCOPED_TRACE(k.name);
    c_->Execute("DELETE FROM tstables WHERE 1=1");
    k.prepare();
    TempDir runtime;
    FakeConsole console(runtime.path());
    Run(false, k.copy);
    EXPECT_EQ(console.Texts("writeToMessageBox"), k.messages);
    EXPECT_EQ(console.Texts("WriteToAlertBox"), k.alerts);
    EXPECT_EQ(console.created(), 1);
    // Every call carries the event's time as a date-time value.
    for (const auto& call : console.calls()) {
      ASSERT_EQ(call.args.size(), 2u);
      EXPECT_EQ(call.args[0].kind(), Variant::Kind::kDateTime);
    }
  }
}

TEST_F(DataCopyHandlerTest, TheInstanceLivesFromTheStartUntilDone) {
  TempDir runtime;
  FakeConsole console(runtime.path());
  int live_during_copy = -1;
  Run(false, [&](clsDataCopy&, const std::string&, const std::string&, SyncMethod) {
    live_during_copy = console.live();
  });
  EXPECT_EQ(live_during_copy, 1);
  for (int i = 0; i < 100 && console.live() != 0; ++i) usleep(10000);
  EXPECT_EQ(console.live(), 0);
}

TEST_F(DataCopyHandlerTest, SilentModeSendsNothingAndStillLogs) {
  TempDir runtime;
  FakeConsole console(runtime.path());
  Run(true, [](clsDataCopy& job, const std::string& table, const std::string&, SyncMethod) {
    job.LogCopyCounts(table, 1, 0, 0);
  });
  EXPECT_EQ(console.created(), 0);
  EXPECT_TRUE(console.calls().empty());
  EXPECT_TRUE(std::filesystem::exists(logs() / "tsmdm030.log"));
}

TEST_F(DataCopyHandlerTest, NoConsoleMeansNoJob) {
  TempDir runtime;
  setenv("QOR_RUNTIME_DIR", runtime.path().c_str(), 1);
  bool copied = false;
  try {
    Run(false,
        [&](clsDataCopy&, const std::string&, const std::string&, SyncMethod) { copied = true; });
    FAIL() << "no error without a console";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kCannotCreateObject);
    EXPECT_NE(e.description().find("QORServer.clsMessHandler"), std::string::npos);
  }
  EXPECT_FALSE(copied);
  EXPECT_TRUE(c_->Query("SELECT tablename FROM tstables").empty()) << "no table touched";
}

TEST_F(DataCopyHandlerTest, AConsoleThatStopsAnsweringDoesNotFailTheCopy) {
  TempDir runtime;
  FakeConsole console(runtime.path());
  console.FailMember("writeToMessageBox");
  bool copied = false;
  Run(false, [&](clsDataCopy& job, const std::string& table, const std::string&, SyncMethod) {
    copied = true;
    job.LogCopyCounts(table, 4, 0, 0);
  });
  EXPECT_TRUE(copied);
  EXPECT_EQ(c_->Query("SELECT in_use FROM tstables")[0][0], Variant(0));
  EXPECT_NE(qor::testing::ReadFile(logs() / "tsmdm030.log").find("4 records Inserted"),
            std::string::npos);
  EXPECT_EQ(console.calls().size(), 1u) << "the refused instance is dropped";
}

}  // namespace
}  // namespace qor::worker
