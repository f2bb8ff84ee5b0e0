#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <set>

#include "common/error.h"
#include "common/text.h"
#include "worker/erp/directory.h"
#include "worker/erp/sample_data.h"
#include "worker/erp/store_test_util.h"

namespace qor::erp {
namespace {

using qor::testing::Backend;

struct RunResult {
  int status = -1;
  std::string output;
};

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs erpsim with the arguments (each quoted for the shell); stdout and stderr together.
RunResult Erpsim(const std::vector<std::string>& args) {
  std::string command = QOR_ERPSIM;
  for (const std::string& a : args) command += " " + ShellQuote(a);
  RunResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(ErpsimTest, BadArgumentsGiveUsageAndFail) {
  qor::testing::TempDir dir;
  const std::string file = (dir.path() / "dir.ldif").string();
  struct Case {
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {{}, "subcommand"},
      {{"frobnicate"}, "subcommand"},
      {{"create"}, "--connect"},
      {{"create", "--connect", "DSN=x", "--rows", "0"}, "--rows"},
      {{"create", "--connect", "DSN=x", "--rows", "many"}, "--rows"},
      {{"create", "--connect", "DSN=x;UID=u;PWD=hunter2"}, "QOR_ERP_PASSWORD"},
      {{"create", "--connect", "DSN=x", "--today", "2024-13-01"}, "--today"},
      {{"create", "--connect", "DSN=x", "--colour", "red"}, "--colour"},
      {{"change", "--connect", "DSN=x"}, "--count"},
      {{"change", "--connect", "DSN=x", "--count", "5", "--table", "tsmdm999"}, "tsmdm999"},
      {{"change", "--connect", "DSN=x", "--count", "-5"}, "--count"},
      {{"directory", "--file", file, "--bus", "nodn", "--company", "1", "--connect", "DSN=x"},
       "nodn"},
      {{"directory", "--file", file, "--bus", "cn=a, o=b", "--company", "-1", "--connect", "DSN=x"},
       "--company"},
      {{"directory", "--file", file, "--bus", "cn=a, o=b", "--company", "12", "--connect",
        "DSN=x;PWD={s;3}"},
       "PWD"},
      {{"directory", "--file", file, "--bus", "cn=a, o=b", "--connect", "DSN=x"}, "--company"},
  };
  for (const Case& c : cases) {
    RunResult r = Erpsim(c.args);
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    EXPECT_NE(r.status, 0) << shown << "\n" << r.output;
    EXPECT_NE(r.output.find("Usage"), std::string::npos) << shown << "\n" << r.output;
    EXPECT_NE(r.output.find(c.mentions), std::string::npos) << shown << "\n" << r.output;
    EXPECT_EQ(r.output.find("hunter2"), std::string::npos) << shown << "\n" << r.output;
    EXPECT_EQ(r.output.find("s;3"), std::string::npos) << shown << "\n" << r.output;
  }
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ErpsimTest, HelpOnEachCommand) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> mentions;
  };
  const Case cases[] = {
      {{"--help"}, {"create", "change", "directory"}},
      {{"create", "--help"}, {"--connect", "--rows", "--seed"}},
      {{"change", "--help"}, {"--connect", "--count", "--seed", "--table"}},
      {{"directory", "--help"}, {"--file", "--bus", "--company", "--connect"}},
  };
  for (const Case& c : cases) {
    RunResult r = Erpsim(c.args);
    EXPECT_EQ(r.status, 0) << r.output;
    for (const std::string& m : c.mentions) {
      EXPECT_NE(r.output.find(m), std::string::npos) << m << " in\n" << r.output;
    }
  }
}

TEST(ErpsimTest, FailuresLeaveNothingBehind) {
  qor::testing::TempDir dir;
  // A store that cannot be reached: the message names it, without the password.
  ScopedEnv password(kErpPasswordVariable, "secret-of-the-store");
  RunResult r = Erpsim({"create", "--connect", "DSN=qor_no_such_dsn;UID=u"});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("DSN=qor_no_such_dsn"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("secret-of-the-store"), std::string::npos) << r.output;
  // A directory file in a folder that does not exist is not written.
  const auto file = dir.path() / "missing" / "dir.ldif";
  r = Erpsim({"directory", "--file", file.string(), "--bus", "cn=a,o=b", "--company", "1",
              "--connect", "DSN=x"});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_FALSE(std::filesystem::exists(file.parent_path()));
}

TEST(ErpsimTest, DirectoryWritesTheEntry) {
  qor::testing::TempDir dir;
  const std::string file = (dir.path() / "dir.ldif").string();
  for (const char* company : {"100", "101"}) {
    RunResult r = Erpsim({"directory", "--file", file, "--bus", "cn=ERP1, o=Acme", "--company",
                          company, "--connect", "DSN=qor_sqlite;Database=/srv/erp.db"});
    EXPECT_EQ(r.status, 0) << r.output;
  }
  Directory d = Directory::Open(file);
  EXPECT_EQ(d.entries().size(), 1u);
  EXPECT_EQ(LookupCompanyNumber("cn=erp1,o=acme", file), 101);
  EXPECT_EQ(LookupErpConnection("cn=erp1,o=acme", file), "DSN=qor_sqlite;Database=/srv/erp.db");
}

// The list calls of the full copies: every row that erpsim writes lies within them.
struct FullList {
  const char* table;
  const char* method;
  std::vector<Value> args;
};

std::vector<FullList> FullCopyLists() {
  const std::string z9(9, 'Z');
  return {
      {"tsmdm030", "List", {"", "ZZZ"}},
      {"tscfg220", "List", {"", z9, "", z9, "", z9, "", z9}},
      {"tscfg200", "List", {"", z9, "", std::string(50, 'Z'), 0, 9999}},
      {"tsmdm100", "List", {"", z9}},
      {"tsmdm105", "List", {"", "ZZZZZZZ"}},
      {"tsmdm130", "List", {"", z9}},
      {"tsmdm135", "List", {"", z9, "", z9, "", z9}},
      {"tsmdm140", "List", {"", z9, "", z9, "", z9}},
      {"tsclm020", "List", {"", z9}},
      {"tsclm024", "List", {0.0, 99999.9999}},
      {"tssoc200", "listServiceOrders", {"", z9}},
      {"tssoc210", "List", {"", z9, 0, 9999}},
      {"tssoc205", "List", {"", z9, 0, 9999}},
      {"tsspc200", "List", {"", z9, "", z9, 0, 9999}},
      {"tccom130", "List", {"", std::string(12, 'Z'), 0.0, 99999.999}},
      {"tcccp001", "ListAllAvailable", {"", "ZZZZZZ"}},
  };
}

long long Scalar(localdb::Connection& c, const std::string& sql,
                 std::initializer_list<Variant> parameters = {}) {
  return c.Query(sql, parameters)[0][0].ToInteger();
}

// Every row of every table, in key order, as text.
std::string Dump(localdb::Connection& c) {
  std::string out;
  for (const TableDef& t : ErpCatalogue()) {
    for (const auto& row :
         c.Query("SELECT " + ColumnList(t) + " FROM " + t.table + " ORDER BY " + KeyList(t))) {
      for (const Variant& v : row) out += DebugString(v) + "|";
      out += "\n";
    }
  }
  return out;
}

class ErpsimStoreTest : public ::testing::TestWithParam<Backend> {};

TEST_P(ErpsimStoreTest, CreatesConsistentData) {
  TestStore store(GetParam());
  RunResult r = Erpsim({"create", "--connect", store.connection_string(), "--rows", "400", "--seed",
                        "7", "--today", "2024-03-05"});
  ASSERT_EQ(r.status, 0) << r.output;
  auto c = store.Connect();
  const DateTime today = DateTime::FromCivil(2024, 3, 5);

  // The full copies' lists find every row.
  StoreComponentFactory factory(store.settings());
  for (const FullList& l : FullCopyLists()) {
    ObjectPtr manager = factory.Create(FindTable(l.table)->manager_class);
    manager->Call("initialize", {"cn=erp1, o=acme"});
    ObjectPtr e = manager->Call(l.method, std::span<const Value>(l.args)).object();
    long long listed = 0;
    while (e->Call("hasMoreElements").variant().ToBoolean()) {
      e->Call("nextElement");
      ++listed;
    }
    long long rows = Scalar(*c, std::string("SELECT COUNT(*) FROM ") + l.table);
    EXPECT_GT(rows, 0) << l.table;
    EXPECT_EQ(listed, rows) << l.table;
  }

  struct Check {
    const char* what;
    std::string sql;
    bool positive;  // true: the count must be above 0; false: it must be 0
  };
  const Check checks[] = {
      {"orders of unknown configurations",
       "SELECT COUNT(*) FROM tssoc200 o WHERE NOT EXISTS "
       "(SELECT 1 FROM tscfg220 c WHERE c.ccfg = o.ccfg)",
       false},
      {"orders of unknown engineers",
       "SELECT COUNT(*) FROM tssoc200 o WHERE NOT EXISTS "
       "(SELECT 1 FROM tsmdm140 e WHERE e.emno = o.emno)",
       false},
      {"activities of unknown orders",
       "SELECT COUNT(*) FROM tssoc210 a WHERE NOT EXISTS "
       "(SELECT 1 FROM tssoc200 o WHERE o.orno = a.orno)",
       false},
      {"engineers of unknown orders",
       "SELECT COUNT(*) FROM tssoc205 a WHERE NOT EXISTS "
       "(SELECT 1 FROM tssoc200 o WHERE o.orno = a.orno)",
       false},
      {"service objects of unknown configurations",
       "SELECT COUNT(*) FROM tscfg200 s WHERE NOT EXISTS "
       "(SELECT 1 FROM tscfg220 c WHERE c.ccfg = s.ccfg)",
       false},
      {"employee calendars without periods around today",
       "SELECT COUNT(*) FROM tsmdm140 e WHERE e.ccal <> '' AND NOT EXISTS "
       "(SELECT 1 FROM tcccp030 p WHERE p.ccal = e.ccal AND p.stdt >= ? AND p.stdt < ?)",
       false},
      {"employees with a calendar", "SELECT COUNT(*) FROM tsmdm140 WHERE ccal <> ''", true},
      {"employees without a calendar",
       "SELECT COUNT(*) FROM tsmdm140 WHERE ccal IS NULL OR ccal = ''", true},
      {"calendar periods before the copies' window", "SELECT COUNT(*) FROM tcccp030 WHERE stdt < ?",
       true},
      {"orders with the empty date", "SELECT COUNT(*) FROM tssoc200 WHERE aftm < ?", true},
      {"orders with a Null", "SELECT COUNT(*) FROM tssoc200 WHERE crit IS NULL", true},
      {"periods that end with the day", "SELECT COUNT(*) FROM tcccp030 WHERE entm = 2400", true},
      {"changes recorded by the fill", std::string("SELECT COUNT(*) FROM ") + kAuditTable, false},
  };
  for (const Check& k : checks) {
    std::vector<Variant> parameters;
    std::size_t marks = std::count(k.sql.begin(), k.sql.end(), '?');
    if (k.sql.find("aftm") != std::string::npos) {
      parameters = {DateTime::FromCivil(1900, 2, 1)};
    } else if (marks == 2) {
      parameters = {today.AddDays(-60), today.AddDays(30)};
    } else if (marks == 1) {
      parameters = {today.AddDays(-60)};
    }
    long long n = c->Query(k.sql, parameters)[0][0].ToInteger();
    EXPECT_EQ(n > 0, k.positive) << k.what << ": " << n;
  }
}

// A create that fails half-way leaves the store as it was: tables, rows and trail.
TEST_P(ErpsimStoreTest, CreateIsAllOrNothing) {
  TestStore store(GetParam());
  auto c = store.Connect();
  Insert(*c, "tsmdm100", {{{"cwoc", "OLD"}}});
  // The skills table is a view now: dropping it as a table fails after the tables before it
  // were replaced.
  c->Execute("DROP TABLE tsmdm130");
  c->Execute("CREATE VIEW tsmdm130 AS SELECT cwoc AS skll FROM tsmdm100");
  SampleOptions options;
  options.rows = 100;
  EXPECT_THROW(CreateSampleStore(*c, options), Error);
  EXPECT_EQ(Scalar(*c, "SELECT COUNT(*) FROM tsmdm100 WHERE cwoc = 'OLD'"), 1);
  EXPECT_EQ(Scalar(*c, "SELECT COUNT(*) FROM tsmdm100"), 1);
  EXPECT_EQ(Scalar(*c, std::string("SELECT COUNT(*) FROM ") + kAuditTable), 1);
  EXPECT_EQ(Scalar(*c, "SELECT COUNT(*) FROM tsmdm130"), 1);  // still the view
}

TEST_P(ErpsimStoreTest, SameSeedSameData) {
  TestStore a(GetParam()), b(GetParam()), other(GetParam());
  for (auto [store, seed] : {std::pair{&a, "5"}, std::pair{&b, "5"}, std::pair{&other, "6"}}) {
    RunResult r = Erpsim({"create", "--connect", store->connection_string(), "--rows", "100",
                          "--seed", seed, "--today", "2024-02-29"});
    ASSERT_EQ(r.status, 0) << r.output;
  }
  std::string dump = Dump(*a.Connect());
  EXPECT_EQ(dump, Dump(*b.Connect()));
  EXPECT_NE(dump, Dump(*other.Connect()));
}

TEST_P(ErpsimStoreTest, ChangesAreRecordedInTheTrail) {
  TestStore store(GetParam());
  ASSERT_EQ(Erpsim({"create", "--connect", store.connection_string(), "--rows", "200"}).status, 0);
  struct Case {
    std::vector<std::string> extra;
  };
  // All tables, then the tables keyed by a date and by a double.
  const Case cases[] = {{{}}, {{"--table", "tcccp030"}}, {{"--table", "TSCLM024"}}};
  auto c = store.Connect();
  auto trail_rows = [&](const std::string& table) {
    if (table.empty()) return Scalar(*c, std::string("SELECT COUNT(*) FROM ") + kAuditTable);
    return Scalar(*c, std::string("SELECT COUNT(*) FROM ") + kAuditTable + " WHERE tbl = ?",
                  {Variant(ToLower(table))});
  };
  for (const Case& k : cases) {
    std::string table = k.extra.empty() ? "" : k.extra[1];
    long long before = trail_rows(""), before_table = trail_rows(table);
    std::vector<std::string> args = {
        "change", "--connect", store.connection_string(), "--count", "40", "--seed", "3"};
    args.insert(args.end(), k.extra.begin(), k.extra.end());
    RunResult r = Erpsim(args);
    ASSERT_EQ(r.status, 0) << r.output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m,
                                  std::regex(R"((\d+) inserted, (\d+) updated, (\d+) deleted)")))
        << r.output;
    long long changes = std::stoll(m[1]) + std::stoll(m[2]) + std::stoll(m[3]);
    EXPECT_EQ(changes, 40) << r.output;
    // One trail row per change, all of the chosen table.
    EXPECT_EQ(trail_rows("") - before, changes) << r.output;
    EXPECT_EQ(trail_rows(table) - before_table, changes) << r.output;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ErpsimStoreTest,
                         ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return std::string(BackendName(info.param)); });

}  // namespace
}  // namespace qor::erp
