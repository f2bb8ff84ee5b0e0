// The Kilnbase program run unattended as a child process, with an ODBC configuration of its
// own; a second helper program connects through the DSN it wrote.
#include <gtest/gtest.h>

#include "common/text.h"
#include "dbcreate/child_process.h"
#include "dbcreate/dbcreate_testing.h"
#include "testing/test_env.h"

namespace qor::dbcreate {
namespace {
namespace fs = std::filesystem;
using qor::testing::ReadFile;
using qor::testing::TestEnv;
using qor::testing::UniqueName;

class KilnbaseProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::MakeOdbcConfig(config(), false); }

  fs::path config() const { return dir_.path() / "odbc"; }
  fs::path odbc_ini() const { return config() / "odbc.ini"; }

  std::vector<std::pair<std::string, std::string>> Environment() const {
    // No display and no terminal: the messages go to standard error and nobody answers.
    return {{"ODBCSYSINI", config().string()},
            {"ODBCINI", (config() / "user_odbc.ini").string()},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"QT_QPA_PLATFORM", ""},
            {"QOR_SQL_TOOLS", ""},
            {"QOR_DB_PASSWORD", ""}};
  }

  ChildResult Kilnbase(const std::vector<std::string>& arguments,
                       const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    ChildCommand command;
    command.program = KILNBASE_PROGRAM;
    command.arguments = arguments;
    command.environment = Environment();
    command.environment.insert(command.environment.end(), extra.begin(), extra.end());
    command.working_directory = dir_.path();
    return RunToCompletion(command);
  }

  // The tables found through `connection` by another process, or the failure.
  ChildResult Probe(const std::string& connection) {
    ChildCommand command;
    command.program = QOR_DSN_PROBE;
    command.environment = Environment();
    command.environment.emplace_back("QOR_PROBE_CONNECTION", connection);
    return RunToCompletion(command);
  }
  static std::vector<std::string> Lines(const std::string& text) {
    return Split(TrimSpace(text), '\n');
  }

  qor::testing::TempDir dir_;
  testing::PostgresDatabases pg_databases_;
};

TEST_F(KilnbaseProgramTest, TheReadmeCommandCreatesTheEmbeddedDatabaseAndItsDsn) {
  fs::create_directories(dir_.path() / "data");
  std::string line = "sqlite:data,,,qor," + qor::testing::LocalSchemaPath().string() + ",qor_local";
  ASSERT_FALSE(fs::exists(odbc_ini()));

  ChildResult first = Kilnbase({line});
  EXPECT_EQ(first.exit_code, 0);
  EXPECT_EQ(first.error_output,
            "Kilnbase: Database 'qor' created on the Server 'sqlite:data'\n"
            "Kilnbase: Tables inserted into the database 'qor'\n"
            "Kilnbase: 'qor_local' added to the System DSN list\n");
  auto entry = testing::IniSection(odbc_ini(), "qor_local");
  ASSERT_FALSE(entry.empty());
  EXPECT_EQ(entry[1],
            std::make_pair(std::string("Database"), (dir_.path() / "data" / "qor.db").string()));
  ChildResult probe = Probe("DSN=qor_local;UID=;PWD=");
  EXPECT_EQ(probe.exit_code, 0) << probe.error_output;
  EXPECT_EQ(Lines(probe.error_output), testing::ScriptTables());

  // Run again, nobody at a terminal: the question is answered No and the DSN written anew.
  ChildResult again = Kilnbase({line});
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_EQ(again.error_output,
            "Kilnbase: Database Creation: Database 'qor' already exists on Server 'sqlite:data'\n"
            "Kilnbase: Do you still want to Create Tables in this Database?\n"
            "Kilnbase: no terminal to answer the question; answered No\n"
            "Kilnbase: 'qor_local' added to the System DSN list\n");
}

TEST_F(KilnbaseProgramTest, ThePasswordCanComeFromTheEnvironmentInsteadOfTheCommandLine) {
  struct Case {
    const char* name;
    std::string environment_password;
    int exit_code;
    bool created;
  } cases[] = {
      {"password in QOR_DB_PASSWORD", TestEnv::Get().pg_password, 0, true},
      {"no password anywhere", "", 1, false},
  };
  for (const Case& c : cases) {
    std::string database = UniqueName("KbProg");
    std::string dsn = UniqueName("kbdsn");
    pg_databases_.Add(database);
    ChildResult run =
        Kilnbase({testing::PostgresServerName() + "," + TestEnv::Get().pg_user + ",," + database +
                  "," + qor::testing::LocalSchemaPath().string() + "," + dsn},
                 {{"QOR_DB_PASSWORD", c.environment_password}});
    EXPECT_EQ(run.exit_code, c.exit_code) << c.name << ": " << run.error_output;
    EXPECT_EQ(testing::PostgresDatabaseExists(database), c.created) << c.name;
    if (!c.created) {
      EXPECT_EQ(run.error_output.rfind("Kilnbase: Database Creation Failed ", 0), 0u)
          << c.name << ": " << run.error_output;
      continue;
    }
    ChildResult probe = Probe("DSN=" + dsn + ";UID=" + TestEnv::Get().pg_user +
                              ";PWD=" + TestEnv::Get().pg_password);
    EXPECT_EQ(probe.exit_code, 0) << probe.error_output;
    EXPECT_EQ(Lines(probe.error_output), testing::ScriptTables()) << c.name;
    EXPECT_EQ(ReadFile(odbc_ini()).find(TestEnv::Get().pg_password), std::string::npos);
  }
}

