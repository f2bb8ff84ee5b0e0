#include "dbcreate/dbcreate_testing.h"

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "common/text.h"
#include "testing/test_env.h"
#include "worker/localdb/statement.h"

namespace qor::dbcreate::testing {
namespace fs = std::filesystem;
using qor::testing::TestEnv;

std::vector<std::string> ScriptTables() {
  std::string script = qor::testing::ReadFile(qor::testing::LocalSchemaPath());
  std::regex create(R"(CREATE\s+TABLE\s+(?:IF\s+NOT\s+EXISTS\s+)?(\w+))", std::regex::icase);
  std::vector<std::string> tables;
  for (std::sregex_iterator it(script.begin(), script.end(), create), end; it != end; ++it) {
    tables.push_back(ToLower((*it)[1].str()));
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

std::vector<std::string> TablesOf(localdb::Connection& connection) {
  std::string sql = connection.dialect() == localdb::Dialect::kSqlite
                        ? "SELECT name FROM sqlite_master WHERE type = 'table'"
                        : "SELECT table_name FROM information_schema.tables "
                          "WHERE table_schema = 'public'";
  std::vector<std::string> tables;
  for (const auto& row : connection.Query(sql)) tables.push_back(ToLower(row[0].ToText()));
  std::sort(tables.begin(), tables.end());
  return tables;
}

std::string PostgresServerName() {
  return TestEnv::Get().pg_host + ":" + std::to_string(TestEnv::Get().pg_port);
}

bool PostgresDatabaseExists(const std::string& name) {
  localdb::Connection admin;
  admin.Open(qor::testing::PostgresMaintenanceConnectionString());
  return !admin.Query("SELECT 1 FROM pg_database WHERE datname = ?", {name}).empty();
}

void DropPostgresDatabase(const std::string& name) {
  localdb::Connection admin;
  admin.Open(qor::testing::PostgresMaintenanceConnectionString());
  admin.Execute("DROP DATABASE IF EXISTS " + localdb::QuoteName(name) + " WITH (FORCE)");
}

PostgresDatabases::~PostgresDatabases() {
  for (const std::string& name : names_) {
    try {
      DropPostgresDatabase(name);
    } catch (...) {
      // The server goes away with the test run.
    }
  }
}

void MakeOdbcConfig(const fs::path& folder, bool with_odbc_ini,
                    const std::optional<std::string>& odbcinst_ini) {
  fs::create_directories(folder);
  const fs::path& source = TestEnv::Get().odbc_dir;
  qor::testing::WriteFile(
      folder / "odbcinst.ini",
      odbcinst_ini ? *odbcinst_ini : qor::testing::ReadFile(source / "odbcinst.ini"));
  if (with_odbc_ini) {
    qor::testing::WriteFile(folder / "odbc.ini", qor::testing::ReadFile(source / "odbc.ini"));
  }
  qor::testing::WriteFile(folder / "user_odbc.ini", "");
}

std::vector<std::pair<std::string, std::string>> IniSection(const fs::path& file,
                                                            const std::string& section) {
  std::vector<std::pair<std::string, std::string>> keys;
  if (!fs::exists(file)) return keys;
  std::istringstream lines(qor::testing::ReadFile(file));
  std::string line;
  bool inside = false;
  while (std::getline(lines, line)) {
    std::string text = TrimSpace(line);
    if (text.starts_with('[')) {
      inside = text == "[" + section + "]";
    } else if (inside && text.find('=') != std::string::npos) {
      std::size_t eq = text.find('=');
      keys.emplace_back(TrimSpace(text.substr(0, eq)), TrimSpace(text.substr(eq + 1)));
    }
  }
  return keys;
}

void WriteProgram(const fs::path& file, const std::string& text) {
  qor::testing::WriteFile(file, text);
  fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

}  // namespace qor::dbcreate::testing
