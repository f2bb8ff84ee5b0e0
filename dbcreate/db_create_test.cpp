// clsDbCreate against the test run's PostgreSQL server and a "sqlite:DIR" folder, with the
// real script tools and ODBC drivers; questions and messages go through a scripted prompt.
#include "dbcreate/db_create.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/scripted_prompt.h"
#include "common/text.h"
#include "dbcreate/dbcreate_testing.h"
#include "dbcreate/system_dsn.h"
#include "testing/test_env.h"
#include "worker/localdb/statement.h"

namespace qor::dbcreate {
namespace {
namespace fs = std::filesystem;
using qor::testing::Backend;
using qor::testing::ReadFile;
using qor::testing::TestEnv;
using qor::testing::UniqueName;
using qor::testing::WriteFile;
using testing::ScopedEnv;
using testing::ScriptTables;

const std::vector<std::string> kNoTables;

class DbCreateTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override { fs::create_directories(folder()); }

  bool sqlite() const { return GetParam() == Backend::kSqlite; }
  fs::path folder() const { return dir_.path() / "server"; }
  std::string Server() const {
    return sqlite() ? "sqlite:" + folder().string() : testing::PostgresServerName();
  }
  std::string User() const { return TestEnv::Get().pg_user; }
  // The sqlite kind needs none, but one is given to see that it is written nowhere.
  std::string Password() const {
    return sqlite() ? "sqlite-secret-7731" : TestEnv::Get().pg_password;
  }
  std::string Script() const { return qor::testing::LocalSchemaPath().string(); }

  std::string NewName(const std::string& prefix = "kb") {
    std::string name = UniqueName(prefix);
    Remember(name);
    return name;
  }
  void Remember(const std::string& name) {
    if (!sqlite()) pg_databases_.Add(name);
  }
  void PreCreate(const std::string& name) {
    if (sqlite()) {
      WriteFile(folder() / (name + ".db"), "");
    } else {
      localdb::Connection admin;
      admin.Open(qor::testing::PostgresMaintenanceConnectionString());
      admin.Execute("CREATE DATABASE " + localdb::QuoteName(name));
    }
  }
  bool Exists(const std::string& name) const {
    return sqlite() ? fs::exists(folder() / (name + ".db")) : testing::PostgresDatabaseExists(name);
  }
  std::vector<std::string> TablesIn(const std::string& name) const {
    localdb::Connection c;
    if (sqlite()) {
      c.Open(std::string("DSN=") + qor::testing::kSqliteDsn +
             ";Database=" + (folder() / (name + ".db")).string());
    } else {
      c.Open(std::string("DSN=") + qor::testing::kPostgresDsn + ";UID=" + User() +
             ";PWD=" + Password() + ";Database=" + name);
    }
    return testing::TablesOf(c);
  }
  std::vector<std::string> TablesThroughDsn(const std::string& dsn) const {
    localdb::Connection c;
    c.Open("DSN=" + dsn + ";UID=" + User() + ";PWD=" + Password());
    return testing::TablesOf(c);
  }
  std::map<std::string, std::string> DsnEntry(const std::string& dsn) const {
    auto keys = testing::IniSection(SystemOdbcIni(), dsn);
    return {keys.begin(), keys.end()};
  }

  DbCreateOutcome Run(const std::string& server, const std::string& password,
                      const std::string& name, const std::string& script, const std::string& dsn,
                      bool create_db = true, bool create_dsn = true) {
    return clsDbCreate(prompt_).KilnbaseAndDSN(server, User(), password, name, script, dsn,
                                               create_db, create_dsn);
  }
  DbCreateOutcome Run(const std::string& name, const std::string& dsn) {
    return Run(Server(), Password(), name, Script(), dsn);
  }

  std::string Created(const std::string& name) const {
    return "Database '" + name + "' created on the Server '" + Server() + "'\r\n\r\n";
  }
  static std::string Inserted(const std::string& name) {
    return "Tables inserted into the database '" + name + "'\r\n\r\n";
  }
  static std::string Added(const std::string& dsn) {
    return "'" + dsn + "' added to the System DSN list";
  }