TEST_F(KilnbaseProgramTest, TheExitStatusSaysWhetherEverythingSucceeded) {
  fs::path no_tools = dir_.path() / "no-tools";
  fs::create_directories(no_tools);
  fs::create_directories(dir_.path() / "data");
  std::string script = qor::testing::LocalSchemaPath().string();
  struct Case {
    const char* name;
    std::string line;
    std::vector<std::pair<std::string, std::string>> environment;
    std::string error_output;
  } cases[] = {
      {"no script tool",
       "sqlite:data,,,qor," + script + ",qor_local",
       {{"QOR_SQL_TOOLS", no_tools.string()}},
       "Kilnbase: Database Creation Failed SQL Server Components are not Present on this "
       "computer\n"},
      {"refused name",
       "sqlite:data,,,q;or," + script + ",qor_local",
       {},
       "Kilnbase: Database Creation Failed The database name 'q;or' cannot be used: it contains "
       "';'\n"},
      {"script tool fails",
       "sqlite:data,,,qor2,/nonexistent.sql,qor_local",
       {},
       "Kilnbase: Databse Created, but Table insertion failed Cannot read the file "
       "'/nonexistent.sql': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    ChildResult run = Kilnbase({c.line}, c.environment);
    EXPECT_EQ(run.exit_code, 1) << c.name;
    EXPECT_EQ(run.error_output, c.error_output) << c.name;
  }
  EXPECT_FALSE(fs::exists(odbc_ini()));
}

TEST_F(KilnbaseProgramTest, TheDriverIsTakenFromTheRegisteredDrivers) {
  std::string odbcinst = ReadFile(TestEnv::Get().odbc_dir / "odbcinst.ini");
  std::string postgres_only = odbcinst.substr(odbcinst.find("[PostgreSQL]"));
  struct Case {
    const char* name;
    std::string odbcinst_ini;
    int exit_code;
    std::string dsn_line;  // the DSN's part of the output
    std::string driver;    // the DSN's "Driver", when written
  } cases[] = {
      {"no driver for the server", postgres_only, 1,
       "Kilnbase: System DSN Creation Failed. Couldn't determine the driver for SQL Server\n", ""},
      // The driver manager does not find a bare library name in odbc.ini; the driver's name
      // stands there instead.
      {"bare library name", "[SQLite3]\nDriver=libsqlite3odbc.so\n", 0,
       "Kilnbase: 'qor_local' added to the System DSN list\n", "SQLite3"},
  };
  for (const Case& c : cases) {
    qor::testing::TempDir run_dir;
    testing::MakeOdbcConfig(config(), false, c.odbcinst_ini);
    fs::remove(odbc_ini());
    fs::path data = run_dir.path() / "data";
    fs::create_directories(data);
    ChildResult run = Kilnbase({"sqlite:" + data.string() + ",,,qor," +
                                qor::testing::LocalSchemaPath().string() + ",qor_local"});
    EXPECT_EQ(run.exit_code, c.exit_code) << c.name;
    std::string summary =
        "Kilnbase: Database 'qor' created on the Server 'sqlite:" + data.string() +
        "'\nKilnbase: Tables inserted into the database 'qor'\n";
    if (c.driver.empty()) {
      EXPECT_EQ(run.error_output, c.dsn_line + summary) << c.name;
      continue;
    }
    EXPECT_EQ(run.error_output, summary + c.dsn_line) << c.name;
    EXPECT_EQ(testing::IniSection(odbc_ini(), "qor_local")[0],
              std::make_pair(std::string("Driver"), c.driver))
        << c.name;
    ChildResult probe = Probe("DSN=qor_local;UID=;PWD=");
    EXPECT_EQ(probe.exit_code, 0) << c.name << ": " << probe.error_output;
    EXPECT_EQ(Lines(probe.error_output), testing::ScriptTables()) << c.name;
  }
}

TEST_F(KilnbaseProgramTest, WithoutItemsItWantsADisplayForItsWindow) {
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{}, std::vector<std::string>{" ,sa,pw,qor"}}) {
    ChildResult run = Kilnbase(arguments);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.error_output.find("no display to open the window on"), std::string::npos)
        << run.error_output;
  }
}

}  // namespace
}  // namespace qor::dbcreate
