#include "worker/start_up.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <regex>

#include "common/connection_string.h"
#include "testing/fake_console.h"
#include "testing/test_env.h"

namespace qor::worker {
namespace {

using qor::testing::Backend;
using qor::testing::FakeConsole;
using qor::testing::ReadFile;
using qor::testing::TempDir;
using qor::testing::TestDatabase;

TEST(CommandLineTest, SplitsTrimsAndRejoins) {
  struct Case {
    std::string text;
    std::vector<std::string> items;  // 0..3 trimmed
    std::string bus;
    bool silent;
  } cases[] = {
      {"DSN=q;UID=u;PWD=p,db ,tsmdm030, /logs,cn=erp1, o=acme",
       {"DSN=q;UID=u;PWD=p", "db", "tsmdm030", "/logs"},
       "cn=erp1, o=acme",
       false},
      {"DSN=q,,tsmdm030,/l,cn=erp1, o=acme,x",
       {"DSN=q", "", "tsmdm030", "/l"},
       "cn=erp1, o=acme",
       true},
      {"DSN=q,,tsmdm030,/l,cn=erp1, o=acme, ",
       {"DSN=q", "", "tsmdm030", "/l"},
       "cn=erp1, o=acme",
       true},
      {"DSN=q,,tsmdm030,/l,cn=erp1, o=acme,",
       {"DSN=q", "", "tsmdm030", "/l"},
       "cn=erp1, o=acme",
       false},
      // A comma inside the connection string shifts every later item; nothing detects it.
      {"DSN=q,x;UID=u,db,tsmdm030,/l,cn=erp1, o=acme",
       {"DSN=q", "x;UID=u", "db", "tsmdm030"},
       "/l, cn=erp1",
       true},
  };
  for (const Case& k : cases) {
    CommandLine line = SplitCommandLine(k.text);
    for (std::size_t i = 0; i < k.items.size(); ++i) EXPECT_EQ(line.Item(i), k.items[i]) << k.text;
    EXPECT_EQ(line.BusComponent(), k.bus) << k.text;
    EXPECT_EQ(line.SilentMode(), k.silent) << k.text;
  }
}

// The tables of these tests copy nothing: they are about starting.
const DispatchTable& NothingToCopy() {
  static const DispatchTable table = [] {
    DispatchTable t;
    t.Add("tsmdm030", [](clsDataCopy&, const std::string&, const std::string&, SyncMethod) {});
    return t;
  }();
  return table;
}

int RunStartUp(const std::string& line) {
  return qor::worker::RunStartUp(line, CreateMessHandler, NothingToCopy());
}

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() : db_(Backend::kSqlite) {
    setenv("TMPDIR", tmp_.path().c_str(), 1);
    std::filesystem::create_directories(logs());
  }
  std::filesystem::path logs() const { return tmp_.path() / "logs"; }
  std::string Line(const std::string& table, const std::string& tail = "") {
    return db_.connection_string() + ", ," + table + "," + logs().string() + ",cn=erp1, o=acme" +
           tail;
  }
  TempDir tmp_;
  TestDatabase db_;
};

const std::regex kFailureEntry(
    "Date-Time :\\d\\d/\\d\\d/\\d\\d : \\d\\d:\\d\\d:\\d\\d\r\nData Copy Failed:\r\nError is - ");

TEST_F(StartUpTest, SixItemsRunTheCopy) {
  TempDir runtime;
  FakeConsole console(runtime.path());
  EXPECT_EQ(RunStartUp(Line("tsmdm030")), kExitCompleted);
  EXPECT_EQ(console.Texts("writeToMessageBox").front(), " Data copy of Table tsmdm030 started");
  EXPECT_FALSE(std::filesystem::exists(logs() / "QORDBSynclog.txt"));
}

TEST_F(StartUpTest, SeventhItemSwitchesOnSilentMode) {
  TempDir runtime;
  FakeConsole console(runtime.path());
  EXPECT_EQ(RunStartUp(Line("tsmdm030", ",x")), kExitCompleted);
  EXPECT_EQ(console.created(), 0);
  EXPECT_EQ(RunStartUp(Line("tsmdm030", ",")), kExitCompleted);
  EXPECT_EQ(console.created(), 1) << "an empty seventh item is no silent mode";
}

TEST_F(StartUpTest, FiveItemsAreRefusedWithTheExactEntry) {
  EXPECT_EQ(RunStartUp("DSN=q, ,tsmdm030, " + logs().string() + ",cn=erp1"), kExitStartFailed);
  std::string log = ReadFile(logs() / "QORDBSynclog.txt");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, kFailureEntry)) << log;
  EXPECT_EQ(m.position(0), 0);
  EXPECT_EQ(
      log.substr(m.length(0)),
      "9999: Invalid Number of Arguments, Expected 5 or More. \r\n Application cannot Start\r\n");
}

