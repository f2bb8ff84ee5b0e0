#include "dbcreate/server_address.h"

#include <gtest/gtest.h>

#include <optional>

#include "common/error.h"

namespace qor::dbcreate {
namespace {

TEST(ServerAddressTest, ParsesFoldersAndHostsWithPorts) {
  struct Case {
    const char* name;
    ServerKind kind;
    const char* folder;
    const char* host;
    int port;
  } cases[] = {
      {"sqlite:/var/lib/qor", ServerKind::kSqlite, "/var/lib/qor", "", 0},
      {"sqlite:data", ServerKind::kSqlite, "data", "", 0},
      {"sqlite:my data", ServerKind::kSqlite, "my data", "", 0},
      {"db.example.org", ServerKind::kPostgres, "", "db.example.org", 5432},
      {"127.0.0.1:6543", ServerKind::kPostgres, "", "127.0.0.1", 6543},
      {"my-host_1:1", ServerKind::kPostgres, "", "my-host_1", 1},
      {"[::1]:5433", ServerKind::kPostgres, "", "::1", 5433},
      {"[fe80::1]", ServerKind::kPostgres, "", "fe80::1", 5432},
  };
  for (const Case& c : cases) {
    ServerAddress a = ServerAddress::Parse(c.name);
    EXPECT_EQ(a.kind, c.kind) << c.name;
    if (c.kind == ServerKind::kSqlite) {
      EXPECT_EQ(a.folder, c.folder) << c.name;
      EXPECT_EQ(a.ScriptToolName(), "sqlite3") << c.name;
    } else {
      EXPECT_EQ(a.host, c.host) << c.name;
      EXPECT_EQ(a.port, c.port) << c.name;
      EXPECT_EQ(a.ScriptToolName(), "psql") << c.name;
    }
  }
}

TEST(ServerAddressTest, RefusesWhatIsNeitherAFolderNorAHost) {
  const char* refused[] = {"",         "sqlite:",    "sqlite:a\nb", "host;Database=x", "host:",
                           "host:0",   "host:65536", "host:12x",    ":5432",           "ho st",
                           "host\r\n", "[::1",       "[]:5432",     "[::1]x",          "host=evil",
                           "{host}",   "SQLite:data"};  // the prefix is written in small letters
  for (const char* name : refused) {
    try {
      ServerAddress::Parse(name);
      ADD_FAILURE() << "accepted '" << name << "'";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kValidationError) << name;
      EXPECT_NE(e.description().find("server"), std::string::npos) << e.description();
    }
  }
}

TEST(ServerAddressTest, SqliteDatabasesAreAbsoluteFilesInTheFolder) {
  ServerAddress a = ServerAddress::Parse("sqlite:/srv/qor/../data");
  EXPECT_EQ(a.DatabaseFile("qor"), std::filesystem::path("/srv/data/qor.db"));
  ServerAddress relative = ServerAddress::Parse("sqlite:data");
  EXPECT_EQ(relative.DatabaseFile("Qor"), std::filesystem::current_path() / "data" / "Qor.db");
}

// Each name with the description of its refusal, or none when it is accepted.
struct NameCase {
  std::string name;
  std::optional<std::string> refusal;
};

template <typename Check>
void ExpectNameCases(const std::vector<NameCase>& cases, Check check) {
  for (const NameCase& c : cases) {
    try {
      check(c.name);
      EXPECT_FALSE(c.refusal.has_value()) << "accepted '" << c.name << "'";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kValidationError) << c.name;
      EXPECT_EQ(e.description(), c.refusal.value_or("(accepted)")) << c.name;
    }
  }
}

TEST(NameRulesTest, DatabaseNamesThatCouldBreakOutAreRefused) {
  std::vector<NameCase> common = {
      {"qor", std::nullopt},
      {"QOR_local-2.db", std::nullopt},
      {"with blank", std::nullopt},
      {"Müller", std::nullopt},
      {"", "The database name is empty"},
      {"a'b", "The database name 'a'b' cannot be used: it contains '''"},
      {"a\"b", "The database name 'a\"b' cannot be used: it contains '\"'"},
      {"a;b", "The database name 'a;b' cannot be used: it contains ';'"},
      {"a[b", "The database name 'a[b' cannot be used: it contains '['"},
      {"a]b", "The database name 'a]b' cannot be used: it contains ']'"},
      {"a{b", "The database name 'a{b' cannot be used: it contains '{'"},
      {"a}b", "The database name 'a}b' cannot be used: it contains '}'"},
      {"a=b", "The database name 'a=b' cannot be used: it contains '='"},
      {"a`b", "The database name 'a`b' cannot be used: it contains '`'"},
      {"a\\b", "The database name 'a\\b' cannot be used: it contains '\\'"},
      {"a\nb", "The database name 'a\nb' cannot be used: it contains a line break"},
      {"a\rb", "The database name 'a\rb' cannot be used: it contains a line break"},
      {"a\tb", "The database name 'a\tb' cannot be used: it contains a control character"},
  };
  ExpectNameCases(common, [](const std::string& n) { CheckDatabaseName(n, ServerKind::kSqlite); });
  ExpectNameCases(common,
                  [](const std::string& n) { CheckDatabaseName(n, ServerKind::kPostgres); });

  std::string longest(63, 'x');
  ExpectNameCases({{"../etc/x", "The database name '../etc/x' cannot be used: it contains '/'"},
                   {longest + "y", std::nullopt}},
                  [](const std::string& n) { CheckDatabaseName(n, ServerKind::kSqlite); });
  ExpectNameCases({{"a/b", std::nullopt},
                   {longest, std::nullopt},
                   {longest + "y", "The database name '" + longest +
                                       "y' cannot be used: it is longer than 63 bytes"}},
                  [](const std::string& n) { CheckDatabaseName(n, ServerKind::kPostgres); });
}

TEST(NameRulesTest, DsnAndUserNamesThatCouldBreakOutAreRefused) {
  ExpectNameCases(
      {{"qor_local", std::nullopt},
       {"QOR Local", std::nullopt},
       {"a]b", "The DSN name 'a]b' cannot be used: it contains ']'"},
       {"a;b", "The DSN name 'a;b' cannot be used: it contains ';'"},
       {"a=b", "The DSN name 'a=b' cannot be used: it contains '='"},
       {"x\nDriver", "The DSN name 'x\nDriver' cannot be used: it contains a line break"},
       {" x", "The DSN name ' x' cannot be used: it begins or ends with a blank"},
       {"x ", "The DSN name 'x ' cannot be used: it begins or ends with a blank"}},
      CheckDsnName);
  ExpectNameCases({{"qor", std::nullopt},
                   {"", std::nullopt},
                   {"a;PWD=x", "The user name 'a;PWD=x' cannot be used: it contains ';'"},
                   {"a\nb", "The user name 'a\nb' cannot be used: it contains a line break"},
                   {"{a}", "The user name '{a}' cannot be used: it contains '{'"}},
                  CheckUserName);
}

}  // namespace
}  // namespace qor::dbcreate