  qor::testing::TempDir dir_;
  ScriptedPrompt prompt_;
  testing::PostgresDatabases pg_databases_;
};

TEST_P(DbCreateTest, CreatesFillsAndRegistersANewDatabase) {
  std::string name = NewName();
  std::string dsn = UniqueName("kbdsn");
  DbCreateOutcome outcome = Run(name, dsn);

  ASSERT_EQ(prompt_.texts(), std::vector<std::string>{Created(name) + Inserted(name) + Added(dsn)});
  EXPECT_EQ(prompt_.shown()[0].icon, MessageIcon::kInformation);
  EXPECT_TRUE(outcome.created && outcome.tables_inserted && outcome.dsn_added);
  EXPECT_FALSE(outcome.exists);
  EXPECT_TRUE(outcome.Succeeded());

  ASSERT_FALSE(ScriptTables().empty());
  EXPECT_EQ(TablesThroughDsn(dsn), ScriptTables());

  auto driver = testing::IniSection(TestEnv::Get().odbc_dir / "odbcinst.ini",
                                    sqlite() ? "SQLite3" : "PostgreSQL");
  ASSERT_EQ(driver.size(), 2u);
  std::map<std::string, std::string> expected = {
      {"Database", sqlite() ? (folder() / (name + ".db")).string() : name},
      {"Description", "..to connect to QOR Database"},
      {"Driver", driver[1].second},
      {"LastUser", User()},
      {"Server", Server()},
  };
  if (!sqlite()) {
    expected["Servername"] = TestEnv::Get().pg_host;
    expected["Port"] = std::to_string(TestEnv::Get().pg_port);
  }
  EXPECT_EQ(DsnEntry(dsn), expected);
  EXPECT_EQ(ReadFile(SystemOdbcIni()).find(Password()), std::string::npos);
}

TEST_P(DbCreateTest, AnExistingDatabaseGetsTheScriptOnlyWhenTheAnswerIsYes) {
  for (Answer answer : {Answer::kYes, Answer::kNo}) {
    SCOPED_TRACE(answer == Answer::kYes ? "Yes" : "No");
    prompt_.Clear();
    std::string name = NewName();
    std::string dsn = UniqueName("kbdsn");
    PreCreate(name);
    prompt_.QueueAnswer(answer);
    DbCreateOutcome outcome = Run(name, dsn);

    ASSERT_EQ(prompt_.shown().size(), 2u);
    const ScriptedPrompt::Shown& question = prompt_.shown()[0];
    EXPECT_TRUE(question.question);
    EXPECT_EQ(question.text, "Database '" + name + "' already exists on Server '" + Server() +
                                 "'\r\n\r\nDo you still want to Create Tables in this Database?");
    EXPECT_EQ(question.title, "Database Creation");
    EXPECT_EQ(question.default_answer, Answer::kYes);
    EXPECT_TRUE(outcome.exists);
    EXPECT_FALSE(outcome.created);
    if (answer == Answer::kYes) {
      EXPECT_EQ(prompt_.shown()[1].text, Inserted(name) + Added(dsn));
      EXPECT_EQ(TablesIn(name), ScriptTables());
    } else {
      EXPECT_EQ(prompt_.shown()[1].text, Added(dsn));
      EXPECT_EQ(TablesIn(name), kNoTables);
    }
    EXPECT_EQ(TablesThroughDsn(dsn), TablesIn(name));
  }
}

TEST_P(DbCreateTest, ANameThatDiffersOnlyInLetterCaseIsAnotherDatabase) {
  std::string base = UniqueName("case");
  std::string existing = "kb" + base;
  std::string wanted = "KB" + base;
  Remember(existing);
  Remember(wanted);
  PreCreate(existing);
  Run(Server(), Password(), wanted, Script(), "", true, false);

  EXPECT_EQ(prompt_.texts(), std::vector<std::string>{Created(wanted) + Inserted(wanted)});
  EXPECT_EQ(prompt_.unanswered(), 0);
  EXPECT_EQ(TablesIn(wanted), ScriptTables());
  EXPECT_EQ(TablesIn(existing), kNoTables);
}

TEST_P(DbCreateTest, AServerThatCannotBeReachedCreatesNothing) {
  struct Case {
    const char* name;
    std::string server;
    std::string password;
    std::string expected_start;
    std::string expected_part;
  };
  std::vector<Case> cases;
  if (sqlite()) {
    fs::path missing = dir_.path() / "missing";
    cases.push_back(
        {"missing folder", "sqlite:" + missing.string(), Password(),
         "Database Creation Failed The folder '" + missing.string() + "' does not exist", ""});
  } else {
    cases.push_back({"wrong password", Server(), Password() + "x", "Database Creation Failed ",
                     "password authentication failed"});
    cases.push_back({"no server on the port", TestEnv::Get().pg_host + ":1", Password(),
                     "Database Creation Failed ", "refused"});
  }
  for (const Case& c : cases) {
    prompt_.Clear();
    std::string name = NewName();
    std::string dsn = UniqueName("kbdsn");
    DbCreateOutcome outcome = Run(c.server, c.password, name, Script(), dsn);
    ASSERT_EQ(prompt_.texts().size(), 1u) << c.name;
    std::string text = prompt_.texts()[0];
    EXPECT_EQ(text.rfind(c.expected_start, 0), 0u) << c.name << ": " << text;
    EXPECT_NE(text.find(c.expected_part), std::string::npos) << c.name << ": " << text;
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_FALSE(Exists(name)) << c.name;
    EXPECT_TRUE(DsnEntry(dsn).empty()) << c.name;  // nothing runs after a failure
  }
}

TEST_P(DbCreateTest, AFailingScriptIsReportedWithTheToolsOwnWords) {
  fs::path broken = dir_.path() / "broken.sql";
  WriteFile(broken,
            "CREATE TABLE kb_first (x integer);\n"
            "CREATE TABLEX kb_broken (y integer);\n"
            "CREATE TABLE kb_never (z integer);\n");
  fs::path missing = dir_.path() / "missing.sql";
  struct Case {
    const char* name;
    bool existing;
    fs::path script;
    std::string expected_start;
    std::string tool_words;
    std::vector<std::string> tables;
  } cases[] = {
      {"new database",
       false,
       broken,
       "Databse Created, but Table insertion failed ",
       "TABLEX",
       {"kb_first"}},
      {"existing database", true, broken, "Database Creation Failed ", "TABLEX", {"kb_first"}},
      {"missing script",
       false,
       missing,
       "Databse Created, but Table insertion failed ",
       "No such file or directory",
       {}},
  };
  for (const Case& c : cases) {
    prompt_.Clear();
    std::string name = NewName();
    std::string dsn = UniqueName("kbdsn");
    if (c.existing) {
      PreCreate(name);
      prompt_.QueueAnswer(Answer::kYes);
    }
    DbCreateOutcome outcome = Run(Server(), Password(), name, c.script.string(), dsn);

    std::vector<std::string> texts = prompt_.texts();
    ASSERT_EQ(texts.size(), c.existing ? 2u : 1u) << c.name;
    const std::string& failure = texts.back();
    EXPECT_EQ(failure.rfind(c.expected_start, 0), 0u) << c.name << ": " << failure;
    EXPECT_NE(failure.find(c.tool_words), std::string::npos) << c.name << ": " << failure;
    EXPECT_EQ(failure.find("Tables inserted"), std::string::npos) << c.name;
    EXPECT_EQ(outcome.created, !c.existing) << c.name;
    EXPECT_FALSE(outcome.tables_inserted) << c.name;
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_TRUE(DsnEntry(dsn).empty()) << c.name;
    EXPECT_EQ(TablesIn(name), c.tables) << c.name;  // the tool stopped at the first error
  }
}

TEST_P(DbCreateTest, WithoutTheScriptToolNothingIsTouched) {
  fs::path empty = dir_.path() / "no-tools";
  fs::create_directories(empty);
  struct Case {
    const char* name;
    std::optional<std::string> tools;
    std::optional<std::string> path;
  } cases[] = {
      {"empty tools folder", empty.string(), std::getenv("PATH")},
      {"empty PATH", std::nullopt, ""},
      {"PATH without the tool", std::nullopt, empty.string()},
  };
  for (const Case& c : cases) {
    prompt_.Clear();
    std::string name = NewName();
    std::string dsn = UniqueName("kbdsn");
    ScopedEnv tools("QOR_SQL_TOOLS", c.tools);
    ScopedEnv path("PATH", c.path);
    // A wrong password shows that no connection is tried.
    DbCreateOutcome outcome = Run(Server(), Password() + "x", name, Script(), dsn);
    EXPECT_EQ(prompt_.texts(),
              std::vector<std::string>{
                  "Database Creation Failed SQL Server Components are not Present on this "
                  "computer"})
        << c.name;
    EXPECT_TRUE(outcome.failed) << c.name;
    EXPECT_FALSE(Exists(name)) << c.name;
    EXPECT_TRUE(DsnEntry(dsn).empty()) << c.name;
  }
}

TEST_P(DbCreateTest, NamesThatCouldBreakOutAreRefusedBeforeAnythingIsCreated) {
  struct Case {
    std::string database;
    std::string dsn;
    std::string user;
    bool create_db;
    std::string message;
  };
  std::string valid = UniqueName("kb");
  Remember(valid);
  std::vector<Case> cases = {
      {"kb;drop", "d1", User(), true,
       "Database Creation Failed The database name 'kb;drop' cannot be used: it contains ';'"},
      {"kb'x", "d1", User(), true,
       "Database Creation Failed The database name 'kb'x' cannot be used: it contains '''"},
      {"kb\"x", "d1", User(), true,
       "Database Creation Failed The database name 'kb\"x' cannot be used: it contains '\"'"},
      {"kb]x", "d1", User(), true,
       "Database Creation Failed The database name 'kb]x' cannot be used: it contains ']'"},
      {"kb\r\nx", "d1", User(), true,
       "Database Creation Failed The database name 'kb\r\nx' cannot be used: it contains a line "
       "break"},
      {valid, "d]\n[evil", User(), true,
       "Database Creation Failed The DSN name 'd]\n[evil' cannot be used: it contains ']'"},
      {valid, "d1", "qor;PWD=x", true,
       "Database Creation Failed The user name 'qor;PWD=x' cannot be used: it contains ';'"},
      {valid, "a=b", User(), false,
       "System DSN Creation Failed. The DSN name 'a=b' cannot be used: it contains '='"},
      {"", "d1", User(), false, "System DSN Creation Failed. The database name is empty"},
  };
  if (sqlite()) {
    cases.push_back({"../kbescape", "d1", User(), true,
                     "Database Creation Failed The database name '../kbescape' cannot be used: "
                     "it contains '/'"});
  } else {
    cases.push_back({std::string(64, 'k'), "d1", User(), true,
                     "Database Creation Failed The database name '" + std::string(64, 'k') +
                         "' cannot be used: it is longer than 63 bytes"});
  }
  std::string ini_before = fs::exists(SystemOdbcIni()) ? ReadFile(SystemOdbcIni()) : "";
  for (const Case& c : cases) {
    prompt_.Clear();
    DbCreateOutcome outcome = clsDbCreate(prompt_).KilnbaseAndDSN(
        Server(), c.user, Password(), c.database, Script(), c.dsn, c.create_db, true);
    EXPECT_EQ(prompt_.texts(), std::vector<std::string>{c.message}) << c.message;
    EXPECT_TRUE(outcome.failed) << c.message;
    EXPECT_FALSE(outcome.created || outcome.dsn_added) << c.message;
  }
  EXPECT_FALSE(Exists(valid));
  if (sqlite()) {
    EXPECT_TRUE(fs::is_empty(folder()));
    EXPECT_FALSE(fs::exists(dir_.path() / "kbescape.db"));
  }
  EXPECT_EQ(fs::exists(SystemOdbcIni()) ? ReadFile(SystemOdbcIni()) : "", ini_before);
}

TEST_P(DbCreateTest, TheDsnAloneAndABlankDsnName) {
  std::string name = NewName();
  std::string dsn = UniqueName("kbdsn");
  DbCreateOutcome outcome = Run(Server(), Password(), name, Script(), dsn, false, true);
  EXPECT_EQ(prompt_.texts(), std::vector<std::string>{Added(dsn)});
  EXPECT_TRUE(outcome.dsn_added && outcome.Succeeded());
  EXPECT_FALSE(Exists(name));
  EXPECT_EQ(DsnEntry(dsn)["Description"], "..to connect to QOR Database");

  std::string ini_before = ReadFile(SystemOdbcIni());
  prompt_.Clear();
  outcome = Run(Server(), Password(), name, Script(), "   ", false, true);
  EXPECT_TRUE(prompt_.texts().empty());
  EXPECT_TRUE(outcome.Succeeded());
  EXPECT_FALSE(outcome.dsn_added);

  prompt_.Clear();
  outcome = Run(Server(), Password(), name, Script(), "", true, true);
  EXPECT_EQ(prompt_.texts(), std::vector<std::string>{Created(name) + Inserted(name)});
  EXPECT_EQ(ReadFile(SystemOdbcIni()), ini_before);
}

TEST_P(DbCreateTest, AScriptPathWithBlanksArrivesWholeQuotedOrNot) {
  fs::path script = dir_.path() / "my scripts" / "local database.sql";
  fs::create_directories(script.parent_path());
  fs::copy_file(Script(), script);
  for (bool quoted : {true, false}) {
    prompt_.Clear();
    std::string name = NewName();
    std::string path = quoted ? "\"" + script.string() + "\"" : script.string();
    DbCreateOutcome outcome = Run(Server(), Password(), name, path, "");
    EXPECT_TRUE(outcome.tables_inserted)
        << path << ": " << ::testing::PrintToString(prompt_.texts());
    EXPECT_EQ(TablesIn(name), ScriptTables()) << path;
  }
}

// A stand-in for the script tool that notes its arguments and whether it was given the
// password in $QOR_EXPECTED_PASSWORD (the password itself is written to no file).
class FakeTool {
 public:
  FakeTool(const fs::path& folder, const std::string& tool, const std::string& exit_line)
      : folder_(folder), log_(folder.parent_path() / "tool-log") {
    fs::create_directories(folder_);
    testing::WriteProgram(folder_ / tool,
                          "#!/bin/sh\n"
                          "printf '%s\\n' \"$@\" > '" +
                              log_.string() +
                              ".args'\n"
                              "if [ \"$PGPASSWORD\" = \"$QOR_EXPECTED_PASSWORD\" ]; then "
                              "given=yes; else given=no; fi\n"
                              "printf '%s' \"$given\" > '" +
                              log_.string() + ".password'\n" + exit_line + "\n");
  }
  std::vector<std::string> Arguments() const {
    return Split(TrimSpace(ReadFile(log_.string() + ".args")), '\n');
  }
  bool GivenThePassword() const { return ReadFile(log_.string() + ".password") == "yes"; }