TEST_F(StartUpTest, FailuresWithoutAUsableLogDirectoryGoToTheTemporaryDirectory) {
  struct Case {
    std::string line;
    std::string expected;
  } cases[] = {
      {"a,b", "Invalid Number of Arguments"},
      {"DSN=q, ,tsmdm030,   ,cn=erp1, o=acme", "Log directory '' does not exist"},
      {"DSN=q, ,tsmdm030," + (tmp_.path() / "missing").string() + ",cn=erp1, o=acme",
       "does not exist"},
      {"", "Invalid Number of Arguments"},
  };
  for (const Case& k : cases) {
    std::filesystem::remove(tmp_.path() / "QORDBSynclog.txt");
    EXPECT_EQ(RunStartUp(k.line), kExitStartFailed) << k.line;
    std::string log = ReadFile(tmp_.path() / "QORDBSynclog.txt");
    EXPECT_NE(log.find(k.expected), std::string::npos) << k.line << "\n" << log;
  }
}

TEST_F(StartUpTest, UnsafeTableNamesAreRefused) {
  for (const std::string name : {"../x", "tsmdm030;drop", "a b", ""}) {
    EXPECT_EQ(RunStartUp(Line(name)), kExitStartFailed) << name;
  }
  EXPECT_NE(ReadFile(logs() / "QORDBSynclog.txt").find("Invalid table name '../x'"),
            std::string::npos);
  EXPECT_TRUE(db_.Connect()->Query("SELECT tablename FROM tstables").empty());
}

TEST_F(StartUpTest, NoConsoleAndBadDataSourceGiveNonZeroStatus) {
  TempDir runtime;
  setenv("QOR_RUNTIME_DIR", runtime.path().c_str(), 1);
  EXPECT_EQ(RunStartUp(Line("tsmdm030")), kExitStartFailed);
  EXPECT_NE(ReadFile(logs() / "QORDBSynclog.txt").find("Error is - 429: "), std::string::npos);
  EXPECT_TRUE(db_.Connect()->Query("SELECT tablename FROM tstables").empty());

  std::string bad = "DSN=no_such_dsn;UID=u;PWD=p, ,tsmdm030," + logs().string() + ",cn=a, o=b,x";
  EXPECT_EQ(RunStartUp(bad), kExitCopyFailed);
  EXPECT_NE(ReadFile(logs() / "tsmdm030.log").find("Connection.Open"), std::string::npos);
}

TEST_F(StartUpTest, PasswordComesFromTheEnvironment) {
  TestDatabase pg(Backend::kPostgres);
  ConnectionString cs = ConnectionString::Parse(pg.connection_string());
  std::string password = *cs.Get("PWD");
  cs.Remove("PWD");
  std::string line = cs.ToString() + ", ,tsmdm030," + logs().string() + ",cn=a, o=b,x";
  unsetenv("QOR_DB_PASSWORD");
  EXPECT_EQ(RunStartUp(line), kExitCopyFailed);
  setenv("QOR_DB_PASSWORD", password.c_str(), 1);
  EXPECT_EQ(RunStartUp(line), kExitCompleted);
  EXPECT_EQ(pg.Connect()->Query("SELECT in_use FROM tstables")[0][0], Variant(0));
  unsetenv("QOR_DB_PASSWORD");
}

}  // namespace
}  // namespace qor::worker

namespace qor::worker {
namespace {

// The program itself, started as the console starts it: the exit status tells the outcome.
TEST(QORDbSyncProgramTest, ExitStatusOfBadStarts) {
  TempDir tmp;
  setenv("TMPDIR", tmp.path().c_str(), 1);
  const std::string program = std::string(QOR_BINARY_DIR) + "/worker/QORDbSync";
  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"", kExitStartFailed},
      {"'a,b,c'", kExitStartFailed},
      {"'DSN=no_such_dsn;UID=u;PWD=p, ,tsmdm030," + tmp.path().string() + ",cn=a,' ' o=b,x'",
       kExitCopyFailed},
  };
  for (const Case& k : cases) {
    int status = std::system((program + " " + k.args + " 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << k.args;
    EXPECT_EQ(WEXITSTATUS(status), k.status) << k.args;
  }
  EXPECT_TRUE(std::filesystem::exists(tmp.path() / "QORDBSynclog.txt"));
  EXPECT_NE(ReadFile(tmp.path() / "tsmdm030.log").find("Connection.Open"), std::string::npos);
}

}  // namespace
}  // namespace qor::worker