 private:
  fs::path folder_;
  fs::path log_;
};

TEST_P(DbCreateTest, ThePasswordReachesTheToolOnlyThroughItsEnvironment) {
  std::string tool = sqlite() ? "sqlite3" : "psql";
  FakeTool fake(dir_.path() / "tools", tool, "exit 0");
  ScopedEnv tools("QOR_SQL_TOOLS", (dir_.path() / "tools").string());
  ScopedEnv expected("QOR_EXPECTED_PASSWORD", Password());
  std::string name = NewName();
  Run(Server(), Password(), name, Script(), "");

  EXPECT_EQ(prompt_.texts(), std::vector<std::string>{Created(name) + Inserted(name)});
  std::vector<std::string> arguments = fake.Arguments();
  for (const std::string& argument : arguments) {
    EXPECT_EQ(argument.find(Password()), std::string::npos) << argument;
  }
  auto has = [&](const std::string& a) {
    return std::find(arguments.begin(), arguments.end(), a) != arguments.end();
  };
  if (sqlite()) {
    EXPECT_TRUE(has("-bail"));
    EXPECT_TRUE(has((folder() / (name + ".db")).string()));
    EXPECT_FALSE(fake.GivenThePassword());  // the file needs none
  } else {
    EXPECT_TRUE(has("ON_ERROR_STOP=1"));
    EXPECT_TRUE(has(name));
    EXPECT_TRUE(has(Script()));
    EXPECT_TRUE(fake.GivenThePassword());
  }
}

TEST_P(DbCreateTest, AToolThatEndsWithoutWordsIsDescribedByItsEnd) {
  std::string tool = sqlite() ? "sqlite3" : "psql";
  struct Case {
    const char* exit_line;
    std::string words;
  } cases[] = {
      {"exit 4", tool + " ended with exit status 4"},
      {"kill -9 $$", tool + " was ended by signal 9"},
  };
  for (const Case& c : cases) {
    prompt_.Clear();
    qor::testing::TempDir tools_dir;
    FakeTool fake(tools_dir.path() / "bin", tool, c.exit_line);
    ScopedEnv tools("QOR_SQL_TOOLS", (tools_dir.path() / "bin").string());
    std::string name = NewName();
    Run(Server(), Password(), name, Script(), "");
    EXPECT_EQ(prompt_.texts(),
              std::vector<std::string>{"Databse Created, but Table insertion failed " + c.words});
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, DbCreateTest, ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return qor::testing::BackendName(info.param); });

TEST(DbCreateMessagesTest, TheFailureMessageFollowsHowFarTheCallGot) {
  struct Case {
    bool created;
    bool tables_inserted;
    const char* expected;
  } cases[] = {
      {false, false, "Database Creation Failed why"},
      {true, false, "Databse Created, but Table insertion failed why"},
      {true, true, "System DSN entry Failed why"},
  };
  for (const Case& c : cases) {
    DbCreateOutcome progress;
    progress.created = c.created;
    progress.tables_inserted = c.tables_inserted;
    EXPECT_EQ(clsDbCreate::FailureMessage(progress, "why"), c.expected);
  }
}

TEST(DbCreateMessagesTest, TheSummaryListsWhatWasDone) {
  struct Case {
    bool created;
    bool inserted;
    bool dsn;
    const char* expected;
  } cases[] = {
      {true, true, true,
       "Database 'q' created on the Server 's'\r\n\r\nTables inserted into the database "
       "'q'\r\n\r\n'd' added to the System DSN list"},
      {false, true, false, "Tables inserted into the database 'q'\r\n\r\n"},
      {true, false, false, "Database 'q' created on the Server 's'\r\n\r\n"},
      {false, false, true, "'d' added to the System DSN list"},
      {false, false, false, ""},
  };
  for (const Case& c : cases) {
    DbCreateOutcome outcome;
    outcome.created = c.created;
    outcome.tables_inserted = c.inserted;
    outcome.dsn_added = c.dsn;
    EXPECT_EQ(clsDbCreate::SummaryMessage(outcome, "q", "s", "d"), c.expected);
  }
}

}  // namespace
}  // namespace qor::dbcreate
